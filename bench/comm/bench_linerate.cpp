// SPDX-License-Identifier: MIT
// TCommPort at line rate over a pseudo-terminal pair, with the program's own ring sizes (2 KiB
// in, 4 KiB out): the far end, a child process on the pty master, sends (or takes) bytes at the
// pace of 256000 bit/s, 25.6 kB/s, in 10 ms slices. Receiving, the owner takes the bytes in
// OnDataReceived; transmitting, it queues each slice with PutBlock. Every byte is checked against
// the sender's stream. Reported: bytes lost or out of order, and the CPU the owner's process
// used (its main thread, the five workers and the driver's I/O thread; the far end runs in its
// own process and is not counted).
// Usage: bench_comm_linerate [receive|transmit]... (default: both). BENCH_SECONDS sets the
// length of each run (default 60).
#include <comm/Commport.h>
#include <fcntl.h>
#include <framework/thread.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench_pty.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int BenchCom = 92;
constexpr std::size_t BytesPerSecond = 25600;  // 256000 bit/s at 10 bits a character
constexpr std::size_t SliceMs = 10;
constexpr std::size_t SliceBytes = BytesPerSecond * SliceMs / 1000;

// The byte stream both ends produce independently (a 64-bit LCG, top byte).
class Stream {
 public:
  unsigned char Next() {
    State = State * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<unsigned char>(State >> 56);
  }

 private:
  std::uint64_t State = 0x5EED;
};

// Counts bytes and the first position where they differ from the stream.
struct Checker {
  Stream Expected;
  std::size_t Count = 0;
  std::size_t Wrong = 0;
  void Take(const char* Data, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i)
      if (static_cast<unsigned char>(Data[i]) != Expected.Next()) ++Wrong;
    Count += n;
  }
};

struct Result {
  std::size_t Received = 0;
  std::size_t Wrong = 0;
};

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double SecondsOf(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// CPU of the calling thread alone.
double ThreadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// The owner's process CPU over a run, and the part its main thread used (started and stopped on
// the main thread).
struct CpuMeter {
  double Process0 = CpuSeconds(), Main0 = ThreadCpuSeconds();
  Clock::time_point Start = Clock::now();
  double Process = 0, Main = 0, Wall = 0;
  void Stop() {
    Process = CpuSeconds() - Process0;
    Main = ThreadCpuSeconds() - Main0;
    Wall = SecondsOf(Clock::now() - Start);
  }
};

// Sleeps until the absolute monotonic time Start + Offset.
void SleepUntil(const timespec& Start, std::size_t OffsetMs) {
  timespec At = Start;
  At.tv_sec += static_cast<time_t>(OffsetMs / 1000);
  At.tv_nsec += static_cast<long>(OffsetMs % 1000) * 1000000L;
  if (At.tv_nsec >= 1000000000L) {
    At.tv_nsec -= 1000000000L;
    ++At.tv_sec;
  }
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &At, nullptr) == EINTR) {
  }
}

void WriteAll(int Fd, const char* Data, std::size_t n) {
  while (n > 0) {
    const ssize_t w = write(Fd, Data, n);
    if (w > 0) {
      Data += w;
      n -= static_cast<std::size_t>(w);
    } else if (w < 0 && errno != EINTR && errno != EAGAIN) {
      _exit(3);
    }
  }
}

// Far end, sending: one slice every 10 ms on an absolute schedule.
[[noreturn]] void PacedSender(int Master, std::size_t Total) {
  Stream Bytes;
  std::vector<char> Slice(SliceBytes);
  timespec Start{};
  clock_gettime(CLOCK_MONOTONIC, &Start);
  for (std::size_t Sent = 0, Tick = 0; Sent < Total; ++Tick) {
    SleepUntil(Start, Tick * SliceMs);
    for (char& b : Slice) b = static_cast<char>(Bytes.Next());
    WriteAll(Master, Slice.data(), Slice.size());
    Sent += Slice.size();
  }
  _exit(0);
}

// Far end, receiving: takes and checks bytes until all arrived or the time is up, then writes
// its Result to the pipe.
[[noreturn]] void CheckingReceiver(int Master, std::size_t Total, int Seconds, int Pipe) {
  Checker Check;
  std::vector<char> Buffer(65536);
  const auto Deadline = Clock::now() + std::chrono::seconds(Seconds + 15);
  while (Check.Count < Total && Clock::now() < Deadline) {
    pollfd p{Master, POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    const ssize_t r = read(Master, Buffer.data(), Buffer.size());
    if (r > 0) Check.Take(Buffer.data(), static_cast<std::size_t>(r));
  }
  const Result Got{Check.Count, Check.Wrong};
  if (write(Pipe, &Got, sizeof Got) != static_cast<ssize_t>(sizeof Got)) _exit(4);
  _exit(0);
}

// Forks the far end while this process has no threads yet (the port is opened afterwards); it
// waits for Go() before it runs Body, which never returns.
class FarEnd {
 public:
  template <class Body>
  explicit FarEnd(Body Run) {
    int GoPipe[2];
    if (pipe(GoPipe) != 0) throw std::runtime_error("no pipe");
    Child = fork();
    if (Child < 0) throw std::runtime_error("no fork");
    if (Child == 0) {
      close(GoPipe[1]);
      char Go = 0;
      if (read(GoPipe[0], &Go, 1) != 1) _exit(2);
      Run();
    }
    close(GoPipe[0]);
    GoFd = GoPipe[1];
  }
  ~FarEnd() {
    if (GoFd >= 0) close(GoFd);
    waitpid(Child, nullptr, 0);
  }
  void Go() {
    if (write(GoFd, "g", 1) != 1) throw std::runtime_error("far end gone");
  }

 private:
  pid_t Child = -1;
  int GoFd = -1;
};

void OpenPort(TCommPort& Port, const std::string& Slave) {
  setenv(("COMM_PORT_" + std::to_string(BenchCom)).c_str(), Slave.c_str(), 1);
  Port.SetComNumber(BenchCom);
  Port.SetBaudRate(cbr256000);
  Port.SetOpen(true);
  if (!Port.GetOpen()) throw std::runtime_error("port did not open");
  if (Port.GetInSize() != 2048 || Port.GetOutSize() != 4096)
    throw std::runtime_error("unexpected ring sizes");
}

void Report(const char* Direction, std::size_t Total, const Result& Got, const CpuMeter& Cpu) {
  const std::size_t Lost = Total > Got.Received ? Total - Got.Received : 0;
  std::printf(
      "linerate %-8s %zu of %zu bytes in %.1f s: %zu lost, %zu wrong or out of order; owner CPU "
      "%.2f%% of a core (main thread %.2f%%; target 0 lost, < 1%%)\n",
      Direction, Got.Received, Total, Cpu.Wall, Lost, Got.Wrong, 100.0 * Cpu.Process / Cpu.Wall,
      100.0 * Cpu.Main / Cpu.Wall);
  std::fflush(stdout);
}

void Receive(int Seconds) {
  const std::size_t Total = BytesPerSecond * static_cast<std::size_t>(Seconds);
  bench::Pty Far(false);
  FarEnd Sender([&] { PacedSender(Far.master, Total); });
  TCommPort Port(nullptr);
  OpenPort(Port, Far.slave);
  Checker Check;
  std::vector<char> Buffer(Port.GetInSize());
  Port.OnDataReceived = [&](TObject*, DWORD) {
    DWORD n;
    while ((n = Port.GetBlock(Buffer.data(), static_cast<DWORD>(Buffer.size()))) > 0)
      Check.Take(Buffer.data(), n);
  };

  CpuMeter Cpu;
  Sender.Go();
  const auto Deadline = Cpu.Start + std::chrono::seconds(Seconds + 15);
  while (Check.Count < Total && Clock::now() < Deadline) CheckSynchronize(100);
  Cpu.Stop();
  Port.OnDataReceived = nullptr;
  Port.SetOpen(false);
  Report("receive", Total, {Check.Count, Check.Wrong}, Cpu);
}

void Transmit(int Seconds) {
  const std::size_t Total = BytesPerSecond * static_cast<std::size_t>(Seconds);
  bench::Pty Far(false);
  int Pipe[2];
  if (pipe(Pipe) != 0) throw std::runtime_error("no pipe");
  FarEnd Receiver([&] {
    close(Pipe[0]);
    CheckingReceiver(Far.master, Total, Seconds, Pipe[1]);
  });
  close(Pipe[1]);
  TCommPort Port(nullptr);
  OpenPort(Port, Far.slave);

  CpuMeter Cpu;
  Receiver.Go();
  Stream Bytes;
  std::vector<char> Pending;  // produced but not yet taken by PutBlock
  timespec Begin{};
  clock_gettime(CLOCK_MONOTONIC, &Begin);
  std::size_t Produced = 0, Refused = 0;
  for (std::size_t Tick = 0; Produced < Total; ++Tick) {
    SleepUntil(Begin, Tick * SliceMs);
    for (std::size_t i = 0; i < SliceBytes; ++i) Pending.push_back(static_cast<char>(Bytes.Next()));
    Produced += SliceBytes;
    const DWORD Queued = Port.PutBlock(Pending.data(), static_cast<DWORD>(Pending.size()));
    if (Queued < Pending.size()) ++Refused;  // the ring was full: the rest waits a slice
    Pending.erase(Pending.begin(), Pending.begin() + Queued);
    CheckSynchronize(0);
  }
  while (!Pending.empty() && Clock::now() < Cpu.Start + std::chrono::seconds(Seconds + 15)) {
    const DWORD Queued = Port.PutBlock(Pending.data(), static_cast<DWORD>(Pending.size()));
    Pending.erase(Pending.begin(), Pending.begin() + Queued);
    CheckSynchronize(10);
  }
  Result Got;
  if (read(Pipe[0], &Got, sizeof Got) != static_cast<ssize_t>(sizeof Got))
    throw std::runtime_error("the far end reported nothing");
  Cpu.Stop();
  close(Pipe[0]);
  Port.SetOpen(false);
  Report("transmit", Total, Got, Cpu);
  if (Refused > 0)
    std::printf(
        "linerate transmit: the ring was full at %zu of %zu slices; the rest of those "
        "slices went in later ones\n",
        Refused, Total / SliceBytes);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> Parts(argv + 1, argv + argc);
  if (Parts.empty()) Parts = {"receive", "transmit"};
  const char* Env = std::getenv("BENCH_SECONDS");
  const int Seconds = Env ? std::atoi(Env) : 60;
  try {
    for (const auto& Part : Parts) {
      if (Part == "receive")
        Receive(Seconds);
      else if (Part == "transmit")
        Transmit(Seconds);
      else
        std::fprintf(stderr, "unknown part %s\n", Part.c_str());
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_comm_linerate: %s\n", e.what());
    return 1;
  }
  return 0;
}
