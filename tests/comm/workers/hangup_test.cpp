// SPDX-License-Identifier: MIT
// A device that goes away: reported once through OnErrorSignal, PutBlock refuses bytes while it
// is gone, the close after it delivers no stale status notification, and a reopen works once
// the device is back, with or without a close first. On the virtual cable and on a pty.
#include <comm/Commport.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "worker_support.h"

using namespace workertest;

namespace {

struct FarEnd {
  TNotifyEvent TCommPort::*StatusSlot;           // the status notification Provoke causes
  std::function<void(TCommPort&)> Provoke;       // makes the port deliver that notification
  std::function<void()> HangUp;                  // the device goes away
  std::function<void()> ComeBack;                // the device is back (under the same number)
  std::function<std::string(std::size_t)> Read;  // bytes the port sent
};

void CheckHangUp(TCommPort& Port, const FarEnd& Far) {
  std::vector<int> Errors;
  int Status = 0;
  Port.OnErrorSignal = [&](TObject*, int Error) { Errors.push_back(Error); };
  Port.*Far.StatusSlot = [&](TObject*) { ++Status; };
  Port.SetOpen(true);
  ASSERT_TRUE(Port.GetOpen());
  Far.Provoke(Port);
  ASSERT_TRUE(PumpUntil([&] { return Status > 0; }));

  Far.HangUp();
  ASSERT_TRUE(PumpUntil([&] { return !Errors.empty(); }));
  PumpUntil([] { return false; }, Ms(300));
  EXPECT_EQ(Errors, std::vector<int>{ERROR_DEVICE_NOT_CONNECTED});
  EXPECT_EQ(Port.PutBlock("lost", 4), 0u);

  const int StatusBeforeClose = Status;
  Port.SetOpen(false);
  EXPECT_EQ(Status, StatusBeforeClose);  // nothing new happened: nothing is delivered
  EXPECT_EQ(Errors.size(), 1u);

  Far.ComeBack();
  Port.SetOpen(true);
  ASSERT_TRUE(Port.GetOpen());
  EXPECT_EQ(Port.PutBlock("back", 4), 4u);
  EXPECT_EQ(Far.Read(4), "back");

  // Opened again after a loss without being closed first: the dead device is closed for it.
  Far.HangUp();
  ASSERT_TRUE(PumpUntil([&] { return Errors.size() == 2; }));
  Far.ComeBack();
  Port.SetOpen(true);
  ASSERT_TRUE(Port.GetOpen());
  EXPECT_EQ(Port.PutBlock("again", 5), 5u);
  EXPECT_EQ(Far.Read(5), "again");
  Port.OnErrorSignal = nullptr;
  Port.*Far.StatusSlot = nullptr;
  Port.SetOpen(false);
}

}  // namespace

TEST(HangUp, ReportedOnceOnTheCable) {
  CablePort p("hangup-cable");
  CheckHangUp(*p.Port, {&TCommPort::OnCTSSignal, [&](TCommPort&) { p.Cable.SetRTS(true); },
                        [&] { p.Cable.HangUp(); }, [&] { p.Cable.Reconnect(); },
                        [&](std::size_t n) { return p.Cable.ReadExactly(n, Ms(10000)); }});
}

TEST(HangUp, ReportedOnceOnAPty) {
  constexpr int ComNumber = 48;
  auto Pty = std::make_unique<commtest::PtyPair>();
  auto Route = std::make_unique<PortRoute>(ComNumber, Pty->SlavePath());
  TCommPort Port(nullptr);
  Port.SetComNumber(ComNumber);
  CheckHangUp(Port, {&TCommPort::OnTxDSignal,
                     [&](TCommPort& P) {
                       P.PutBlock("abc", 3);
                       Pty->ReadExactly(3, Ms(10000));
                     },
                     [&] { Pty->HangUp(); },
                     [&] {
                       Route.reset();
                       Pty = std::make_unique<commtest::PtyPair>();
                       Route = std::make_unique<PortRoute>(ComNumber, Pty->SlavePath());
                     },
                     [&](std::size_t n) { return Pty->ReadExactly(n, Ms(10000)); }});
}
