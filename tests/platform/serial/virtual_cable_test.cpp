// SPDX-License-Identifier: MIT
// The virtual null-modem cable: modem lines, breaks, errors, the test handle's hooks, and two
// device handles talking across one cable.
#include "serial/virtual_cable.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <win32/win32.h>

#include <cstring>
#include <string>

#include "serial_test_support.h"

namespace serial_test {
namespace {

class VirtualCableTest : public testing::Test {
 protected:
  void SetUp() override {
    handle_ = OpenDevice(cable_.NearPath());
    ASSERT_NE(handle_, INVALID_HANDLE_VALUE) << GetLastError();
  }
  void TearDown() override {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }

  // Starts a wait, lets `cause` happen, and returns the completed mask.
  template <class Cause>
  DWORD EventsAfter(Cause cause) {
    Overlapped o;
    DWORD mask = 0;
    if (!WaitCommEvent(handle_, &mask, o.P())) {
      EXPECT_EQ(GetLastError(), ERROR_IO_PENDING);
      cause();
      DWORD unused = 0;
      EXPECT_TRUE(GetOverlappedResult(handle_, o.P(), &unused, TRUE));
    }
    return mask;
  }

  serial::VirtualCable cable_{UniqueName("cable")};
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

TEST_F(VirtualCableTest, ModemInputChangesRaiseEventsAndShowInTheStatus) {
  ASSERT_TRUE(SetCommMask(handle_, EV_CTS | EV_DSR | EV_RLSD | EV_RING));
  DWORD status = 0xFF;
  ASSERT_TRUE(GetCommModemStatus(handle_, &status));
  EXPECT_EQ(status, 0u);

  EXPECT_EQ(EventsAfter([&] { cable_.SetRTS(true); }), EV_CTS);
  ASSERT_TRUE(GetCommModemStatus(handle_, &status));
  EXPECT_EQ(status, MS_CTS_ON);
  EXPECT_EQ(EventsAfter([&] { cable_.SetDTR(true); }), EV_DSR | EV_RLSD);
  EXPECT_EQ(EventsAfter([&] { cable_.SetRing(true); }), EV_RING);
  ASSERT_TRUE(GetCommModemStatus(handle_, &status));
  EXPECT_EQ(status, MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON | MS_RING_ON);
  EXPECT_EQ(EventsAfter([&] { cable_.SetRTS(false); }), EV_CTS);
  ASSERT_TRUE(GetCommModemStatus(handle_, &status));
  EXPECT_EQ(status, MS_DSR_ON | MS_RLSD_ON | MS_RING_ON);
}

TEST_F(VirtualCableTest, BreaksAndLineErrorsRaiseEventsAndErrorFlags) {
  ASSERT_TRUE(SetCommMask(handle_, EV_BREAK | EV_ERR));
  EXPECT_EQ(EventsAfter([&] { cable_.SendBreak(); }), EV_BREAK);
  EXPECT_EQ(EventsAfter([&] { cable_.InjectError(CE_FRAME | CE_OVERRUN); }), EV_ERR);
  DWORD errors = 0;
  ASSERT_TRUE(ClearCommError(handle_, &errors, nullptr));
  EXPECT_EQ(errors, CE_BREAK | CE_FRAME | CE_OVERRUN);
  ASSERT_TRUE(ClearCommError(handle_, &errors, nullptr));
  EXPECT_EQ(errors, 0u) << "ClearCommError clears the flags";
}

TEST_F(VirtualCableTest, EventsFromBeforeTheMaskAreNotReported) {
  ASSERT_TRUE(SetCommMask(handle_, EV_RXCHAR));
  cable_.SendBreak();
  cable_.SetRTS(true);
  ASSERT_TRUE(WaitUntil([&] {
    DWORD status = 0;
    return GetCommModemStatus(handle_, &status) && status == MS_CTS_ON;
  }));
  ASSERT_TRUE(SetCommMask(handle_, EV_BREAK | EV_CTS));
  Overlapped o;
  DWORD mask = 0;
  ASSERT_FALSE(WaitCommEvent(handle_, &mask, o.P()));
  EXPECT_FALSE(o.Signalled(100)) << "reported an event from before the mask: " << mask;
  cable_.SetRTS(false);
  DWORD unused = 0;
  ASSERT_TRUE(GetOverlappedResult(handle_, o.P(), &unused, TRUE));
  EXPECT_EQ(mask, EV_CTS);
  DWORD errors = 0;
  ASSERT_TRUE(ClearCommError(handle_, &errors, nullptr));
  EXPECT_EQ(errors, CE_BREAK) << "the break's error flag is kept";
}

TEST_F(VirtualCableTest, EscapeFunctionsDriveTheNearEndsOutputs) {
  ASSERT_TRUE(EscapeCommFunction(handle_, CLRDTR));
  ASSERT_TRUE(EscapeCommFunction(handle_, CLRRTS));
  EXPECT_FALSE(cable_.NearDTR());
  EXPECT_FALSE(cable_.NearRTS());
  ASSERT_TRUE(EscapeCommFunction(handle_, SETDTR));
  EXPECT_TRUE(cable_.NearDTR());
  ASSERT_TRUE(EscapeCommFunction(handle_, SETRTS));
  EXPECT_TRUE(cable_.NearRTS());
  ASSERT_TRUE(EscapeCommFunction(handle_, SETBREAK));
  EXPECT_TRUE(cable_.NearBreak());
  ASSERT_TRUE(EscapeCommFunction(handle_, CLRBREAK));
  EXPECT_FALSE(cable_.NearBreak());
  ASSERT_TRUE(CloseHandle(handle_));
  handle_ = INVALID_HANDLE_VALUE;
  EXPECT_FALSE(cable_.NearIsOpen());
  EXPECT_FALSE(cable_.NearDTR()) << "closing drops the outputs";
}

TEST_F(VirtualCableTest, LineSettingsFollowTheFlagWord) {
  DCB dcb{};
  ASSERT_TRUE(GetCommState(handle_, &dcb));
  std::uint32_t word = 0x0001;  // binary only: DTR and RTS disabled
  std::memcpy(reinterpret_cast<unsigned char*>(&dcb) + 8, &word, sizeof word);
  dcb.BaudRate = CBR_19200;
  ASSERT_TRUE(SetCommState(handle_, &dcb));
  EXPECT_FALSE(cable_.NearDTR());
  EXPECT_FALSE(cable_.NearRTS());
  EXPECT_EQ(cable_.NearState().BaudRate, CBR_19200);
  word = 0x1311;  // DTR and RTS enabled, XON/XOFF
  std::memcpy(reinterpret_cast<unsigned char*>(&dcb) + 8, &word, sizeof word);
  ASSERT_TRUE(SetCommState(handle_, &dcb));
  EXPECT_TRUE(cable_.NearDTR());
  EXPECT_TRUE(cable_.NearRTS());
  dcb.ByteSize = 5;
  dcb.StopBits = ONE5STOPBITS;
  EXPECT_TRUE(SetCommState(handle_, &dcb)) << "1.5 stop bits go with 5 data bits";
  dcb.StopBits = TWOSTOPBITS;
  EXPECT_FALSE(SetCommState(handle_, &dcb));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(cable_.NearState().StopBits, ONE5STOPBITS);
}

TEST_F(VirtualCableTest, CtsFlowControlHoldsOutputUntilClearToSend) {
  DCB dcb{};
  ASSERT_TRUE(GetCommState(handle_, &dcb));
  dcb.fOutxCtsFlow = 1;
  ASSERT_TRUE(SetCommState(handle_, &dcb));
  DWORD written = 0;
  ASSERT_TRUE(WriteAndWait(handle_, "held", 4, &written));
  char byte = 0;
  EXPECT_EQ(cable_.Read(&byte, 1, std::chrono::milliseconds(50)), 0u);
  COMSTAT stat{};
  ASSERT_TRUE(ClearCommError(handle_, nullptr, &stat));
  EXPECT_EQ(stat.cbOutQue, 4u);
  cable_.SetRTS(true);
  EXPECT_EQ(cable_.ReadExactly(4, 10s), "held");
}

TEST_F(VirtualCableTest, XoffEscapeHoldsOutputUntilXon) {
  ASSERT_TRUE(EscapeCommFunction(handle_, SETXOFF));
  DWORD written = 0;
  ASSERT_TRUE(WriteAndWait(handle_, "wait", 4, &written));
  char byte = 0;
  EXPECT_EQ(cable_.Read(&byte, 1, std::chrono::milliseconds(50)), 0u);
  COMSTAT stat{};
  ASSERT_TRUE(ClearCommError(handle_, nullptr, &stat));
  EXPECT_EQ(stat.fXoffHold, 1u);
  ASSERT_TRUE(EscapeCommFunction(handle_, SETXON));
  EXPECT_EQ(cable_.ReadExactly(4, 10s), "wait");
}

TEST_F(VirtualCableTest, OutputQueueCountIsExactWhileTheFarEndDoesNotReceive) {
  cable_.SetReceiving(false);
  ASSERT_TRUE(SetupComm(handle_, 1024, 1024));
  std::string data(3000, 'q');
  Overlapped o;
  DWORD written = 0;
  ASSERT_FALSE(WriteFile(handle_, data.data(), 3000, &written, o.P()));
  ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
  COMSTAT stat{};
  ASSERT_TRUE(ClearCommError(handle_, nullptr, &stat));
  EXPECT_EQ(stat.cbOutQue, 1024u);
  cable_.SetReceiving(true);
  EXPECT_EQ(cable_.ReadExactly(3000, 10s), data);
  ASSERT_TRUE(GetOverlappedResult(handle_, o.P(), &written, TRUE));
  EXPECT_EQ(written, 3000u);
  EXPECT_TRUE(WaitUntil([&] {
    return ClearCommError(handle_, nullptr, &stat) && stat.cbOutQue == 0 &&
           cable_.PendingFromNear() == 0;
  }));
}

TEST_F(VirtualCableTest, CallsAreLoggedAndInjectedFailuresApply) {
  cable_.ClearCallLog();
  ASSERT_TRUE(SetupComm(handle_, 2048, 4096));
  COMMTIMEOUTS none{};
  ASSERT_TRUE(SetCommTimeouts(handle_, &none));
  ASSERT_TRUE(SetCommMask(handle_, 0x01FD));
  ASSERT_TRUE(PurgeComm(handle_, PURGE_RXCLEAR | PURGE_TXCLEAR));
  ASSERT_TRUE(EscapeCommFunction(handle_, SETDTR));
  DCB dcb{};
  ASSERT_TRUE(GetCommState(handle_, &dcb));
  dcb.BaudRate = 9600;
  std::uint32_t word = 0x0001;
  std::memcpy(reinterpret_cast<unsigned char*>(&dcb) + 8, &word, sizeof word);
  dcb.XonLim = 0;
  dcb.XoffLim = 1024;
  dcb.ByteSize = 8;
  dcb.Parity = 0;
  dcb.StopBits = 0;
  dcb.XonChar = 17;
  dcb.XoffChar = 19;
  dcb.EvtChar = 0;
  ASSERT_TRUE(SetCommState(handle_, &dcb));
  std::vector<serial::CallRecord> expected = {
      {"SetupComm", "in=2048 out=4096"},
      {"SetCommTimeouts", "0,0,0,0,0"},
      {"SetCommMask", "mask=0x000001FD"},
      {"PurgeComm", "flags=0x0000000C"},
      {"EscapeCommFunction", "SETDTR"},
      {"GetCommState", ""},
      {"SetCommState",
       "BaudRate=9600 Flags=0x00000001 XonLim=0 XoffLim=1024 ByteSize=8 Parity=0 StopBits=0 "
       "XonChar=17 XoffChar=19 EvtChar=0"}};
  auto log = cable_.CallLog();
  ASSERT_EQ(log.size(), expected.size());
  for (std::size_t i = 0; i < log.size(); ++i) {
    EXPECT_EQ(log[i].Call, expected[i].Call);
    EXPECT_EQ(log[i].Args, expected[i].Args);
  }

  ASSERT_TRUE(EscapeCommFunction(handle_, SETDTR));  // the flag word 0x0001 dropped DTR
  cable_.FailNext("EscapeCommFunction", ERROR_GEN_FAILURE);
  EXPECT_FALSE(EscapeCommFunction(handle_, CLRDTR));
  EXPECT_EQ(GetLastError(), ERROR_GEN_FAILURE);
  EXPECT_TRUE(cable_.NearDTR()) << "a failed call has no effect";
  EXPECT_TRUE(EscapeCommFunction(handle_, CLRDTR));
  cable_.FailNext("GetCommModemStatus", ERROR_ACCESS_DENIED, -1);
  DWORD status = 0;
  EXPECT_FALSE(GetCommModemStatus(handle_, &status));
  EXPECT_FALSE(GetCommModemStatus(handle_, &status));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  cable_.FailNone();
  EXPECT_TRUE(GetCommModemStatus(handle_, &status));
}

TEST_F(VirtualCableTest, OpenCanBeMadeToFail) {
  ASSERT_TRUE(CloseHandle(handle_));
  handle_ = INVALID_HANDLE_VALUE;
  cable_.FailNext("CreateFileA", ERROR_ACCESS_DENIED);
  EXPECT_EQ(OpenDevice(cable_.NearPath()), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(cable_.NearIsOpen());
  EXPECT_EQ(cable_.CallLog().back().Call, "CreateFileA") << "a failed open logs no close";
  handle_ = OpenDevice(cable_.NearPath());
  EXPECT_NE(handle_, INVALID_HANDLE_VALUE);
  auto log = cable_.CallLog();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back().Call, "CreateFileA");
  EXPECT_EQ(log.back().Args, cable_.NearPath());
}

TEST_F(VirtualCableTest, HangUpAndReconnect) {
  cable_.HangUp();
  Overlapped o;
  char buffer[4];
  DWORD n = 0;
  EXPECT_TRUE(WaitUntil([&] {
    return !ReadFile(handle_, buffer, 4, &n, o.P()) && GetLastError() == ERROR_DEVICE_NOT_CONNECTED;
  }));
  cable_.Reconnect();
  EXPECT_TRUE(WaitUntil([&] { return WriteAndWait(handle_, "ok", 2, &n) == TRUE; }));
  EXPECT_EQ(cable_.ReadExactly(2, 10s), "ok");
}

TEST_F(VirtualCableTest, TwoDeviceHandlesTalkAcrossOneCable) {
  HANDLE far = OpenDevice(cable_.FarPath());
  ASSERT_NE(far, INVALID_HANDLE_VALUE) << GetLastError();
  EXPECT_EQ(OpenDevice(cable_.FarPath()), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);

  DWORD n = 0;
  ASSERT_TRUE(WriteAndWait(handle_, "AB", 2, &n));
  char buffer[5] = {};
  ASSERT_TRUE(ReadAndWait(far, buffer, 2, &n));
  EXPECT_EQ(std::string(buffer, 2), "AB");
  ASSERT_TRUE(WriteAndWait(far, "hello", 5, &n));
  ASSERT_TRUE(ReadAndWait(handle_, buffer, 5, &n));
  EXPECT_EQ(std::string(buffer, 5), "hello");

  // RTS -> peer CTS, DTR -> peer DSR and DCD, break -> peer EV_BREAK.
  ASSERT_TRUE(SetCommMask(far, EV_CTS | EV_DSR | EV_RLSD | EV_BREAK));
  ASSERT_TRUE(EscapeCommFunction(handle_, CLRRTS));
  ASSERT_TRUE(EscapeCommFunction(handle_, CLRDTR));
  DWORD status = 0;
  ASSERT_TRUE(WaitUntil([&] { return GetCommModemStatus(far, &status) && status == 0; }));
  ASSERT_TRUE(PurgeComm(far, PURGE_RXCLEAR));
  ASSERT_TRUE(SetCommMask(far, EV_CTS | EV_DSR | EV_RLSD | EV_BREAK));  // forget earlier events
  ASSERT_TRUE(EscapeCommFunction(handle_, SETRTS));
  ASSERT_TRUE(EscapeCommFunction(handle_, SETDTR));
  ASSERT_TRUE(EscapeCommFunction(handle_, SETBREAK));
  DWORD seen = 0;
  for (int wait = 0; wait < 4 && seen != (EV_CTS | EV_DSR | EV_RLSD | EV_BREAK); ++wait) {
    Overlapped o;
    DWORD mask = 0, unused = 0;
    if (!WaitCommEvent(far, &mask, o.P())) {
      ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
      ASSERT_TRUE(o.Signalled(10000)) << "events so far " << std::hex << seen;
      ASSERT_TRUE(GetOverlappedResult(far, o.P(), &unused, TRUE));
    }
    seen |= mask;
  }
  EXPECT_EQ(seen, EV_CTS | EV_DSR | EV_RLSD | EV_BREAK);
  ASSERT_TRUE(GetCommModemStatus(far, &status));
  EXPECT_EQ(status, MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON);
  CloseHandle(far);
}

TEST_F(VirtualCableTest, ComPortNamesReachACableThroughTheEnvironment) {
  ASSERT_TRUE(CloseHandle(handle_));
  handle_ = INVALID_HANDLE_VALUE;
  ASSERT_EQ(::setenv("COMM_PORT_77", cable_.NearPath().c_str(), 1), 0);
  handle_ = OpenDevice("\\\\.\\COM77");
  ASSERT_NE(handle_, INVALID_HANDLE_VALUE) << GetLastError();
  EXPECT_TRUE(cable_.NearIsOpen());
  // The plain name reaches the same end, which is held.
  EXPECT_EQ(OpenDevice("COM77"), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
  ::unsetenv("COMM_PORT_77");
  EXPECT_EQ(OpenDevice("COMX"), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(OpenDevice("virtual:"), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(CreateFileA(nullptr, 0, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
}

}  // namespace
}  // namespace serial_test
