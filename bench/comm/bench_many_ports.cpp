// SPDX-License-Identifier: MIT
// Many TCommPorts open at once, each on its own pseudo-terminal pair. A peer thread echoes
// everything the masters receive. A round: every port sends two bytes, and the main thread
// delivers the notifications with CheckSynchronize until every port's OnDataReceived has taken
// both echoed bytes back. Per port count and StatusPause (50 and 0) it prints the median round,
// the context switches of a round, the idle CPU of all ports open, and the threads, descriptors
// and resident memory each port adds (descriptors include the benchmark's pty master and spare
// slave; with one port, memory includes what the first open of any port allocates).
// Usage: bench_many_ports [COUNT]... (default: 1 4 16 64 256). BENCH_ROUNDS sets the rounds per
// configuration (default 10), BENCH_IDLE_S the idle measurement in seconds (default 3).
#include <comm/Commport.h>
#include <framework/thread.h>
#include <poll.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "bench_pty.h"

namespace {

using bench::Pty;
using Clock = std::chrono::steady_clock;
constexpr int FirstCom = 200;
constexpr auto RoundLimit = std::chrono::seconds(30);

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

rusage Usage() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u;
}

double CpuSeconds(const rusage& u) {
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

long ContextSwitches(const rusage& u) { return u.ru_nvcsw + u.ru_nivcsw; }

// A field of /proc/self/status in its own unit (kB for memory), 0 when absent.
long ProcStatus(const std::string& field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind(field + ":", 0) == 0) return std::atol(line.c_str() + field.size() + 1);
  return 0;
}

long OpenDescriptors() {
  long count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
    ++count;
  return count;
}

// Each port holds its slave, the benchmark a master and a spare slave: lift the soft limit on
// descriptors to the hard one so that hundreds of ports fit.
void RaiseDescriptorLimit() {
  rlimit limit{};
  getrlimit(RLIMIT_NOFILE, &limit);
  limit.rlim_cur = limit.rlim_max;
  setrlimit(RLIMIT_NOFILE, &limit);
}

// Sends back every byte each master receives until stopped.
class EchoPeer {
 public:
  explicit EchoPeer(const std::vector<std::unique_ptr<Pty>>& ptys) {
    for (const auto& pty : ptys) fds.push_back({pty->master, POLLIN, 0});
    thread = std::thread([this] { Run(); });
  }
  ~EchoPeer() {
    stop = true;
    thread.join();
  }
  EchoPeer(const EchoPeer&) = delete;
  EchoPeer& operator=(const EchoPeer&) = delete;

 private:
  void Run() {
    char buf[256];
    while (!stop) {
      if (poll(fds.data(), fds.size(), 20) <= 0) continue;
      for (const pollfd& p : fds) {
        if ((p.revents & POLLIN) == 0) continue;
        const ssize_t r = read(p.fd, buf, sizeof buf);
        for (ssize_t off = 0; off < r;) {
          const ssize_t w = write(p.fd, buf + off, static_cast<std::size_t>(r - off));
          if (w > 0) off += w;
        }
      }
    }
  }

  std::vector<pollfd> fds;
  std::atomic<bool> stop{false};
  std::thread thread;
};

// Ports 200, 201, ... routed to the ptys' slaves; each counts what its OnDataReceived took.
struct PortSet {
  std::vector<std::unique_ptr<Pty>> ptys;
  std::vector<std::unique_ptr<TCommPort>> ports;
  std::vector<unsigned> received;

  PortSet(int count, DWORD pause) : received(static_cast<std::size_t>(count), 0) {
    for (int i = 0; i < count; ++i) {
      ptys.push_back(std::make_unique<Pty>());
      const std::string var = "COMM_PORT_" + std::to_string(FirstCom + i);
      setenv(var.c_str(), ptys.back()->slave.c_str(), 1);
      ports.push_back(std::make_unique<TCommPort>(nullptr));
      TCommPort& port = *ports.back();
      port.SetComNumber(FirstCom + i);
      port.SetStatusPause(pause);
      port.OnDataReceived = [this, i](TObject*, DWORD) { Take(static_cast<std::size_t>(i)); };
      port.SetOpen(true);
      if (!port.GetOpen()) throw std::runtime_error("port " + var + " did not open");
    }
  }
  ~PortSet() {
    for (auto& port : ports) {
      port->OnDataReceived.Clear();
      port->SetOpen(false);
    }
  }
  PortSet(const PortSet&) = delete;
  PortSet& operator=(const PortSet&) = delete;

  void Take(std::size_t i) {
    char buf[64];
    received[i] += ports[i]->GetBlock(buf, sizeof buf);
  }

  // Seconds from the first PutBlock until every port has its two bytes back.
  double Round() {
    std::fill(received.begin(), received.end(), 0u);
    const auto start = Clock::now();
    for (auto& port : ports) port->PutBlock("AB", 2);
    auto done = [&] {
      return std::all_of(received.begin(), received.end(), [](unsigned n) { return n >= 2; });
    };
    while (!done()) {
      if (Clock::now() - start > RoundLimit) throw std::runtime_error("a round took over 30 s");
      CheckSynchronize(1);
    }
    return Seconds(Clock::now() - start);
  }
};

int EnvInt(const char* name, int fallback) {
  const char* value = std::getenv(name);
  return value ? std::atoi(value) : fallback;
}

void Measure(int count, DWORD pause) {
  const long rss0 = ProcStatus("VmRSS"), threads0 = ProcStatus("Threads");
  const long fds0 = OpenDescriptors();
  PortSet set(count, pause);
  const long rss1 = ProcStatus("VmRSS"), threads1 = ProcStatus("Threads");
  const long fds1 = OpenDescriptors();
  EchoPeer peer(set.ptys);
  set.Round();  // warm-up: first writes, first wake-ups
  std::vector<double> ms;
  const int rounds = EnvInt("BENCH_ROUNDS", 10);
  const rusage before = Usage();
  for (int r = 0; r < rounds; ++r) ms.push_back(set.Round() * 1e3);
  const rusage after = Usage();
  std::sort(ms.begin(), ms.end());

  const auto idleStart = Clock::now();
  const rusage idle0 = Usage();
  const auto idleFor = std::chrono::seconds(EnvInt("BENCH_IDLE_S", 3));
  while (Clock::now() - idleStart < idleFor) CheckSynchronize(100);
  const double idleShare =
      (CpuSeconds(Usage()) - CpuSeconds(idle0)) / Seconds(Clock::now() - idleStart);

  std::printf(
      "ports %4d  pause %2u:  round median %8.2f ms  max %8.2f ms  switches/round %8ld  "
      "idle CPU %6.2f%%  threads/port %.1f  fds/port %.1f  memory/port %6.1f KiB\n",
      count, static_cast<unsigned>(pause), ms[ms.size() / 2], ms.back(),
      (ContextSwitches(after) - ContextSwitches(before)) / rounds, 100.0 * idleShare,
      static_cast<double>(threads1 - threads0) / count, static_cast<double>(fds1 - fds0) / count,
      static_cast<double>(rss1 - rss0) / count);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  RaiseDescriptorLimit();
  std::vector<int> counts;
  for (int i = 1; i < argc; ++i) counts.push_back(std::atoi(argv[i]));
  if (counts.empty()) counts = {1, 4, 16, 64, 256};
  try {
    for (const DWORD pause : {TCommPort::DefaultStatusPause, DWORD{0}})
      for (const int count : counts) Measure(count, pause);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_many_ports: %s\n", e.what());
    return 1;
  }
  return 0;
}
