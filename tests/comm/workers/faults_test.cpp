// SPDX-License-Identifier: MIT
// Faults: many open/close cycles under traffic, closing a port whose far end hung up or whose
// writes are held, closing from inside handlers, flushes racing transfers, no spin when dead.
#include <comm/Commport.h>
#include <framework/thread.h>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "worker_support.h"

using namespace workertest;

namespace {

double CloseMillis(TCommPort& port) {
  const auto start = Clock::now();
  port.SetOpen(false);
  return MillisSince(start);
}

double ProcessCpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

#if defined(ZELVANE_TSAN) || defined(ZELVANE_ASAN)
constexpr int Cycles = 150;
#else
constexpr int Cycles = 1000;
#endif

}  // namespace

// Open, move bytes both ways with every handler assigned, close; every close ends (a hung one
// fails the test's deadline; bench_worker_timing measures how long they take).
TEST(WorkerFaults, ManyOpenCloseCyclesWithTraffic) {
  CablePort p("cycles");
  int calls = 0, opens = 0, closes = 0;
  auto count = [&](TObject*) { ++calls; };
  p.Port->OnCTSSignal = count;
  p.Port->OnDCDSignal = count;
  p.Port->OnDSRSignal = count;
  p.Port->OnRingSignal = count;
  p.Port->OnRxDSignal = count;
  p.Port->OnRxEventSignal = count;
  p.Port->OnTxDSignal = count;
  p.Port->OnBreakSignal = count;
  p.Port->OnErrorSignal = [&](TObject*, int) { ++calls; };
  p.Port->OnDataReceived = [&](TObject*, DWORD) { ++calls; };
  p.Port->OnOpen = [&](TObject*, int) { ++opens; };
  p.Port->OnClose = [&](TObject*) { ++closes; };

  std::atomic<bool> stop{false};
  std::thread far([&] {  // the far end talks and toggles its lines all the time
    char buf[256];
    bool level = false;
    while (!stop) {
      p.Cable.Write("far-end-bytes", 13);
      p.Cable.Read(buf, sizeof buf, Ms(1));
      level = !level;
      p.Cable.SetRTS(level);
      std::this_thread::sleep_for(Ms(1));
    }
  });
  double worst = 0;
  char buf[64];
  for (int i = 0; i < Cycles; ++i) {
    ASSERT_TRUE(p.Open()) << "cycle " << i;
    p.Port->PutBlock("near-end-bytes", 14);
    CheckSynchronize(i % 3);
    p.Port->GetBlock(buf, sizeof buf);
    worst = std::max(worst, CloseMillis(*p.Port));
    ASSERT_FALSE(p.Port->GetOpen()) << "cycle " << i;
  }
  stop = true;
  far.join();
  EXPECT_EQ(opens, Cycles);
  EXPECT_EQ(closes, Cycles);
  EXPECT_GT(calls, 0);
  RecordProperty("worst_close_ms", std::to_string(worst));
}

// The far end hangs up with bytes queued both ways: the close still ends within 1 s.
TEST(WorkerFaults, CloseAfterFarEndHungUp) {
  CablePort p("hangup");
  bool lost = false;
  p.Port->OnErrorSignal = [&](TObject*, int error) { lost |= error == ERROR_DEVICE_NOT_CONNECTED; };
  ASSERT_TRUE(p.Open());
  p.Cable.SetReceiving(false);
  std::string block(3000, 'h');
  p.Port->PutBlock(block.data(), static_cast<unsigned long>(block.size()));
  p.Cable.Write("pending", 7);
  p.Cable.HangUp();
  p.Port->PutBlock(block.data(), 1000);
  EXPECT_TRUE(PumpUntil([&] { return lost; }));  // the port knows the line is gone
  EXPECT_LT(CloseMillis(*p.Port), 1000.0);
  EXPECT_FALSE(p.Port->GetOpen());
  p.Cable.Reconnect();
  p.Cable.SetReceiving(true);
  ASSERT_TRUE(p.Open());  // the cable is usable again
  ASSERT_EQ(p.Port->PutBlock("ok", 2), 2u);
  EXPECT_EQ(p.Cable.ReadExactly(2, Ms(10000)).substr(0, 2).size(), 2u);
}

// A write held by hardware flow control is given up at close: bounded, bytes discarded.
TEST(WorkerFaults, CloseWhileWriteIsHeldByFlowControl) {
  CablePort p("held");
  p.Cable.SetRTS(true);
  p.Cable.SetDTR(true);
  p.Cable.SetReceiving(false);  // the far end takes nothing: writes stay pending
  ASSERT_TRUE(p.Open());
  std::string block(4000, 'x');
  p.Port->PutBlock(block.data(), static_cast<unsigned long>(block.size()));
  // The driver's output queue takes the first block; the second one stays in a pending write.
  ASSERT_TRUE(PumpUntil([&] { return p.Port->GetOutBuffUsed() == 0; }));
  p.Port->PutBlock(block.data(), 4000);
  EXPECT_LT(CloseMillis(*p.Port), 1000.0);
  EXPECT_EQ(p.Port->GetOutBuffUsed(), 0u);
}

// A hung-up port with bytes waiting in the transmit ring does not spin: well under 5% of a core.
TEST(WorkerFaults, DeadDeviceCostsNoSpin) {
  CablePort p("spin");
  bool lost = false;
  p.Port->OnErrorSignal = [&](TObject*, int error) { lost |= error == ERROR_DEVICE_NOT_CONNECTED; };
  ASSERT_TRUE(p.Open());
  p.Cable.HangUp();
  p.Port->PutBlock("stuck", 5);
  ASSERT_TRUE(PumpUntil([&] { return lost; }));
  const double cpu0 = ProcessCpuSeconds();
  const auto t0 = Clock::now();
  PumpUntil([] { return false; }, Ms(2000));
  const double share = (ProcessCpuSeconds() - cpu0) / (MillisSince(t0) / 1000.0);
  RecordProperty("dead_port_cpu_share", std::to_string(share));
#if !defined(ZELVANE_TSAN) && !defined(ZELVANE_ASAN)
  EXPECT_LT(share, 0.05);
#endif
  EXPECT_LT(CloseMillis(*p.Port), 1000.0);
}

// Reads and writes that keep failing are retried with a back-off, not in a tight loop; once the
// device answers again the bytes move.
TEST(WorkerFaults, FailingTransfersBackOffAndRecover) {
  CablePort p("backoff");
  ASSERT_TRUE(p.Open());
  p.Cable.FailNext("ReadFile", ERROR_GEN_FAILURE, -1);
  p.Cable.FailNext("WriteFile", ERROR_GEN_FAILURE, -1);
  p.Cable.Write("inbound", 7);
  ASSERT_EQ(p.Port->PutBlock("outbound", 8), 8u);
  auto logged = [&](const char* call) {  // every one of them fails
    const auto log = p.Cable.CallLog();
    return std::count_if(log.begin(), log.end(), [&](const auto& r) { return r.Call == call; });
  };
  ASSERT_TRUE(PumpUntil([&] { return logged("ReadFile") > 0 && logged("WriteFile") > 0; }));
  const double cpu0 = ProcessCpuSeconds();
  const auto t0 = Clock::now();
  PumpUntil([] { return false; }, Ms(1500));
  const double share = (ProcessCpuSeconds() - cpu0) / (MillisSince(t0) / 1000.0);
  RecordProperty("failing_port_cpu_share", std::to_string(share));
#if !defined(ZELVANE_TSAN) && !defined(ZELVANE_ASAN)
  EXPECT_LT(share, 0.05);
#endif
  EXPECT_EQ(p.Port->GetInBuffUsed(), 0u);
  EXPECT_EQ(p.Port->GetOutBuffUsed(), 8u);

  p.Cable.FailNone();
  EXPECT_EQ(p.Cable.ReadExactly(8, Ms(10000)), "outbound");
  ASSERT_TRUE(PumpUntil([&] { return p.Port->GetInBuffUsed() == 7; }));
  char buf[8];
  ASSERT_EQ(p.Port->GetBlock(buf, sizeof buf), 7u);
  EXPECT_EQ(std::string(buf, 7), "inbound");
}

// When the driver's status query fails the reader reads nothing on the strength of an earlier
// answer: it goes back to waiting, and the next wake-up moves the bytes.
TEST(WorkerFaults, ReaderWaitsAgainWhenStatusQueryFails) {
  CablePort p("clearfail");
  ASSERT_TRUE(p.Open());
  PumpUntil([] { return false; }, Ms(100));
  p.Cable.ClearCallLog();
  p.Cable.FailNext("ClearCommError", ERROR_GEN_FAILURE);
  p.Cable.Write("abc", 3);
  PumpUntil([] { return false; }, Ms(300));
  bool failedQuery = false, readAfter = false;
  for (const auto& r : p.Cable.CallLog()) {
    failedQuery |= r.Call == "ClearCommError";
    readAfter |= failedQuery && r.Call == "ReadFile";
  }
  EXPECT_TRUE(failedQuery);
  EXPECT_FALSE(readAfter);
  EXPECT_EQ(p.Port->GetInBuffUsed(), 0u);

  p.Cable.Write("d", 1);  // a new received-character event wakes the reader again
  ASSERT_TRUE(PumpUntil([&] { return p.Port->GetInBuffUsed() == 4; }));
}

namespace {

// Closes the port from inside a handler the notifiers deliver; the close happens after the
// handler has returned, once, on the main thread.
template <class Arm, class Fire>
void CloseFromHandler(const char* name, Arm arm, Fire fire) {
  SCOPED_TRACE(name);
  CablePort p(name);
  int closes = 0;
  bool openDuringHandler = false;
  p.Port->OnClose = [&](TObject*) { ++closes; };
  auto closeNow = [&] {
    p.Port->SetOpen(false);
    openDuringHandler = p.Port->GetOpen();  // deferred: still open inside the handler
  };
  arm(*p.Port, closeNow);
  ASSERT_TRUE(p.Open());
  fire(p.Cable);
  ASSERT_TRUE(PumpUntil([&] { return !p.Port->GetOpen(); }));
  PumpUntil([] { return false; }, Ms(100));
  EXPECT_EQ(closes, 1);
  EXPECT_TRUE(openDuringHandler);
  EXPECT_FALSE(p.Cable.NearIsOpen());
}

}  // namespace

TEST(WorkerFaults, CloseFromInsideEachKindOfHandler) {
  using Close = std::function<void()>;
  CloseFromHandler(
      "data",
      [](TCommPort& port, const Close& c) { port.OnDataReceived = [c](TObject*, DWORD) { c(); }; },
      [](serial::VirtualCable& cable) { cable.Write("x", 1); });
  CloseFromHandler(
      "cts", [](TCommPort& port, const Close& c) { port.OnCTSSignal = [c](TObject*) { c(); }; },
      [](serial::VirtualCable& cable) { cable.SetRTS(true); });
  CloseFromHandler(
      "rxd", [](TCommPort& port, const Close& c) { port.OnRxDSignal = [c](TObject*) { c(); }; },
      [](serial::VirtualCable& cable) { cable.Write("y", 1); });
  CloseFromHandler(
      "error",
      [](TCommPort& port, const Close& c) { port.OnErrorSignal = [c](TObject*, int) { c(); }; },
      [](serial::VirtualCable& cable) { cable.InjectError(CE_FRAME); });
  CloseFromHandler(
      "break", [](TCommPort& port, const Close& c) { port.OnBreakSignal = [c](TObject*) { c(); }; },
      [](serial::VirtualCable& cable) { cable.SendBreak(); });
}

// Flushes racing the reader and the writer never leave a count beyond the ring or a stale
// count on an emptied ring; once the racing stops, data flows intact again.
TEST(WorkerFaults, FlushesRacingTransfers) {
  CablePort p("flushrace");
  p.Port->SetIBuffSize(61);
  p.Port->SetOBuffSize(67);
  ASSERT_TRUE(p.Open());
  std::atomic<bool> stop{false};
  std::thread far([&] {
    char buf[512];
    std::string chunk(97, 'f');
    while (!stop) {
      p.Cable.Write(chunk.data(), chunk.size());
      p.Cable.Read(buf, sizeof buf, Ms(1));
    }
  });
  std::string block(50, 'n');
  char buf[64];
  const auto end = Clock::now() + Ms(3000 / static_cast<int>(VolumeDivisor > 1 ? 2 : 1));
  bool bounded = true;
  while (Clock::now() < end) {
    p.Port->PutBlock(block.data(), static_cast<unsigned long>(block.size()));
    p.Port->FlushOutBuffer();
    p.Port->GetBlock(buf, 7);
    p.Port->FlushInBuffer();
    bounded &= p.Port->GetInBuffUsed() <= 61 && p.Port->GetOutBuffUsed() <= 67;
    CheckSynchronize(0);
  }
  stop = true;
  far.join();
  EXPECT_TRUE(bounded);

  // Quiet again: drain what is still on its way, then both rings must behave exactly.
  auto idle = Clock::now();
  while (MillisSince(idle) < 300) {
    if (p.Cable.Read(buf, sizeof buf, Ms(5)) > 0 || p.Port->GetBlock(buf, sizeof buf) > 0)
      idle = Clock::now();
    CheckSynchronize(0);
  }
  p.Port->FlushInBuffer();
  ASSERT_TRUE(PumpUntil([&] { return p.Port->GetOutBuffUsed() == 0; }));
  EXPECT_EQ(p.Port->GetInBuffUsed(), 0u);
  ASSERT_EQ(p.Port->PutBlock("after-flush", 11), 11u);
  EXPECT_EQ(p.Cable.ReadExactly(11, Ms(10000)), "after-flush");
  p.Cable.Write("reply", 5);
  ASSERT_TRUE(PumpUntil([&] { return p.Port->GetInBuffUsed() == 5; }));
  ASSERT_EQ(p.Port->GetBlock(buf, sizeof buf), 5u);
  EXPECT_EQ(std::string(buf, 5), "reply");
}
