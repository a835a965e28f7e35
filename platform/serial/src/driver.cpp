// SPDX-License-Identifier: MIT
#include "driver.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>
#include <utility>

#include "line_settings.h"

namespace serial {
namespace {

constexpr int kDrainCheckMs = 10;  // re-check of a transmitter that cannot signal "empty"
constexpr DWORD kValidEventMask = 0x1FFF;
constexpr DWORD kSampledEvents = EV_CTS | EV_DSR | EV_RLSD | EV_RING | EV_BREAK | EV_ERR;
constexpr DWORD kModemEvents = EV_CTS | EV_DSR | EV_RLSD | EV_RING;
// A completed wait reports the size of its event mask as the bytes transferred, as on Windows.
constexpr std::size_t kWaitResultBytes = sizeof(DWORD);
constexpr DWORD kValidPurgeFlags = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;

ULONG_PTR LoadStatus(OVERLAPPED* overlapped) {
  return std::atomic_ref<ULONG_PTR>(overlapped->Internal).load(std::memory_order_acquire);
}

// Deadline of a total time-out of `ms` milliseconds; products of two 32-bit values are capped
// (at about 35 years) so the clock arithmetic cannot overflow.
std::chrono::steady_clock::time_point DeadlineAfter(std::uint64_t ms) {
  constexpr std::uint64_t kLongest = std::uint64_t{1} << 40;
  return std::chrono::steady_clock::now() + std::chrono::milliseconds(std::min(ms, kLongest));
}

std::size_t ClampQueueSize(DWORD requested) {
  return std::clamp<std::size_t>(requested, Driver::kMinQueueSize, Driver::kMaxQueueSize);
}

DCB DefaultState() {
  DCB dcb{};
  dcb.DCBlength = sizeof(DCB);
  dcb.BaudRate = CBR_9600;
  dcb.fBinary = 1;
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  dcb.fRtsControl = RTS_CONTROL_ENABLE;
  dcb.XonLim = 2048;
  dcb.XoffLim = 512;
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  dcb.XonChar = 0x11;
  dcb.XoffChar = 0x13;
  return dcb;
}

std::string Hex(const char* name, DWORD value) {
  char text[32];
  std::snprintf(text, sizeof text, "%s=0x%08X", name, static_cast<unsigned>(value));
  return text;
}

std::string DescribeState(const DCB& dcb) {
  DWORD flags = 0;
  std::memcpy(
      &flags,
      reinterpret_cast<const unsigned char*>(&dcb) + offsetof(DCB, BaudRate) + sizeof(DWORD),
      sizeof flags);
  char text[256];
  std::snprintf(text, sizeof text,
                "BaudRate=%u Flags=0x%08X XonLim=%u XoffLim=%u ByteSize=%u Parity=%u StopBits=%u "
                "XonChar=%u XoffChar=%u EvtChar=%u",
                static_cast<unsigned>(dcb.BaudRate), static_cast<unsigned>(flags),
                unsigned{dcb.XonLim}, unsigned{dcb.XoffLim}, unsigned{dcb.ByteSize},
                unsigned{dcb.Parity}, unsigned{dcb.StopBits},
                unsigned{static_cast<unsigned char>(dcb.XonChar)},
                unsigned{static_cast<unsigned char>(dcb.XoffChar)},
                unsigned{static_cast<unsigned char>(dcb.EvtChar)});
  return text;
}

// EV_ bits for modem inputs that changed (MS_ bits).
DWORD ModemEvents(DWORD changedInputs) {
  DWORD events = 0;
  if (changedInputs & MS_CTS_ON) events |= EV_CTS;
  if (changedInputs & MS_DSR_ON) events |= EV_DSR;
  if (changedInputs & MS_RLSD_ON) events |= EV_RLSD;
  if (changedInputs & MS_RING_ON) events |= EV_RING;
  return events;
}

const char* EscapeName(DWORD func) {
  switch (func) {
    case SETXOFF:
      return "SETXOFF";
    case SETXON:
      return "SETXON";
    case SETRTS:
      return "SETRTS";
    case CLRRTS:
      return "CLRRTS";
    case SETDTR:
      return "SETDTR";
    case CLRDTR:
      return "CLRDTR";
    case RESETDEV:
      return "RESETDEV";
    case SETBREAK:
      return "SETBREAK";
    case CLRBREAK:
      return "CLRBREAK";
    default:
      return nullptr;
  }
}

}  // namespace

// ---- Life cycle ------------------------------------------------------------------------------

Driver::Driver(std::unique_ptr<Line> line, bool overlappedHandle)
    : line_(std::move(line)), overlappedHandle_(overlappedHandle) {
  dcb_ = DefaultState();
  line_->ApplyState(dcb_);
  SampleModem();
}

Driver::~Driver() {
  Shutdown(false);
  if (wakeFd_ >= 0) ::close(wakeFd_);
}

DWORD Driver::Start() {
  wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (wakeFd_ < 0) return ERROR_TOO_MANY_OPEN_FILES;
  try {
    thread_ = std::thread([this] { Run(); });
  } catch (const std::system_error&) {
    return ERROR_NOT_ENOUGH_MEMORY;
  }
  return 0;
}

DWORD Driver::OpenCheck(const std::string& name) {
  std::lock_guard lock(mutex_);
  line_->LogCall("CreateFileA", name);
  return line_->InjectedFailure("CreateFileA");
}

DWORD Driver::Close() { return Shutdown(true); }

DWORD Driver::Shutdown(bool byCloseHandle) {
  DWORD injected = 0;
  {
    std::lock_guard lock(mutex_);
    if (closed_) return 0;
    if (byCloseHandle) {
      line_->LogCall("CloseHandle", "");
      injected = line_->InjectedFailure("CloseHandle");  // reported; the handle closes anyway
    }
    closed_ = true;
    AbortReads(ERROR_OPERATION_ABORTED);
    AbortWrites(ERROR_OPERATION_ABORTED);
    AbortWait(ERROR_OPERATION_ABORTED);
    stopping_ = true;
    if (wakeFd_ >= 0) Wake();
    completed_.notify_all();  // an I/O thread parked after a poll() failure, a flush
  }
  if (thread_.joinable()) thread_.join();
  std::lock_guard lock(mutex_);
  line_.reset();
  return injected;
}

// ---- Call entry and completion ----------------------------------------------------------------

bool Driver::Enter(std::unique_lock<std::mutex>& /*lock*/, const char* call,
                   const std::string& args) {
  if (closed_) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  line_->LogCall(call, args);
  if (DWORD error = line_->InjectedFailure(call)) {
    SetLastError(error);
    return false;
  }
  return true;
}

bool Driver::EnterWith(std::unique_lock<std::mutex>& lock, const char* call,
                       const std::string& args, const void* required) {
  if (!Enter(lock, call, args)) return false;
  if (required == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  return true;
}

BOOL Driver::Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

bool Driver::BeginOverlapped(OVERLAPPED* overlapped, std::shared_ptr<win32::Event>& event) {
  if (IsPending(overlapped)) {
    SetLastError(ERROR_INVALID_PARAMETER);  // the record still belongs to a running operation
    return false;
  }
  if (overlapped->hEvent != nullptr) {
    event = win32::LookupAs<win32::Event>(overlapped->hEvent);
    if (!event) return false;
    event->Reset();
  }
  std::atomic_ref<ULONG_PTR>(overlapped->InternalHigh).store(0, std::memory_order_relaxed);
  std::atomic_ref<ULONG_PTR>(overlapped->Internal).store(STATUS_PENDING, std::memory_order_release);
  return true;
}

void Driver::Complete(OVERLAPPED* overlapped, win32::Event* event, DWORD status,
                      std::size_t bytes) {
  std::atomic_ref<ULONG_PTR>(overlapped->InternalHigh).store(bytes, std::memory_order_relaxed);
  std::atomic_ref<ULONG_PTR>(overlapped->Internal).store(status, std::memory_order_release);
  if (event) event->Set();
  completed_.notify_all();
}

BOOL Driver::Finish(std::unique_lock<std::mutex>& lock, OVERLAPPED* overlapped, DWORD* bytes,
                    bool synchronous) {
  if (synchronous) completed_.wait(lock, [&] { return LoadStatus(overlapped) != STATUS_PENDING; });
  ULONG_PTR status = LoadStatus(overlapped);
  if (status == STATUS_PENDING) return Fail(ERROR_IO_PENDING);
  if (bytes) *bytes = static_cast<DWORD>(overlapped->InternalHigh);
  if (status != 0) return Fail(static_cast<DWORD>(status));
  return TRUE;
}

bool Driver::IsPending(const OVERLAPPED* overlapped) const {
  auto owns = [&](const PendingIo& op) { return op.overlapped == overlapped; };
  return std::any_of(reads_.begin(), reads_.end(), owns) ||
         std::any_of(writes_.begin(), writes_.end(), owns) ||
         (wait_ && wait_->overlapped == overlapped);
}

void Driver::AbortReads(DWORD error) {
  for (auto& op : reads_) Complete(op.overlapped, op.event.get(), error, op.done);
  reads_.clear();
}

void Driver::AbortWrites(DWORD error) {
  for (auto& op : writes_) Complete(op.overlapped, op.event.get(), error, op.done);
  writes_.clear();
}

void Driver::AbortWait(DWORD error) {
  if (!wait_) return;
  if (wait_->mask) *wait_->mask = 0;
  Complete(wait_->overlapped, wait_->event.get(), error, 0);
  wait_.reset();
}

// ---- Transfers ----------------------------------------------------------------------------------

BOOL Driver::ReadFile(void* buffer, DWORD n, DWORD* bytesRead, OVERLAPPED* overlapped) {
  std::unique_lock lock(mutex_);
  if (!Enter(lock, "ReadFile", LogArgs([n] { return "n=" + std::to_string(n); }))) return FALSE;
  if (bytesRead) *bytesRead = 0;
  if (buffer == nullptr && n > 0) return Fail(ERROR_NOACCESS);
  if (overlapped == nullptr && overlappedHandle_) return Fail(ERROR_INVALID_PARAMETER);
  OVERLAPPED local{};
  bool synchronous = overlapped == nullptr;
  if (synchronous) overlapped = &local;
  std::shared_ptr<win32::Event> event;
  if (!BeginOverlapped(overlapped, event)) return FALSE;

  PendingIo op{overlapped, event};
  op.readTo = static_cast<std::uint8_t*>(buffer);
  op.size = n;
  const COMMTIMEOUTS& t = timeouts_;
  bool returnAtOnce = t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == 0 &&
                      t.ReadTotalTimeoutConstant == 0;
  if (t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == MAXDWORD &&
      t.ReadTotalTimeoutConstant != 0 && t.ReadTotalTimeoutConstant != MAXDWORD) {
    op.endsOnFirstByte = true;
    op.deadline = DeadlineAfter(t.ReadTotalTimeoutConstant);
  } else if (!returnAtOnce &&
             (t.ReadTotalTimeoutMultiplier != 0 || t.ReadTotalTimeoutConstant != 0)) {
    op.deadline =
        DeadlineAfter(std::uint64_t{t.ReadTotalTimeoutMultiplier} * n + t.ReadTotalTimeoutConstant);
  }

  reads_.push_back(std::move(op));
  // Bytes already queued may be enough; otherwise look at the line now rather than wait for the
  // I/O thread's next turn.
  FeedPendingReads();
  if (IsPending(overlapped) || inputStalled_) PumpInput();
  if (IsPending(overlapped)) {
    // Still short of n bytes: return what there is, or fail on a hung-up line, or wait.
    if (returnAtOnce || hangUpError_ != 0) {
      PendingIo& mine = reads_.back();
      Complete(overlapped, mine.event.get(), returnAtOnce ? 0 : hangUpError_, mine.done);
      reads_.pop_back();
    }
  }
  WakeIfInterestChanged();
  return Finish(lock, overlapped, bytesRead, synchronous);
}

BOOL Driver::WriteFile(const void* buffer, DWORD n, DWORD* bytesWritten, OVERLAPPED* overlapped) {
  std::unique_lock lock(mutex_);
  if (!Enter(lock, "WriteFile", LogArgs([n] { return "n=" + std::to_string(n); }))) return FALSE;
  if (bytesWritten) *bytesWritten = 0;
  if (buffer == nullptr && n > 0) return Fail(ERROR_NOACCESS);
  if (overlapped == nullptr && overlappedHandle_) return Fail(ERROR_INVALID_PARAMETER);
  if (hangUpError_ != 0) return Fail(hangUpError_);
  OVERLAPPED local{};
  bool synchronous = overlapped == nullptr;
  if (synchronous) overlapped = &local;
  std::shared_ptr<win32::Event> event;
  if (!BeginOverlapped(overlapped, event)) return FALSE;

  PendingIo op{overlapped, event};
  op.writeFrom = static_cast<const std::uint8_t*>(buffer);
  op.size = n;
  const COMMTIMEOUTS& t = timeouts_;
  if (t.WriteTotalTimeoutMultiplier != 0 || t.WriteTotalTimeoutConstant != 0) {
    op.deadline = DeadlineAfter(std::uint64_t{t.WriteTotalTimeoutMultiplier} * n +
                                t.WriteTotalTimeoutConstant);
  }
  writes_.push_back(std::move(op));
  FillOutputFromPendingWrites();
  PumpOutput();
  CheckTransmitEmpty();
  WakeIfInterestChanged();
  return Finish(lock, overlapped, bytesWritten, synchronous);
}

BOOL Driver::WaitCommEvent(DWORD* eventMask, OVERLAPPED* overlapped) {
  std::unique_lock lock(mutex_);
  if (!Enter(lock, "WaitCommEvent", "")) return FALSE;
  if (wait_ || mask_ == 0) return Fail(ERROR_INVALID_PARAMETER);
  OVERLAPPED local{};
  bool synchronous = overlapped == nullptr;
  if (synchronous) overlapped = &local;
  std::shared_ptr<win32::Event> event;
  if (!BeginOverlapped(overlapped, event)) return FALSE;

  if (events_ != 0) {
    if (eventMask) *eventMask = events_;
    events_ = 0;
    Complete(overlapped, event.get(), 0, kWaitResultBytes);
  } else if (hangUpError_ != 0) {
    if (eventMask) *eventMask = 0;
    Complete(overlapped, event.get(), hangUpError_, 0);
  } else {
    wait_ = PendingWait{overlapped, event, eventMask};
  }
  return Finish(lock, overlapped, nullptr, synchronous);
}

BOOL Driver::GetOverlappedResult(OVERLAPPED* overlapped, DWORD* bytes, BOOL wait) {
  std::unique_lock lock(mutex_);
  if (!closed_) {
    line_->LogCall("GetOverlappedResult", "");
    if (DWORD error = line_->InjectedFailure("GetOverlappedResult")) return Fail(error);
  }
  if (LoadStatus(overlapped) == STATUS_PENDING) {
    if (!IsPending(overlapped)) return Fail(ERROR_INVALID_PARAMETER);  // not an operation of ours
    if (!wait) return Fail(ERROR_IO_INCOMPLETE);
    completed_.wait(lock, [&] { return LoadStatus(overlapped) != STATUS_PENDING; });
  }
  return Finish(lock, overlapped, bytes, false);
}

BOOL Driver::Flush() {
  std::unique_lock lock(mutex_);
  if (!Enter(lock, "FlushFileBuffers", "")) return FALSE;
  // The I/O thread moves the bytes; whether the line has sent them is asked now and then, as a
  // transmitter that cannot signal "empty" is.
  while (!closed_ && hangUpError_ == 0 && !OutputSent())
    completed_.wait_for(lock, std::chrono::milliseconds(kDrainCheckMs));
  if (closed_) return Fail(ERROR_OPERATION_ABORTED);
  if (hangUpError_ != 0) return Fail(hangUpError_);
  return TRUE;
}

bool Driver::OutputSent() {
  return output_.Empty() && writes_.empty() && !immediate_ &&
         (lineDead_ || line_->OutputPending() == 0);
}

BOOL Driver::CancelIo() {
  std::unique_lock lock(mutex_);
  if (!Enter(lock, "CancelIo", "")) return FALSE;
  AbortReads(ERROR_OPERATION_ABORTED);
  AbortWrites(ERROR_OPERATION_ABORTED);
  AbortWait(ERROR_OPERATION_ABORTED);
  WakeIfInterestChanged();
  return TRUE;
}

BOOL Driver::CancelIoEx(OVERLAPPED* overlapped) {
  if (overlapped == nullptr) return CancelIo();
  std::unique_lock lock(mutex_);
  if (!Enter(lock, "CancelIoEx", "")) return FALSE;
  bool found = AbortOne(reads_, overlapped);
  found = AbortOne(writes_, overlapped) || found;
  if (wait_ && wait_->overlapped == overlapped) {
    AbortWait(ERROR_OPERATION_ABORTED);
    found = true;
  }
  WakeIfInterestChanged();
  return found ? TRUE : Fail(ERROR_NOT_FOUND);
}

bool Driver::AbortOne(std::deque<PendingIo>& ops, OVERLAPPED* overlapped) {
  const auto it = std::find_if(ops.begin(), ops.end(), [overlapped](const PendingIo& op) {
    return op.overlapped == overlapped;
  });
  if (it == ops.end()) return false;
  Complete(it->overlapped, it->event.get(), ERROR_OPERATION_ABORTED, it->done);
  ops.erase(it);
  return true;
}

// ---- Settings and status
// --------------------------------------------------------------------------

BOOL Driver::SetupComm(DWORD inQueue, DWORD outQueue) {
  std::unique_lock lock(mutex_);
  if (!Enter(lock, "SetupComm",
             "in=" + std::to_string(inQueue) + " out=" + std::to_string(outQueue)))
    return FALSE;
  input_.Resize(ClampQueueSize(inQueue));
  output_.Resize(ClampQueueSize(outQueue));
  PumpInput();
  FillOutputFromPendingWrites();
  PumpOutput();
  WakeIfInterestChanged();
  return TRUE;
}

BOOL Driver::GetCommTimeouts(COMMTIMEOUTS* timeouts) {
  return CopyOut("GetCommTimeouts", timeouts, timeouts_);
}

BOOL Driver::SetCommTimeouts(const COMMTIMEOUTS* timeouts) {
  std::unique_lock lock(mutex_);
  std::string args;
  if (timeouts) {
    args = std::to_string(timeouts->ReadIntervalTimeout) + "," +
           std::to_string(timeouts->ReadTotalTimeoutMultiplier) + "," +
           std::to_string(timeouts->ReadTotalTimeoutConstant) + "," +
           std::to_string(timeouts->WriteTotalTimeoutMultiplier) + "," +
           std::to_string(timeouts->WriteTotalTimeoutConstant);
  }
  if (!EnterWith(lock, "SetCommTimeouts", args, timeouts)) return FALSE;
  timeouts_ = *timeouts;
  return TRUE;
}

BOOL Driver::GetCommState(DCB* dcb) { return CopyOut("GetCommState", dcb, dcb_); }

BOOL Driver::SetCommState(const DCB* dcb) {
  std::unique_lock lock(mutex_);
  if (!EnterWith(lock, "SetCommState", LogArgs([dcb] { return dcb ? DescribeState(*dcb) : ""; }),
                 dcb))
    return FALSE;
  if (DWORD error = CheckLineSettings(*dcb)) return Fail(error);
  if (DWORD error = line_->ApplyState(*dcb)) return Fail(error);
  dcb_ = *dcb;
  dcb_.DCBlength = sizeof(DCB);
  PumpOutput();  // flow-control changes may release held output
  WakeIfInterestChanged();
  return TRUE;
}

BOOL Driver::GetCommMask(DWORD* mask) { return CopyOut("GetCommMask", mask, mask_); }

BOOL Driver::SetCommMask(DWORD mask) {
  std::unique_lock lock(mutex_);
  if (!Enter(lock, "SetCommMask", LogArgs([mask] { return Hex("mask", mask); }))) return FALSE;
  if ((mask & ~kValidEventMask) != 0) return Fail(ERROR_INVALID_PARAMETER);
  mask_ = mask;
  events_ = 0;
  if ((mask & kModemEvents) != 0 && !lineDead_) line_->WatchModemInputs();
  // Changes and breaks from before the new mask are not its events (their error flags stay).
  if (!lineDead_) {
    errors_ |= line_->TakeLineEvents().ceErrors;
    SampleModem();
  }
  WakeIfInterestChanged();
  if (wait_) {
    // A new mask releases the pending wait with an empty mask.
    if (wait_->mask) *wait_->mask = 0;
    Complete(wait_->overlapped, wait_->event.get(), 0, kWaitResultBytes);
    wait_.reset();
  }
  return TRUE;
}

BOOL Driver::GetCommModemStatus(DWORD* status) {
  std::unique_lock lock(mutex_);
  if (!EnterWith(lock, "GetCommModemStatus", "", status)) return FALSE;
  // A line without modem inputs (a pty) answers with none on, as a port with nothing attached.
  DWORD value = 0;
  if (DWORD error = line_->ModemStatus(value); error != 0 && error != ERROR_NOT_SUPPORTED)
    return Fail(error);
  *status = value;
  return TRUE;
}

BOOL Driver::EscapeCommFunction(DWORD func) {
  std::unique_lock lock(mutex_);
  const char* name = EscapeName(func);
  if (!Enter(lock, "EscapeCommFunction", name ? name : "func=" + std::to_string(func)))
    return FALSE;
  switch (func) {
    case SETXOFF:
      outputHeld_ = true;
      break;
    case SETXON:
      outputHeld_ = false;
      PumpOutput();
      CheckTransmitEmpty();
      break;
    case RESETDEV:
      break;  // meaningful for printer ports only
    case SETRTS:
    case CLRRTS:
    case SETDTR:
    case CLRDTR:
    case SETBREAK:
    case CLRBREAK:
      if (DWORD error = line_->Escape(func)) return Fail(error);
      break;
    default:
      return Fail(ERROR_INVALID_PARAMETER);
  }
  WakeIfInterestChanged();
  return TRUE;
}

BOOL Driver::ClearCommError(DWORD* errors, COMSTAT* stat) {
  std::unique_lock lock(mutex_);
  if (!Enter(lock, "ClearCommError", "")) return FALSE;
  TakeLineEvents();
  if (errors) *errors = errors_;
  errors_ = 0;
  if (stat) {
    *stat = COMSTAT{};
    stat->fXoffHold = outputHeld_ ? 1 : 0;
    stat->cbInQue = static_cast<DWORD>(input_.Size());
    std::size_t out = output_.Size() + (lineDead_ ? 0 : line_->OutputPending());
    stat->cbOutQue = static_cast<DWORD>(out);
  }
  return TRUE;
}

BOOL Driver::PurgeComm(DWORD flags) {
  std::unique_lock lock(mutex_);
  if (!Enter(lock, "PurgeComm", LogArgs([flags] { return Hex("flags", flags); }))) return FALSE;
  if ((flags & ~kValidPurgeFlags) != 0) return Fail(ERROR_INVALID_PARAMETER);
  if (flags & PURGE_TXABORT) AbortWrites(ERROR_OPERATION_ABORTED);
  if (flags & PURGE_RXABORT) AbortReads(ERROR_OPERATION_ABORTED);
  if (flags & PURGE_TXCLEAR) {
    output_.Clear();
    if (!lineDead_) line_->DiscardOutput();
    transmitting_ = false;
  }
  if (flags & PURGE_RXCLEAR) {
    input_.Clear();
    if (!lineDead_) line_->DiscardInput();
    PumpInput();  // bytes that arrived since belong to the new start
  }
  FillOutputFromPendingWrites();
  WakeIfInterestChanged();
  return TRUE;
}

BOOL Driver::TransmitCommChar(char c) {
  std::unique_lock lock(mutex_);
  const auto byte = static_cast<std::uint8_t>(c);
  if (!Enter(lock, "TransmitCommChar", LogArgs([byte] { return Hex("char", byte); }))) return FALSE;
  if (hangUpError_ != 0) return Fail(hangUpError_);
  if (immediate_) return Fail(ERROR_INVALID_PARAMETER);  // the previous one has not gone yet
  immediate_ = byte;
  transmitting_ = true;
  PumpOutput();
  CheckTransmitEmpty();
  WakeIfInterestChanged();
  return TRUE;
}

// What this driver offers, in the values Windows uses. Any speed can be set (BAUD_USER); parity
// is never checked on receive, and read time-outs between bytes are not offered.
BOOL Driver::GetCommProperties(COMMPROP* properties) {
  std::unique_lock lock(mutex_);
  if (!EnterWith(lock, "GetCommProperties", "", properties)) return FALSE;
  COMMPROP p{};
  p.wPacketLength = sizeof(COMMPROP);
  p.wPacketVersion = 2;
  p.dwServiceMask = SP_SERIALCOMM;
  p.dwMaxTxQueue = static_cast<DWORD>(kMaxQueueSize);
  p.dwMaxRxQueue = static_cast<DWORD>(kMaxQueueSize);
  p.dwMaxBaud = BAUD_USER;
  p.dwProvSubType = PST_RS232;
  p.dwProvCapabilities = PCF_DTRDSR | PCF_RTSCTS | PCF_RLSD | PCF_XONXOFF | PCF_SETXCHAR |
                         PCF_TOTALTIMEOUTS | PCF_SPECIALCHARS;
  p.dwSettableParams = SP_PARITY | SP_BAUD | SP_DATABITS | SP_STOPBITS | SP_HANDSHAKING | SP_RLSD;
  p.dwSettableBaud = BAUD_075 | BAUD_110 | BAUD_134_5 | BAUD_150 | BAUD_300 | BAUD_600 | BAUD_1200 |
                     BAUD_1800 | BAUD_2400 | BAUD_4800 | BAUD_7200 | BAUD_9600 | BAUD_14400 |
                     BAUD_19200 | BAUD_38400 | BAUD_56K | BAUD_128K | BAUD_115200 | BAUD_57600 |
                     BAUD_USER;
  p.wSettableData = DATABITS_5 | DATABITS_6 | DATABITS_7 | DATABITS_8;
  p.wSettableStopParity = STOPBITS_10 | STOPBITS_15 | STOPBITS_20 | PARITY_NONE | PARITY_ODD |
                          PARITY_EVEN | PARITY_MARK | PARITY_SPACE;
  p.dwCurrentTxQueue = static_cast<DWORD>(output_.Capacity());
  p.dwCurrentRxQueue = static_cast<DWORD>(input_.Capacity());
  *properties = p;
  return TRUE;
}

// ---- Moving bytes and raising events (lock held) ----------------------------------------------

void Driver::PumpInput() {
  if (lineDead_ || hangUpError_ != 0) {
    FeedPendingReads();
    return;
  }
  bool received = false;
  bool flagSeen = false;
  for (;;) {
    FeedPendingReads();
    std::size_t room = 0;
    std::uint8_t* to = input_.FreeRun(room);
    inputStalled_ = room == 0;
    if (room == 0) break;
    LineIo io = line_->Read(to, room);
    if (io.error != 0) {
      HangUp(io.error);
      break;
    }
    if (io.bytes == 0) break;
    if (std::find(to, to + io.bytes, static_cast<std::uint8_t>(dcb_.EvtChar)) != to + io.bytes)
      flagSeen = true;
    input_.Commit(io.bytes);
    received = true;
    // A short read emptied the line; asking again would only cost a system call.
    if (io.bytes < room && input_.Free() > 0) break;
  }
  FeedPendingReads();
  if (!received) return;
  // A break or line error arrives with the bytes: whoever read them (an API call or the I/O
  // thread) collects it, since the line may not wake the I/O thread again, and raises it with
  // them as one event mask.
  Raise(CollectLineEvents() | (flagSeen ? EV_RXCHAR | EV_RXFLAG : EV_RXCHAR));
}

void Driver::FeedPendingReads() {
  while (!reads_.empty()) {
    PendingIo& op = reads_.front();
    op.done += input_.Pop(op.readTo + op.done, op.size - op.done);
    bool full = op.done == op.size;
    if (!full && !(op.endsOnFirstByte && op.done > 0)) break;
    Complete(op.overlapped, op.event.get(), 0, op.done);
    reads_.pop_front();
  }
}

void Driver::FillOutputFromPendingWrites() {
  while (!writes_.empty()) {
    PendingIo& op = writes_.front();
    std::size_t taken = output_.Push(op.writeFrom + op.done, op.size - op.done);
    op.done += taken;
    if (taken > 0) transmitting_ = true;
    if (op.done < op.size) break;
    Complete(op.overlapped, op.event.get(), 0, op.done);
    writes_.pop_front();
  }
}

void Driver::PumpOutput() {
  if (outputHeld_ || lineDead_ || hangUpError_ != 0) return;
  if (immediate_) {
    LineIo io = line_->Write(&*immediate_, 1);
    if (io.error != 0) {
      HangUp(io.error);
      return;
    }
    if (io.bytes == 0) return;  // no room yet: it still goes first
    immediate_.reset();
  }
  for (;;) {
    FillOutputFromPendingWrites();
    std::size_t length = 0;
    const std::uint8_t* from = output_.DataRun(length);
    if (length == 0) break;
    LineIo io = line_->Write(from, length);
    if (io.error != 0) {
      HangUp(io.error);
      break;
    }
    if (io.bytes == 0) break;
    output_.Consume(io.bytes);
    if (io.bytes < length) break;  // the line is full for now
  }
}

void Driver::CheckTransmitEmpty() {
  if (!transmitting_ || !output_.Empty() || immediate_ || !writes_.empty() || lineDead_) return;
  // Asking the line costs a system call on a tty; nobody waits for "empty" outside the mask.
  if ((mask_ & EV_TXEMPTY) != 0 && line_->OutputPending() != 0) return;
  transmitting_ = false;
  Raise(EV_TXEMPTY);
}

DWORD Driver::SampleModem() {
  DWORD status = 0;
  if (lineDead_ || modemUnsupported_) return 0;
  if (DWORD error = line_->ModemStatus(status)) {
    modemUnsupported_ = error == ERROR_NOT_SUPPORTED;
    return 0;
  }
  DWORD changed = modemKnown_ ? (status ^ modem_) : 0;
  modem_ = status;
  modemKnown_ = true;
  return changed;
}

void Driver::TakeLineEvents() {
  if (DWORD events = CollectLineEvents()) Raise(events);
}

DWORD Driver::CollectLineEvents() {
  if (lineDead_) return 0;
  LineEvents happened = line_->TakeLineEvents();
  errors_ |= happened.ceErrors;
  // A line that counts modem-input changes (the cable, a UART's counters) reports them all
  // itself, and its lines are never read here; other lines are compared with the last sample.
  DWORD changed =
      line_->CountsModemChanges() ? happened.modemChanges : SampleModem() | happened.modemChanges;
  DWORD events = ModemEvents(changed);
  if (happened.breakSeen) events |= EV_BREAK;
  if (happened.errorSeen) events |= EV_ERR;
  return events;
}

void Driver::ExpireDeadlines() {
  auto now = Clock::now();
  auto expire = [&](std::deque<PendingIo>& ops) {
    for (auto it = ops.begin(); it != ops.end();) {
      if (it->deadline && *it->deadline <= now) {
        // A time-out ends the transfer successfully with the bytes moved so far.
        Complete(it->overlapped, it->event.get(), 0, it->done);
        it = ops.erase(it);
      } else {
        ++it;
      }
    }
  };
  expire(reads_);
  expire(writes_);
}

void Driver::Raise(DWORD events) {
  events_ |= events & mask_;
  CompleteWaitIfEvents();
}

void Driver::CompleteWaitIfEvents() {
  if (!wait_ || events_ == 0) return;
  if (wait_->mask) *wait_->mask = events_;
  events_ = 0;
  Complete(wait_->overlapped, wait_->event.get(), 0, kWaitResultBytes);
  wait_.reset();
}

void Driver::HangUp(DWORD error) {
  if (!line_->IsNotification()) lineDead_ = true;
  if (hangUpError_ != 0) return;
  hangUpError_ = error;
  AbortReads(error);
  AbortWrites(error);
  AbortWait(error);
}

// ---- The I/O thread ---------------------------------------------------------------------------

Driver::Interest Driver::ComputeInterest() const {
  Interest interest;
  if (line_->IsNotification()) {
    interest.lineEvents = POLLIN;
  } else if (!lineDead_) {
    if (input_.Free() > 0) interest.lineEvents |= POLLIN;
    if ((!output_.Empty() || immediate_) && !outputHeld_ && hangUpError_ == 0)
      interest.lineEvents |= POLLOUT;
    // A transmitter that has taken everything but not yet sent it cannot signal "empty".
    if (transmitting_ && output_.Empty() && !immediate_ && writes_.empty())
      interest.periodicMs = kDrainCheckMs;
    // The modem inputs are sampled where the line asks for it (often where it cannot signal
    // their changes, seldom as a safety net where it can), but only while someone waits for
    // such events; ClearCommError collects the error flags on its own.
    int modemMs = line_->ModemPollIntervalMs();
    if (modemMs > 0 && (mask_ & kSampledEvents) != 0 &&
        (interest.periodicMs < 0 || modemMs < interest.periodicMs))
      interest.periodicMs = modemMs;
  }
  for (const auto* ops : {&reads_, &writes_})
    for (const auto& op : *ops)
      if (op.deadline && (!interest.deadline || *op.deadline < *interest.deadline))
        interest.deadline = op.deadline;
  return interest;
}

void Driver::Wake() {
  std::uint64_t one = 1;
  ssize_t written = ::write(wakeFd_, &one, sizeof one);
  (void)written;  // a full counter already means "wake up"
}

void Driver::WakeIfInterestChanged() {
  if (!(ComputeInterest() == polled_)) Wake();
}

void Driver::Service(short revents) {
  if (line_->IsNotification()) {
    if (revents & POLLIN) line_->DrainNotify();
    if (hangUpError_ != 0 && line_->Read(nullptr, 0).error == 0) hangUpError_ = 0;  // reconnected
  }
  PumpInput();
  if (!line_->IsNotification() && !lineDead_ && (revents & (POLLHUP | POLLERR | POLLNVAL)))
    HangUp(ERROR_DEVICE_NOT_CONNECTED);
  PumpOutput();
  CheckTransmitEmpty();
  TakeLineEvents();
  ExpireDeadlines();
}

void Driver::Run() {
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    polled_ = ComputeInterest();
    // The wake-up from API calls, the line, and the line's modem-change signal (-1: none, which
    // poll() passes over).
    pollfd fds[3] = {{wakeFd_, POLLIN, 0},
                     {line_->PollFd(), polled_.lineEvents, 0},
                     {line_->ModemEventFd(), POLLIN, 0}};
    nfds_t count = lineDead_ ? 1 : 3;
    int timeoutMs = polled_.periodicMs;
    if (polled_.deadline) {
      auto left = std::chrono::ceil<std::chrono::milliseconds>(*polled_.deadline - Clock::now());
      int deadlineMs = static_cast<int>(std::clamp<std::int64_t>(left.count(), 0, 1 << 30));
      timeoutMs = timeoutMs < 0 ? deadlineMs : std::min(timeoutMs, deadlineMs);
    }
    lock.unlock();
    int ready = ::poll(fds, count, timeoutMs);
    lock.lock();
    if (stopping_) break;
    if (ready < 0 && errno != EINTR) {
      PollFailed(lock);
      break;
    }
    if (fds[0].revents & POLLIN) {
      std::uint64_t counter = 0;
      ssize_t got = ::read(wakeFd_, &counter, sizeof counter);
      (void)got;
    }
    if (count > 2 && (fds[2].revents & POLLIN)) line_->DrainModemEvents();
    Service(count > 1 ? fds[1].revents : short{0});
  }
}

// poll() itself failed (not interrupted): the line can no longer be watched, and trying again at
// once would only fail again in a loop. It is the device gone: everything pending ends with
// ERROR_DEVICE_NOT_CONNECTED, later transfers fail, and the thread waits for the close.
void Driver::PollFailed(std::unique_lock<std::mutex>& lock) {
  HangUp(ERROR_DEVICE_NOT_CONNECTED);
  lineDead_ = true;
  completed_.wait(lock, [this] { return stopping_; });
}

}  // namespace serial
