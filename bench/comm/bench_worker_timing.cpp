// SPDX-License-Identifier: MIT
// The worker threads' timing on the virtual null-modem cable, which the unit tests check only as
// conditions: how soon the status monitor reports a line change that comes 10 ms and 80 ms into a
// pending wait (StatusPause 50: the first waits for the pause, the second is seen at once), how
// long SendBreak(20) holds the break (20 ticks of 55 ms), and how long a close takes while the
// far end keeps talking (open, traffic, close, many times). Medians and worst cases, in ms.
// Usage: bench_worker_timing [ROUNDS] (default 9 pacing rounds; 20 times as many closes).
#include <comm/Commport.h>
#include <serial/virtual_cable.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Ms = std::chrono::milliseconds;
constexpr int ComNumber = 48;

double MillisSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

template <class Condition>
bool WaitFor(Condition done, Ms limit = Ms(10000)) {
  const auto deadline = Clock::now() + limit;
  while (!done()) {
    if (Clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return true;
}

void Report(const char* what, std::vector<double> ms) {
  std::sort(ms.begin(), ms.end());
  std::printf("%-44s median %7.1f  worst %7.1f  (%zu)\n", what, ms[ms.size() / 2], ms.back(),
              ms.size());
}

// Line changes 10 ms and 80 ms into the monitor's pending wait: from the wait's start to the
// change seen, and from the change to it seen.
void StatusPacing(serial::VirtualCable& cable, TCommPort& port, int rounds) {
  std::vector<double> early, late;
  bool rts = false;
  for (int round = 0; round < rounds; ++round) {
    for (int delay : {10, 80}) {
      std::this_thread::sleep_for(Ms(150));  // quiet: the monitor is blocked on a pending wait
      rts = !rts;
      cable.SetRTS(rts);  // seen at once; the monitor then waits again
      WaitFor([&] { return port.GetCTS() == rts; });
      const auto waitBegan = Clock::now();
      std::this_thread::sleep_for(Ms(delay));
      rts = !rts;
      const auto changed = Clock::now();
      cable.SetRTS(rts);
      WaitFor([&] { return port.GetCTS() == rts; });
      (delay == 10 ? early : late).push_back(MillisSince(delay == 10 ? waitBegan : changed));
    }
  }
  Report("change 10 ms into a wait: seen after (ms)", early);
  Report("change 80 ms into a wait: seen within (ms)", late);
}

void BreakHold(TCommPort& port, int rounds) {
  std::vector<double> held;
  for (int round = 0; round < std::max(1, rounds / 3); ++round) {
    const auto start = Clock::now();
    port.SendBreak(20);
    held.push_back(MillisSince(start));
  }
  Report("SendBreak(20), 1100 ms asked: held (ms)", held);
}

void CloseWithTraffic(serial::VirtualCable& cable, TCommPort& port, int cycles) {
  std::atomic<bool> stop{false};
  std::thread far([&] {  // the far end talks and toggles its lines all the time
    char buf[256];
    bool level = false;
    while (!stop) {
      cable.Write("far-end-bytes", 13);
      cable.Read(buf, sizeof buf, Ms(1));
      cable.SetRTS(level = !level);
      std::this_thread::sleep_for(Ms(1));
    }
  });
  std::vector<double> closes;
  char buf[64];
  for (int i = 0; i < cycles; ++i) {
    port.SetOpen(true);
    port.PutBlock("near-end-bytes", 14);
    port.GetBlock(buf, sizeof buf);
    const auto start = Clock::now();
    port.SetOpen(false);
    closes.push_back(MillisSince(start));
  }
  stop = true;
  far.join();
  Report("close while the far end talks (ms)", closes);
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
  serial::VirtualCable cable("bench-timing-" + std::to_string(getpid()));
  setenv(("COMM_PORT_" + std::to_string(ComNumber)).c_str(), cable.NearPath().c_str(), 1);
  TCommPort port(nullptr);
  port.SetComNumber(ComNumber);
  port.SetOpen(true);
  if (!port.GetOpen()) {
    std::fprintf(stderr, "the cable's port did not open\n");
    return 1;
  }
  StatusPacing(cable, port, rounds);
  BreakHold(port, rounds);
  port.SetOpen(false);
  CloseWithTraffic(cable, port, rounds * 20);
  return 0;
}
