// SPDX-License-Identifier: MIT
// Notifications carried to the main thread: OnDataReceived merging and its last call inside the
// close, the status handlers in their fixed order, the Error argument, the empty mask at close.
#include <comm/Commport.h>
#include <framework/thread.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "worker_support.h"

using namespace workertest;

namespace {

std::size_t CountCalls(const serial::VirtualCable& cable, const std::string& call) {
  std::size_t n = 0;
  for (const auto& r : cable.CallLog()) n += r.Call == call;
  return n;
}

}  // namespace

// Reads that complete while a delivery waits for the main thread merge: one call reports them
// all, with Count = the bytes then held; the queued signal gives at most one more such call.
TEST(WorkerNotifications, DataReceivedMergesReadsAndReportsBytesHeld) {
  CablePort p("merge");
  std::vector<DWORD> counts;
  p.Port->OnDataReceived = [&](TObject* sender, DWORD count) {
    EXPECT_EQ(sender, p.Port.get());
    counts.push_back(count);
  };
  ASSERT_TRUE(p.Open());
  p.Cable.ClearCallLog();

  // Five separate reads while the main thread runs no synchronised call.
  for (DWORD i = 1; i <= 5; ++i) {
    p.Cable.Write("abc", 3);
    ASSERT_TRUE(WaitUntil([&] { return p.Port->GetInBuffUsed() == 3 * i; }));
  }
  ASSERT_GE(CountCalls(p.Cable, "ReadFile"), 5u);
  EXPECT_TRUE(counts.empty());

  ASSERT_TRUE(PumpUntil([&] { return !counts.empty(); }));
  PumpUntil([] { return false; }, Ms(300));  // let any further delivery arrive
  ASSERT_GE(counts.size(), 1u);
  EXPECT_LE(counts.size(), 2u);
  for (DWORD c : counts) EXPECT_EQ(c, 15u);
}

// The read notifier delivers once more inside the close, before OnClose, with the rings still
// allocated: the handler can take the bytes then.
TEST(WorkerNotifications, DataReceivedRunsInsideCloseBeforeOnClose) {
  CablePort p("lastcall");
  std::vector<std::string> events;
  bool closing = false;
  std::string taken;
  p.Port->OnDataReceived = [&](TObject*, DWORD count) {
    events.push_back((closing ? "close-data " : "data ") + std::to_string(count));
    if (closing) {
      char buf[16];
      const DWORD n = p.Port->GetBlock(buf, sizeof buf);
      taken.append(buf, n);
    }
  };
  p.Port->OnClose = [&](TObject*) { events.push_back("OnClose"); };
  ASSERT_TRUE(p.Open());

  p.Cable.Write("wxyz", 4);
  ASSERT_TRUE(WaitUntil([&] { return p.Port->GetInBuffUsed() == 4; }));
  closing = true;
  p.Port->SetOpen(false);

  ASSERT_GE(events.size(), 2u);
  EXPECT_EQ(events.back(), "OnClose");
  EXPECT_EQ(std::count(events.begin(), events.end(), "OnClose"), 1);
  EXPECT_EQ(events[events.size() - 2].rfind("close-data ", 0), 0u) << events[events.size() - 2];
  EXPECT_EQ(std::find(events.begin(), events.end(), "close-data 4") != events.end(), true);
  EXPECT_EQ(taken, "wxyz");
}

namespace {

const char* const HandlerOrder[9] = {"CTS",     "DCD", "DSR",   "Ring", "RxD",
                                     "RxEvent", "TxD", "Break", "Error"};

// Records every status handler call; "|" separates the calls of successive CheckSynchronize
// runs, each of which holds at most one dispatch of the status notifier.
struct StatusRecorder {
  std::vector<std::string> log;
  std::vector<int> errors;

  void Attach(TCommPort& port) {
    port.OnCTSSignal = [this](TObject*) { log.push_back("CTS"); };
    port.OnDCDSignal = [this](TObject*) { log.push_back("DCD"); };
    port.OnDSRSignal = [this](TObject*) { log.push_back("DSR"); };
    port.OnRingSignal = [this](TObject*) { log.push_back("Ring"); };
    port.OnRxDSignal = [this](TObject*) { log.push_back("RxD"); };
    port.OnRxEventSignal = [this](TObject*) { log.push_back("RxEvent"); };
    port.OnTxDSignal = [this](TObject*) { log.push_back("TxD"); };
    port.OnBreakSignal = [this](TObject*) { log.push_back("Break"); };
    port.OnErrorSignal = [this](TObject*, int error) {
      log.push_back("Error");
      errors.push_back(error);
    };
  }
  void Pump(Ms duration) {
    PumpUntil([] { return false; }, duration);
  }
  bool PumpUntil(const std::function<bool()>& done, Ms timeout = Ms(10000)) {
    const auto end = Clock::now() + timeout;
    while (!done()) {
      if (Clock::now() >= end) return false;
      if (CheckSynchronize(5)) log.push_back("|");
    }
    return true;
  }
  // The handler names of each dispatch.
  std::vector<std::vector<std::string>> Dispatches() const {
    std::vector<std::vector<std::string>> groups(1);
    for (const auto& e : log) {
      if (e == "|") {
        if (!groups.back().empty()) groups.emplace_back();
      } else {
        groups.back().push_back(e);
      }
    }
    if (groups.back().empty()) groups.pop_back();
    return groups;
  }
};

int OrderOf(const std::string& name) {
  for (int i = 0; i < 9; ++i)
    if (name == HandlerOrder[i]) return i;
  return -1;
}

}  // namespace

// A mask with all nine bits calls the handlers in the order CTS, DCD, DSR, Ring, RxD, RxEvent,
// TxD, Break, Error; every dispatch keeps that order.
TEST(WorkerNotifications, FullMaskCallsNineHandlersInFixedOrder) {
  CablePort p("order");
  p.Port->SetEventChar('Z');
  p.Port->SetMonitorEvents(EventSet(
      {evRxChar, evRxEventChar, evTxEmpty, evCTS, evDSR, evRlsd, evBreak, evError, evRing}));
  StatusRecorder rec;
  rec.Attach(*p.Port);
  ASSERT_TRUE(p.Open());

  bool sawFull = false;
  bool rts = false, dtr = false;
  // All nine events must fall between two waits of the monitor. After the first event the
  // monitor collects it and waits again, pausing 50 ms; a second event completes that wait, and
  // the nine that follow at once accumulate for the next wait, which completes with all of them.
  for (int attempt = 0; attempt < 8 && !sawFull; ++attempt) {
    rec.Pump(Ms(150));  // quiet: the monitor's wait is pending
    rec.log.clear();
    const bool ringBefore = p.Port->GetRing();
    p.Cable.SetRing(!ringBefore);
    ASSERT_TRUE(rec.PumpUntil([&] { return p.Port->GetRing() != ringBefore; }));
    rts = !rts;
    p.Cable.SetRTS(rts);   // completes the monitor's new wait
    p.Port->PutChar('x');  // transmit empty follows once the far end has taken the byte
    p.Cable.ReadExactly(1, Ms(20));
    rts = !rts;
    p.Cable.SetRTS(rts);
    dtr = !dtr;
    p.Cable.SetDTR(dtr);
    p.Cable.SetRing(ringBefore);
    p.Cable.Write("Z", 1);
    p.Cable.SendBreak();
    p.Cable.InjectError(CE_FRAME);
    rec.Pump(Ms(300));
    for (const auto& d : rec.Dispatches()) {
      for (std::size_t i = 1; i < d.size(); ++i)
        EXPECT_LT(OrderOf(d[i - 1]), OrderOf(d[i])) << d[i - 1] << " before " << d[i];
      if (d.size() == 9) sawFull = true;
    }
    char drain[64];
    while (p.Port->GetBlock(drain, sizeof drain) > 0) {
    }
  }
  EXPECT_TRUE(sawFull) << "no dispatch with all nine events was produced";
}

// OnErrorSignal's Error is the main thread's own last error, read right before the call.
TEST(WorkerNotifications, ErrorArgumentIsMainThreadLastError) {
  CablePort p("lasterr");
  std::vector<int> errors;
  p.Port->OnErrorSignal = [&](TObject*, int error) { errors.push_back(error); };
  ASSERT_TRUE(p.Open());
  for (DWORD value : {4242u, 77u}) {
    errors.clear();
    p.Cable.InjectError(CE_OVERRUN);
    const auto deadline = Clock::now() + Ms(10000);
    while (errors.empty() && Clock::now() < deadline) {
      SetLastError(value);
      CheckSynchronize(5);
    }
    ASSERT_FALSE(errors.empty());
    EXPECT_EQ(errors.front(), static_cast<int>(value));
  }
}

// The monitor's last wait at close completes with an empty mask; the notifier's last dispatch
// then calls no handler, even though the previous mask had a bit set.
TEST(WorkerNotifications, EmptyMaskDispatchAtCloseCallsNothing) {
  CablePort p("emptymask");
  StatusRecorder rec;
  rec.Attach(*p.Port);
  bool closed = false;
  p.Port->OnClose = [&](TObject*) { closed = true; };
  ASSERT_TRUE(p.Open());
  p.Cable.SetRTS(true);
  ASSERT_TRUE(
      PumpUntil([&] { return std::find(rec.log.begin(), rec.log.end(), "CTS") != rec.log.end(); }));
  rec.Pump(Ms(200));
  const std::size_t before = rec.log.size();
  p.Port->SetOpen(false);
  EXPECT_TRUE(closed);
  std::size_t handlerCalls = 0;
  for (std::size_t i = before; i < rec.log.size(); ++i) handlerCalls += rec.log[i] != "|";
  EXPECT_EQ(handlerCalls, 0u);
}

// Line events whose waits complete one after the other while the main thread runs no
// synchronised call are all reported: the delivery merges them, losing none.
TEST(WorkerNotifications, StatusEventsThatCompleteBeforeTheirDeliveryAreAllReported) {
  CablePort p("status-merge");
  std::vector<std::string> seen;
  p.Port->OnCTSSignal = [&](TObject*) { seen.push_back("CTS"); };
  p.Port->OnDSRSignal = [&](TObject*) { seen.push_back("DSR"); };
  ASSERT_TRUE(p.Open());
  const auto nextWait = [&](const std::function<void()>& change) {
    const std::size_t waits = CountCalls(p.Cable, "WaitCommEvent");
    change();
    // The monitor records the completed wait before it starts the next one.
    return WaitUntil([&] { return CountCalls(p.Cable, "WaitCommEvent") > waits; });
  };
  ASSERT_TRUE(nextWait([&] { p.Cable.SetRTS(true); }));
  ASSERT_TRUE(nextWait([&] { p.Cable.SetDTR(true); }));
  EXPECT_TRUE(seen.empty());
  ASSERT_TRUE(PumpUntil([&] { return seen.size() >= 2; }));
  EXPECT_EQ(seen, (std::vector<std::string>{"CTS", "DSR"}));
}
