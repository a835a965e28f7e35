// SPDX-License-Identifier: MIT
// TCommPort over a pseudo-terminal pair against raw termios, libserialport, pyserial and Qt's
// serial port, in one run:
//   bulk      16 MiB each way at once; the owner drains with GetBlock (MB/s per direction pair)
//   request   2-byte command, 5-byte reply from a responder on the master; median and p99
//   idle      CPU of an open idle port over 10 s
//   cts       time from a CTS change to OnCTSSignal, with the default StatusPause and with 0
// The request exchange is measured with the default StatusPause (50 ms) and with 0, polling
// GetBlock as the program does and waiting in ReadBlock; pyserial with a blocking read with a
// time-out, Qt's serial port with waitForReadyRead.
// Usage: bench_comm [bulk|request|idle|cts]... (default: all). BENCH_MIB sets the bulk volume.
#include <comm/Commport.h>
#include <fcntl.h>
#include <framework/thread.h>
#include <poll.h>
#include <serial/virtual_cable.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "bench_pty.h"

#if defined(HAVE_LIBSERIALPORT)
#include <libserialport.h>
#endif
#if defined(HAVE_QT_SERIALPORT)
#include "qt_serial_peer.h"
#endif

namespace {

using bench::MakeRaw;
using bench::Pty;
using Clock = std::chrono::steady_clock;
constexpr int BenchCom = 91;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// The pyserial peer (pyserial_peer.py) run with Debian's python3, which python3-serial serves, on
// a pty slave: Start() returns once it has opened the port, Result() is its output line.
class PyserialPeer {
 public:
  PyserialPeer(const std::string& path, const char* part, std::size_t amount) {
    const std::string command = std::string("/usr/bin/python3 ") + PYSERIAL_PEER + " " + path +
                                " " + part + " " + std::to_string(amount) + " 2>&1";
    pipe_ = popen(command.c_str(), "r");
    if (pipe_ == nullptr) throw std::runtime_error("python3 could not be started");
    if (Line() != "ready\n") Fail();
  }
  ~PyserialPeer() {
    if (pipe_ != nullptr) pclose(pipe_);
  }
  PyserialPeer(const PyserialPeer&) = delete;
  PyserialPeer& operator=(const PyserialPeer&) = delete;

  std::string Result() {
    std::string line = Line();
    if (line.empty()) Fail();
    return line;
  }

 private:
  std::string Line() {
    char chunk[1 << 16];
    return std::fgets(chunk, sizeof chunk, pipe_) != nullptr ? chunk : "";
  }
  [[noreturn]] void Fail() {
    std::string out, line;
    while (!(line = Line()).empty()) out += line;
    pclose(pipe_);
    pipe_ = nullptr;
    throw std::runtime_error("pyserial failed: " + out.substr(0, out.find('\n')));
  }
  FILE* pipe_ = nullptr;
};

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Moves `volume` bytes each way through a non-blocking descriptor: writes a counting pattern,
// reads (and counts) what comes back. Used for the master side and the raw-termios owner.
void PumpFd(int fd, std::size_t volume, const std::atomic<bool>* stop = nullptr) {
  std::vector<char> out(16384), in(65536);
  for (std::size_t i = 0; i < out.size(); ++i) out[i] = static_cast<char>(i * 7);
  std::size_t sent = 0, got = 0;
  while ((sent < volume || got < volume) && !(stop && *stop)) {
    pollfd p{fd, static_cast<short>(POLLIN | (sent < volume ? POLLOUT : 0)), 0};
    poll(&p, 1, 100);
    if (sent < volume && (p.revents & POLLOUT)) {
      const ssize_t w = write(fd, out.data(), std::min(out.size(), volume - sent));
      if (w > 0) sent += static_cast<std::size_t>(w);
    }
    if (p.revents & (POLLIN | POLLHUP)) {
      const ssize_t r = read(fd, in.data(), in.size());
      if (r > 0) got += static_cast<std::size_t>(r);
    }
  }
}

// The transfer is timed from the moment the owner's side is open until both ends have moved
// every byte; opening and closing are not part of it.
struct BulkClock {
  Pty* pty = nullptr;
  std::size_t volume = 0;
  std::atomic<bool> stop{false};
  std::thread far;
  Clock::time_point start, end;
  void Begin() {
    start = Clock::now();
    far = std::thread([this] { PumpFd(pty->master, volume, &stop); });
  }
  void End() {
    if (ended) return;
    if (far.joinable()) far.join();
    end = Clock::now();
    ended = true;
  }
  bool ended = false;
};

double RunBulk(const char* name, std::size_t volume,
               const std::function<void(Pty&, BulkClock&)>& owner) {
  Pty pty;
  BulkClock clock;
  clock.pty = &pty;
  clock.volume = volume;
  try {
    owner(pty, clock);
  } catch (const std::exception& e) {
    clock.stop = true;
    if (clock.far.joinable()) clock.far.join();
    std::printf("bulk %-15s not measured: %s\n", name, e.what());
    return 0;
  }
  clock.End();
  return 2.0 * static_cast<double>(volume) / Seconds(clock.end - clock.start) / 1e6;
}

// Runs a bulk transfer three times (the machine is shared) and reports the median.
double MedianBulk(const char* name, std::size_t volume,
                  const std::function<void(Pty&, BulkClock&)>& owner) {
  std::vector<double> runs;
  for (int i = 0; i < 3; ++i) {
    const double mbps = RunBulk(name, volume, owner);
    if (mbps <= 0) return 0;
    runs.push_back(mbps);
  }
  std::vector<double> sorted = runs;
  std::sort(sorted.begin(), sorted.end());
  std::printf(
      "bulk %-16s %6.1f MB/s both ways together, median of %.1f %.1f %.1f (%zu MiB each way)\n",
      name, sorted[1], runs[0], runs[1], runs[2], volume >> 20);
  return sorted[1];
}

void RawOwner(Pty& pty, BulkClock& clock, std::size_t volume) {
  const int fd = open(pty.slave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  MakeRaw(fd);
  clock.Begin();
  PumpFd(fd, volume);
  clock.End();
  close(fd);
}

struct CommRoute {
  explicit CommRoute(const std::string& path) {
    setenv(("COMM_PORT_" + std::to_string(BenchCom)).c_str(), path.c_str(), 1);
  }
};

void OpenBenchPort(TCommPort& port, const std::string& slave, DWORD ring) {
  CommRoute route(slave);
  port.SetComNumber(BenchCom);
  port.SetIBuffSize(ring);
  port.SetOBuffSize(ring);
  port.SetBaudRate(cbr115200);
  port.SetOpen(true);
  if (!port.GetOpen()) throw std::runtime_error("port did not open");
}

void CommOwner(Pty& pty, BulkClock& clock, std::size_t volume, DWORD ring) {
  TCommPort port(nullptr);
  OpenBenchPort(port, pty.slave, ring);
  std::vector<char> out(16384), in(65536);
  std::size_t sent = 0, got = 0;
  clock.Begin();
  while (sent < volume || got < volume) {
    bool moved = false;
    if (sent < volume) {
      const DWORD q = port.PutBlock(out.data(), std::min(out.size(), volume - sent));
      sent += q;
      moved |= q > 0;
    }
    const DWORD g = port.GetBlock(in.data(), in.size());
    got += g;
    moved |= g > 0;
    // The owner polls, as the program does: GetBlock after it has taken bytes is what keeps the
    // reader going between the status monitor's paced wake-ups.
    CheckSynchronize(0);
    if (!moved) std::this_thread::yield();
  }
  // Closing discards what the driver still holds: let the far end take everything first.
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  while ((port.GetOutBuffUsed() > 0 || port.GetOutQueCount() > 0) && Clock::now() < deadline)
    std::this_thread::yield();
  clock.End();
  port.SetOpen(false);
}

#if defined(HAVE_LIBSERIALPORT)
// libserialport cannot open a pty slave on Linux: it looks the port up under /sys/class/tty
// (where pty slaves do not appear), and sp_open reads the modem lines with TIOCMGET, which a pty
// refuses. The run reports that and goes on.
void SerialPortOwner(Pty& pty, BulkClock& clock, std::size_t volume) {
  sp_port* port = nullptr;
  if (sp_get_port_by_name(pty.slave.c_str(), &port) != SP_OK ||
      sp_open(port, SP_MODE_READ_WRITE) != SP_OK) {
    char* why = sp_last_error_message();
    const std::string message = std::string("libserialport could not open the pty: ") + why;
    sp_free_error_message(why);
    if (port) sp_free_port(port);
    throw std::runtime_error(message);
  }
  sp_set_baudrate(port, 115200);
  sp_set_bits(port, 8);
  sp_set_parity(port, SP_PARITY_NONE);
  sp_set_stopbits(port, 1);
  sp_set_flowcontrol(port, SP_FLOWCONTROL_NONE);
  int fd = -1;
  sp_get_port_handle(port, &fd);
  std::vector<char> out(16384), in(65536);
  std::size_t sent = 0, got = 0;
  clock.Begin();
  while (sent < volume || got < volume) {
    pollfd p{fd, static_cast<short>(POLLIN | (sent < volume ? POLLOUT : 0)), 0};
    poll(&p, 1, 100);
    if (sent < volume && (p.revents & POLLOUT)) {
      const int w = sp_nonblocking_write(port, out.data(), std::min(out.size(), volume - sent));
      if (w > 0) sent += static_cast<std::size_t>(w);
    }
    if (p.revents & POLLIN) {
      const int r = sp_nonblocking_read(port, in.data(), in.size());
      if (r > 0) got += static_cast<std::size_t>(r);
    }
  }
  clock.End();
  sp_close(port);
  sp_free_port(port);
}
#endif

// pyserial moves the bytes in a process of its own and times itself from its port's open, so
// that starting the interpreter is left out; the far end starts once the port is open.
void PyserialBulk(std::size_t volume) {
  Pty pty;
  MakeRaw(pty.keeper);  // raw before pyserial opens it: no echo, no line editing meanwhile
  std::atomic<bool> stop{false};
  std::thread far;
  try {
    PyserialPeer peer(pty.slave, "bulk", volume);
    far = std::thread([&] { PumpFd(pty.master, volume, &stop); });
    const double seconds = std::stod(peer.Result());
    far.join();
    std::printf("bulk %-15s %8.1f MB/s (each way at once, its own clock)\n", "pyserial",
                2.0 * static_cast<double>(volume) / seconds / 1e6);
  } catch (const std::exception& e) {
    stop = true;
    if (far.joinable()) far.join();
    std::printf("bulk %-15s not measured: %s\n", "pyserial", e.what());
  }
}

void Bulk() {
  const char* env = std::getenv("BENCH_MIB");
  const std::size_t volume = static_cast<std::size_t>(env ? std::atoi(env) : 16) << 20;
  const double raw =
      MedianBulk("raw termios", volume, [&](Pty& p, BulkClock& c) { RawOwner(p, c, volume); });
#if defined(HAVE_LIBSERIALPORT)
  MedianBulk("libserialport", volume, [&](Pty& p, BulkClock& c) { SerialPortOwner(p, c, volume); });
#endif
  // Rings of 64 KiB, 4 MiB and 16 MiB (BENCH_RING_KIB picks one): a reader that found the driver
  // empty waits for the status monitor's paced wake-up (up to 50 ms), and only a driver queue as
  // large as the ring keeps the line busy meanwhile.
#if defined(HAVE_QT_SERIALPORT)
  MedianBulk("Qt serial port", volume,
             [&](Pty& p, BulkClock& c) { bench::QtBulk(p.slave, volume, [&] { c.Begin(); }); });
#endif
  PyserialBulk(volume);
  const char* ringEnv = std::getenv("BENCH_RING_KIB");
  std::vector<DWORD> rings = {64, 4096, 16384};
  if (ringEnv) rings = {static_cast<DWORD>(std::atoi(ringEnv))};
  for (DWORD kib : rings) {
    const std::string name = "TCommPort " + std::to_string(kib) + "K";
    const double comm = MedianBulk(
        name.c_str(), volume, [&](Pty& p, BulkClock& c) { CommOwner(p, c, volume, kib * 1024); });
    std::printf("bulk %s / raw termios = %.0f%% (target >= 80%%)\n", name.c_str(),
                100.0 * comm / raw);
  }
}

// The master answers every 2-byte command with a 5-byte reply.
void Responder(int master, std::atomic<bool>& stop) {
  char cmd[2];
  std::size_t have = 0;
  while (!stop) {
    pollfd p{master, POLLIN, 0};
    if (poll(&p, 1, 20) <= 0) continue;
    const ssize_t r = read(master, cmd + have, 2 - have);
    if (r <= 0) continue;
    have += static_cast<std::size_t>(r);
    if (have == 2) {
      have = 0;
      const char reply[5] = {cmd[0], cmd[1], 'o', 'k', '\n'};
      std::size_t off = 0;
      while (off < 5) {
        const ssize_t w = write(master, reply + off, 5 - off);
        if (w > 0) off += static_cast<std::size_t>(w);
      }
    }
  }
}

void Report(const char* name, std::vector<double> ms) {
  std::sort(ms.begin(), ms.end());
  const double median = ms[ms.size() / 2];
  const double p99 = ms[std::min(ms.size() - 1, ms.size() * 99 / 100)];
  std::printf("request %-13s median %8.3f ms  p99 %8.3f ms  (%zu exchanges)\n", name, median, p99,
              ms.size());
}

// TCommPort's requests with the given status pause, each reply taken by Receive (false: not
// whole within its time-out, left out and said).
void PortRequests(const char* name, DWORD pause, int exchanges,
                  const std::function<bool(TCommPort&)>& Receive) {
  Pty pty;
  std::atomic<bool> stop{false};
  std::thread responder(Responder, pty.master, std::ref(stop));
  TCommPort port(nullptr);
  port.SetStatusPause(pause);
  OpenBenchPort(port, pty.slave, 2048);
  std::vector<double> ms;
  for (int i = 0; i < exchanges; ++i) {
    const auto start = Clock::now();
    port.PutBlock("AB", 2);
    if (Receive(port)) {
      ms.push_back(Seconds(Clock::now() - start) * 1e3);
    } else {
      std::printf("request %s: reply %d not whole within 1 s\n", name, i);
    }
  }
  port.SetOpen(false);
  stop = true;
  responder.join();
  Report(name, ms);
}

// Another library's requests against the same responder; reported, or why not.
void PeerRequests(const char* name, int exchanges,
                  const std::function<std::vector<double>(const std::string&, int)>& measure) {
  Pty pty;
  std::atomic<bool> stop{false};
  std::thread responder(Responder, pty.master, std::ref(stop));
  try {
    const std::vector<double> ms = measure(pty.slave, exchanges);
    if (ms.empty()) throw std::runtime_error("no request was timed");
    Report(name, ms);
  } catch (const std::exception& e) {
    std::printf("request %-13s not measured: %s\n", name, e.what());
  }
  stop = true;
  responder.join();
}

void Request() {
  const int exchanges = 100;
  {
    Pty pty;
    std::atomic<bool> stop{false};
    std::thread responder(Responder, pty.master, std::ref(stop));
    const int fd = open(pty.slave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    MakeRaw(fd);
    std::vector<double> ms;
    for (int i = 0; i < exchanges; ++i) {
      const auto start = Clock::now();
      if (write(fd, "AB", 2) != 2) break;
      char reply[5];
      std::size_t got = 0;
      while (got < 5) {
        pollfd p{fd, POLLIN, 0};
        poll(&p, 1, 100);
        const ssize_t r = read(fd, reply + got, 5 - got);
        if (r > 0) got += static_cast<std::size_t>(r);
      }
      ms.push_back(Seconds(Clock::now() - start) * 1e3);
    }
    close(fd);
    stop = true;
    responder.join();
    Report("raw termios", ms);
  }
  for (const DWORD pause : {TCommPort::DefaultStatusPause, DWORD{0}}) {
    // The owner polls GetBlock, as the program does.
    PortRequests(pause == 0 ? "TCommPort p=0" : "TCommPort p=50", pause, exchanges,
                 [](TCommPort& port) {
                   char reply[20];
                   DWORD got = 0;
                   while (got < 5) {
                     got += port.GetBlock(reply + got, 20 - got);
                     CheckSynchronize(0);
                   }
                   return true;
                 });
    // The owner waits in ReadBlock.
    PortRequests(pause == 0 ? "ReadBlock p=0" : "ReadBlock p=50", pause, exchanges,
                 [](TCommPort& port) {
                   char reply[5];
                   return port.ReadBlock(reply, 5, 1000) == 5;
                 });
  }
  PeerRequests("pyserial", exchanges, [](const std::string& path, int n) {
    std::vector<double> ms;
    std::istringstream times(PyserialPeer(path, "request", static_cast<std::size_t>(n)).Result());
    for (double t = 0; times >> t;) ms.push_back(t);
    return ms;
  });
#if defined(HAVE_QT_SERIALPORT)
  PeerRequests("Qt serial port", exchanges, bench::QtRequests);
#endif
}

// CTS changes from the far end of a virtual cable at random moments (0 to 100 ms apart), so that
// they fall anywhere in the status monitor's pause; the time until OnCTSSignal runs.
void CtsLatency() {
  for (const DWORD pause : {TCommPort::DefaultStatusPause, DWORD{0}}) {
    serial::VirtualCable cable("bench_cts");
    setenv(("COMM_PORT_" + std::to_string(BenchCom)).c_str(), cable.NearPath().c_str(), 1);
    TCommPort port(nullptr);
    port.SetComNumber(BenchCom);
    port.SetStatusPause(pause);
    int seen = 0;
    port.OnCTSSignal = [&](TObject*) { ++seen; };
    port.SetOpen(true);
    if (!port.GetOpen()) throw std::runtime_error("port did not open");
    std::mt19937 random(7);
    std::uniform_int_distribution<int> gapMs(0, 100);
    std::vector<double> ms;
    bool rts = false;
    for (int i = 0; i < 200; ++i) {
      const auto until = Clock::now() + std::chrono::milliseconds(gapMs(random));
      while (Clock::now() < until) CheckSynchronize(1);
      const int before = seen;
      rts = !rts;
      const auto start = Clock::now();
      cable.SetRTS(rts);
      while (seen == before && Clock::now() - start < std::chrono::seconds(5)) CheckSynchronize(0);
      ms.push_back(Seconds(Clock::now() - start) * 1e3);
    }
    port.OnCTSSignal.Clear();
    port.SetOpen(false);
    std::sort(ms.begin(), ms.end());
    std::printf(
        "cts to OnCTSSignal, StatusPause %2u: median %7.3f ms  p99 %7.3f ms  max %7.3f ms "
        "(%zu changes; target < %s)\n",
        static_cast<unsigned>(pause), ms[ms.size() / 2], ms[ms.size() * 99 / 100], ms.back(),
        ms.size(), pause == 0 ? "5 ms" : "60 ms");
  }
}

void Idle() {
  Pty pty;
  TCommPort port(nullptr);
  OpenBenchPort(port, pty.slave, 2048);
  const auto start = Clock::now();
  const double cpu0 = CpuSeconds();
  while (Clock::now() - start < std::chrono::seconds(10)) CheckSynchronize(100);
  const double share = (CpuSeconds() - cpu0) / Seconds(Clock::now() - start);
  port.SetOpen(false);
  std::printf("idle TCommPort open for 10 s: %.3f%% of a core (target < 0.5%%)\n", 100.0 * share);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> parts(argv + 1, argv + argc);
  if (parts.empty()) parts = {"bulk", "request", "idle", "cts"};
  try {
    for (const auto& part : parts) {
      if (part == "bulk")
        Bulk();
      else if (part == "request")
        Request();
      else if (part == "idle")
        Idle();
      else if (part == "cts")
        CtsLatency();
      else
        std::fprintf(stderr, "unknown part %s\n", part.c_str());
      std::fflush(stdout);
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_comm: %s\n", e.what());
    return 1;
  }
  return 0;
}
