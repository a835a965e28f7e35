// SPDX-License-Identifier: MIT
// The serial driver against raw termios on one pseudo-terminal pair, in one run:
//   idle      CPU of an open handle with a pending WaitCommEvent, and wake-ups of its threads;
//             also on the pty with a UART's modem ioctls emulated (TIOCMIWAIT included, and
//             refused), with modem events in the mask and without
//   rx / tx   bulk throughput, line to program and program to line
//   latency   one byte from its arrival on the line to the completion of a pending read
// Usage: bench_driver [--idle-seconds S] [--megabytes M] [--rounds R] [--samples N]
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>
#include <win32/win32.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#if defined(HAVE_UART_SHIM)
#include "uart_shim.h"
#endif

namespace {

using Clock = std::chrono::steady_clock;

// Raw and driver runs alternate in short rounds (the first of a pair alternating too), so that
// load from elsewhere on the machine hits both alike; ratios are taken per pair.
struct Options {
  double idleSeconds = 10;
  std::size_t megabytes = 16;
  int rounds = 9;
  int samples = 2000;  // latency samples of each kind, in blocks of kLatencyBlock
};

constexpr int kLatencyBlock = 200;

[[noreturn]] void Die(const std::string& what) {
  std::fprintf(stderr, "bench_driver: %s (errno %d, last error %u)\n", what.c_str(), errno,
               GetLastError());
  std::exit(1);
}

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

double Percentile(std::vector<double> values, double p) {
  std::sort(values.begin(), values.end());
  if (values.empty()) return 0;
  return values[std::min(values.size() - 1, static_cast<std::size_t>(p * values.size()))];
}

// ---- The pty pair ------------------------------------------------------------------------------

class Pty {
 public:
  Pty() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) Die("posix_openpt");
    char name[128];
    if (ptsname_r(master_, name, sizeof name) != 0) Die("ptsname");
    slave_ = name;
    termios tio{};
    tcgetattr(master_, &tio);
    cfmakeraw(&tio);
    tcsetattr(master_, TCSANOW, &tio);
  }
  ~Pty() { close(master_); }
  int Master() const { return master_; }
  const std::string& Slave() const { return slave_; }

 private:
  int master_ = -1;
  std::string slave_;
};

void WaitFd(int fd, short events) {
  pollfd pfd{fd, events, 0};
  poll(&pfd, 1, 1000);
}

// The program's transfer size, raw and through the driver alike (the component's writer sends
// runs of up to its 4096-byte transmit ring).
constexpr std::size_t kChunk = 4096;

// Writes all of `data` to a non-blocking descriptor, at most `chunk` bytes a call.
void WriteAll(int fd, const std::vector<char>& data, std::size_t chunk) {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = write(fd, data.data() + done, std::min(chunk, data.size() - done));
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
      Die("write");
    } else {
      WaitFd(fd, POLLOUT);
    }
  }
}

// Reads exactly `total` bytes from a non-blocking descriptor, at most `chunk` bytes a call.
void ReadAll(int fd, std::size_t total, std::size_t chunk) {
  std::vector<char> buffer(chunk);
  std::size_t done = 0;
  while (done < total) {
    const ssize_t n = read(fd, buffer.data(), std::min(buffer.size(), total - done));
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
      Die("read");
    } else {
      WaitFd(fd, POLLIN);
    }
  }
}

int OpenRawSlave(const std::string& path) {
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) Die("open " + path);
  termios tio{};
  tcgetattr(fd, &tio);
  cfmakeraw(&tio);
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  cfsetspeed(&tio, B115200);
  tcsetattr(fd, TCSANOW, &tio);
  return fd;
}

// ---- The driver handle
// ---------------------------------------------------------------------------

class Port {
 public:
  explicit Port(const std::string& slave) {
    setenv("COMM_PORT_41", slave.c_str(), 1);
    handle_ = CreateFileA("\\\\.\\COM41", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                          FILE_FLAG_OVERLAPPED, nullptr);
    if (handle_ == INVALID_HANDLE_VALUE) Die("CreateFileA");
    SetupComm(handle_, 65536, 65536);
    COMMTIMEOUTS timeouts{};
    SetCommTimeouts(handle_, &timeouts);
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    GetCommState(handle_, &dcb);
    dcb.BaudRate = CBR_115200;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    if (!SetCommState(handle_, &dcb)) Die("SetCommState");
    event_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  }
  ~Port() {
    CloseHandle(event_);
    CloseHandle(handle_);
  }
  HANDLE Handle() const { return handle_; }

  // Starts an overlapped read; true when it is pending.
  bool StartRead(void* buffer, DWORD n) {
    Reset();
    if (ReadFile(handle_, buffer, n, nullptr, &overlapped_)) return false;
    if (GetLastError() != ERROR_IO_PENDING) Die("ReadFile");
    return true;
  }
  bool StartWrite(const void* buffer, DWORD n) {
    Reset();
    if (WriteFile(handle_, buffer, n, nullptr, &overlapped_)) return false;
    if (GetLastError() != ERROR_IO_PENDING) Die("WriteFile");
    return true;
  }
  bool StartWaitCommEvent(DWORD* mask) {
    Reset();
    if (WaitCommEvent(handle_, mask, &overlapped_)) return false;
    if (GetLastError() != ERROR_IO_PENDING) Die("WaitCommEvent");
    return true;
  }
  DWORD Finish() {
    DWORD bytes = 0;
    if (!GetOverlappedResult(handle_, &overlapped_, &bytes, TRUE)) Die("GetOverlappedResult");
    return bytes;
  }

 private:
  void Reset() {
    overlapped_ = OVERLAPPED{};
    overlapped_.hEvent = event_;
    ResetEvent(event_);
  }
  HANDLE handle_ = INVALID_HANDLE_VALUE;
  HANDLE event_ = nullptr;
  OVERLAPPED overlapped_{};
};

// ---- Idle
// ----------------------------------------------------------------------------------------

// Context switches of every thread of this process but the calling one.
long OtherThreadsSwitches() {
  long total = 0;
  const long self = static_cast<long>(gettid());
  DIR* dir = opendir("/proc/self/task");
  if (dir == nullptr) return -1;
  while (dirent* entry = readdir(dir)) {
    if (entry->d_name[0] == '.' || std::atol(entry->d_name) == self) continue;
    std::ifstream status(std::string("/proc/self/task/") + entry->d_name + "/status");
    std::string line;
    while (std::getline(status, line)) {
      if (line.rfind("voluntary_ctxt_switches:", 0) == 0 ||
          line.rfind("nonvoluntary_ctxt_switches:", 0) == 0) {
        total += std::atol(line.c_str() + line.find(':') + 1);
      }
    }
  }
  closedir(dir);
  return total;
}

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct IdleResult {
  double cpuPercent;
  long wakeUps;
  double seconds;
};

// The program's mask, and one without modem events.
constexpr DWORD kProgramMask =
    EV_RXCHAR | EV_TXEMPTY | EV_CTS | EV_DSR | EV_RLSD | EV_BREAK | EV_ERR | EV_RING;
constexpr DWORD kDataMask = EV_RXCHAR | EV_TXEMPTY;

IdleResult MeasureIdle(const Pty& pty, double seconds, DWORD eventMask = kProgramMask) {
  Port port(pty.Slave());
  SetCommMask(port.Handle(), eventMask);
  DWORD mask = 0;
  if (!port.StartWaitCommEvent(&mask)) Die("WaitCommEvent completed with nothing to report");
  std::this_thread::sleep_for(std::chrono::milliseconds(200));  // let the I/O thread settle
  const long switchesBefore = OtherThreadsSwitches();
  const double cpuBefore = CpuSeconds();
  const auto start = Clock::now();
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  const double elapsed = Seconds(Clock::now() - start);
  const double cpu = CpuSeconds() - cpuBefore;
  const long switches = OtherThreadsSwitches() - switchesBefore;
  SetCommMask(port.Handle(), 0);  // releases the wait
  port.Finish();
  return {100.0 * cpu / elapsed, switches, elapsed};
}

void PrintIdle(const char* what, const IdleResult& idle) {
  std::printf("%-52s %8.3f%% %10.1f\n", what, idle.cpuPercent, idle.wakeUps / idle.seconds);
}

// Idle cost on the pty with a UART's modem lines played by the tests' ioctl shim.
void MeasureEmulatedUartIdle(const Pty& pty, double seconds) {
#if defined(HAVE_UART_SHIM)
  std::printf(
      "\nidle on a pty with a UART's modem ioctls emulated   CPU, %% of a core   wake-ups/s\n");
  {
    testsupport::EmulatedUart uart(pty.Slave(), pty.Master());
    PrintIdle("  modem events in the mask, TIOCMIWAIT answered", MeasureIdle(pty, seconds));
    PrintIdle("  no modem events in the mask", MeasureIdle(pty, seconds, kDataMask));
  }
  {
    testsupport::EmulatedUart uart(pty.Slave(), pty.Master(), false);
    PrintIdle("  modem events in the mask, TIOCMIWAIT refused", MeasureIdle(pty, seconds));
  }
  std::printf("  (target: the same with and without modem events, nothing periodic)\n");
#else
  (void)pty;
  (void)seconds;
  std::printf("\nidle with emulated modem ioctls: not measured (built without the tests)\n");
#endif
}

// ---- Throughput
// ----------------------------------------------------------------------------------

std::vector<char> Pattern(std::size_t size) {
  std::vector<char> data(size);
  for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<char>(i * 131 + 7);
  return data;
}

// Line to program, raw: the master writes, the program polls and reads the slave.
// Rate and cost of one bulk transfer; CPU time is the whole process's (every thread).
struct Transfer {
  double megabytesPerSecond;
  double cpuMsPerMegabyte;
};

std::vector<double> Rates(const std::vector<Transfer>& transfers) {
  std::vector<double> values;
  for (const Transfer& t : transfers) values.push_back(t.megabytesPerSecond);
  return values;
}

std::vector<double> Costs(const std::vector<Transfer>& transfers) {
  std::vector<double> values;
  for (const Transfer& t : transfers) values.push_back(t.cpuMsPerMegabyte);
  return values;
}

class Stopwatch {
 public:
  Transfer Stop(std::size_t bytes) const {
    const double seconds = Seconds(Clock::now() - wallStart_);
    const double megabytes = bytes / 1e6;
    return {megabytes / seconds, 1000 * (CpuSeconds() - cpuStart_) / megabytes};
  }

 private:
  Clock::time_point wallStart_ = Clock::now();
  double cpuStart_ = CpuSeconds();
};

Transfer RawReceive(const Pty& pty, const std::vector<char>& data) {
  const int slave = OpenRawSlave(pty.Slave());
  const Stopwatch watch;
  std::thread writer([&] { WriteAll(pty.Master(), data, 65536); });
  ReadAll(slave, data.size(), kChunk);
  const Transfer result = watch.Stop(data.size());
  writer.join();
  close(slave);
  return result;
}

// Line to program through the driver: chunked overlapped reads.
Transfer DriverReceive(const Pty& pty, const std::vector<char>& data) {
  Port port(pty.Slave());
  std::vector<char> buffer(kChunk);
  const Stopwatch watch;
  std::thread writer([&] { WriteAll(pty.Master(), data, 65536); });
  std::size_t done = 0;
  while (done < data.size()) {
    const DWORD n = static_cast<DWORD>(std::min<std::size_t>(kChunk, data.size() - done));
    port.StartRead(buffer.data(), n);
    done += port.Finish();
  }
  const Transfer result = watch.Stop(data.size());
  writer.join();
  return result;
}

// Program to line, raw: the program writes the slave, the master reads.
Transfer RawTransmit(const Pty& pty, const std::vector<char>& data) {
  const int slave = OpenRawSlave(pty.Slave());
  const Stopwatch watch;
  std::thread reader([&] { ReadAll(pty.Master(), data.size(), 65536); });
  WriteAll(slave, data, kChunk);
  reader.join();
  const Transfer result = watch.Stop(data.size());
  close(slave);
  return result;
}

// Program to line through the driver: chunked overlapped writes.
Transfer DriverTransmit(const Pty& pty, const std::vector<char>& data) {
  Port port(pty.Slave());
  const Stopwatch watch;
  std::thread reader([&] { ReadAll(pty.Master(), data.size(), 65536); });
  std::size_t done = 0;
  while (done < data.size()) {
    const DWORD n = static_cast<DWORD>(std::min<std::size_t>(kChunk, data.size() - done));
    port.StartWrite(data.data() + done, n);
    done += port.Finish();
  }
  reader.join();
  const Transfer result = watch.Stop(data.size());
  return result;
}

// ---- Latency
// -------------------------------------------------------------------------------------

double Microseconds(Clock::duration d) {
  return std::chrono::duration<double, std::micro>(d).count();
}

std::vector<double> RawLatency(const Pty& pty, int samples) {
  const int slave = OpenRawSlave(pty.Slave());
  std::vector<double> result;
  char byte = 'x';
  for (int i = 0; i < samples; ++i) {
    const auto start = Clock::now();
    if (write(pty.Master(), &byte, 1) != 1) Die("write");
    for (;;) {
      pollfd pfd{slave, POLLIN, 0};
      poll(&pfd, 1, 1000);
      if (read(slave, &byte, 1) == 1) break;
    }
    result.push_back(Microseconds(Clock::now() - start));
  }
  close(slave);
  return result;
}

std::vector<double> DriverLatency(const Pty& pty, int samples) {
  Port port(pty.Slave());
  std::vector<double> result;
  char byte = 'x';
  for (int i = 0; i < samples; ++i) {
    if (!port.StartRead(&byte, 1)) Die("read completed before the byte was sent");
    const auto start = Clock::now();
    if (write(pty.Master(), &byte, 1) != 1) Die("write");
    if (port.Finish() != 1) Die("read returned no byte");
    result.push_back(Microseconds(Clock::now() - start));
  }
  return result;
}

Options ParseOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string name = argv[i];
    const char* value = argv[i + 1];
    if (name == "--idle-seconds")
      options.idleSeconds = std::atof(value);
    else if (name == "--megabytes")
      options.megabytes = std::strtoul(value, nullptr, 10);
    else if (name == "--rounds")
      options.rounds = std::atoi(value);
    else if (name == "--samples")
      options.samples = std::atoi(value);
    else
      Die("unknown option " + name);
  }
  return options;
}

}  // namespace

int main(int argc, char** argv) {
  const Options options = ParseOptions(argc, argv);
  Pty pty;

  const IdleResult idle = MeasureIdle(pty, options.idleSeconds);

  const std::vector<char> data = Pattern(options.megabytes << 20);
  std::vector<Transfer> rawRx, driverRx, rawTx, driverTx;
  std::vector<double> rxRatios, txRatios;
  for (int round = 0; round < options.rounds; ++round) {
    const bool rawFirst = round % 2 == 0;
    if (rawFirst) rawRx.push_back(RawReceive(pty, data));
    driverRx.push_back(DriverReceive(pty, data));
    if (!rawFirst) rawRx.push_back(RawReceive(pty, data));
    if (rawFirst) rawTx.push_back(RawTransmit(pty, data));
    driverTx.push_back(DriverTransmit(pty, data));
    if (!rawFirst) rawTx.push_back(RawTransmit(pty, data));
    rxRatios.push_back(driverRx.back().megabytesPerSecond / rawRx.back().megabytesPerSecond);
    txRatios.push_back(driverTx.back().megabytesPerSecond / rawTx.back().megabytesPerSecond);
  }

  std::vector<double> rawLatency, driverLatency;
  for (int done = 0; done < options.samples; done += kLatencyBlock) {
    const int block = std::min(kLatencyBlock, options.samples - done);
    const std::vector<double> raw = RawLatency(pty, block);
    const std::vector<double> driver = DriverLatency(pty, block);
    rawLatency.insert(rawLatency.end(), raw.begin(), raw.end());
    driverLatency.insert(driverLatency.end(), driver.begin(), driver.end());
  }

  const double rxRatio = 100 * Median(rxRatios);
  const double txRatio = 100 * Median(txRatios);
  const double addedLatency = Median(driverLatency) - Median(rawLatency);

  std::printf(
      "serial driver vs raw termios on one pty pair (%zu MiB x %d rounds, %d latency samples)\n\n",
      options.megabytes, options.rounds, options.samples);
  std::printf("(driver/raw throughput: median of the per-round ratios)\n\n");
  std::printf("%-36s %12s %12s %14s %s\n", "measure", "raw termios", "driver", "driver/raw",
              "target");
  std::printf("%-36s %12s %11.3f%% %14s %s\n", "idle CPU, pending WaitCommEvent", "-",
              idle.cpuPercent, "-", "< 0.5% of a core");
  std::printf("%-36s %12s %12ld %14s %s\n", "idle wake-ups of other threads", "-", idle.wakeUps,
              "-", "none periodic");
  std::printf("%-36s %12.1f %12.1f %13.1f%% %s\n", "receive throughput, MB/s (median)",
              Median(Rates(rawRx)), Median(Rates(driverRx)), rxRatio, ">= 90%");
  std::printf("%-36s %12.1f %12.1f %14s\n", "receive CPU, ms per MB (median)", Median(Costs(rawRx)),
              Median(Costs(driverRx)), "");
  std::printf("%-36s %12.1f %12.1f %13.1f%% %s\n", "transmit throughput, MB/s (median)",
              Median(Rates(rawTx)), Median(Rates(driverTx)), txRatio, ">= 90%");
  std::printf("%-36s %12.1f %12.1f %14s\n", "transmit CPU, ms per MB (median)",
              Median(Costs(rawTx)), Median(Costs(driverTx)), "");
  std::printf("%-36s %12.1f %12.1f %+13.1f %s\n", "1-byte latency, us (median)", Median(rawLatency),
              Median(driverLatency), addedLatency, "< 100 us");
  std::printf("%-36s %12.1f %12.1f %14s\n", "1-byte latency, us (99th percentile)",
              Percentile(rawLatency, 0.99), Percentile(driverLatency, 0.99), "");
  MeasureEmulatedUartIdle(pty, options.idleSeconds);
  return 0;
}
