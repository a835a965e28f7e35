// SPDX-License-Identifier: MIT
// Start-up, memory and idle CPU of zelvane next to the anchor (a minimal Qt Widgets program with
// one window, bare and showing a line of text), in one run on the X display in DISPLAY
// (bench_startup.sh makes a virtual one):
//   start     time from the program's start to its window mapped on the display (median of
//             BENCH_RUNS launches each, default 11)
//   memory    resident memory one second after the window is up (median of the same)
//   idle      CPU of zelvane for BENCH_SECONDS (default 60) with its port open on a pty whose far
//             end answers nothing
// Usage: bench_startup ANCHOR ZELVANE
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

// Watches the display for new top-level windows being mapped.
class MapWatch {
 public:
  MapWatch() : c_(xcb_connect(nullptr, nullptr)) {
    if (xcb_connection_has_error(c_)) throw std::runtime_error("no X display (DISPLAY)");
    root_ = xcb_setup_roots_iterator(xcb_get_setup(c_)).data->root;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(c_, root_, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(c_);
  }
  ~MapWatch() { xcb_disconnect(c_); }

  // Waits (at most 30 s) for a window titled `title` to be mapped; its time of mapping.
  Clock::time_point WaitForMap(const std::string& title) {
    const auto deadline = Clock::now() + std::chrono::seconds(30);
    while (Clock::now() < deadline) {
      xcb_generic_event_t* e = xcb_poll_for_event(c_);
      if (e == nullptr) {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        continue;
      }
      const auto at = Clock::now();
      const bool mapped = (e->response_type & 0x7F) == XCB_MAP_NOTIFY;
      const xcb_window_t w = reinterpret_cast<xcb_map_notify_event_t*>(e)->window;
      std::free(e);
      if (mapped && Title(w) == title) return at;
    }
    throw std::runtime_error("no window titled " + title);
  }

 private:
  std::string Title(xcb_window_t w) {
    auto cookie = xcb_get_property(c_, 0, w, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, 0, 256);
    xcb_get_property_reply_t* reply = xcb_get_property_reply(c_, cookie, nullptr);
    std::string title;
    if (reply != nullptr) {
      title.assign(static_cast<const char*>(xcb_get_property_value(reply)),
                   static_cast<std::size_t>(xcb_get_property_value_length(reply)));
      std::free(reply);
    }
    return title;
  }
  xcb_connection_t* c_;
  xcb_window_t root_;
};

pid_t Spawn(const std::string& program, const char* argument = nullptr) {
  const pid_t pid = fork();
  if (pid == 0) {
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, STDERR_FILENO);
    execl(program.c_str(), program.c_str(), argument, nullptr);
    _exit(127);
  }
  return pid;
}

void Stop(pid_t pid) {
  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);
}

long ResidentKiB(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  return 0;
}

double CpuSeconds(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), {});
  std::vector<std::string> fields;
  std::size_t at = text.rfind(')') + 2;
  for (std::size_t next; (next = text.find(' ', at)) != std::string::npos; at = next + 1)
    fields.push_back(text.substr(at, next - at));
  return (std::stod(fields[11]) + std::stod(fields[12])) /
         static_cast<double>(sysconf(_SC_CLK_TCK));
}

struct Sample {
  double startMs;
  long rssKiB;
};

Sample Launch(MapWatch& watch, const std::string& program, const std::string& title,
              const char* argument = nullptr) {
  const auto start = Clock::now();
  const pid_t pid = Spawn(program, argument);
  const auto mapped = watch.WaitForMap(title);
  std::this_thread::sleep_for(std::chrono::seconds(1));
  const Sample s{std::chrono::duration<double, std::milli>(mapped - start).count(),
                 ResidentKiB(pid)};
  Stop(pid);
  return s;
}

template <class T>
T Median(std::vector<T> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: bench_startup ANCHOR ZELVANE\n");
    return 2;
  }
  const int idleSeconds =
      std::getenv("BENCH_SECONDS") ? std::atoi(std::getenv("BENCH_SECONDS")) : 60;
  // Zelvane's settings and port: COM5 on a pty whose far end (held here) says nothing.
  const fs::path dir = fs::temp_directory_path() / ("bench-startup-" + std::to_string(getpid()));
  fs::create_directories(dir / "zelvane");
  std::ofstream(dir / "zelvane" / "user.reg")
      << "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Brennwick\\Zelvane]\n\"PortNum\"=dword:"
         "00000005\n";
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  grantpt(master);
  unlockpt(master);
  const int slaveHold = open(ptsname(master), O_RDWR | O_NOCTTY);  // no hang-up while closed
  setenv("COMM_PORT_5", ptsname(master), 1);
  setenv("XDG_CONFIG_HOME", dir.c_str(), 1);

  MapWatch watch;
  std::vector<Sample> bare, text, zelvane;
  const int runs = std::getenv("BENCH_RUNS") ? std::atoi(std::getenv("BENCH_RUNS")) : 11;
  for (int i = 0; i < runs; ++i) {  // interleaved, so that all three see the same machine
    bare.push_back(Launch(watch, argv[1], "Anchor"));
    text.push_back(Launch(watch, argv[1], "Anchor", "--text"));
    zelvane.push_back(Launch(watch, argv[2], "Zelvane 0.1"));
  }
  const auto start = [](const std::vector<Sample>& s) {
    std::vector<double> v;
    for (const Sample& x : s) v.push_back(x.startMs);
    return Median(v);
  };
  const auto rss = [](const std::vector<Sample>& s) {
    std::vector<long> v;
    for (const Sample& x : s) v.push_back(x.rssKiB);
    return Median(v) / 1024.0;
  };
  std::printf("%-22s %12s %14s %10s %22s\n", "", "bare anchor", "anchor + text", "zelvane",
              "ratio to anchor + text");
  std::printf("%-22s %9.1f ms %11.1f ms %7.1f ms %15.2f (goal <= 1.3)\n", "start to window shown",
              start(bare), start(text), start(zelvane), start(zelvane) / start(text));
  std::printf("%-22s %8.1f MiB %10.1f MiB %6.1f MiB %15.2f (goal <= 1.3)\n", "resident memory",
              rss(bare), rss(text), rss(zelvane), rss(zelvane) / rss(text));

  const pid_t pid = Spawn(argv[2]);
  watch.WaitForMap("Zelvane 0.1");
  std::this_thread::sleep_for(std::chrono::seconds(1));
  const double cpu0 = CpuSeconds(pid);
  const auto t0 = Clock::now();
  std::this_thread::sleep_for(std::chrono::seconds(idleSeconds));
  const double share =
      (CpuSeconds(pid) - cpu0) / std::chrono::duration<double>(Clock::now() - t0).count();
  Stop(pid);
  std::printf("idle CPU, silent port   zelvane %.3f %% of a core over %d s (goal < 0.5 %%)\n",
              share * 100, idleSeconds);
  close(slaveHold);
  close(master);
  fs::remove_all(dir);
  return 0;
}
