// SPDX-License-Identifier: MIT
// A component that is being destroyed calls no handler; open and close requests made inside a
// handler take effect in the order they were made.
#include <framework/thread.h>

#include <functional>

#include "component_test_util.h"

using namespace commtest;

namespace {

// Set while a TPortForm's own destructor has run and its base is destroying the owned port.
bool gFormDying = false;
int gHandlerCallsWhileDying = 0;

// A form that owns a port and binds the port's handlers to its own methods, as a stored form
// description does.
class TPortForm : public TComponent {
 public:
  explicit TPortForm(int ComNumber) : TComponent(nullptr), Port(new TCommPort(this)) {
    Log.reserve(64);
    Port->SetComNumber(ComNumber);
    Port->OnDataReceived = TCommDataEvent(this, &TPortForm::DataReceived);
    Port->OnRxDSignal = TNotifyEvent(this, &TPortForm::Signal);
    Port->OnTxDSignal = TNotifyEvent(this, &TPortForm::Signal);
    Port->OnClose = TNotifyEvent(this, &TPortForm::Signal);
  }
  ~TPortForm() override { gFormDying = true; }  // Log dies here; the port dies after

  void DataReceived(TObject*, DWORD) { Record("data"); }
  void Signal(TObject*) { Record("signal"); }

  TCommPort* Port;

 private:
  void Record(const char* What) {
    if (gFormDying) ++gHandlerCallsWhileDying;
    Log.push_back(What);  // a use after free once the form's members are gone
  }
  std::vector<std::string> Log;
};

}  // namespace

TEST_F(CablePortTest, DestroyedPortsCallNoHandler) {
  // By its owner: the owner's members are gone when the port closes.
  gFormDying = false;
  gHandlerCallsWhileDying = 0;
  auto* Form = new TPortForm(PortNumber);
  Form->Port->SetOpen(true);
  ASSERT_TRUE(Form->Port->GetOpen());
  Form->Port->PutBlock("out", 3);
  Cable.Write("in");
  ASSERT_EQ(Cable.ReadExactly(3, std::chrono::seconds(10)), "out");
  delete Form;
  EXPECT_EQ(gHandlerCallsWhileDying, 0);
  EXPECT_FALSE(Cable.NearIsOpen());

  // By its own destructor, with a delivery waiting for the main thread.
  int Calls = 0;
  auto Port = MakePort();
  Port->OnClose = [&](TObject*) { ++Calls; };
  Port->OnDataReceived = [&](TObject*, DWORD) { ++Calls; };
  Port->SetOpen(true);
  Cable.Write("pending");
  ASSERT_TRUE(PumpUntil([&] { return Calls > 0; }));
  Calls = 0;
  Cable.Write("more");
  Port.reset();
  EXPECT_EQ(Calls, 0);
  EXPECT_FALSE(Cable.NearIsOpen());
}

TEST_F(CablePortTest, ReopenRequestedInsideAHandlerTakesEffectInOrder) {
  serial::VirtualCable Other(UniqueName("component-other"));
  ScopedPortEnv OtherRoute(6, Other.NearPath());
  struct Case {
    const char* Name;
    std::function<void(TCommPort&)> Request;
    serial::VirtualCable* OpenEnd;
  };
  const Case Cases[] = {
      {"SetOpen", [](TCommPort& P) { P.SetOpen(false), P.SetOpen(true); }, &Cable},
      {"SetComNumber", [](TCommPort& P) { P.SetComNumber(6), P.SetOpen(true); }, &Other},
      {"ClosePort", [](TCommPort& P) { P.ClosePort(), P.OpenPort(); }, &Cable},
      {"twice", [](TCommPort& P) { P.ClosePort(), P.OpenPort(), P.SetOpen(false); }, nullptr},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    auto Port = MakePort();
    std::vector<std::string> Order;
    bool Asked = false;
    Port->OnOpen = [&](TObject*, int) { Order.push_back("open"); };
    Port->OnClose = [&](TObject*) { Order.push_back("close"); };
    Port->OnDataReceived = [&](TObject*, DWORD) {
      if (!std::exchange(Asked, true)) C.Request(*Port);
    };
    Port->SetOpen(true);
    Order.clear();
    Cable.Write("x");
    const std::size_t Steps = C.OpenEnd ? 2 : 3;
    ASSERT_TRUE(PumpUntil([&] { return Order.size() >= Steps; }));
    PumpUntil([] { return false; }, std::chrono::milliseconds(100));
    const std::vector<std::string> Expected =
        C.OpenEnd ? std::vector<std::string>{"close", "open"}
                  : std::vector<std::string>{"close", "open", "close"};
    EXPECT_EQ(Order, Expected);
    EXPECT_EQ(Port->GetOpen(), C.OpenEnd != nullptr);
    EXPECT_EQ(Cable.NearIsOpen(), C.OpenEnd == &Cable);
    EXPECT_EQ(Other.NearIsOpen(), C.OpenEnd == &Other);
    Port->OnOpen = nullptr;
    Port->OnClose = nullptr;
    Port->OnDataReceived = nullptr;
  }
}
