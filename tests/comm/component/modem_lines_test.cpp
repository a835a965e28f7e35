// SPDX-License-Identifier: MIT
// DTR, RTS, power, break and the live modem status of TCommPort.
#include <chrono>

#include "component_test_util.h"

using namespace commtest;

TEST_F(CablePortTest, LevelsSetWhileClosedAreRecordedAndAppliedAtOpen) {
  auto Port = MakePort();
  Port->SetDTR(true);
  EXPECT_TRUE(Port->GetDTR());
  EXPECT_FALSE(Port->GetRTS());
  EXPECT_TRUE(Cable.CallLog().empty());
  Port->SetOpen(true);
  EXPECT_TRUE(Cable.NearDTR());
  EXPECT_FALSE(Cable.NearRTS());
  Port->SetOpen(false);

  Port->PowerOn();  // closed: the line calls fail on no handle, the levels are recorded
  EXPECT_TRUE(Port->GetDTR());
  EXPECT_TRUE(Port->GetRTS());
  Cable.ClearCallLog();
  Port->SetOpen(true);
  EXPECT_EQ(Args(Calls({"EscapeCommFunction"})), (std::vector<std::string>{"SETDTR", "SETRTS"}));
  EXPECT_TRUE(Cable.NearDTR() && Cable.NearRTS());
}

TEST_F(CablePortTest, RefusedLineOperations) {
  auto Port = MakePort();
  Port->SetOpen(true);
  Port->SetDTR(true);
  Port->SetRTS(true);
  ASSERT_TRUE(Cable.NearDTR() && Cable.NearRTS());

  Cable.FailNext("EscapeCommFunction", ERROR_GEN_FAILURE);
  Port->SetDTR(false);
  EXPECT_TRUE(Port->GetDTR());  // failed: the old level stays
  Cable.FailNext("EscapeCommFunction", ERROR_GEN_FAILURE);
  Port->SetRTS(false);
  EXPECT_TRUE(Port->GetRTS());

  Cable.FailNext("EscapeCommFunction", ERROR_GEN_FAILURE, 2);
  Port->PowerOff();  // recorded whatever the device said
  EXPECT_FALSE(Port->GetDTR());
  EXPECT_FALSE(Port->GetRTS());
  Cable.FailNone();

  Port->PowerOff();
  EXPECT_FALSE(Cable.NearDTR() || Cable.NearRTS());
  Cable.ClearCallLog();
  Port->PowerOn();
  EXPECT_EQ(Args(Calls({"EscapeCommFunction"})), (std::vector<std::string>{"SETDTR", "SETRTS"}));
  EXPECT_TRUE(Cable.NearDTR() && Cable.NearRTS());
}

TEST_F(CablePortTest, BreakOperations) {
  auto Port = MakePort();
  EXPECT_FALSE(Port->SetBreak(true));  // closed
  const auto Start = std::chrono::steady_clock::now();
  Port->SendBreak(2);  // closed: no line operation, but the wait
  EXPECT_GE(std::chrono::steady_clock::now() - Start, std::chrono::milliseconds(110));
  EXPECT_TRUE(Cable.CallLog().empty());

  Port->SetOpen(true);
  EXPECT_TRUE(Port->SetBreak(true));
  EXPECT_TRUE(Cable.NearBreak());
  EXPECT_TRUE(Port->SetBreak(false));
  EXPECT_FALSE(Cable.NearBreak());
  Cable.FailNext("EscapeCommFunction", ERROR_GEN_FAILURE);
  EXPECT_FALSE(Port->SetBreak(true));

  Cable.ClearCallLog();
  Port->SendBreak(0);
  EXPECT_EQ(Args(Calls({"EscapeCommFunction"})),
            (std::vector<std::string>{"SETBREAK", "CLRBREAK"}));
  EXPECT_FALSE(Cable.NearBreak());
}

TEST_F(CablePortTest, ModemStateSelectorsReadTheLiveInputs) {
  auto Port = MakePort();
  EXPECT_FALSE(Port->GetModemState(1));  // closed
  Port->SetOpen(true);
  for (int Selector : {0, 1, 2, 3, 4, 5, -1}) EXPECT_FALSE(Port->GetModemState(Selector));

  Cable.SetRTS(true);  // our CTS
  EXPECT_TRUE(Port->GetModemState(1));
  EXPECT_FALSE(Port->GetModemState(2));
  Cable.SetDTR(true);  // our DSR and DCD
  EXPECT_TRUE(Port->GetModemState(2));
  EXPECT_TRUE(Port->GetModemState(4));
  EXPECT_FALSE(Port->GetModemState(3));
  Cable.SetRing(true);
  EXPECT_TRUE(Port->GetModemState(3));
  for (int Selector : {0, 5, -1}) EXPECT_FALSE(Port->GetModemState(Selector));

  Cable.FailNext("GetCommModemStatus", ERROR_GEN_FAILURE, -1);
  EXPECT_FALSE(Port->GetModemState(1));
}
