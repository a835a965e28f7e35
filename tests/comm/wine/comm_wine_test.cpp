// SPDX-License-Identifier: MIT
// TCommPort on the real Win32 API, run under Wine against COM ports that are pseudo-terminals
// whose far end uart_peer plays on the Linux side: open and close, the line settings the far
// end sees, exchanges both ways, FlushFileBuffers, a hang-up, and a busy port.
#include <comm/Commport.h>
#include <framework/thread.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "dialogs.h"
#include "peer_client.h"
#include "wait.h"

using namespace std::chrono_literals;
using testsupport::DialogRecorder;
using testsupport::PeerClient;
using testsupport::PumpUntil;

namespace {

constexpr int kCom = 5;  // the ports the test runner maps (tests/support/wine/CMakeLists.txt)
constexpr int kSecondCom = 6;

// The program's own settings: 19200 8N1, every event watched (the modem ones included).
std::unique_ptr<TCommPort> MakePort(int number) {
  auto port = std::make_unique<TCommPort>(nullptr);
  port->SetComNumber(number);
  port->SetBaudRate(cbr19200);
  port->SetDataBits(8);
  port->SetParity(paNone);
  port->SetStopBits(sb1_0);
  port->SetMonitorEvents(
      EventSet({evRxChar, evTxEmpty, evCTS, evDSR, evRlsd, evBreak, evError, evRing}));
  return port;
}

std::string Take(TCommPort& port, std::size_t count) {
  std::string got;
  PumpUntil([&] {
    char buffer[256];
    const DWORD n =
        port.GetBlock(buffer, static_cast<DWORD>(std::min(sizeof buffer, count - got.size())));
    got.append(buffer, n);
    return got.size() >= count;
  });
  return got;
}

class WinePortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(PeerClient::Available()) << "run under uart_peer (ctest does)";
    peer = std::make_unique<PeerClient>();
  }
  std::unique_ptr<PeerClient> peer;
  DialogRecorder boxes;
};

}  // namespace

TEST_F(WinePortTest, OpensWithTheProgramsLineSettingsAndCloses) {
  auto port = MakePort(kCom);
  std::vector<int> opened;
  int closed = 0;
  port->OnOpen = [&](TObject*, int error) { opened.push_back(error); };
  port->OnClose = [&](TObject*) { ++closed; };

  port->SetOpen(true);
  ASSERT_TRUE(port->GetOpen());
  EXPECT_TRUE(port->IsEnabled());
  EXPECT_EQ(opened, std::vector<int>{0});
  EXPECT_EQ(boxes.Count(), 0u);

  const testsupport::PeerLineSettings lines = peer->Lines(kCom);
  EXPECT_EQ(lines.Baud, 19200);
  EXPECT_EQ(lines.DataBits, 8);
  EXPECT_EQ(lines.Parity, 'N');
  EXPECT_EQ(lines.StopBits, 1);
  EXPECT_TRUE(lines.Raw);

  // A setter writes to the open device at once. (A pty keeps 8 bits and no parity whatever it
  // is asked: the speed and the stop bits are what the far end can check.)
  port->SetBaudRate(cbr9600);
  port->SetStopBits(sb2_0);
  EXPECT_EQ(peer->Lines(kCom).Baud, 9600);
  EXPECT_EQ(peer->Lines(kCom).StopBits, 2);

  port->SetOpen(false);
  EXPECT_FALSE(port->GetOpen());
  EXPECT_FALSE(port->IsEnabled());
  EXPECT_EQ(closed, 1);

  port->SetOpen(true);  // and again, on the same device
  EXPECT_TRUE(port->GetOpen());
  port->SetOpen(false);
  EXPECT_EQ(closed, 2);
}

TEST_F(WinePortTest, ExchangesBlocksBothWays) {
  auto port = MakePort(kCom);
  DWORD announced = 0;
  port->OnDataReceived = [&](TObject*, DWORD count) { announced += count; };
  port->SetOpen(true);
  ASSERT_TRUE(port->GetOpen());

  for (int round = 0; round < 5; ++round) {
    const std::string request = "REQ" + std::to_string(round) + "\r";
    ASSERT_EQ(port->PutBlock(request.data(), static_cast<DWORD>(request.size())), request.size());
    EXPECT_EQ(peer->ReadExactly(kCom, request.size(), 10s), request);
    const std::string reply = "reply " + std::to_string(round) + " \xC2\xE5\xF0\r\n";
    peer->Write(kCom, reply);
    EXPECT_EQ(Take(*port, reply.size()), reply);
  }

  // Blocks of every byte value, in order, each way.
  std::string block;
  for (int i = 0; i < 2048; ++i) block += static_cast<char>(i * 7 % 256);
  for (int round = 0; round < 4; ++round) {
    ASSERT_EQ(port->PutBlock(block.data(), static_cast<DWORD>(block.size())), block.size());
    EXPECT_EQ(peer->ReadExactly(kCom, block.size(), 10s), block);
    peer->Write(kCom, block);
    EXPECT_EQ(Take(*port, block.size()), block);
  }
  EXPECT_TRUE(PumpUntil([&] { return announced >= 5 * 15 + 4 * block.size(); }));
  port->SetOpen(false);
}

// FlushFileBuffers returns once the bytes written have left, as tcdrain does on a tty: after a
// completed overlapped write and a flush, ClearCommError counts nothing in the output queue, for
// a short request and for a block larger than the line holds (whose write completes only as the
// far end takes it). The far end then has every byte.
TEST_F(WinePortTest, AFlushLeavesNothingInTheOutputQueue) {
  const std::wstring name = L"\\\\.\\COM" + std::to_wstring(kCom);
  const HANDLE port = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  ASSERT_NE(port, INVALID_HANDLE_VALUE) << GetLastError();
  OVERLAPPED o{};
  o.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  // Completes the overlapped write of bytes, flushes, and says what ClearCommError counts.
  const auto writeAndFlush = [&](const std::string& bytes) {
    DWORD n = 0;
    ResetEvent(o.hEvent);
    if (!WriteFile(port, bytes.data(), static_cast<DWORD>(bytes.size()), &n, &o)) {
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
      EXPECT_TRUE(GetOverlappedResult(port, &o, &n, TRUE)) << GetLastError();
    }
    EXPECT_EQ(n, bytes.size());
    EXPECT_TRUE(FlushFileBuffers(port)) << GetLastError();
    COMSTAT stat{};
    DWORD errors = 0;
    EXPECT_TRUE(ClearCommError(port, &errors, &stat)) << GetLastError();
    EXPECT_EQ(errors, 0u);
    return stat.cbOutQue;
  };

  const std::string request = "AB 0123456789 XY\r";  // 17 bytes
  EXPECT_EQ(writeAndFlush(request), 0u);
  EXPECT_EQ(peer->ReadExactly(kCom, request.size(), 10s), request);

  std::string block(64 * 1024, '\0');
  for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 13 % 251);
  std::string received;
  // The peer serves one connection at a time: this thread gives it over until the join.
  std::thread farEnd([&] { received = peer->ReadExactly(kCom, block.size(), 30s); });
  EXPECT_EQ(writeAndFlush(block), 0u);
  farEnd.join();
  EXPECT_TRUE(received == block) << received.size() << " of " << block.size() << " bytes";
  CloseHandle(o.hEvent);
  CloseHandle(port);
}

TEST_F(WinePortTest, AHangUpIsReportedAndTheDeviceOpensAgainOnceBack) {
  auto port = MakePort(kCom);
  std::vector<int> errors;
  port->OnErrorSignal = [&](TObject*, int error) { errors.push_back(error); };
  port->SetOpen(true);
  ASSERT_TRUE(port->GetOpen());
  EXPECT_TRUE(PumpUntil([&] { return port->GetCTS() && port->GetDSR() && port->GetDCD(); }));

  peer->HangUp(kCom);
  ASSERT_TRUE(PumpUntil([&] { return !errors.empty(); }));
  PumpUntil([] { return false; }, 300ms);
  EXPECT_EQ(errors, std::vector<int>{ERROR_DEVICE_NOT_CONNECTED});
  EXPECT_EQ(port->PutBlock("lost", 4), 0u);
  port->SetOpen(false);

  peer->Reconnect(kCom);
  port->SetOpen(true);
  ASSERT_TRUE(port->GetOpen());
  EXPECT_EQ(port->PutBlock("back", 4), 4u);
  EXPECT_EQ(peer->ReadExactly(kCom, 4, 10s), "back");
  port->OnErrorSignal = nullptr;
  port->SetOpen(false);
}

TEST_F(WinePortTest, ABusyPortDoesNotOpenAndSaysSo) {
  auto first = MakePort(kSecondCom);
  first->SetOpen(true);
  ASSERT_TRUE(first->GetOpen());

  // Held by this program: a second port on the same device is refused, as on Windows.
  auto second = MakePort(kSecondCom);
  std::vector<int> opened;
  second->OnOpen = [&](TObject*, int error) { opened.push_back(error); };
  second->SetOpen(true);
  EXPECT_FALSE(second->GetOpen()) << "wineserver runs without wine_uart: stop it (wineserver -k)";
  ASSERT_EQ(boxes.Count(), 1u);
  EXPECT_EQ(boxes.Dialogs()[0].text, "Can't open COM port");
  EXPECT_TRUE(opened.empty());
  first->SetOpen(false);

  // Held by another program on the Linux side.
  peer->SetBusy(kSecondCom, true);
  second->SetOpen(true);
  EXPECT_FALSE(second->GetOpen());
  EXPECT_EQ(boxes.Count(), 2u);
  peer->SetBusy(kSecondCom, false);
  second->SetOpen(true);
  EXPECT_TRUE(second->GetOpen());
  second->SetOpen(false);
}
