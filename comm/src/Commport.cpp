// SPDX-License-Identifier: MIT
// TCommPort: settings, open and close, the two rings, modem lines, and Register.
#include <comm/Commport.h>
#include <framework/application.h>
#include <framework/registration.h>
#include <framework/sysutils.h>
#include <framework/thread.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <iterator>
#include <new>
#include <string>
#include <vector>

#include "EventTable.h"
#include "Evread.h"
#include "Evstatus.h"
#include "Thread.h"
#include "Thstatus.h"
#include "Thwrite.h"

namespace {

// The one table of TBaudRate: bits per second and the name stored forms use, in ordinal order.
struct TBaudRateInfo {
  TBaudRate Rate;
  DWORD BitsPerSecond;
  const char* Name;
};
constexpr TBaudRateInfo BaudRateTable[] = {
    {cbr110, CBR_110, "cbr110"},          {cbr300, CBR_300, "cbr300"},
    {cbr600, CBR_600, "cbr600"},          {cbr1200, CBR_1200, "cbr1200"},
    {cbr2400, CBR_2400, "cbr2400"},       {cbr4800, CBR_4800, "cbr4800"},
    {cbr9600, CBR_9600, "cbr9600"},       {cbr14400, CBR_14400, "cbr14400"},
    {cbr19200, CBR_19200, "cbr19200"},    {cbr38400, CBR_38400, "cbr38400"},
    {cbr56000, CBR_56000, "cbr56000"},    {cbr57600, CBR_57600, "cbr57600"},
    {cbr115200, CBR_115200, "cbr115200"}, {cbr128000, CBR_128000, "cbr128000"},
    {cbr256000, CBR_256000, "cbr256000"}};
constexpr int BaudRateCount = static_cast<int>(std::size(BaudRateTable));
static_assert(BaudRateCount == cbr256000 + 1, "one entry per TBaudRate");
static_assert(InOrdinalOrder(BaudRateTable, &TBaudRateInfo::Rate), "entries in ordinal order");

// Bits per second of a rate, 0 for an ordinal past the table.
constexpr DWORD BitsPerSecond(TBaudRate Rate) {
  return Rate < BaudRateCount ? BaudRateTable[Rate].BitsPerSecond : 0;
}

// The names of a table's entries, in its order (for the published enumeration and set).
template <class Entry, std::size_t N>
std::vector<const char*> NamesOf(const Entry (&Table)[N]) {
  std::vector<const char*> Names;
  Names.reserve(N);
  for (const Entry& E : Table) Names.push_back(E.Name);
  return Names;
}

// Writes the whole 32-bit flag word for a flow-control mode: every bit not listed for the
// mode is 0, the reserved upper bits included (0x0001, 0x1311 or 0x202D).
void ApplyFlagWord(DCB& Dcb, TComControl Control) {
  Dcb.fBinary = 1;
  Dcb.fParity = 0;
  Dcb.fOutxCtsFlow = 0;
  Dcb.fOutxDsrFlow = 0;
  Dcb.fDtrControl = DTR_CONTROL_DISABLE;
  Dcb.fDsrSensitivity = 0;
  Dcb.fTXContinueOnXoff = 0;
  Dcb.fOutX = 0;
  Dcb.fInX = 0;
  Dcb.fErrorChar = 0;
  Dcb.fNull = 0;
  Dcb.fRtsControl = RTS_CONTROL_DISABLE;
  Dcb.fAbortOnError = 0;
  Dcb.fDummy2 = 0;
  switch (Control) {
    case ccSoft:  // 0x1311
      Dcb.fDtrControl = DTR_CONTROL_ENABLE;
      Dcb.fOutX = 1;
      Dcb.fInX = 1;
      Dcb.fRtsControl = RTS_CONTROL_ENABLE;
      break;
    case ccHard:  // 0x202D
      Dcb.fOutxCtsFlow = 1;
      Dcb.fOutxDsrFlow = 1;
      Dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
      Dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
      break;
    default:  // ccNone and any other value: 0x0001
      break;
  }
}

constexpr DWORD ModemStatusBit(int Selector) {
  switch (Selector) {
    case 1:
      return MS_CTS_ON;
    case 2:
      return MS_DSR_ON;
    case 3:
      return MS_RING_ON;
    case 4:
      return MS_RLSD_ON;
    default:
      return 0;
  }
}

// Holds a critical section for one scope.
class TLockGuard {
 public:
  explicit TLockGuard(CRITICAL_SECTION& Lock) : Lock(Lock) { EnterCriticalSection(&Lock); }
  ~TLockGuard() { LeaveCriticalSection(&Lock); }
  TLockGuard(const TLockGuard&) = delete;
  TLockGuard& operator=(const TLockGuard&) = delete;

 private:
  CRITICAL_SECTION& Lock;
};

// memcpy that accepts an empty copy from or to a null pointer.
void CopyBytes(void* Destination, const void* Source, std::size_t Count) {
  if (Count > 0) std::memcpy(Destination, Source, Count);
}

}  // namespace

// ---- Construction and destruction --------------------------------------------------------------

TCommPort::TCommPort(TComponent* AOwner) : TComponent(AOwner) {
  InitializeCriticalSection(&OutLock);
  InitializeCriticalSection(&InLock);

  RxWakeEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  TxWakeEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  RxNotifyEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  StatusNotifyEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  RxArrivedEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
}

TCommPort::~TCommPort() {
  // The owner may be half destroyed already: no handler runs from here on, and requests deferred
  // from handlers must not run during or after the destruction.
  Destroying = true;
  Requests.clear();
  TThread::RemoveQueuedEvents(this);
  ClosePort();
  TThread::RemoveQueuedEvents(this);
  CloseHandle(RxArrivedEvent);
  CloseHandle(StatusNotifyEvent);
  CloseHandle(RxNotifyEvent);
  CloseHandle(TxWakeEvent);
  CloseHandle(RxWakeEvent);
  DeleteCriticalSection(&InLock);
  DeleteCriticalSection(&OutLock);
}

// ---- Line settings ---------------------------------------------------------------------------

bool TCommPort::IsEnabled() const { return PortHandle != INVALID_HANDLE_VALUE; }

// Read-modify-write of the device's line settings: one member changed from the stored field.
void TCommPort::WriteDcb(void (*Apply)(DCB&, const TCommPort&)) {
  if (!IsEnabled()) return;
  GetCommState(PortHandle, &PortDcb);
  Apply(PortDcb, *this);
  SetCommState(PortHandle, &PortDcb);
}

void TCommPort::SetComControl(TComControl Value) {
  FControl = Value;
  WriteDcb([](DCB& Dcb, const TCommPort& Port) { ApplyFlagWord(Dcb, Port.FControl.load()); });
}

void TCommPort::SetBaudRate(TBaudRate Value) {
  FBaudRate = Value;
  WriteDcb([](DCB& Dcb, const TCommPort& Port) { Dcb.BaudRate = BitsPerSecond(Port.FBaudRate); });
}

void TCommPort::SetParity(TParity Value) {
  FParity = Value;
  WriteDcb([](DCB& Dcb, const TCommPort& Port) { Dcb.Parity = Port.FParity; });
}

void TCommPort::SetStopBits(TStopBits Value) {
  FStopBits = Value;
  WriteDcb([](DCB& Dcb, const TCommPort& Port) { Dcb.StopBits = Port.FStopBits; });
  BitsWarning();
}

void TCommPort::SetDataBits(unsigned short Value) {
  FDataBits = (Value < 5 || Value > 8) ? 8 : Value;
  WriteDcb(
      [](DCB& Dcb, const TCommPort& Port) { Dcb.ByteSize = static_cast<BYTE>(Port.FDataBits); });
  BitsWarning();
}

void TCommPort::SetXonLim(unsigned short Value) {
  FXonLim = Value;
  WriteDcb([](DCB& Dcb, const TCommPort& Port) { Dcb.XonLim = Port.FXonLim; });
}

void TCommPort::SetXoffLim(unsigned short Value) {
  const DWORD Bound = FInSize > 65535 ? 65535 : FInSize;
  FXoffLim = static_cast<unsigned short>(std::min<DWORD>(Value, Bound));
  WriteDcb([](DCB& Dcb, const TCommPort& Port) { Dcb.XoffLim = Port.FXoffLim; });
}

void TCommPort::SetXonChar(unsigned char Value) {
  FXonChar = Value;
  WriteDcb([](DCB& Dcb, const TCommPort& Port) { Dcb.XonChar = static_cast<char>(Port.FXonChar); });
}

void TCommPort::SetXoffChar(unsigned char Value) {
  FXoffChar = Value;
  WriteDcb(
      [](DCB& Dcb, const TCommPort& Port) { Dcb.XoffChar = static_cast<char>(Port.FXoffChar); });
}

void TCommPort::SetEventChar(unsigned char Value) {
  FEventChar = Value;
  WriteDcb(
      [](DCB& Dcb, const TCommPort& Port) { Dcb.EvtChar = static_cast<char>(Port.FEventChar); });
}

void TCommPort::BitsWarning() {
  const char* Text = nullptr;
  if (FDataBits == 5 && FStopBits == sb2_0)
    Text = "Invalid combination (5 data bits with 2 stop bits)";
  else if (FDataBits != 5 && FStopBits == sb1_5)
    Text = "Invalid combination (6,7 or 8 data bits with 1.5 stop bits)";
  if (Text) Application->MessageBox(Text, "COM port warning", MB_ICONEXCLAMATION | MB_OK);
}

void TCommPort::SetBaud(int Value) {
  if (Value <= 0) return;
  for (const TBaudRateInfo& Entry : BaudRateTable) {
    if (Entry.BitsPerSecond == static_cast<DWORD>(Value)) {
      SetBaudRate(Entry.Rate);
      return;
    }
  }
}

int TCommPort::GetBaud() const { return static_cast<int>(BitsPerSecond(FBaudRate)); }

// ---- Settings that need a closed device ------------------------------------------------------

void TCommPort::SetComNumber(int Value) {
  if (Deferred([this, Value] { SetComNumber(Value); })) return;
  SetOpen(false);
  FComNumber = Value;
}

void TCommPort::SetIBuffSize(DWORD Value) {
  if (Deferred([this, Value] { SetIBuffSize(Value); })) return;
  const bool WasOpen = OpenFlag;
  SetOpen(false);
  FInSize = static_cast<DWORD>(Value);
  SetOpen(WasOpen);
}

void TCommPort::SetOBuffSize(DWORD Value) {
  if (Deferred([this, Value] { SetOBuffSize(Value); })) return;
  const bool WasOpen = OpenFlag;
  SetOpen(false);
  FOutSize = static_cast<DWORD>(Value);
  SetOpen(WasOpen);
}

// ---- Requests made inside handlers ------------------------------------------------------------

// A close requested inside a handler that a notifier delivers would wait for that notifier,
// which waits for the handler: the request is queued to run once the delivery has returned, and
// so is every open or close request after it, so that they keep their order.
bool TCommPort::Deferred(std::function<void()> Request) {
  if (!IsMainThread()) return false;  // deliveries and queued requests live on the main thread
  if (DeliveryDepth > 0) {
    Requests.push_back(std::move(Request));
    ScheduleRequests();
    return true;
  }
  RunRequests();
  return false;
}

void TCommPort::ScheduleRequests() {
  if (RequestsScheduled) return;
  RequestsScheduled = true;
  TThread::ForceQueue(this, [this] {
    RequestsScheduled = false;
    RunRequests();
  });
}

// Runs the queued requests in order. A request that runs one of the operations again goes on at
// once (the loop below is already under way), so nothing overtakes it.
void TCommPort::RunRequests() {
  if (RunningRequests || Requests.empty()) return;
  if (DeliveryDepth > 0) {
    ScheduleRequests();
    return;
  }
  // Also when a request throws (an OnOpen or OnClose handler may): the rest runs later.
  struct TRunEnd {
    TCommPort& Port;
    ~TRunEnd() {
      Port.RunningRequests = false;
      if (!Port.Requests.empty()) Port.ScheduleRequests();
    }
  } RunEnd{*this};
  RunningRequests = true;
  while (!Requests.empty() && DeliveryDepth == 0) {
    const std::function<void()> Request = std::move(Requests.front());
    Requests.pop_front();
    Request();
  }
}

bool TCommPort::HandlersAllowed() const {
  if (Destroying.load()) return false;
  for (const TComponent* Owner = this->Owner(); Owner != nullptr; Owner = Owner->Owner())
    if (Owner->ComponentState() & csDestroying) return false;
  return true;
}

// The first loss since the open is reported by the status notifier; later ones are the same.
void TCommPort::DeviceLost() {
  if (LineLost.exchange(true)) return;
  LineLossToReport = true;
  SetEvent(StatusNotifyEvent);
}

// ---- Open and close --------------------------------------------------------------------------

void TCommPort::SetOpen(bool Value) {
  if (Deferred([this, Value] { SetOpen(Value); })) return;
  // A port whose device went away is open in name only: opening it again closes it first.
  if (Value && OpenFlag && LineLost.load()) ClosePort();
  if (Value == OpenFlag) return;
  if (Value)
    OpenPort();
  else
    ClosePort();
}

void TCommPort::OpenPort() {
  if (Deferred([this] { OpenPort(); })) return;
  if (OpenFlag) return;

  LineLost = false;
  LineLossToReport = false;
  InCount = 0;
  InHead = 0;
  OutCount = 0;
  OutHead = 0;

  try {
    OutBuffer = new char[FOutSize];
    InBuffer = new char[FInSize];
  } catch (const std::bad_alloc&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    OpenFailed();
    return;
  }

  SetLastError(0);
  const std::string Name = std::string("\\\\.\\COM") + IntToStr(FComNumber);
  PortHandle = CreateFileA(Name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL, nullptr);
  if (!IsEnabled()) {
    OpenFailed();
    return;
  }

  SetupComm(PortHandle, FInSize, FOutSize);
  COMMTIMEOUTS Timeouts{0, 0, 0, 0, 0};
  SetCommTimeouts(PortHandle, &Timeouts);

  SetComControl(FControl.load());
  SetBaudRate(FBaudRate);
  SetParity(FParity);
  SetStopBits(FStopBits);
  SetDataBits(FDataBits);
  SetXonLim(FXonLim);
  SetXoffLim(FXoffLim);
  SetXonChar(FXonChar);
  SetXoffChar(FXoffChar);
  SetEventChar(FEventChar);

  if (!StartWorkers()) {
    StopWorkers();
    CloseHandle(PortHandle);
    PortHandle = INVALID_HANDLE_VALUE;
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);  // a thread could not be had
    OpenFailed();
    return;
  }

  OpenFlag = true;

  SetDTR(DtrState);
  SetRTS(RtsState);

  if (OnOpen.Assigned()) {
    const int Error = static_cast<int>(GetLastError());
    OnOpen(this, Error);
  }
}

// Creates the five workers in their order, each after its wake event has been reset. A worker
// that cannot be created fails the open; the caller stops those that were started.
bool TCommPort::StartWorkers() {
  try {
    StatusThread = TThread::Create<TStatusThread>(this, FMonitorEvents);
    ResetEvent(RxWakeEvent);
    ReadThread = TThread::Create<TReadThread>(this);
    ResetEvent(TxWakeEvent);
    WriteThread = TThread::Create<TWriteThread>(this);
    ResetEvent(RxNotifyEvent);
    ReadEventThread = TThread::Create<TReadEventThread>(this);
    ResetEvent(StatusNotifyEvent);
    StatusEventThread = TThread::Create<TStatusEventThread>(this);
  } catch (const std::exception&) {
    return false;
  }
  return true;
}

// The device did not open, or a ring or a worker could not be had: report it and hold nothing.
// The reason stays in the thread's last error for the caller, whatever the box did to it.
void TCommPort::OpenFailed() {
  const DWORD Reason = GetLastError();
  Application->MessageBox("Can't open COM port", "COM port error", MB_ICONERROR | MB_OK);
  ReleaseRings();
  SetLastError(Reason);
}

void TCommPort::ReleaseRings() {
  delete[] InBuffer;
  InBuffer = nullptr;
  delete[] OutBuffer;
  OutBuffer = nullptr;
}

void TCommPort::ClosePort() {
  if (Deferred([this] { ClosePort(); })) return;
  if (!OpenFlag || ClosePending) return;
  ClosePending = true;

  CtsState = false;
  DsrState = false;
  DcdState = false;
  RingState = false;

  StopWorkers();

  CloseHandle(PortHandle);
  PortHandle = INVALID_HANDLE_VALUE;

  ReleaseRings();

  {
    TLockGuard Guard(InLock);
    InCount = 0;
  }
  {
    TLockGuard Guard(OutLock);
    OutCount = 0;
  }

  OpenFlag = false;
  ClosePending = false;

  if (OnClose.Assigned() && HandlersAllowed()) OnClose(this);
}

// Stops and joins each worker before the next is touched: the status monitor first (it wakes
// the others), the two notifiers last (after the workers that wake them).
void TCommPort::StopWorkers() {
  StopStatusThread();
  // A sample the monitor stored after the states were cleared must not survive the close.
  CtsState = false;
  DsrState = false;
  DcdState = false;
  RingState = false;
  StopReadThread();
  StopWriteThread();
  StopReadEventThread();
  StopStatusEventThread();
}

// Grace period for a worker to leave on its own before its pending device operation is
// aborted; a write held back by flow control or a dead line would otherwise never end.
constexpr unsigned WorkerStopGraceMs = 250;

void TCommPort::StopStatusThread() {
  if (!StatusThread) return;
  StatusThread->Terminate();
  ResetEvent(StatusThread->Overlapped.hEvent);
  // Setting the mask completes a pending wait. A wait the thread starts just after it would fail
  // on Windows but pends for ever under Wine, so the mask is set again, and the wait cancelled
  // (CancelIo would only cancel this thread's own I/O), until the thread has left.
  SetCommMask(PortHandle, 0);
  while (!StatusThread->WaitFor(WorkerStopGraceMs)) {
    SetCommMask(PortHandle, 0);
    CancelIoEx(PortHandle, &StatusThread->Overlapped);
  }
  delete StatusThread;
  StatusThread = nullptr;
}

void TCommPort::StopReadThread() {
  if (!ReadThread) return;
  ReadThread->Terminate();
  ResetEvent(ReadThread->Overlapped.hEvent);
  SetEvent(RxWakeEvent);
  // Again until it leaves: a read started just after an abort is aborted by the next one.
  while (!ReadThread->WaitFor(WorkerStopGraceMs)) PurgeComm(PortHandle, PURGE_RXABORT);
  delete ReadThread;
  ReadThread = nullptr;
}

void TCommPort::StopWriteThread() {
  if (!WriteThread) return;
  WriteThread->Terminate();
  ResetEvent(WriteThread->Overlapped.hEvent);
  SetEvent(TxWakeEvent);
  // Bytes held back by flow control are discarded, again until the writer leaves.
  while (!WriteThread->WaitFor(WorkerStopGraceMs))
    PurgeComm(PortHandle, PURGE_TXABORT | PURGE_TXCLEAR);
  delete WriteThread;
  WriteThread = nullptr;
}

namespace {

// A notifier's last delivery waits for the main thread. Off the main thread, which may not be
// running synchronised calls at all, it is given up after the grace period.
void JoinNotifier(TThread& Notifier) {
  if (!IsMainThread() && !Notifier.WaitFor(WorkerStopGraceMs)) Notifier.AbandonSynchronize();
  Notifier.WaitFor();
}

}  // namespace

void TCommPort::StopReadEventThread() {
  if (!ReadEventThread) return;
  ReadEventThread->Terminate();
  SetEvent(RxNotifyEvent);
  JoinNotifier(*ReadEventThread);
  delete ReadEventThread;
  ReadEventThread = nullptr;
}

void TCommPort::StopStatusEventThread() {
  if (!StatusEventThread) return;
  StatusEventThread->Terminate();
  SetEvent(StatusNotifyEvent);
  JoinNotifier(*StatusEventThread);
  delete StatusEventThread;
  StatusEventThread = nullptr;
}

// ---- Buffered transfer -----------------------------------------------------------------------

DWORD TCommPort::PutBlock(const char* Buf, DWORD Count) {
  if (!IsEnabled() || LineLost.load()) return 0;
  DWORD c, h;
  {
    TLockGuard Guard(OutLock);
    c = OutCount.load(std::memory_order_relaxed);
    h = OutHead;
  }
  // Compared with the size without reducing it first: t may reach up to twice the size.
  const unsigned long long t = static_cast<unsigned long long>(h) + c;
  DWORD n = 0;
  if (t < FOutSize) {
    const DWORD FirstPart = FOutSize - static_cast<DWORD>(t);
    if (Count < FirstPart) {
      CopyBytes(OutBuffer + t, Buf, Count);
      n = Count;
    } else {
      CopyBytes(OutBuffer + t, Buf, FirstPart);
      const DWORD SecondPart = std::min<DWORD>(Count - FirstPart, h);
      CopyBytes(OutBuffer, Buf + FirstPart, SecondPart);
      n = FirstPart + SecondPart;
    }
  } else {
    const DWORD Free = static_cast<DWORD>(t - FOutSize);
    n = std::min<DWORD>(Count, h - Free);
    CopyBytes(OutBuffer + Free, Buf, n);
  }
  {
    TLockGuard Guard(OutLock);
    OutCount.store(OutCount.load(std::memory_order_relaxed) + n, std::memory_order_release);
  }
  if (n > 0) SetEvent(TxWakeEvent);
  return n;
}

DWORD TCommPort::PutChar(char Value) { return PutBlock(&Value, 1); }

DWORD TCommPort::PutString(const char* Text) {
  const std::size_t Length = std::strlen(Text);
  if (Length == 0) return 0;
  return PutBlock(Text, static_cast<DWORD>(Length));
}

DWORD TCommPort::GetBlock(char* Buf, DWORD Count) {
  if (!IsEnabled()) return 0;
  if (InCount.load(std::memory_order_acquire) == 0) return 0;
  DWORD c, h;
  {
    TLockGuard Guard(InLock);
    c = InCount.load(std::memory_order_relaxed);
    h = InHead;
  }
  const unsigned long long t = static_cast<unsigned long long>(h) + c;
  DWORD n = 0;
  if (t < FInSize) {
    n = std::min<DWORD>(Count, c);
    CopyBytes(Buf, InBuffer + h, n);
  } else {
    const DWORD FirstRun = FInSize - h;
    if (Count < FirstRun) {
      n = Count;
      CopyBytes(Buf, InBuffer + h, n);
    } else {
      CopyBytes(Buf, InBuffer + h, FirstRun);
      const DWORD SecondRun = std::min<DWORD>(Count - FirstRun, static_cast<DWORD>(t - FInSize));
      CopyBytes(Buf + FirstRun, InBuffer, SecondRun);
      n = FirstRun + SecondRun;
    }
  }
  {
    TLockGuard Guard(InLock);
    InCount.store(InCount.load(std::memory_order_relaxed) - n, std::memory_order_release);
    InHead += n;
    if (InHead >= FInSize) InHead -= FInSize;
  }
  SetEvent(RxWakeEvent);
  return n;
}

DWORD TCommPort::ReadBlock(char* Buf, DWORD Count, DWORD TimeoutMs, DWORD GapMs) {
  using Clock = std::chrono::steady_clock;
  using std::chrono::milliseconds;
  if (!IsEnabled()) return 0;
  const Clock::time_point Deadline = Clock::now() + milliseconds(TimeoutMs);
  Clock::time_point QuietDeadline = Deadline;
  DWORD Received = 0;
  for (;;) {
    const DWORD n = GetBlock(Buf + Received, Count - Received);
    const Clock::time_point Now = Clock::now();
    Received += n;
    if (n > 0 && GapMs > 0) QuietDeadline = std::min(Deadline, Now + milliseconds(GapMs));
    if (Received == Count || Now >= QuietDeadline || LineLost.load()) return Received;
    // Bytes that enter the ring from here on set the event, so none is missed; an event left
    // set by bytes already taken only costs one more turn.
    const auto Wait = std::chrono::ceil<milliseconds>(QuietDeadline - Now).count();
    WaitForSingleObject(RxArrivedEvent, static_cast<DWORD>(Wait));
  }
}

char TCommPort::GetChar() {
  char Value = 0;
  if (InCount.load(std::memory_order_acquire) > 0) GetBlock(&Value, 1);
  return Value;
}

bool TCommPort::CharReady() const { return InCount.load(std::memory_order_acquire) > 0; }

DWORD TCommPort::GetInBuffUsed() const { return InCount.load(std::memory_order_acquire); }

DWORD TCommPort::GetInBuffFree() const {
  TLockGuard Guard(InLock);
  return FInSize - InCount.load(std::memory_order_relaxed);
}

DWORD TCommPort::GetOutBuffUsed() const { return OutCount.load(std::memory_order_acquire); }

DWORD TCommPort::GetOutBuffFree() const {
  TLockGuard Guard(OutLock);
  return FOutSize - OutCount.load(std::memory_order_relaxed);
}

int TCommPort::GetOutQueCount() const {
  if (!IsEnabled()) return 0;
  DWORD Errors = 0;
  COMSTAT Stat{};
  if (!ClearCommError(PortHandle, &Errors, &Stat)) return 0;
  return static_cast<int>(Stat.cbOutQue);
}

void TCommPort::FlushInBuffer() {
  if (IsEnabled()) PurgeComm(PortHandle, PURGE_RXABORT | PURGE_RXCLEAR);
  TLockGuard Guard(InLock);
  InCount.store(0, std::memory_order_release);
  ++InGeneration;
}

void TCommPort::FlushOutBuffer() {
  if (IsEnabled()) PurgeComm(PortHandle, PURGE_TXABORT | PURGE_TXCLEAR);
  TLockGuard Guard(OutLock);
  ResetEvent(TxWakeEvent);
  OutCount.store(0, std::memory_order_release);
  ++OutGeneration;
}

// ---- Modem lines, break and power ------------------------------------------------------------

void TCommPort::SetDTR(bool Value) {
  if (OpenFlag) {
    if (EscapeCommFunction(PortHandle, Value ? SETDTR : CLRDTR)) DtrState = Value;
  } else {
    DtrState = Value;
  }
}

void TCommPort::SetRTS(bool Value) {
  if (OpenFlag) {
    if (EscapeCommFunction(PortHandle, Value ? SETRTS : CLRRTS)) RtsState = Value;
  } else {
    RtsState = Value;
  }
}

void TCommPort::PowerOn() {
  EscapeCommFunction(PortHandle, SETDTR);
  EscapeCommFunction(PortHandle, SETRTS);
  RtsState = true;
  DtrState = true;
}

void TCommPort::PowerOff() {
  EscapeCommFunction(PortHandle, CLRDTR);
  EscapeCommFunction(PortHandle, CLRRTS);
  RtsState = false;
  DtrState = false;
}

bool TCommPort::SetBreak(bool Value) {
  if (!OpenFlag) return false;
  return EscapeCommFunction(PortHandle, Value ? SETBREAK : CLRBREAK) != FALSE;
}

void TCommPort::SendBreak(unsigned short Ticks) {
  if (IsEnabled()) SetBreak(true);
  Sleep(static_cast<DWORD>(Ticks) * 55);
  if (IsEnabled()) SetBreak(false);
}

bool TCommPort::GetModemState(int Selector) const {
  const DWORD Bit = ModemStatusBit(Selector);
  DWORD Status = 0;
  if (IsEnabled() && GetCommModemStatus(PortHandle, &Status)) return (Status & Bit) != 0;
  return false;
}

// ---- Published properties and registration ----------------------------------------------------

const TClassInfo& TCommPort::ClassInfo() {
  static const TClassInfo Info =
      TClassInfo::Derived<TCommPort, TComponent>("TCommPort")
          .Property("ComNumber", &TCommPort::GetComNumber, &TCommPort::SetComNumber)
          .Property("Open", &TCommPort::GetOpen, &TCommPort::SetOpen)
          .Property("DTR", &TCommPort::GetDTR, &TCommPort::SetDTR)
          .Property("RTS", &TCommPort::GetRTS, &TCommPort::SetRTS)
          .Property("CTS", &TCommPort::GetCTS)
          .Property("DSR", &TCommPort::GetDSR)
          .Property("DCD", &TCommPort::GetDCD)
          .Property("Ring", &TCommPort::GetRing)
          .Property("InSize", &TCommPort::GetInSize, &TCommPort::SetIBuffSize)
          .Property("OutSize", &TCommPort::GetOutSize, &TCommPort::SetOBuffSize)
          .Property("InBuffFree", &TCommPort::GetInBuffFree)
          .Property("InBuffUsed", &TCommPort::GetInBuffUsed)
          .Property("OutBuffFree", &TCommPort::GetOutBuffFree)
          .Property("OutBuffUsed", &TCommPort::GetOutBuffUsed)
          .Property("OutQueCount", &TCommPort::GetOutQueCount)
          .Property("Baud", &TCommPort::GetBaud, &TCommPort::SetBaud)
          .Enum("BaudRate", &TCommPort::GetBaudRate, &TCommPort::SetBaudRate,
                NamesOf(BaudRateTable))
          .Enum("Control", &TCommPort::GetControl, &TCommPort::SetComControl,
                {"ccNone", "ccSoft", "ccHard"})
          .Enum("Parity", &TCommPort::GetParity, &TCommPort::SetParity,
                {"paNone", "paOdd", "paEven", "paMark", "paSpace"})
          .Enum("StopBits", &TCommPort::GetStopBits, &TCommPort::SetStopBits,
                {"sb1_0", "sb1_5", "sb2_0"})
          .Property("DataBits", &TCommPort::GetDataBits, &TCommPort::SetDataBits)
          .Set("MonitorEvents", &TCommPort::FMonitorEvents, &TCommPort::FMonitorEvents,
               NamesOf(EventTable))
          .Property("XonLim", &TCommPort::GetXonLim, &TCommPort::SetXonLim)
          .Property("XoffLim", &TCommPort::GetXoffLim, &TCommPort::SetXoffLim)
          .Property("XonChar", &TCommPort::GetXonChar, &TCommPort::SetXonChar)
          .Property("XoffChar", &TCommPort::GetXoffChar, &TCommPort::SetXoffChar)
          .Property("EventChar", &TCommPort::GetEventChar, &TCommPort::SetEventChar)
          .Property("StatusPause", &TCommPort::GetStatusPause, &TCommPort::SetStatusPause)
          .Default(DefaultStatusPause)
          .Event("OnCTSSignal", &TCommPort::OnCTSSignal)
          .Event("OnDCDSignal", &TCommPort::OnDCDSignal)
          .Event("OnDSRSignal", &TCommPort::OnDSRSignal)
          .Event("OnRxDSignal", &TCommPort::OnRxDSignal)
          .Event("OnTxDSignal", &TCommPort::OnTxDSignal)
          .Event("OnRingSignal", &TCommPort::OnRingSignal)
          .Event("OnBreakSignal", &TCommPort::OnBreakSignal)
          .Event("OnRxEventSignal", &TCommPort::OnRxEventSignal)
          .Event("OnErrorSignal", &TCommPort::OnErrorSignal)
          .Event("OnDataReceived", &TCommPort::OnDataReceived)
          .Event("OnOpen", &TCommPort::OnOpen)
          .Event("OnClose", &TCommPort::OnClose);
  return Info;
}

void Register() { RegisterComponents("Marnock", {&TCommPort::ClassInfo()}); }

namespace {
// Programs that read a stored form holding a TCommPort create it by class name.
[[maybe_unused]] const bool CommPortClassRegistered = (RegisterClass<TCommPort>(), true);
}  // namespace
