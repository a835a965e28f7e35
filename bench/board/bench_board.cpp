// SPDX-License-Identifier: MIT
// Board simulator benchmark: runs the real zelvane-board on a pty with a client attached and
//   idle     CPU time and wake-ups of the board while the client is attached and silent
//   latency  round trip of a two-byte command and its reply, median and 99th percentile
// Usage: bench_board [--idle-seconds S] [--exchanges N]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "board_process.h"

namespace {

using namespace board_test;

// CPU time of a process in seconds, from the scheduler's nanosecond counter.
double cpuSeconds(pid_t pid) {
  std::ifstream schedstat("/proc/" + std::to_string(pid) + "/schedstat");
  double nanoseconds = 0;
  schedstat >> nanoseconds;
  return nanoseconds / 1e9;
}

// Voluntary plus involuntary context switches: how often the process woke up.
long contextSwitches(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  long total = 0;
  std::string line;
  while (std::getline(status, line)) {
    if (line.find("ctxt_switches:") != std::string::npos) {
      total += std::atol(line.c_str() + line.find(':') + 1);
    }
  }
  return total;
}

double quantile(std::vector<double> values, double q) {
  std::sort(values.begin(), values.end());
  return values[static_cast<std::size_t>(q * static_cast<double>(values.size() - 1))];
}

}  // namespace

int main(int argc, char** argv) {
  double idleSeconds = 15;
  int exchanges = 2000;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string name = argv[i];
    if (name == "--idle-seconds") idleSeconds = std::atof(argv[i + 1]);
    if (name == "--exchanges") exchanges = std::atoi(argv[i + 1]);
  }

  BoardProcess board(ZELVANE_BOARD_BINARY, {"--log", "/dev/null", "--temps", "23.5,20,21,22"},
                     "/dev/null");
  const std::string path = board.firstLine();
  if (path.empty()) {
    std::fprintf(stderr, "bench_board: the board did not start\n");
    return 1;
  }
  Client client(path);

  std::vector<double> roundTrips;
  for (int i = 0; i < exchanges; ++i) {
    const auto start = Clock::now();
    if (client.exchange("BA", 5).size() != 5) {
      std::fprintf(stderr, "bench_board: no reply\n");
      return 1;
    }
    roundTrips.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
  }

  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const double cpuBefore = cpuSeconds(board.pid());
  const long switchesBefore = contextSwitches(board.pid());
  const auto start = Clock::now();
  std::this_thread::sleep_for(std::chrono::duration<double>(idleSeconds));
  const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
  const double cpu = cpuSeconds(board.pid()) - cpuBefore;
  const long wakeUps = contextSwitches(board.pid()) - switchesBefore;

  std::printf("%-40s %14s %s\n", "measure", "value", "goal");
  std::printf("%-40s %13.4f%% %s\n", "idle CPU, client attached and silent", 100 * cpu / elapsed,
              "< 0.1% of a core");
  std::printf("%-40s %14ld %s\n", "idle wake-ups", wakeUps, "0");
  std::printf("%-40s %11.1f us\n", "round trip \"BA\" -> 5 bytes, median",
              quantile(roundTrips, 0.5));
  std::printf("%-40s %11.1f us\n", "round trip, 99th percentile", quantile(roundTrips, 0.99));
  std::printf("(idle over %.1f s, %d exchanges)\n", elapsed, exchanges);

  board.signal(SIGTERM);
  return board.exitStatus() == 0 ? 0 : 1;
}
