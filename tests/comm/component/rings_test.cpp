// SPDX-License-Identifier: MIT
// TCommPort's rings seen from the owner: PutBlock/GetBlock arithmetic with the worked examples,
// full and empty rings, rings of size 1, flushing, the buffer counts and the driver's queue, and
// ReadBlock's wait.
// The transmit ring's state is held still with hardware handshake (far RTS low).
#include <chrono>
#include <future>
#include <numeric>
#include <thread>

#include "component_test_util.h"

using namespace commtest;

namespace {

std::string Drain(TCommPort& Port, std::size_t Expected) {
  std::string Received;
  PumpUntil([&] {
    char Buffer[64];
    Received.append(Buffer, Port.GetBlock(Buffer, sizeof(Buffer)));
    return Received.size() >= Expected;
  });
  return Received;
}

}  // namespace

TEST(CommPortRings, ClosedPortTransfersNothing) {
  TCommPort Port(nullptr);
  char Buffer[4] = {1, 2, 3, 4};
  EXPECT_EQ(Port.PutBlock("abc", 3), 0u);
  EXPECT_EQ(Port.PutChar('a'), 0u);
  EXPECT_EQ(Port.PutString("abc"), 0u);
  EXPECT_EQ(Port.PutString(""), 0u);
  EXPECT_EQ(Port.GetBlock(Buffer, 4), 0u);
  EXPECT_EQ(Buffer[0], 1);
  EXPECT_EQ(Port.GetChar(), 0);
  EXPECT_FALSE(Port.CharReady());
  EXPECT_EQ(Port.GetInBuffUsed(), 0u);
  EXPECT_EQ(Port.GetOutBuffUsed(), 0u);
  EXPECT_EQ(Port.GetInBuffFree(), 2048u);
  EXPECT_EQ(Port.GetOutBuffFree(), 4096u);
  EXPECT_EQ(Port.GetOutQueCount(), 0);
  Port.FlushInBuffer();
  Port.FlushOutBuffer();
  EXPECT_EQ(Port.GetInBuffUsed(), 0u);
}

class HeldTransmitTest : public CablePortTest {
 protected:
  void SetUp() override {
    Port = MakePort();
    Port->SetOBuffSize(8);
    Port->SetComControl(ccHard);
    Cable.SetDTR(true);  // our DSR: the device's own output flow control needs it too
    Cable.SetRTS(true);
    Port->SetOpen(true);
    ASSERT_TRUE(Port->GetOpen());
    ASSERT_TRUE(PumpUntil([&] { return Port->GetCTS(); }));
  }

  void Hold() {
    Cable.SetRTS(false);
    ASSERT_TRUE(PumpUntil([&] { return !Port->GetCTS(); }));
  }

  // Releases the held bytes and returns what the far end received.
  std::string Release(std::size_t Expected) {
    Cable.SetRTS(true);
    std::string Received = Cable.ReadExactly(Expected, std::chrono::seconds(10));
    EXPECT_TRUE(PumpUntil([&] { return Port->GetOutBuffUsed() == 0; }));
    return Received;
  }

  // Sends five bytes through, which leaves OutHead at 5 and the ring empty.
  void HeadToFive() {
    ASSERT_EQ(Port->PutBlock("01234", 5), 5u);
    ASSERT_EQ(Cable.ReadExactly(5, std::chrono::seconds(10)), "01234");
    ASSERT_TRUE(PumpUntil([&] { return Port->GetOutBuffUsed() == 0; }));
  }

  std::unique_ptr<TCommPort> Port;
};

TEST_F(HeldTransmitTest, WorkedExamplesOfPutBlock) {
  HeadToFive();

  // OutHead 5, OutCount 2: six bytes go to index 7 and 0..4, the ring is full.
  Hold();
  ASSERT_EQ(Port->PutBlock("56", 2), 2u);
  EXPECT_EQ(Port->GetOutBuffUsed(), 2u);
  EXPECT_EQ(Port->PutBlock("abcdef", 6), 6u);
  EXPECT_EQ(Port->GetOutBuffUsed(), 8u);
  EXPECT_EQ(Port->GetOutBuffFree(), 0u);
  EXPECT_EQ(Port->PutChar('x'), 0u);  // full: nothing more
  EXPECT_EQ(Release(8), "56abcdef");  // leaves OutHead at 5 again (5 + 8 - 8)

  // Same start, nine bytes offered: the same six are queued.
  Hold();
  ASSERT_EQ(Port->PutBlock("56", 2), 2u);
  EXPECT_EQ(Port->PutBlock("ghijklmno", 9), 6u);
  EXPECT_EQ(Release(8), "56ghijkl");

  // OutHead 5, OutCount 5 (t = 10): the free run is index 2 up to 5.
  Hold();
  ASSERT_EQ(Port->PutBlock("ABCDE", 5), 5u);
  EXPECT_EQ(Port->PutBlock("uvwxyz", 6), 3u);
  EXPECT_EQ(Port->GetOutBuffUsed(), 8u);
  EXPECT_EQ(Release(8), "ABCDEuvw");
}

TEST_F(HeldTransmitTest, EmptyAndFullRings) {
  Hold();
  EXPECT_EQ(Port->PutBlock("abc", 0), 0u);
  EXPECT_EQ(Port->PutString(""), 0u);
  EXPECT_EQ(Port->GetOutBuffUsed(), 0u);
  // Held bytes that end exactly at the end of the storage: the next byte goes to index 0.
  EXPECT_EQ(Port->PutBlock("01234567", 8), 8u);
  EXPECT_EQ(Port->PutBlock("8", 1), 0u);
  EXPECT_EQ(Release(8), "01234567");  // head wrapped from 8 to 0
  Hold();
  EXPECT_EQ(Port->PutString("0123456789"), 8u);  // more than is free: exactly the free space
  EXPECT_EQ(Release(8), "01234567");
}

TEST_F(HeldTransmitTest, FlushOutBufferDiscardsTheHeldBytes) {
  Hold();
  ASSERT_EQ(Port->PutString("lost"), 4u);
  Cable.ClearCallLog();
  Port->FlushOutBuffer();
  EXPECT_EQ(Port->GetOutBuffUsed(), 0u);
  EXPECT_EQ(Port->GetOutBuffFree(), 8u);
  EXPECT_EQ(Args(Calls({"PurgeComm"})), std::vector<std::string>{"flags=0x00000005"});
  ASSERT_EQ(Port->PutString("ok"), 2u);
  EXPECT_EQ(Release(2), "ok");
  EXPECT_EQ(Cable.PendingFromNear(), 0u);
}

TEST_F(CablePortTest, WorkedExamplesOfGetBlock) {
  auto Port = MakePort();
  Port->SetIBuffSize(8);
  Port->SetOpen(true);
  ASSERT_TRUE(Port->GetOpen());

  // InHead 6, InCount 4: bytes at 6, 7, 0, 1.
  Cable.Write("012345");
  ASSERT_EQ(Drain(*Port, 6), "012345");
  Cable.Write("6789");
  ASSERT_TRUE(PumpUntil([&] { return Port->GetInBuffUsed() == 4; }));
  char Buffer[16] = {};
  ASSERT_EQ(Port->GetBlock(Buffer, 3), 3u);
  EXPECT_EQ(std::string(Buffer, 3), "678");
  EXPECT_EQ(Port->GetInBuffUsed(), 1u);
  EXPECT_EQ(Port->GetBlock(Buffer, 10), 1u);
  EXPECT_EQ(Buffer[0], '9');

  // InHead 2 now; move it to 6 again, then take more than is held across the wrap.
  Cable.Write("wxyz");
  ASSERT_EQ(Drain(*Port, 4), "wxyz");
  Cable.Write("ABCD");
  ASSERT_TRUE(PumpUntil([&] { return Port->GetInBuffUsed() == 4; }));
  EXPECT_EQ(Port->GetBlock(Buffer, 10), 4u);
  EXPECT_EQ(std::string(Buffer, 4), "ABCD");
  EXPECT_EQ(Port->GetInBuffUsed(), 0u);
  Cable.Write("E");
  EXPECT_EQ(Drain(*Port, 1), "E");
}

TEST_F(CablePortTest, ReceiveRingFillsToItsSizeAndResumesAfterGetBlock) {
  auto Port = MakePort();
  Port->SetIBuffSize(8);
  Port->SetOpen(true);
  std::string Sent(21, '\0');
  std::iota(Sent.begin(), Sent.end(), 'a');
  Cable.Write(Sent);
  ASSERT_TRUE(PumpUntil([&] { return Port->GetInBuffUsed() == 8; }));
  EXPECT_EQ(Port->GetInBuffFree(), 0u);

  char Buffer[4];
  EXPECT_EQ(Port->GetBlock(Buffer, 0), 0u);  // length 0 changes nothing
  EXPECT_EQ(Port->GetInBuffUsed(), 8u);
  EXPECT_EQ(Drain(*Port, Sent.size()), Sent);
}

TEST_F(CablePortTest, RingsOfSizeOne) {
  auto Port = MakePort();
  Port->SetIBuffSize(1);
  Port->SetOBuffSize(1);
  Port->SetOpen(true);
  ASSERT_TRUE(Port->GetOpen());
  Cable.Write("xyz");
  std::string Received;
  ASSERT_TRUE(PumpUntil([&] {
    if (Port->CharReady()) Received += Port->GetChar();
    return Received.size() == 3;
  }));
  EXPECT_EQ(Received, "xyz");

  std::string Sent;
  for (char c : std::string("hello")) {
    ASSERT_TRUE(PumpUntil([&] { return Port->PutChar(c) == 1; }));
  }
  EXPECT_EQ(Cable.ReadExactly(5, std::chrono::seconds(10)), "hello");
}

TEST_F(CablePortTest, ReceivedNulIsToldApartByCharReady) {
  auto Port = MakePort();
  Port->SetOpen(true);
  EXPECT_EQ(Port->GetChar(), 0);  // nothing received
  EXPECT_FALSE(Port->CharReady());
  Cable.Write(std::string(1, '\0'));
  ASSERT_TRUE(PumpUntil([&] { return Port->CharReady(); }));
  EXPECT_EQ(Port->GetChar(), 0);
  EXPECT_FALSE(Port->CharReady());
}

TEST_F(CablePortTest, FlushInBufferEmptiesTheRing) {
  auto Port = MakePort();
  Port->SetIBuffSize(8);
  Port->SetOpen(true);
  Cable.Write("abcdef");
  ASSERT_TRUE(PumpUntil([&] { return Port->GetInBuffUsed() == 6; }));
  char Buffer[8];
  ASSERT_EQ(Port->GetBlock(Buffer, 2), 2u);
  Cable.ClearCallLog();
  Port->FlushInBuffer();
  EXPECT_EQ(Port->GetInBuffUsed(), 0u);
  EXPECT_EQ(Port->GetInBuffFree(), 8u);
  EXPECT_FALSE(Port->CharReady());
  EXPECT_EQ(Args(Calls({"PurgeComm"})), std::vector<std::string>{"flags=0x0000000A"});
  Cable.Write("0123456789");  // from the old head on, across the end of the storage
  EXPECT_EQ(Drain(*Port, 10), "0123456789");
}

TEST_F(CablePortTest, OutQueCountReadsTheDriverQueue) {
  auto Port = MakePort();
  Port->SetOpen(true);
  Cable.SetReceiving(false);
  ASSERT_EQ(Port->PutString("queued"), 6u);
  ASSERT_TRUE(PumpUntil([&] { return Port->GetOutQueCount() == 6; }));
  EXPECT_EQ(Port->GetOutBuffUsed(), 0u);  // handed to the driver

  Cable.FailNext("ClearCommError", ERROR_GEN_FAILURE, -1);
  EXPECT_EQ(Port->GetOutQueCount(), 0);
  Cable.FailNone();
  Cable.SetReceiving(true);
  EXPECT_EQ(Cable.ReadExactly(6, std::chrono::seconds(10)), "queued");
  EXPECT_TRUE(PumpUntil([&] { return Port->GetOutQueCount() == 0; }));
}

// ReadBlock waits on its own thread, with no message loop and no synchronised calls run: it ends
// at the count (a reply in two pieces), at the gap after the last byte, or at the time-out.
TEST_F(CablePortTest, ReadBlockEndsAtTheCountTheGapOrTheTimeOut) {
  using Clock = std::chrono::steady_clock;
  auto Port = MakePort();
  char Buffer[8] = {};
  EXPECT_EQ(Port->ReadBlock(Buffer, 5, 60'000), 0u) << "a closed port returns at once";
  Port->SetOpen(true);
  ASSERT_TRUE(Port->GetOpen());
  const auto ReadOffThread = [&](DWORD Count, DWORD TimeoutMs, DWORD GapMs) {
    return std::async(std::launch::async, [&Port, &Buffer, Count, TimeoutMs, GapMs] {
      return std::string(Buffer, Port->ReadBlock(Buffer, Count, TimeoutMs, GapMs));
    });
  };

  auto Reply = ReadOffThread(5, 60'000, 0);
  Cable.Write("+23");
  std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the second piece comes later
  Cable.Write(".5#");
  EXPECT_EQ(Reply.get(), "+23.5");

  Port->FlushInBuffer();
  auto Started = Clock::now();
  Reply = ReadOffThread(20, 60'000, 200);
  Cable.Write("OK");
  EXPECT_EQ(Reply.get(), "OK");
  EXPECT_LT(Clock::now() - Started, std::chrono::seconds(30))
      << "the gap ended it, not the time-out";

  Started = Clock::now();
  EXPECT_EQ(ReadOffThread(5, 300, 0).get(), "");
  EXPECT_GE(Clock::now() - Started, std::chrono::milliseconds(300));
}
