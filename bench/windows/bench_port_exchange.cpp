// SPDX-License-Identifier: MIT
// One TCommPort's open, exchange and close times on COM<n>, built both for Linux and for Windows
// so that bench_wine.sh can run it natively and under Wine against the same board simulator on
// the same pty. An exchange is the program's: "BZ" (search the sensor bus) sent, the one-byte
// reply taken as soon as the read notification brings it.
//
//   bench_port_exchange <com number> [exchanges]
// prints "open_ms <median> exchange_ms <median> <min> <max> close_ms <median> replies <n>/<total>".
#include <comm/Commport.h>
#include <framework/thread.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

void Configure(TCommPort& port, int number) {
  port.SetComNumber(number);
  port.SetBaudRate(cbr19200);
  port.SetDataBits(8);
  port.SetParity(paNone);
  port.SetStopBits(sb1_0);
  port.SetMonitorEvents(EventSet({evRxChar, evTxEmpty, evError}));
}

// Sends "BZ" and waits (up to 2 s, delivering notifications) for the reply; its time, or < 0.
double Exchange(TCommPort& port, bool& announced) {
  char drain[64];
  while (port.GetBlock(drain, sizeof drain) > 0) {
  }
  announced = false;
  const Clock::time_point start = Clock::now();
  port.PutBlock("BZ", 2);
  while (Clock::now() - start < std::chrono::seconds(2)) {
    CheckSynchronize(1);
    if (announced && port.GetInBuffUsed() > 0) return Ms(Clock::now() - start);
  }
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const int number = std::atoi(argv[1]);
  const int total = argc > 2 ? std::atoi(argv[2]) : 20;
  std::vector<double> opens, exchanges, closes;

  for (int round = 0; round < 5; ++round) {  // open and close alone
    TCommPort port(nullptr);
    Configure(port, number);
    const Clock::time_point a = Clock::now();
    port.SetOpen(true);
    const Clock::time_point b = Clock::now();
    if (!port.GetOpen()) return 3;
    port.SetOpen(false);
    opens.push_back(Ms(b - a));
    closes.push_back(Ms(Clock::now() - b));
  }

  TCommPort port(nullptr);
  Configure(port, number);
  bool announced = false;
  port.OnDataReceived = [&](TObject*, DWORD) { announced = true; };
  port.SetOpen(true);
  if (!port.GetOpen()) return 3;
  Exchange(port, announced);  // the first one wakes everything up; not counted
  for (int i = 0; i < total; ++i) {
    const double t = Exchange(port, announced);
    if (t >= 0) exchanges.push_back(t);
  }
  port.SetOpen(false);

  const auto [low, high] = std::minmax_element(exchanges.begin(), exchanges.end());
  std::printf("open_ms %.2f exchange_ms %.2f %.2f %.2f close_ms %.2f replies %zu/%d\n",
              Median(opens), Median(exchanges), exchanges.empty() ? 0 : *low,
              exchanges.empty() ? 0 : *high, Median(closes), exchanges.size(), total);
  return exchanges.size() == static_cast<std::size_t>(total) ? 0 : 1;
}
