// SPDX-License-Identifier: MIT
// The tty backend's modem paths, on a pty whose modem ioctls play a UART (uart_shim.h): modem
// events, modem status and the escape functions through the serial driver, and the same lines
// end to end up to TCommPort's notifications and properties.
#include <comm/Commport.h>
#include <framework/thread.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <win32/win32.h>

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "environment.h"
#include "pty_pair.h"
#include "uart_shim.h"
#include "wait.h"

namespace {

using testsupport::EmulatedUart;
using testsupport::LineCondition;
using testsupport::PumpUntil;

// Sets the inputs once the driver's watcher waits in the kernel. A change that lands between the
// watcher's look at the counters and its entering the wait is seen only at the next change, as
// with the kernel's own TIOCMIWAIT; a loaded machine makes that window long enough to hit.
void SetWatchedInputs(EmulatedUart& uart, int inputs) {
  EXPECT_TRUE(testsupport::WaitUntil([&] { return uart.ModemWaiters() == 1; }));
  uart.SetInputs(inputs);
}

// A pty pair whose slave plays a UART with modem lines.
class UartPty : public testing::Test {
 protected:
  testsupport::PtyPair pty_;
  const std::string& slave_ = pty_.SlavePath();
  std::unique_ptr<EmulatedUart> uart_ = std::make_unique<EmulatedUart>(slave_, pty_.Master());
};

class TtyModemDriver : public UartPty {
 protected:
  void SetUp() override {
    handle_ = CreateFileA(slave_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                          FILE_FLAG_OVERLAPPED, nullptr);
    ASSERT_NE(handle_, INVALID_HANDLE_VALUE) << GetLastError();
    overlapped_.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  }
  void TearDown() override {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    CloseHandle(overlapped_.hEvent);
  }

  // Waits for the next event of the mask set; 0 when none came. The events are stored in a member:
  // a wait that is still pending at the time-out writes them when the close ends it.
  DWORD NextEvent() {
    eventMask_ = 0;
    if (!WaitCommEvent(handle_, &eventMask_, &overlapped_)) {
      if (GetLastError() != ERROR_IO_PENDING) return 0;
      DWORD unused = 0;
      if (WaitForSingleObject(overlapped_.hEvent, 10000) != WAIT_OBJECT_0 ||
          !GetOverlappedResult(handle_, &overlapped_, &unused, FALSE))
        return 0;
    }
    return eventMask_;
  }

  HANDLE handle_ = INVALID_HANDLE_VALUE;
  OVERLAPPED overlapped_{};
  DWORD eventMask_ = 0;
};

// The same on a device whose driver refuses TIOCMIWAIT.
class TtyModemDriverWithoutKernelWait : public TtyModemDriver {
 protected:
  void SetUp() override {
    uart_.reset();
    uart_ = std::make_unique<EmulatedUart>(slave_, pty_.Master(), false);
    TtyModemDriver::SetUp();
  }
};

constexpr DWORD kLineEvents = EV_CTS | EV_DSR | EV_RLSD | EV_RING | EV_BREAK | EV_ERR;

// The modem inputs are waited for in the kernel: while the line is quiet, nothing reads the lines
// or the counters. A change is told by the counters (a quick off-on included), never by reading
// the lines, and a close ends the kernel wait at once.
TEST_F(TtyModemDriver, QuietLineIsNotPolledAndChangesComeFromTheKernelWait) {
  ASSERT_TRUE(SetCommMask(handle_, kLineEvents));
  ASSERT_TRUE(testsupport::WaitUntil([&] { return uart_->ModemWaiters() == 1; }));
  const int lineReads = uart_->LineReads();
  const int counterReads = uart_->CounterReads();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // a quiet line
  // The I/O thread's turn for the new mask may still read the counters once, and its look once
  // a second may fall in; sampling every 20 ms would read them about 15 times.
  EXPECT_LE(uart_->CounterReads() - counterReads, 2) << "the counters were sampled";
  EXPECT_EQ(uart_->LineReads(), lineReads) << "the lines were read on a quiet line";

  uart_->PulseInputs(TIOCM_CTS);  // back before anyone looked: only the counters show it
  EXPECT_EQ(NextEvent(), static_cast<DWORD>(EV_CTS));
  SetWatchedInputs(*uart_, TIOCM_DSR);
  EXPECT_EQ(NextEvent() & EV_DSR, static_cast<DWORD>(EV_DSR));
  EXPECT_EQ(uart_->LineReads(), lineReads) << "the lines were read to find a change";

  ASSERT_TRUE(testsupport::WaitUntil([&] { return uart_->ModemWaiters() == 1; }));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(CloseHandle(handle_));
  handle_ = INVALID_HANDLE_VALUE;
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  EXPECT_EQ(uart_->ModemWaiters(), 0);
}

// A change that lands between the watcher's look at the counters and the kernel's wait does not
// end that wait; the look once a second still tells it.
TEST_F(TtyModemDriver, AChangeJustBeforeTheKernelWaitIsStillTold) {
  ASSERT_TRUE(SetCommMask(handle_, kLineEvents));
  ASSERT_TRUE(testsupport::WaitUntil([&] { return uart_->ModemWaiters() == 1; }));
  uart_->SetInputsBeforeTheWait(TIOCM_CTS | TIOCM_DSR);
  EXPECT_EQ(NextEvent(), static_cast<DWORD>(EV_CTS | EV_DSR));
  EXPECT_EQ(uart_->ModemWaiters(), 1) << "the kernel wait was woken";
}

// Where the kernel wait is refused, the counters are sampled (no bus transfer) and the lines
// are still never read to find changes.
TEST_F(TtyModemDriverWithoutKernelWait, CountersAreSampledAndTheLinesNotRead) {
  ASSERT_TRUE(SetCommMask(handle_, kLineEvents));
  const int lineReads = uart_->LineReads();
  const int counterReads = uart_->CounterReads();
  uart_->SetInputs(TIOCM_CTS | TIOCM_CD);
  EXPECT_EQ(NextEvent(), static_cast<DWORD>(EV_CTS | EV_RLSD));
  uart_->Receive(LineCondition::Break);
  EXPECT_EQ(NextEvent(), static_cast<DWORD>(EV_BREAK));
  EXPECT_GT(uart_->CounterReads(), counterReads);
  EXPECT_EQ(uart_->LineReads(), lineReads);
  EXPECT_EQ(uart_->ModemWaiters(), 0);
}

TEST_F(TtyModemDriver, InputChangesBreaksAndLineErrorsAreEvents) {
  ASSERT_TRUE(SetCommMask(handle_, EV_CTS | EV_DSR | EV_RLSD | EV_RING | EV_BREAK | EV_ERR));
  const std::pair<int, DWORD> steps[] = {{TIOCM_CTS, EV_CTS},
                                         {TIOCM_CTS | TIOCM_DSR, EV_DSR},
                                         {TIOCM_CTS | TIOCM_DSR | TIOCM_CD, EV_RLSD},
                                         {TIOCM_CTS | TIOCM_DSR | TIOCM_CD | TIOCM_RI, EV_RING},
                                         {TIOCM_DSR | TIOCM_CD | TIOCM_RI, EV_CTS}};
  for (const auto& [inputs, event] : steps) {
    SetWatchedInputs(*uart_, inputs);
    EXPECT_EQ(NextEvent(), event) << "inputs " << inputs;
  }
  DWORD status = 0;
  ASSERT_TRUE(GetCommModemStatus(handle_, &status));
  EXPECT_EQ(status, static_cast<DWORD>(MS_DSR_ON | MS_RLSD_ON | MS_RING_ON));

  uart_->Receive(LineCondition::Break);
  EXPECT_EQ(NextEvent(), static_cast<DWORD>(EV_BREAK));
  uart_->Receive(LineCondition::FrameError);
  uart_->Receive(LineCondition::Overrun);
  EXPECT_EQ(NextEvent(), static_cast<DWORD>(EV_ERR));
  DWORD errors = 0;
  ASSERT_TRUE(ClearCommError(handle_, &errors, nullptr));
  EXPECT_EQ(errors, static_cast<DWORD>(CE_BREAK | CE_FRAME | CE_OVERRUN));
  uart_->Receive(LineCondition::ParityError);
  EXPECT_EQ(NextEvent(), static_cast<DWORD>(EV_ERR));
  ASSERT_TRUE(ClearCommError(handle_, &errors, nullptr));
  EXPECT_EQ(errors, static_cast<DWORD>(CE_RXPARITY));
}

TEST_F(TtyModemDriver, EscapeFunctionsAndControlModesDriveTheOutputs) {
  DCB dcb{};
  ASSERT_TRUE(GetCommState(handle_, &dcb));
  dcb.fDtrControl = DTR_CONTROL_DISABLE;
  dcb.fRtsControl = RTS_CONTROL_DISABLE;
  ASSERT_TRUE(SetCommState(handle_, &dcb));
  EXPECT_EQ(uart_->Outputs(), 0);
  ASSERT_TRUE(EscapeCommFunction(handle_, SETDTR));
  EXPECT_EQ(uart_->Outputs(), TIOCM_DTR);
  ASSERT_TRUE(EscapeCommFunction(handle_, SETRTS));
  EXPECT_EQ(uart_->Outputs(), TIOCM_DTR | TIOCM_RTS);
  ASSERT_TRUE(EscapeCommFunction(handle_, CLRDTR));
  EXPECT_EQ(uart_->Outputs(), TIOCM_RTS);
  ASSERT_TRUE(SetCommState(handle_, &dcb));  // an unchanged control mode leaves the lines
  EXPECT_EQ(uart_->Outputs(), TIOCM_RTS);
  dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;  // a changed mode raises or lowers its line
  dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
  ASSERT_TRUE(SetCommState(handle_, &dcb));
  EXPECT_EQ(uart_->Outputs(), TIOCM_DTR | TIOCM_RTS);
  dcb.fDtrControl = DTR_CONTROL_DISABLE;
  dcb.fRtsControl = RTS_CONTROL_DISABLE;
  ASSERT_TRUE(SetCommState(handle_, &dcb));
  EXPECT_EQ(uart_->Outputs(), 0);
  ASSERT_TRUE(EscapeCommFunction(handle_, SETBREAK));
  EXPECT_TRUE(uart_->BreakOn());
  ASSERT_TRUE(EscapeCommFunction(handle_, CLRBREAK));
  EXPECT_FALSE(uart_->BreakOn());
}

// The component on the real tty backend: every modem notification, the input properties, and
// the output and break operations.
TEST_F(UartPty, CommPortNotificationsAndLinesEndToEnd) {
  constexpr int kComNumber = 61;
  const testsupport::ScopedPortEnv route(kComNumber, slave_);
  std::map<std::string, int> calls;
  std::vector<int> errors;
  {
    TCommPort port(nullptr);
    port.SetComNumber(kComNumber);
    port.OnCTSSignal = [&](TObject*) { ++calls["CTS"]; };
    port.OnDSRSignal = [&](TObject*) { ++calls["DSR"]; };
    port.OnDCDSignal = [&](TObject*) { ++calls["DCD"]; };
    port.OnRingSignal = [&](TObject*) { ++calls["Ring"]; };
    port.OnBreakSignal = [&](TObject*) { ++calls["Break"]; };
    port.OnErrorSignal = [&](TObject*, int error) { errors.push_back(error); };
    // A break or error arrives with a byte (see uart_shim.h); received characters stay out of
    // the mask, so that their own event cannot replace the line event's mask before the status
    // notifier has taken it (the port keeps only the last completed mask).
    port.SetMonitorEvents(EventSet({evTxEmpty, evCTS, evDSR, evRlsd, evBreak, evError, evRing}));
    port.SetOpen(true);
    ASSERT_TRUE(port.GetOpen());

    SetWatchedInputs(*uart_, TIOCM_CTS);
    EXPECT_TRUE(PumpUntil([&] { return calls["CTS"] == 1 && port.GetCTS(); }));
    SetWatchedInputs(*uart_, TIOCM_CTS | TIOCM_DSR);
    EXPECT_TRUE(PumpUntil([&] { return calls["DSR"] == 1 && port.GetDSR(); }));
    SetWatchedInputs(*uart_, TIOCM_CTS | TIOCM_DSR | TIOCM_CD);
    EXPECT_TRUE(PumpUntil([&] { return calls["DCD"] == 1 && port.GetDCD(); }));
    SetWatchedInputs(*uart_, TIOCM_CTS | TIOCM_DSR | TIOCM_CD | TIOCM_RI);
    EXPECT_TRUE(PumpUntil([&] { return calls["Ring"] == 1 && port.GetRing(); }));
    SetWatchedInputs(*uart_, TIOCM_RI);
    EXPECT_TRUE(PumpUntil([&] { return !port.GetCTS() && !port.GetDSR() && !port.GetDCD(); }));
    EXPECT_TRUE(port.GetModemState(3));   // ring, read live
    EXPECT_FALSE(port.GetModemState(1));  // CTS
    uart_->Receive(LineCondition::Break);
    EXPECT_TRUE(PumpUntil([&] { return calls["Break"] == 1; }));
    uart_->Receive(LineCondition::ParityError);
    EXPECT_TRUE(PumpUntil([&] { return errors.size() == 1; }));

    port.SetDTR(true);
    EXPECT_EQ(uart_->Outputs(), TIOCM_DTR);
    port.PowerOn();
    EXPECT_EQ(uart_->Outputs(), TIOCM_DTR | TIOCM_RTS);
    port.PowerOff();
    EXPECT_EQ(uart_->Outputs(), 0);
    EXPECT_TRUE(port.SetBreak(true));
    EXPECT_TRUE(uart_->BreakOn());
    EXPECT_TRUE(port.SetBreak(false));
    EXPECT_FALSE(uart_->BreakOn());
    for (TNotifyEvent* slot : {&port.OnCTSSignal, &port.OnDSRSignal, &port.OnDCDSignal,
                               &port.OnRingSignal, &port.OnBreakSignal})
      slot->Clear();
    port.OnErrorSignal.Clear();
  }
  EXPECT_EQ(calls["CTS"], 2);
  EXPECT_EQ(calls["DSR"], 2);
  EXPECT_EQ(calls["DCD"], 2);
}

}  // namespace
