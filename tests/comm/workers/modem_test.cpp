// SPDX-License-Identifier: MIT
// Modem lines on an open port: DTR and RTS kept across close and open, power and break
// operations, live reads of the inputs against the monitor's stored states.
#include <comm/Commport.h>
#include <framework/thread.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "worker_support.h"

using namespace workertest;

TEST(WorkerModemLines, DtrAndRtsAreRememberedAcrossCloseAndOpen) {
  CablePort p("dtrrts");
  ASSERT_TRUE(p.Open());
  p.Port->SetDTR(true);
  EXPECT_TRUE(p.Cable.NearDTR());
  EXPECT_FALSE(p.Cable.NearRTS());
  p.Port->SetOpen(false);
  EXPECT_TRUE(p.Port->GetDTR());

  p.Port->SetRTS(true);  // closed: only recorded
  ASSERT_TRUE(p.Open());
  EXPECT_TRUE(p.Cable.NearDTR());
  EXPECT_TRUE(p.Cable.NearRTS());
  p.Port->SetDTR(false);
  EXPECT_FALSE(p.Cable.NearDTR());
  EXPECT_TRUE(p.Port->GetRTS());
}

TEST(WorkerModemLines, FailedDtrOperationKeepsOldLevel) {
  CablePort p("dtrfail");
  ASSERT_TRUE(p.Open());
  p.Port->SetDTR(true);
  p.Cable.FailNext("EscapeCommFunction", ERROR_GEN_FAILURE);
  p.Port->SetDTR(false);
  EXPECT_TRUE(p.Port->GetDTR());
  EXPECT_TRUE(p.Cable.NearDTR());
}

// PowerOff records both levels as false even when the device refuses the line operations.
TEST(WorkerModemLines, PowerOffOnRefusingDeviceStillRecordsFalse) {
  CablePort p("poweroff");
  ASSERT_TRUE(p.Open());
  p.Port->PowerOn();
  EXPECT_TRUE(p.Cable.NearDTR() && p.Cable.NearRTS());
  p.Cable.FailNext("EscapeCommFunction", ERROR_GEN_FAILURE, 2);
  p.Port->PowerOff();
  EXPECT_FALSE(p.Port->GetDTR());
  EXPECT_FALSE(p.Port->GetRTS());
  EXPECT_TRUE(p.Cable.NearDTR());  // the device kept its lines
  p.Port->SetOpen(false);
  ASSERT_TRUE(p.Open());  // the recorded levels reach the device at the next open
  EXPECT_FALSE(p.Cable.NearDTR());
  EXPECT_FALSE(p.Cable.NearRTS());
}

// SendBreak(20) holds the break for at least 20 x 55 = 1100 ms (bench_worker_timing: how long).
TEST(WorkerModemLines, SendBreakHoldsBreakForItsTicks) {
  CablePort p("break");
  ASSERT_TRUE(p.Open());
  std::atomic<bool> sawBreak{false}, stop{false};
  std::thread watcher([&] {
    while (!stop) {
      if (p.Cable.NearBreak()) sawBreak = true;
      std::this_thread::sleep_for(Ms(5));
    }
  });
  const auto start = Clock::now();
  p.Port->SendBreak(20);
  const double held = MillisSince(start);
  stop = true;
  watcher.join();
  EXPECT_TRUE(sawBreak);
  EXPECT_FALSE(p.Cable.NearBreak());
  EXPECT_GE(held, 1100.0);
  EXPECT_TRUE(p.Port->SetBreak(true));
  EXPECT_TRUE(p.Cable.NearBreak());
  EXPECT_TRUE(p.Port->SetBreak(false));
  EXPECT_FALSE(p.Cable.NearBreak());
}

// Selectors 1 to 4 read CTS, DSR, Ring and DCD live; anything else reads false.
TEST(WorkerModemLines, GetModemStateSelectors) {
  CablePort p("selectors");
  ASSERT_TRUE(p.Open());
  for (int s : {0, 1, 2, 3, 4, 5, -1}) EXPECT_FALSE(p.Port->GetModemState(s)) << s;
  p.Cable.SetRTS(true);
  EXPECT_TRUE(p.Port->GetModemState(1));
  EXPECT_FALSE(p.Port->GetModemState(2));
  p.Cable.SetRing(true);
  EXPECT_TRUE(p.Port->GetModemState(3));
  EXPECT_FALSE(p.Port->GetModemState(4));
  p.Cable.SetDTR(true);
  EXPECT_TRUE(p.Port->GetModemState(2));
  EXPECT_TRUE(p.Port->GetModemState(4));
  for (int s : {0, 5, -1}) EXPECT_FALSE(p.Port->GetModemState(s)) << s;
  p.Cable.FailNext("GetCommModemStatus", ERROR_GEN_FAILURE);
  EXPECT_FALSE(p.Port->GetModemState(1));
  p.Port->SetOpen(false);
  EXPECT_FALSE(p.Port->GetModemState(1));
}

// Without evCTS in MonitorEvents the CTS property keeps its start-of-open value while the line
// changes; GetModemState(1) follows the line.
TEST(WorkerModemLines, CtsPropertyStaleWithoutCtsEvent) {
  CablePort p("stalects");
  p.Port->SetMonitorEvents(EventSet({evRxChar, evTxEmpty, evBreak}));
  ASSERT_TRUE(p.Open());
  PumpUntil([] { return false; }, Ms(100));
  EXPECT_FALSE(p.Port->GetCTS());
  p.Cable.SetRTS(true);
  EXPECT_TRUE(p.Port->GetModemState(1));
  PumpUntil([] { return false; }, Ms(300));
  EXPECT_FALSE(p.Port->GetCTS());
}

// Without evRxChar nothing wakes the reader: received bytes never reach the empty ring.
TEST(WorkerModemLines, WithoutRxCharNothingReachesTheRing) {
  CablePort p("norxchar");
  p.Port->SetMonitorEvents(EventSet({evTxEmpty, evCTS, evDSR, evRlsd, evBreak, evError, evRing}));
  ASSERT_TRUE(p.Open());
  p.Cable.Write("lost", 4);
  PumpUntil([] { return false; }, Ms(300));
  EXPECT_EQ(p.Port->GetInBuffUsed(), 0u);
  EXPECT_FALSE(p.Port->CharReady());
}
