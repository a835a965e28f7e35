// SPDX-License-Identifier: MIT
// The serial driver's guarantees, pinned on both line backends: a virtual cable and a pty pair.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <win32/win32.h>

#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "serial_test_support.h"

namespace serial_test {
namespace {

enum class Backend { Virtual, Pty };

std::string BackendName(const testing::TestParamInfo<Backend>& info) {
  return info.param == Backend::Virtual ? "Virtual" : "Pty";
}

class Conformance : public testing::TestWithParam<Backend> {
 protected:
  void SetUp() override {
    if (GetParam() == Backend::Virtual)
      peer_ = std::make_unique<VirtualPeer>();
    else
      peer_ = std::make_unique<PtyPeer>();
    ASSERT_FALSE(peer_->Path().empty());
    handle_ = OpenDevice(peer_->Path());
    ASSERT_NE(handle_, INVALID_HANDLE_VALUE) << "open " << peer_->Path() << ": " << GetLastError();
    ASSERT_TRUE(SetupComm(handle_, 2048, 4096));
    COMMTIMEOUTS none{};
    ASSERT_TRUE(SetCommTimeouts(handle_, &none));
  }
  void TearDown() override {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }

  // Sends bytes from the far end and waits until the driver holds `expected` bytes in total.
  void Receive(const std::string& bytes, DWORD expected) {
    peer_->Write(bytes);
    ASSERT_TRUE(WaitUntil([&] { return InQueue(handle_) == expected; }))
        << "cbInQue " << InQueue(handle_) << ", expected " << expected;
  }

  std::unique_ptr<Peer> peer_;
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

TEST_P(Conformance, ReadOfQueuedBytesCompletesAtOnce) {
  Receive("hello", 5);
  Overlapped o;
  char buffer[8] = {};
  DWORD got = 0;
  ASSERT_TRUE(ReadFile(handle_, buffer, InQueue(handle_), &got, o.P()));
  EXPECT_EQ(got, 5u);
  EXPECT_EQ(std::string(buffer, got), "hello");
  EXPECT_EQ(InQueue(handle_), 0u);
}

TEST_P(Conformance, LargerReadStaysPendingUntilEnoughArrives) {
  Overlapped o;
  char buffer[10] = {};
  DWORD got = 0;
  ASSERT_FALSE(ReadFile(handle_, buffer, 10, &got, o.P()));
  ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
  EXPECT_FALSE(GetOverlappedResult(handle_, o.P(), &got, FALSE));
  EXPECT_EQ(GetLastError(), ERROR_IO_INCOMPLETE);
  peer_->Write("0123");
  EXPECT_FALSE(o.Signalled(100)) << "4 of 10 bytes must not complete the read";
  peer_->Write("456789");
  ASSERT_TRUE(o.Signalled(10000));
  ASSERT_TRUE(GetOverlappedResult(handle_, o.P(), &got, TRUE));
  EXPECT_EQ(got, 10u);
  EXPECT_EQ(std::string(buffer, 10), "0123456789");
}

// Without an OVERLAPPED a transfer waits for its end, on a handle opened without
// FILE_FLAG_OVERLAPPED; on one opened with it, the call is refused and nothing is sent.
TEST_P(Conformance, TransfersWithoutOverlappedOnlyOnAHandleOpenedWithoutTheFlag) {
  DWORD n = 7;
  EXPECT_FALSE(WriteFile(handle_, "lost", 4, &n, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(n, 0u);
  char buffer[4] = {};
  EXPECT_FALSE(ReadFile(handle_, buffer, 3, &n, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

  ASSERT_TRUE(CloseHandle(handle_));
  handle_ = OpenDevice(peer_->Path(), 0);
  ASSERT_NE(handle_, INVALID_HANDLE_VALUE) << GetLastError();
  std::thread sender([&] { peer_->Write("xyz"); });
  DWORD got = 0;
  EXPECT_TRUE(ReadFile(handle_, buffer, 3, &got, nullptr));
  sender.join();
  EXPECT_EQ(got, 3u);
  EXPECT_EQ(std::string(buffer, 3), "xyz");
  EXPECT_TRUE(WriteFile(handle_, "sent", 4, &n, nullptr));
  EXPECT_EQ(n, 4u);
  EXPECT_EQ(peer_->ReadExactly(4, 10s), "sent");
}

// A completed wait reports the size of its mask as the bytes transferred, whether it completed
// at once, later, or was released by a new mask; an aborted one reports none.
TEST_P(Conformance, CompletedWaitsReportFourBytesAndCancelledOnesAbort) {
  ASSERT_TRUE(SetCommMask(handle_, EV_RXCHAR));
  Overlapped o;
  DWORD mask = 0;
  DWORD bytes = 0;
  ASSERT_FALSE(WaitCommEvent(handle_, &mask, o.P()));
  ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
  peer_->Write("a");
  ASSERT_TRUE(GetOverlappedResult(handle_, o.P(), &bytes, TRUE));
  EXPECT_EQ(mask, EV_RXCHAR);
  EXPECT_EQ(bytes, 4u);

  Receive("b", 2);
  bytes = 0;
  ASSERT_TRUE(WaitCommEvent(handle_, &mask, o.P()));
  ASSERT_TRUE(GetOverlappedResult(handle_, o.P(), &bytes, FALSE));
  EXPECT_EQ(bytes, 4u);

  ASSERT_FALSE(WaitCommEvent(handle_, &mask, o.P()));
  ASSERT_TRUE(SetCommMask(handle_, EV_RXCHAR | EV_TXEMPTY));
  bytes = 0;
  ASSERT_TRUE(GetOverlappedResult(handle_, o.P(), &bytes, TRUE));
  EXPECT_EQ(mask, 0u);
  EXPECT_EQ(bytes, 4u);

  ASSERT_FALSE(WaitCommEvent(handle_, &mask, o.P()));
  ASSERT_TRUE(CancelIo(handle_));
  EXPECT_FALSE(GetOverlappedResult(handle_, o.P(), &bytes, TRUE));
  EXPECT_EQ(GetLastError(), ERROR_OPERATION_ABORTED);
  EXPECT_EQ(bytes, 0u);

  // CancelIoEx aborts the one operation named, whichever thread started it, or all of them.
  Overlapped read;
  char buffer[4];
  ASSERT_FALSE(WaitCommEvent(handle_, &mask, o.P()));
  ASSERT_FALSE(ReadFile(handle_, buffer, sizeof buffer, nullptr, read.P()));
  std::thread([&] { EXPECT_TRUE(CancelIoEx(handle_, o.P())); }).join();
  EXPECT_FALSE(GetOverlappedResult(handle_, o.P(), &bytes, TRUE));
  EXPECT_EQ(GetLastError(), ERROR_OPERATION_ABORTED);
  EXPECT_FALSE(GetOverlappedResult(handle_, read.P(), &bytes, FALSE));
  EXPECT_EQ(GetLastError(), ERROR_IO_INCOMPLETE);
  Overlapped unknown;
  EXPECT_FALSE(CancelIoEx(handle_, unknown.P()));
  EXPECT_EQ(GetLastError(), ERROR_NOT_FOUND);
  ASSERT_TRUE(CancelIoEx(handle_, nullptr));
  EXPECT_FALSE(GetOverlappedResult(handle_, read.P(), &bytes, TRUE));
  EXPECT_EQ(GetLastError(), ERROR_OPERATION_ABORTED);
}

// GetCommModemStatus always answers: a pty has no modem inputs, so none is on.
TEST_P(Conformance, ModemStatusAlwaysAnswers) {
  DWORD status = 0xFFFFFFFF;
  ASSERT_TRUE(GetCommModemStatus(handle_, &status)) << GetLastError();
  if (peer_->HasModemLines())
    EXPECT_EQ(status & ~(MS_CTS_ON | MS_DSR_ON | MS_RING_ON | MS_RLSD_ON), 0u);
  else
    EXPECT_EQ(status, 0u);
  EXPECT_FALSE(GetCommModemStatus(handle_, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

// TransmitCommChar's byte goes ahead of the queued output; a second one before it has gone is
// refused. FlushFileBuffers returns once everything written has left. Breaks set and clear.
TEST_P(Conformance, ImmediateCharacterFlushAndBreak) {
  ASSERT_TRUE(EscapeCommFunction(handle_, SETXOFF));  // hold the output
  DWORD n = 0;
  Overlapped o;
  ASSERT_TRUE(WriteFile(handle_, "abc", 3, &n, o.P()));
  ASSERT_TRUE(TransmitCommChar(handle_, '!'));
  EXPECT_FALSE(TransmitCommChar(handle_, '?'));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  ASSERT_TRUE(EscapeCommFunction(handle_, SETXON));
  EXPECT_EQ(peer_->ReadExactly(4, 10s), "!abc");
  ASSERT_TRUE(TransmitCommChar(handle_, '?'));
  EXPECT_EQ(peer_->ReadExactly(1, 10s), "?");

  std::string big(256 * 1024, 'f');
  Overlapped write;
  ASSERT_FALSE(WriteFile(handle_, big.data(), static_cast<DWORD>(big.size()), &n, write.P()));
  ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
  std::string received;
  std::thread reader([&] { received = peer_->ReadExactly(big.size(), 30s); });
  EXPECT_TRUE(FlushFileBuffers(handle_)) << GetLastError();
  EXPECT_TRUE(write.Signalled()) << "the flush returned before the write had completed";
  COMSTAT stat{};
  ASSERT_TRUE(ClearCommError(handle_, nullptr, &stat));
  EXPECT_EQ(stat.cbOutQue, 0u);
  reader.join();
  EXPECT_EQ(received.size(), big.size());

  const bool virtualLine = GetParam() == Backend::Virtual;
  EXPECT_TRUE(SetCommBreak(handle_));
  if (virtualLine) {
    EXPECT_TRUE(static_cast<VirtualPeer&>(*peer_).Cable().NearBreak());
  }
  EXPECT_TRUE(ClearCommBreak(handle_));
  if (virtualLine) {
    EXPECT_FALSE(static_cast<VirtualPeer&>(*peer_).Cable().NearBreak());
  }
}

TEST_P(Conformance, PropertiesInWin32Values) {
  ASSERT_TRUE(SetupComm(handle_, 1000, 3000));
  COMMPROP p{};
  ASSERT_TRUE(GetCommProperties(handle_, &p));
  EXPECT_EQ(p.wPacketLength, sizeof(COMMPROP));
  EXPECT_EQ(p.wPacketVersion, 2);
  EXPECT_EQ(p.dwServiceMask, SP_SERIALCOMM);
  EXPECT_EQ(p.dwProvSubType, PST_RS232);
  EXPECT_EQ(p.dwMaxBaud, BAUD_USER);
  EXPECT_EQ(p.dwCurrentRxQueue, 1000u);
  EXPECT_EQ(p.dwCurrentTxQueue, 3000u);
  EXPECT_GE(p.dwMaxRxQueue, p.dwCurrentRxQueue);
  const DWORD speeds = BAUD_110 | BAUD_300 | BAUD_1200 | BAUD_9600 | BAUD_19200 | BAUD_57600 |
                       BAUD_115200 | BAUD_USER;
  EXPECT_EQ(p.dwSettableBaud & speeds, speeds);
  EXPECT_EQ(p.wSettableData, DATABITS_5 | DATABITS_6 | DATABITS_7 | DATABITS_8);
  EXPECT_EQ(p.wSettableStopParity, STOPBITS_10 | STOPBITS_15 | STOPBITS_20 | PARITY_NONE |
                                       PARITY_ODD | PARITY_EVEN | PARITY_MARK | PARITY_SPACE);
  const DWORD offered = PCF_DTRDSR | PCF_RTSCTS | PCF_RLSD | PCF_XONXOFF | PCF_SETXCHAR |
                        PCF_TOTALTIMEOUTS | PCF_SPECIALCHARS;
  EXPECT_EQ(p.dwProvCapabilities, offered);
  EXPECT_EQ(p.dwSettableParams & (SP_BAUD | SP_PARITY | SP_DATABITS | SP_STOPBITS),
            SP_BAUD | SP_PARITY | SP_DATABITS | SP_STOPBITS);
  EXPECT_FALSE(GetCommProperties(handle_, nullptr));
}

// A mode string in either form builds settings the device takes and reports back.
TEST_P(Conformance, ModeStringSettingsApplyToTheDevice) {
  const char* definitions[] = {"baud=19200 parity=N data=8 stop=1", "COM1: 9600,n,8,1",
                               "COM7: baud=1200 parity=n data=8 stop=2 xon=on", "57600,n,8,1,x"};
  for (const char* definition : definitions) {
    DCB dcb{};
    ASSERT_TRUE(GetCommState(handle_, &dcb));
    ASSERT_TRUE(BuildCommDCBA(definition, &dcb)) << definition;
    ASSERT_TRUE(SetCommState(handle_, &dcb)) << definition << ": " << GetLastError();
    DCB back{};
    ASSERT_TRUE(GetCommState(handle_, &back));
    EXPECT_EQ(back.BaudRate, dcb.BaudRate) << definition;
    EXPECT_EQ(back.StopBits, dcb.StopBits) << definition;
    EXPECT_EQ(back.fOutX, dcb.fOutX) << definition;
  }
}

// UBSan's check of a virtual call's object type may read the process's memory map, which needs
// a file descriptor: under the lowered limit below that check fails on its own.
__attribute__((no_sanitize("vptr"))) void WriteUnderFdLimit(Peer& peer, const std::string& bytes) {
  peer.Write(bytes);
}

// A failure of poll() itself in the I/O loop is the device gone, never a loop that tries again
// at once: poll() is made to fail by a descriptor limit below the number it watches.
TEST_P(Conformance, PollFailureIsAHangUp) {
  ASSERT_TRUE(SetCommMask(handle_, EV_BREAK));  // an event nothing here raises
  Overlapped o;
  DWORD mask = 0;
  ASSERT_FALSE(WaitCommEvent(handle_, &mask, o.P()));
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
  rlimit one = saved;
  one.rlim_cur = 1;
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &one), 0);
  WriteUnderFdLimit(*peer_, "w");  // wakes the I/O thread into its next poll()
  const bool ended = o.Signalled(10000);
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &saved), 0);
  ASSERT_TRUE(ended) << "the pending wait did not end after poll() failed";
  DWORD n = 0;
  EXPECT_FALSE(GetOverlappedResult(handle_, o.P(), &n, FALSE));
  EXPECT_EQ(GetLastError(), ERROR_DEVICE_NOT_CONNECTED);
  Overlapped write;
  EXPECT_FALSE(WriteFile(handle_, "x", 1, &n, write.P()));
  EXPECT_EQ(GetLastError(), ERROR_DEVICE_NOT_CONNECTED);
  auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(CloseHandle(handle_));
  handle_ = INVALID_HANDLE_VALUE;
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
}

TEST_P(Conformance, WriteCompletesWhenTheDriverHasTakenTheBytes) {
  Overlapped o;
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(handle_, "AB", 2, &written, o.P()));
  EXPECT_EQ(written, 2u);
  EXPECT_TRUE(o.Signalled());
  EXPECT_EQ(peer_->ReadExactly(2, 10s), "AB");
}

TEST_P(Conformance, WriteLargerThanTheQueuesGoesPendingAndDeliversEverything) {
  std::string data(1 << 20, '\0');
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7 + (i >> 11));
  Overlapped o;
  DWORD written = 0;
  ASSERT_FALSE(WriteFile(handle_, data.data(), static_cast<DWORD>(data.size()), &written, o.P()));
  ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
  std::string received = peer_->ReadExactly(data.size(), 30s);
  ASSERT_TRUE(GetOverlappedResult(handle_, o.P(), &written, TRUE));
  EXPECT_EQ(written, data.size());
  EXPECT_EQ(received.size(), data.size());
  EXPECT_TRUE(received == data) << "bytes lost or reordered";
}

// The reader's pattern: wait for EV_RXCHAR, read cbInQue bytes, repeat. A full input queue must
// refill from the line as it is read, with a new EV_RXCHAR, until everything has arrived.
TEST_P(Conformance, FullInputQueueRefillsAsItIsRead) {
  ASSERT_TRUE(SetupComm(handle_, 0, 0));  // the smallest queue the driver allows
  ASSERT_TRUE(SetCommMask(handle_, EV_RXCHAR));
  std::string data(5000, '\0');
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i % 251);
  peer_->Write(data);
  std::string got;
  Overlapped o;
  std::vector<char> buffer(data.size());
  while (got.size() < data.size()) {
    DWORD queued = InQueue(handle_);
    if (queued == 0) {
      DWORD mask = 0, unused = 0;
      if (!WaitCommEvent(handle_, &mask, o.P())) {
        ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
        ASSERT_TRUE(o.Signalled(10000)) << "stalled after " << got.size() << " bytes";
        ASSERT_TRUE(GetOverlappedResult(handle_, o.P(), &unused, TRUE));
      }
      continue;
    }
    DWORD n = 0;
    ASSERT_TRUE(ReadFile(handle_, buffer.data(), queued, &n, o.P()));
    got.append(buffer.data(), n);
  }
  EXPECT_TRUE(got == data);
}

TEST_P(Conformance, WaitCommEventPendsAndRxCharIsNotRefiredForUnreadBytes) {
  ASSERT_TRUE(SetCommMask(handle_, EV_RXCHAR));
  Overlapped o;
  DWORD mask = 0xDEAD;
  ASSERT_FALSE(WaitCommEvent(handle_, &mask, o.P()));
  ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
  peer_->Write("a");
  DWORD unused = 0;
  ASSERT_TRUE(GetOverlappedResult(handle_, o.P(), &unused, TRUE));
  EXPECT_EQ(mask, EV_RXCHAR);

  // The byte sits unread: a new wait must not complete because of it.
  ASSERT_TRUE(ResetEvent(o.ov.hEvent));
  ASSERT_FALSE(WaitCommEvent(handle_, &mask, o.P()));
  ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
  EXPECT_FALSE(o.Signalled(100)) << "EV_RXCHAR re-fired for a byte already reported";
  peer_->Write("b");
  ASSERT_TRUE(GetOverlappedResult(handle_, o.P(), &unused, TRUE));
  EXPECT_EQ(mask, EV_RXCHAR);
  EXPECT_TRUE(WaitUntil([&] { return InQueue(handle_) == 2; }));
}

TEST_P(Conformance, WaitCommEventCompletesAtOnceWhenAnEventIsAccumulated) {
  ASSERT_TRUE(SetCommMask(handle_, EV_RXCHAR | EV_TXEMPTY));
  Receive("c", 1);
  Overlapped o;
  DWORD mask = 0;
  ASSERT_TRUE(WaitCommEvent(handle_, &mask, o.P()));
  EXPECT_EQ(mask, EV_RXCHAR);
}

TEST_P(Conformance, EventsOutsideTheMaskAreNotAccumulated) {
  ASSERT_TRUE(SetCommMask(handle_, EV_BREAK));
  Receive("d", 1);  // EV_RXCHAR happens while not in the mask
  ASSERT_TRUE(SetCommMask(handle_, EV_RXCHAR | EV_BREAK));
  Overlapped o;
  DWORD mask = 0;
  ASSERT_FALSE(WaitCommEvent(handle_, &mask, o.P()));
  EXPECT_EQ(GetLastError(), ERROR_IO_PENDING);
  ASSERT_TRUE(SetCommMask(handle_, 0));
  ASSERT_TRUE(GetOverlappedResult(handle_, o.P(), &mask, TRUE));
}

TEST_P(Conformance, SetCommMaskReleasesAPendingWaitWithAnEmptyMask) {
  ASSERT_TRUE(SetCommMask(handle_, 0x01FD));
  Overlapped o;
  DWORD mask = 0xDEAD;
  ASSERT_FALSE(WaitCommEvent(handle_, &mask, o.P()));
  ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
  std::atomic<BOOL> result{FALSE};
  std::thread waiter([&] {
    DWORD unused = 0;
    result = GetOverlappedResult(handle_, o.P(), &unused, TRUE);
  });
  ASSERT_TRUE(SetCommMask(handle_, 0));
  waiter.join();
  EXPECT_TRUE(result.load());
  EXPECT_EQ(mask, 0u);
  DWORD current = 1;
  ASSERT_TRUE(GetCommMask(handle_, &current));
  EXPECT_EQ(current, 0u);
}

TEST_P(Conformance, WaitCommEventWithEmptyMaskOrTwiceIsRefused) {
  Overlapped o;
  DWORD mask = 0;
  ASSERT_TRUE(SetCommMask(handle_, 0));
  EXPECT_FALSE(WaitCommEvent(handle_, &mask, o.P()));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  ASSERT_TRUE(SetCommMask(handle_, EV_RXCHAR));
  ASSERT_FALSE(WaitCommEvent(handle_, &mask, o.P()));
  Overlapped second;
  EXPECT_FALSE(WaitCommEvent(handle_, &mask, second.P()));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  ASSERT_TRUE(CancelIo(handle_));
  DWORD unused = 0;
  EXPECT_FALSE(GetOverlappedResult(handle_, o.P(), &unused, TRUE));
  EXPECT_EQ(GetLastError(), ERROR_OPERATION_ABORTED);
}

TEST_P(Conformance, PurgeAbortsPendingIoAndClearsTheQueues) {
  Overlapped read;
  char buffer[16];
  DWORD got = 0;
  ASSERT_FALSE(ReadFile(handle_, buffer, sizeof buffer, &got, read.P()));
  ASSERT_TRUE(PurgeComm(handle_, PURGE_RXABORT));
  EXPECT_FALSE(GetOverlappedResult(handle_, read.P(), &got, TRUE));
  EXPECT_EQ(GetLastError(), ERROR_OPERATION_ABORTED);

  Receive("stale", 5);
  ASSERT_TRUE(PurgeComm(handle_, PURGE_RXCLEAR));
  EXPECT_EQ(InQueue(handle_), 0u);

  peer_->StopReceiving();
  std::string data(1 << 20, 'w');
  Overlapped write;
  DWORD written = 0;
  ASSERT_FALSE(
      WriteFile(handle_, data.data(), static_cast<DWORD>(data.size()), &written, write.P()));
  ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
  ASSERT_TRUE(PurgeComm(handle_, PURGE_TXABORT | PURGE_TXCLEAR));
  EXPECT_FALSE(GetOverlappedResult(handle_, write.P(), &written, TRUE));
  EXPECT_EQ(GetLastError(), ERROR_OPERATION_ABORTED);
  EXPECT_LT(written, data.size());
  COMSTAT stat{};
  ASSERT_TRUE(ClearCommError(handle_, nullptr, &stat));
  EXPECT_EQ(stat.cbOutQue, 0u);

  EXPECT_FALSE(PurgeComm(handle_, 0x100));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_P(Conformance, CloseHandleAbortsPendingIoAndReturnsPromptly) {
  ASSERT_TRUE(SetCommMask(handle_, EV_RXCHAR));
  Overlapped read, wait;
  char buffer[64];
  DWORD got = 0, mask = 0;
  ASSERT_FALSE(ReadFile(handle_, buffer, sizeof buffer, &got, read.P()));
  ASSERT_FALSE(WaitCommEvent(handle_, &mask, wait.P()));
  std::atomic<DWORD> waiterError{0};
  std::thread waiter([&] {
    DWORD n = 0;
    if (!GetOverlappedResult(handle_, read.P(), &n, TRUE)) waiterError = GetLastError();
  });
  auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(CloseHandle(handle_));
  auto took = std::chrono::steady_clock::now() - start;
  waiter.join();
  EXPECT_LT(took, 2s);
  EXPECT_EQ(waiterError.load(), ERROR_OPERATION_ABORTED);
  EXPECT_TRUE(read.Signalled());
  EXPECT_TRUE(wait.Signalled());
  EXPECT_EQ(wait.ov.Internal, ERROR_OPERATION_ABORTED);
  HANDLE closed = handle_;
  handle_ = INVALID_HANDLE_VALUE;
  // The device is free again.
  HANDLE again = OpenDevice(peer_->Path());
  ASSERT_NE(again, INVALID_HANDLE_VALUE) << GetLastError();
  EXPECT_NE(again, closed);
  CloseHandle(again);
}

TEST_P(Conformance, SecondOpenIsASharingViolation) {
  HANDLE second = OpenDevice(peer_->Path());
  EXPECT_EQ(second, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
}

TEST_P(Conformance, CallsOnClosedAndInvalidHandlesFail) {
  HANDLE closed = handle_;
  ASSERT_TRUE(CloseHandle(handle_));
  handle_ = INVALID_HANDLE_VALUE;
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  for (HANDLE bad : {closed, INVALID_HANDLE_VALUE, static_cast<HANDLE>(nullptr), event}) {
    Overlapped o;
    char buffer[4] = {};
    DWORD n = 0;
    DCB dcb{};
    COMMTIMEOUTS timeouts{};
    COMSTAT stat{};
    auto expectInvalid = [&](BOOL result, const char* call) {
      EXPECT_FALSE(result) << call;
      EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE) << call;
      SetLastError(0);
    };
    expectInvalid(ReadFile(bad, buffer, 4, &n, o.P()), "ReadFile");
    expectInvalid(WriteFile(bad, buffer, 4, &n, o.P()), "WriteFile");
    expectInvalid(WaitCommEvent(bad, &n, o.P()), "WaitCommEvent");
    expectInvalid(SetupComm(bad, 16, 16), "SetupComm");
    expectInvalid(SetCommTimeouts(bad, &timeouts), "SetCommTimeouts");
    expectInvalid(GetCommTimeouts(bad, &timeouts), "GetCommTimeouts");
    expectInvalid(GetCommState(bad, &dcb), "GetCommState");
    expectInvalid(SetCommState(bad, &dcb), "SetCommState");
    expectInvalid(SetCommMask(bad, 0), "SetCommMask");
    expectInvalid(GetCommMask(bad, &n), "GetCommMask");
    expectInvalid(GetCommModemStatus(bad, &n), "GetCommModemStatus");
    expectInvalid(EscapeCommFunction(bad, SETDTR), "EscapeCommFunction");
    expectInvalid(ClearCommError(bad, &n, &stat), "ClearCommError");
    expectInvalid(PurgeComm(bad, PURGE_RXCLEAR), "PurgeComm");
    expectInvalid(CancelIo(bad), "CancelIo");
    o.ov.Internal = STATUS_PENDING;
    expectInvalid(GetOverlappedResult(bad, o.P(), &n, TRUE), "GetOverlappedResult");
  }
  CloseHandle(event);
}

TEST_P(Conformance, CloseRacingWithCallsOnOtherThreadsIsSafe) {
  ASSERT_TRUE(SetCommMask(handle_, EV_RXCHAR));
  std::atomic<bool> stop{false};
  std::atomic<int> rounds{0};
  std::vector<std::thread> users;
  HANDLE h = handle_;
  for (int i = 0; i < 2; ++i)
    users.emplace_back([&, h] {
      Overlapped o;
      char buffer[32];
      while (!stop) {
        DWORD n = 0;
        COMSTAT stat{};
        ClearCommError(h, &n, &stat);
        if (!ReadFile(h, buffer, sizeof buffer, &n, o.P()) && GetLastError() == ERROR_IO_PENDING)
          GetOverlappedResult(h, o.P(), &n, TRUE);
        WriteAndWait(h, "x", 1, &n);
        ++rounds;
      }
    });
  peer_->Write(std::string(100, 'r'));
  // 100 bytes complete three reads of 32; then both users wait in a read when the close comes.
  EXPECT_TRUE(WaitUntil([&] { return rounds >= 3; }));
  ASSERT_TRUE(CloseHandle(handle_));
  handle_ = INVALID_HANDLE_VALUE;
  stop = true;
  for (auto& t : users) t.join();
}

TEST_P(Conformance, BadArgumentsHaveDefinedResults) {
  DWORD n = 7;
  Overlapped o;
  EXPECT_TRUE(ReadFile(handle_, nullptr, 0, &n, o.P()));
  EXPECT_EQ(n, 0u);
  EXPECT_TRUE(WriteFile(handle_, nullptr, 0, &n, o.P()));
  EXPECT_EQ(n, 0u);
  EXPECT_FALSE(ReadFile(handle_, nullptr, 5, &n, o.P()));
  EXPECT_EQ(GetLastError(), ERROR_NOACCESS);
  EXPECT_FALSE(WriteFile(handle_, nullptr, 5, &n, o.P()));
  EXPECT_EQ(GetLastError(), ERROR_NOACCESS);
  EXPECT_FALSE(GetCommState(handle_, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(SetCommState(handle_, nullptr));
  EXPECT_FALSE(SetCommTimeouts(handle_, nullptr));
  EXPECT_FALSE(GetCommTimeouts(handle_, nullptr));
  EXPECT_FALSE(GetCommMask(handle_, nullptr));
  EXPECT_FALSE(GetOverlappedResult(handle_, nullptr, &n, FALSE));
  EXPECT_TRUE(ClearCommError(handle_, nullptr, nullptr));
  EXPECT_FALSE(EscapeCommFunction(handle_, 0));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(EscapeCommFunction(handle_, 1000));

  // Zero and huge queue sizes: the driver keeps working.
  ASSERT_TRUE(SetupComm(handle_, 0, 0));
  peer_->Write(std::string(300, 'z'));
  ASSERT_TRUE(WaitUntil([&] { return InQueue(handle_) > 0; }));
  char buffer[300];
  if (!ReadFile(handle_, buffer, 300, &n, o.P())) {
    ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
    ASSERT_TRUE(GetOverlappedResult(handle_, o.P(), &n, TRUE));
  }
  EXPECT_EQ(n, 300u);
  EXPECT_EQ(std::string(buffer, 300), std::string(300, 'z'));
  ASSERT_TRUE(SetupComm(handle_, 0xFFFFFFFF, 0xFFFFFFFF));
  Receive("ok", 2);

  // Huge time-outs: the read simply stays pending.
  COMMTIMEOUTS huge{0, MAXDWORD, MAXDWORD, MAXDWORD, MAXDWORD};
  ASSERT_TRUE(SetCommTimeouts(handle_, &huge));
  ASSERT_FALSE(ReadFile(handle_, buffer, 0xFFFFFFFF, &n, o.P()));  // never gets that many
  ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
  EXPECT_FALSE(GetOverlappedResult(handle_, o.P(), &n, FALSE));
  EXPECT_EQ(GetLastError(), ERROR_IO_INCOMPLETE);
  ASSERT_TRUE(CancelIo(handle_));
  EXPECT_FALSE(GetOverlappedResult(handle_, o.P(), &n, TRUE));
  EXPECT_EQ(GetLastError(), ERROR_OPERATION_ABORTED);
  EXPECT_EQ(n, 2u) << "the two queued bytes were taken before the abort";
}

TEST_P(Conformance, LineSettingsAreValidatedAndKept) {
  DCB dcb{};
  ASSERT_TRUE(GetCommState(handle_, &dcb));
  dcb.BaudRate = CBR_19200;
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  dcb.EvtChar = '\n';
  ASSERT_TRUE(SetCommState(handle_, &dcb)) << GetLastError();
  auto refused = [&](auto change) {
    DCB bad = dcb;
    change(bad);
    SetLastError(0);
    return !SetCommState(handle_, &bad) && GetLastError() == ERROR_INVALID_PARAMETER;
  };
  EXPECT_TRUE(refused([](DCB& d) { d.ByteSize = 4; }));
  EXPECT_TRUE(refused([](DCB& d) { d.ByteSize = 9; }));
  EXPECT_TRUE(refused([](DCB& d) { d.Parity = 5; }));
  EXPECT_TRUE(refused([](DCB& d) { d.StopBits = 3; }));
  EXPECT_TRUE(refused([](DCB& d) { d.BaudRate = 0; }));
  EXPECT_TRUE(refused([](DCB& d) { d.StopBits = ONE5STOPBITS; }));  // 1.5 with 8 data bits
  EXPECT_TRUE(refused([](DCB& d) {  // 2 with 5 data bits: a UART would send 1.5
    d.ByteSize = 5;
    d.StopBits = TWOSTOPBITS;
  }));
  EXPECT_TRUE(refused([](DCB& d) { d.fRtsControl = RTS_CONTROL_TOGGLE; }));
  EXPECT_TRUE(refused([](DCB& d) { d.fDtrControl = 3; }));
  DCB fiveBits = dcb;  // 1.5 stop bits go with 5 data bits
  fiveBits.ByteSize = 5;
  fiveBits.StopBits = ONE5STOPBITS;
  EXPECT_TRUE(SetCommState(handle_, &fiveBits)) << GetLastError();
  ASSERT_TRUE(SetCommState(handle_, &dcb)) << GetLastError();
  DCB kept{};
  ASSERT_TRUE(GetCommState(handle_, &kept));
  EXPECT_EQ(kept.BaudRate, CBR_19200);
  EXPECT_EQ(kept.ByteSize, 8);
  EXPECT_EQ(kept.StopBits, ONESTOPBIT);
  EXPECT_EQ(kept.EvtChar, '\n');

  COMMTIMEOUTS set{MAXDWORD, 0, 0, 0, 0}, got{};
  ASSERT_TRUE(SetCommTimeouts(handle_, &set));
  ASSERT_TRUE(GetCommTimeouts(handle_, &got));
  EXPECT_EQ(got.ReadIntervalTimeout, MAXDWORD);
}

TEST_P(Conformance, ReturnAtOnceTimeoutsGiveWhatIsThere) {
  COMMTIMEOUTS atOnce{MAXDWORD, 0, 0, 0, 0};
  ASSERT_TRUE(SetCommTimeouts(handle_, &atOnce));
  char buffer[16];
  DWORD n = 99;
  Overlapped o;
  ASSERT_TRUE(ReadFile(handle_, buffer, sizeof buffer, &n, o.P()));
  EXPECT_EQ(n, 0u);
  Receive("abc", 3);
  ASSERT_TRUE(ReadFile(handle_, buffer, sizeof buffer, &n, o.P()));
  EXPECT_EQ(n, 3u);
}

TEST_P(Conformance, TotalReadTimeoutEndsAReadWithWhatArrived) {
  COMMTIMEOUTS total{0, 0, 50, 0, 0};
  ASSERT_TRUE(SetCommTimeouts(handle_, &total));
  Receive("abc", 3);
  char buffer[10];
  DWORD n = 0;
  Overlapped o;
  if (!ReadFile(handle_, buffer, sizeof buffer, &n, o.P())) {
    ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
    ASSERT_TRUE(o.Signalled(10000));
    ASSERT_TRUE(GetOverlappedResult(handle_, o.P(), &n, TRUE));
  }
  EXPECT_EQ(n, 3u);
  EXPECT_EQ(std::string(buffer, 3), "abc");

  // MAXDWORD/MAXDWORD/constant: returns as soon as one byte is there.
  COMMTIMEOUTS firstByte{MAXDWORD, MAXDWORD, 10000, 0, 0};
  ASSERT_TRUE(SetCommTimeouts(handle_, &firstByte));
  ASSERT_FALSE(ReadFile(handle_, buffer, sizeof buffer, &n, o.P()));
  ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
  peer_->Write("z");
  ASSERT_TRUE(GetOverlappedResult(handle_, o.P(), &n, TRUE));
  EXPECT_EQ(n, 1u);
  EXPECT_EQ(buffer[0], 'z');
}

TEST_P(Conformance, EventCharacterRaisesRxFlag) {
  DCB dcb{};
  ASSERT_TRUE(GetCommState(handle_, &dcb));
  dcb.EvtChar = '#';
  ASSERT_TRUE(SetCommState(handle_, &dcb));
  ASSERT_TRUE(SetCommMask(handle_, EV_RXCHAR | EV_RXFLAG));
  Receive("ab", 2);
  Overlapped o;
  DWORD mask = 0;
  ASSERT_TRUE(WaitCommEvent(handle_, &mask, o.P()));
  EXPECT_EQ(mask, EV_RXCHAR);
  Receive("c#", 4);
  ASSERT_TRUE(WaitCommEvent(handle_, &mask, o.P()));
  EXPECT_EQ(mask, EV_RXCHAR | EV_RXFLAG);
}

TEST_P(Conformance, TxEmptyWhenOutputHasDrained) {
  ASSERT_TRUE(SetCommMask(handle_, EV_TXEMPTY));
  Overlapped o;
  DWORD mask = 0;
  ASSERT_FALSE(WaitCommEvent(handle_, &mask, o.P()));
  DWORD written = 0;
  ASSERT_TRUE(WriteAndWait(handle_, "ping", 4, &written));
  EXPECT_EQ(peer_->ReadExactly(4, 10s), "ping");
  DWORD unused = 0;
  ASSERT_TRUE(GetOverlappedResult(handle_, o.P(), &unused, TRUE));
  EXPECT_EQ(mask, EV_TXEMPTY);
  COMSTAT stat{};
  ASSERT_TRUE(ClearCommError(handle_, nullptr, &stat));
  EXPECT_EQ(stat.cbOutQue, 0u);
}

TEST_P(Conformance, HangUpFailsPendingAndLaterIoWithoutSpinning) {
  ASSERT_TRUE(SetCommMask(handle_, EV_RXCHAR));
  Overlapped read, write;
  char buffer[64];
  DWORD n = 0;
  ASSERT_FALSE(ReadFile(handle_, buffer, sizeof buffer, &n, read.P()));
  peer_->StopReceiving();
  std::string big(1 << 20, 'h');
  ASSERT_FALSE(WriteFile(handle_, big.data(), static_cast<DWORD>(big.size()), &n, write.P()));
  ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
  peer_->Write("partial");
  peer_->HangUp();
  EXPECT_FALSE(GetOverlappedResult(handle_, read.P(), &n, TRUE));
  DWORD error = GetLastError();
  EXPECT_TRUE(error == ERROR_DEVICE_NOT_CONNECTED || error == ERROR_BROKEN_PIPE) << error;
  EXPECT_FALSE(GetOverlappedResult(handle_, write.P(), &n, TRUE));
  error = GetLastError();
  EXPECT_TRUE(error == ERROR_DEVICE_NOT_CONNECTED || error == ERROR_BROKEN_PIPE) << error;

  Overlapped later;
  EXPECT_FALSE(WriteFile(handle_, "x", 1, &n, later.P()));
  error = GetLastError();
  EXPECT_TRUE(error == ERROR_DEVICE_NOT_CONNECTED || error == ERROR_BROKEN_PIPE) << error;
  EXPECT_FALSE(ReadFile(handle_, buffer, sizeof buffer, &n, later.P()));
  error = GetLastError();
  EXPECT_TRUE(error == ERROR_DEVICE_NOT_CONNECTED || error == ERROR_BROKEN_PIPE) << error;

  // No thread of the process may spin on the dead line.
  rusage before{}, after{};
  ::getrusage(RUSAGE_SELF, &before);
  std::this_thread::sleep_for(300ms);
  ::getrusage(RUSAGE_SELF, &after);
  auto cpuUs = [](const rusage& r) {
    return (r.ru_utime.tv_sec + r.ru_stime.tv_sec) * 1000000L + r.ru_utime.tv_usec +
           r.ru_stime.tv_usec;
  };
  EXPECT_LT(cpuUs(after) - cpuUs(before), 100000L) << "CPU time used while idle after hang-up";

  auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(CloseHandle(handle_));
  handle_ = INVALID_HANDLE_VALUE;
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
}

INSTANTIATE_TEST_SUITE_P(Backends, Conformance, testing::Values(Backend::Virtual, Backend::Pty),
                         BackendName);

}  // namespace
}  // namespace serial_test
