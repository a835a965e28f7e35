// SPDX-License-Identifier: MIT
// The status monitor: device mask from MonitorEvents, the start-up sample, which events sample
// the modem inputs, the pause before a pending wait is collected, and the hardware-handshake gate.
#include <comm/Commport.h>
#include <framework/thread.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "worker_support.h"

using namespace workertest;

namespace {

std::vector<std::string> Calls(const serial::VirtualCable& cable, const std::string& name) {
  std::vector<std::string> args;
  for (const auto& r : cable.CallLog())
    if (r.Call == name) args.push_back(r.Args);
  return args;
}

}  // namespace

TEST(WorkerMonitor, DeviceMaskFollowsMonitorEvents) {
  struct Case {
    TEventStates events;
    const char* mask;
  };
  const TEventStates defaults = CablePort().Port->GetMonitorEvents();
  for (const Case& c :
       {Case{defaults, "mask=0x000001FD"}, Case{EventSet({evRing}), "mask=0x00000100"},
        Case{0, "mask=0x00000000"}, Case{EventSet({evRxEventChar, evBreak}), "mask=0x00000042"}}) {
    CablePort p("mask");
    p.Port->SetMonitorEvents(c.events);
    ASSERT_TRUE(p.Open());
    const auto masks = Calls(p.Cable, "SetCommMask");
    ASSERT_FALSE(masks.empty());
    EXPECT_EQ(masks.front(), c.mask);
  }
}

// The monitor samples the inputs when it starts: a line already on reads true without any event.
TEST(WorkerMonitor, StartUpSampleSetsInputStates) {
  CablePort p("startup");
  p.Cable.SetRTS(true);  // our CTS
  p.Cable.SetDTR(true);  // our DSR and DCD
  ASSERT_TRUE(p.Open());
  EXPECT_TRUE(PumpUntil([&] { return p.Port->GetCTS() && p.Port->GetDSR() && p.Port->GetDCD(); }));
  EXPECT_FALSE(p.Port->GetRing());
}

// Received characters, breaks and transmit-empty do not sample the modem inputs; line-status
// events and errors do.
TEST(WorkerMonitor, OnlyLineStatusEventsSampleModemInputs) {
  CablePort p("sample");
  int rxd = 0, brk = 0, txd = 0, err = 0;
  p.Port->OnRxDSignal = [&](TObject*) { ++rxd; };
  p.Port->OnBreakSignal = [&](TObject*) { ++brk; };
  p.Port->OnTxDSignal = [&](TObject*) { ++txd; };
  p.Port->OnErrorSignal = [&](TObject*, int) { ++err; };
  ASSERT_TRUE(p.Open());
  PumpUntil([] { return false; }, Ms(150));

  p.Cable.ClearCallLog();
  p.Cable.Write("q", 1);
  ASSERT_TRUE(PumpUntil([&] { return rxd > 0; }));
  p.Cable.SendBreak();
  ASSERT_TRUE(PumpUntil([&] { return brk > 0; }));
  p.Port->PutChar('t');
  EXPECT_EQ(p.Cable.ReadExactly(1, Ms(10000)), "t");  // the cable drains when the far end reads
  ASSERT_TRUE(PumpUntil([&] { return txd > 0; }));
  EXPECT_TRUE(Calls(p.Cable, "GetCommModemStatus").empty());

  p.Cable.InjectError(CE_FRAME);
  ASSERT_TRUE(PumpUntil([&] { return err > 0; }));
  EXPECT_FALSE(Calls(p.Cable, "GetCommModemStatus").empty());
}

// How soon a pending wait is collected at the default pause (an event 10 ms into the wait at
// about 50 ms, one 80 ms in at once) is measured by bench_worker_timing; here the pause is made
// long enough that a check of it cannot race.
// StatusPause sets the pause before a pending wait is collected: with a long one an event that
// comes just after the wait went pending waits for the pause to end; with 0 (the same port,
// from its next wait on) events are collected as they come.
TEST(WorkerMonitor, StatusPauseSetsThePauseBeforeAPendingWaitIsCollected) {
  CablePort p("pause");
  p.Port->SetMonitorEvents(EventSet({evCTS}));
  p.Port->SetStatusPause(3000);
  ASSERT_TRUE(p.Open());
  ASSERT_TRUE(WaitUntil([&] { return Calls(p.Cable, "WaitCommEvent").size() == 1; }));
  p.Cable.SetRTS(true);  // our CTS, early in the 3 s pause
  EXPECT_FALSE(PumpUntil([&] { return p.Port->GetCTS(); }, Ms(500)))
      << "collected long before the pause ended";
  p.Port->SetStatusPause(0);
  EXPECT_TRUE(WaitUntil([&] { return p.Port->GetCTS(); }));
  // From the next wait on, without pause: each change is collected as it comes.
  for (bool rts : {false, true, false, true}) {
    p.Cable.SetRTS(rts);
    EXPECT_TRUE(WaitUntil([&] { return p.Port->GetCTS() == rts; }));
  }
}

// Under hardware handshake with the far end's RTS (our CTS) low, queued bytes stay in the ring;
// raising it sends them.
TEST(WorkerMonitor, HardwareHandshakeHoldsUntilCtsReturns) {
  CablePort p("hshake");
  p.Cable.SetDTR(true);  // DSR on: only CTS holds the line
  p.Port->SetComControl(ccHard);
  ASSERT_TRUE(p.Open());
  PumpUntil([&] { return p.Port->GetDSR(); });
  ASSERT_FALSE(p.Port->GetCTS());
  ASSERT_EQ(p.Port->PutBlock("held", 4), 4u);
  PumpUntil([] { return false; }, Ms(300));
  EXPECT_EQ(p.Port->GetOutBuffUsed(), 4u);
  EXPECT_EQ(p.Cable.PendingFromNear(), 0u);

  p.Cable.SetRTS(true);
  EXPECT_EQ(p.Cable.ReadExactly(4, Ms(10000)), "held");
  EXPECT_TRUE(PumpUntil([&] { return p.Port->GetOutBuffUsed() == 0; }));
}

// Without hardware handshake a low CTS never holds the writer.
TEST(WorkerMonitor, NoHoldWithoutHardwareHandshake) {
  for (TComControl control : {ccNone, ccSoft}) {
    CablePort p("nohold");
    p.Port->SetComControl(control);
    ASSERT_TRUE(p.Open());
    ASSERT_EQ(p.Port->PutBlock("free", 4), 4u);
    EXPECT_EQ(p.Cable.ReadExactly(4, Ms(10000)), "free") << "control " << control;
  }
}

// After a close the four input states read false, whatever the monitor sampled last.
TEST(WorkerMonitor, InputStatesReadFalseAfterClose) {
  CablePort p("inputs");
  p.Cable.SetRTS(true);
  p.Cable.SetDTR(true);
  p.Cable.SetRing(true);
  for (int cycle = 0; cycle < 5; ++cycle) {
    ASSERT_TRUE(p.Open());
    ASSERT_TRUE(PumpUntil([&] { return p.Port->GetCTS() && p.Port->GetRing(); }));
    p.Cable.SetRTS(cycle % 2 == 0);  // an event may be in flight as the close begins
    p.Port->SetOpen(false);
    EXPECT_FALSE(p.Port->GetCTS());
    EXPECT_FALSE(p.Port->GetDSR());
    EXPECT_FALSE(p.Port->GetDCD());
    EXPECT_FALSE(p.Port->GetRing());
    p.Cable.SetRTS(true);
  }
}
