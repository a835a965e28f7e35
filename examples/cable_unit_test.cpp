// SPDX-License-Identifier: MIT
// A unit test of your own code over the virtual null-modem cable: no device, no simulator. The
// test opens a TCommPort on one end of an in-process cable ("virtual:NAME" through
// COMM_PORT_<n>) and plays the device on the other end with serial::VirtualCable.
//
// The code under test is ReadThermometer below, as a program using Comm might write it.
#include <comm/Commport.h>
#include <gtest/gtest.h>
#include <serial/virtual_cable.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <thread>

// ---- The code under test -------------------------------------------------------------------

// Asks the board for thermometer 1 to 4 ("BA".."BD") and returns its reading, or nothing when
// the board does not answer within a second.
std::optional<std::string> ReadThermometer(TCommPort& port, int thermometer) {
  const char command[2] = {'B', static_cast<char>('A' + thermometer - 1)};
  port.PutBlock(command, 2);
  char reply[5];
  const DWORD n = port.ReadBlock(reply, sizeof reply, 1000, 200);
  if (n == 0) return std::nullopt;
  return std::string(reply, n);
}

// ---- The tests -----------------------------------------------------------------------------

class ThermometerTest : public testing::Test {
 protected:
  // COM9 is end A of the cable "thermometer-test"; the test holds the far end.
  ThermometerTest() : board("thermometer-test") {
    setenv("COMM_PORT_9", board.NearPath().c_str(), 1);
    port.SetComNumber(9);
    port.SetOpen(true);
  }
  ~ThermometerTest() override {
    port.SetOpen(false);
    unsetenv("COMM_PORT_9");
  }

  serial::VirtualCable board;
  TCommPort port{nullptr};
};

TEST_F(ThermometerTest, SendsTheCommandAndReturnsTheReply) {
  ASSERT_TRUE(port.GetOpen());
  std::thread device([&] {
    if (board.ReadExactly(2, std::chrono::seconds(10)) == "BC") board.Write("-4.5");
  });
  EXPECT_EQ(ReadThermometer(port, 3), "-4.5");
  device.join();
}

TEST_F(ThermometerTest, AReplyInPiecesComesWhole) {
  std::thread device([&] {
    board.ReadExactly(2, std::chrono::seconds(10));
    board.Write("+2");
    std::this_thread::sleep_for(std::chrono::milliseconds(60));  // as a USB adapter splits it
    board.Write("1.5");
  });
  EXPECT_EQ(ReadThermometer(port, 1), "+21.5");
  device.join();
}

TEST_F(ThermometerTest, ASilentBoardGivesNothing) {
  EXPECT_EQ(ReadThermometer(port, 2), std::nullopt);
  EXPECT_EQ(board.ReadExactly(2, std::chrono::seconds(10)), "BB") << "the command went out";
}
