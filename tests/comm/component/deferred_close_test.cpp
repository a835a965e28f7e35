// SPDX-License-Identifier: MIT
// A close requested from inside a handler that a notifier delivers runs once the handler has
// returned: no deadlock, OnClose once, the port closed (or reopened by a size setter).
#include "component_test_util.h"

using namespace commtest;

namespace {

struct CloseCounter {
  int Closes = 0;
  int Opens = 0;
  std::vector<std::string> Order;
  void Attach(TCommPort& Port) {
    Port.OnClose = [this](TObject*) {
      ++Closes;
      Order.push_back("close");
    };
    Port.OnOpen = [this](TObject*, int) {
      ++Opens;
      Order.push_back("open");
    };
  }
};

}  // namespace

TEST_F(CablePortTest, SetOpenFalseInsideOnDataReceivedClosesAfterTheHandler) {
  CloseCounter Counter;
  auto Port = MakePort();
  Counter.Attach(*Port);
  int Calls = 0;
  bool OpenAfterRequest = false;
  Port->OnDataReceived = [&](TObject*, DWORD) {
    ++Calls;
    Port->SetOpen(false);
    OpenAfterRequest = Port->GetOpen();  // deferred: still open inside the handler
  };
  Port->SetOpen(true);
  Cable.Write("data");
  ASSERT_TRUE(PumpUntil([&] { return !Port->GetOpen(); }));
  EXPECT_TRUE(OpenAfterRequest);
  EXPECT_GE(Calls, 1);
  EXPECT_EQ(Counter.Closes, 1);
  EXPECT_FALSE(Cable.NearIsOpen());
  EXPECT_FALSE(PumpUntil([&] { return Counter.Closes > 1; }, std::chrono::milliseconds(100)));
}

TEST_F(CablePortTest, ClosingSettersInsideLineHandlersAreCarriedOutAfterwards) {
  CloseCounter Counter;
  auto Port = MakePort();
  Counter.Attach(*Port);
  // Asked once only: the notifier's last dispatch inside the close may repeat the CTS event,
  // and a request made there is carried out as well.
  bool Asked = false;
  Port->OnCTSSignal = [&](TObject*) {
    if (!Asked) Port->SetComNumber(PortNumber);
    Asked = true;
  };
  Port->SetOpen(true);
  Cable.SetRTS(true);
  ASSERT_TRUE(PumpUntil([&] { return Counter.Closes == 1; }));
  EXPECT_FALSE(Port->GetOpen());
  Port->OnCTSSignal = nullptr;

  // A size setter closes and reopens with the new size.
  // The far DTR drives both DSR and DCD; notifications merge, so either handler may see it.
  bool Requested = false;
  TNotifyEvent Resize = [&](TObject*) {
    if (!Requested) Port->SetIBuffSize(64);
    Requested = true;
  };
  Port->OnDSRSignal = Resize;
  Port->OnDCDSignal = Resize;
  Port->SetOpen(true);
  Counter.Order.clear();
  Cable.SetDTR(true);
  ASSERT_TRUE(PumpUntil([&] { return Port->GetInBuffFree() == 64u; }));
  Port->OnDSRSignal = nullptr;
  Port->OnDCDSignal = nullptr;
  EXPECT_TRUE(Port->GetOpen());
  EXPECT_EQ(Counter.Order, (std::vector<std::string>{"close", "open"}));
}

TEST_F(CablePortTest, DestroyingWithADeferredRequestPendingIsSafe) {
  CloseCounter Counter;
  auto Port = MakePort();
  Counter.Attach(*Port);
  bool Requested = false;
  TCommPort* Raw = Port.get();  // unique_ptr::reset clears the pointer before deleting
  Port->OnDataReceived = [&, Raw](TObject*, DWORD) {
    Raw->ClosePort();
    Requested = true;
  };
  Port->SetOpen(true);
  Cable.Write("x");
  ASSERT_TRUE(PumpUntil([&] { return Requested; }));
  Port.reset();                  // the queued close must not run on a destroyed component
  EXPECT_EQ(Counter.Closes, 0);  // and the destruction calls no handler
  EXPECT_FALSE(PumpUntil([&] { return Counter.Closes > 0; }, std::chrono::milliseconds(100)));
}
