// SPDX-License-Identifier: MIT
// TCommPort: one numbered serial device ("COM" + number) as a non-visual component.
//
// The component owns a receive ring and a transmit ring, the device handle, four events, two
// locks and five workers (reader, writer, read notifier, status monitor, status notifier) that
// move bytes between the rings and the device and carry notifications to the main thread.
// Settings are published properties; while a device is held each setter also writes its value
// to the device at once, and opening writes every stored setting.
//
// Threads. The port belongs to the thread that creates it (normally the main thread): every
// member is called from that thread, one call at a time, except that
// - GetCTS, GetDSR, GetDCD, GetRing, GetInBuffUsed and GetOutBuffUsed may be read from any thread;
// - while the port stays open, one thread may call PutBlock while another calls GetBlock or
//   ReadBlock.
// The handlers (On...) run on the main thread, the thread that loaded the framework: a program
// without a GUI event loop calls CheckSynchronize() from <framework/thread.h>. OnOpen and OnClose
// run on the thread that opened or closed the port. A handler may use the port when the port
// belongs to the main thread; a request it makes to open or close the port (SetOpen, OpenPort,
// ClosePort, SetComNumber, SetIBuffSize, SetOBuffSize) runs once the delivery has returned, the
// requests in the order they were made. A handler must not destroy its own port.
// Closing on a thread other than the main thread ends within about half a second even when the
// main thread runs no synchronised calls: the last notifications it cannot deliver are dropped.
// A port being destroyed, by its own destructor or by its owner's, closes without calling any
// handler.
//
// Hang-up. When the device goes away while open (a pty's far end closes, a USB adapter is
// pulled), the port reports it once: OnErrorSignal(Sender, ERROR_DEVICE_NOT_CONNECTED), 1167,
// whatever MonitorEvents holds (the status monitor notices it, or the writer when MonitorEvents
// is empty). From then on PutBlock returns 0 and the transmit ring keeps what it held; bytes
// already received can still be taken. Once the device is back, SetOpen(true) opens it again
// (closing the dead device first); GetOpen() reads true until then.
//
// Errors. No member returns an error code. A failed open (SetOpen(true), OpenPort, or a size
// setter reopening) shows the application's message box "Can't open COM port" captioned "COM
// port error" and leaves the port closed; a program without a GUI front end gets the box on
// standard error, or replaces it with Application->SetMessageBoxPresenter
// (<framework/application.h>). GetLastError() on the same thread then holds the reason, and
// SysErrorMessage() (<framework/sysutils.h>) its text: 2 (ERROR_FILE_NOT_FOUND) no such device,
// 5 (ERROR_ACCESS_DENIED) no permission (on Linux, membership of the group dialout), 32
// (ERROR_SHARING_VIOLATION) the device is open elsewhere, 8 (ERROR_NOT_ENOUGH_MEMORY) a ring or
// a worker could not be had. OnOpen(Sender, Error) receives the last error left by the open's
// device calls: 0 when they all succeeded, 50 (ERROR_NOT_SUPPORTED) when one the device lacks
// failed (a pseudo-terminal has no modem lines, so setting DTR and RTS fails there); the port
// is open all the same. Settings out of range are not reported: SetBaud with a rate that is not
// in TBaudRate's list changes nothing (GetBaud reads back the rate in force), SetDataBits
// outside 5 to 8 stores 8, and a stop-bit setting the data bits do not allow shows the "COM port
// warning" box (BitsWarning).
#pragma once

#include <comm/CommExport.h>
#include <framework/classes.h>
#include <win32/win32.h>

#include <atomic>
#include <deque>
#include <functional>
#include <initializer_list>

// Line speed; the ordinal order is fixed (stored forms hold the names).
enum TBaudRate : unsigned char {
  cbr110,
  cbr300,
  cbr600,
  cbr1200,
  cbr2400,
  cbr4800,
  cbr9600,
  cbr14400,
  cbr19200,
  cbr38400,
  cbr56000,
  cbr57600,
  cbr115200,
  cbr128000,
  cbr256000
};
// Parity; the ordinal is the device's parity code.
enum TParity : unsigned char { paNone, paOdd, paEven, paMark, paSpace };
// Stop bits; the ordinal is the device's stop-bit code.
enum TStopBits : unsigned char { sb1_0, sb1_5, sb2_0 };
// Flow control: none, XON/XOFF, hardware handshake.
enum TComControl : unsigned char { ccNone, ccSoft, ccHard };
// Port events the status monitor can watch.
enum TEventState : unsigned char {
  evRxChar,
  evRxEventChar,
  evTxEmpty,
  evCTS,
  evDSR,
  evRlsd,
  evBreak,
  evError,
  evRing
};

// A set of TEventState held in 16 bits: bit n stands for ordinal n, bits 9 to 15 stay 0.
using TEventStates = unsigned short;

constexpr TEventStates EventSet(std::initializer_list<TEventState> Events) {
  TEventStates Set = 0;
  for (TEventState Event : Events) Set = static_cast<TEventStates>(Set | (1u << Event));
  return Set;
}

constexpr bool InSet(TEventStates Set, TEventState Event) { return (Set >> Event) & 1u; }

// Handler shapes: (Sender), (Sender, Error), (Sender, Count). Sender is always the component.
// TNotifyEvent = TBoundHandler<TObject*> comes from the framework.
using TCommErrorEvent = TBoundHandler<TObject*, int>;
using TCommDataEvent = TBoundHandler<TObject*, DWORD>;

class TReadThread;
class TWriteThread;
class TReadEventThread;
class TStatusThread;
class TStatusEventThread;

class COMM_API TCommPort : public TComponent {
  friend class TReadThread;
  friend class TWriteThread;
  friend class TReadEventThread;
  friend class TStatusThread;
  friend class TStatusEventThread;

 public:
  explicit TCommPort(TComponent* AOwner);
  ~TCommPort() override;
  TCommPort(const TCommPort&) = delete;
  TCommPort& operator=(const TCommPort&) = delete;

  // Published properties, in declaration order (after Name and Tag of TComponent).
  static const TClassInfo& ClassInfo();
  const TClassInfo& GetClassInfo() const override { return ClassInfo(); }

  // ---- Settings ----
  bool IsEnabled();  // a device handle is held
  void SetComControl(TComControl Value);
  void SetBaudRate(TBaudRate Value);
  void SetParity(TParity Value);
  void SetStopBits(TStopBits Value);
  void SetDataBits(unsigned short Value);
  void SetXonLim(unsigned short Value);
  void SetXoffLim(unsigned short Value);
  void SetXonChar(unsigned char Value);
  void SetXoffChar(unsigned char Value);
  void SetEventChar(unsigned char Value);
  void SetBaud(int Value);
  int GetBaud();
  void SetComNumber(int Value);
  void SetIBuffSize(DWORD Value);
  void SetOBuffSize(DWORD Value);
  void BitsWarning();

  int GetComNumber() { return FComNumber; }
  TBaudRate GetBaudRate() { return FBaudRate; }
  TParity GetParity() { return FParity; }
  TComControl GetControl() { return FControl.load(std::memory_order_relaxed); }
  TStopBits GetStopBits() { return FStopBits; }
  unsigned short GetDataBits() { return FDataBits; }
  TEventStates GetMonitorEvents() { return FMonitorEvents; }
  // MonitorEvents has no setter of its own: the value is stored as it is and read at the next
  // open.
  void SetMonitorEvents(TEventStates Value) { FMonitorEvents = Value; }
  unsigned short GetXonLim() { return FXonLim; }
  unsigned short GetXoffLim() { return FXoffLim; }
  unsigned char GetXonChar() { return FXonChar; }
  unsigned char GetXoffChar() { return FXoffChar; }
  unsigned char GetEventChar() { return FEventChar; }
  DWORD GetInSize() { return FInSize; }
  DWORD GetOutSize() { return FOutSize; }
  // StatusPause: milliseconds the status monitor pauses after an event wait that did not
  // complete at once, before it collects the wait (DefaultStatusPause unless set). An event is
  // reported up to this much later; 0 reports it at once. Read by the status monitor at each
  // wait, so a change applies to an open port from its next wait.
  static constexpr DWORD DefaultStatusPause = 50;
  DWORD GetStatusPause() { return FStatusPause.load(std::memory_order_relaxed); }
  void SetStatusPause(DWORD Value) { FStatusPause.store(Value, std::memory_order_relaxed); }

  // ---- Open and close ----
  void SetOpen(bool Value);
  bool GetOpen() { return OpenFlag; }
  void OpenPort();
  void ClosePort();

  // ---- Buffered transfer ----
  DWORD PutBlock(const char* Buf, DWORD Count);
  DWORD PutChar(char Value);
  DWORD PutString(const char* Text);
  DWORD GetBlock(char* Buf, DWORD Count);
  // Waits for Count bytes and moves them to Buf, as GetBlock does; returns how many it moved.
  // The wait ends when Count bytes have come, when TimeoutMs has passed since the call, or, with
  // a GapMs other than 0, once the line has been quiet for GapMs after the last byte: a reply on a
  // line without framing ends at its length or at a gap. Received bytes reach the receive ring
  // at the status monitor's wake-ups, up to StatusPause apart while bytes trickle in, so a gap
  // should exceed StatusPause. Returns 0 at once when the port is not open, and what it has
  // once the device has gone away (see Hang-up above). Blocks the calling
  // thread only: it needs no message loop and no CheckSynchronize, and may be called from any
  // thread while the port stays open (one reader at a time).
  DWORD ReadBlock(char* Buf, DWORD Count, DWORD TimeoutMs, DWORD GapMs = 0);
  char GetChar();
  bool CharReady();
  DWORD GetInBuffUsed();
  DWORD GetInBuffFree();
  DWORD GetOutBuffUsed();
  DWORD GetOutBuffFree();
  int GetOutQueCount();
  void FlushInBuffer();
  void FlushOutBuffer();

  // ---- Modem lines, break and power ----
  void SetDTR(bool Value);
  void SetRTS(bool Value);
  bool GetDTR() { return DtrState; }
  bool GetRTS() { return RtsState; }
  bool GetCTS() { return CtsState.load(); }
  bool GetDSR() { return DsrState.load(); }
  bool GetDCD() { return DcdState.load(); }
  bool GetRing() { return RingState.load(); }
  void PowerOn();
  void PowerOff();
  bool SetBreak(bool Value);
  void SendBreak(unsigned short Ticks);
  bool GetModemState(int Selector);

  // Handler slots, in slot order.
  TNotifyEvent OnCTSSignal;
  TNotifyEvent OnDCDSignal;
  TNotifyEvent OnDSRSignal;
  TNotifyEvent OnRxDSignal;
  TNotifyEvent OnRxEventSignal;
  TNotifyEvent OnTxDSignal;
  TNotifyEvent OnRingSignal;
  TNotifyEvent OnBreakSignal;
  TCommErrorEvent OnErrorSignal;
  TCommDataEvent OnDataReceived;
  TCommErrorEvent OnOpen;
  TNotifyEvent OnClose;

 private:
  HANDLE PortHandle;
  DCB PortDcb;
  int FComNumber;
  TBaudRate FBaudRate;
  TParity FParity;
  std::atomic<TComControl> FControl;
  TStopBits FStopBits;
  unsigned short FDataBits;
  TEventStates FMonitorEvents;
  unsigned short FXonLim, FXoffLim;
  unsigned char FXonChar, FXoffChar, FEventChar;
  std::atomic<DWORD> FStatusPause;
  TReadThread* ReadThread;
  TWriteThread* WriteThread;
  TStatusThread* StatusThread;
  TReadEventThread* ReadEventThread;
  TStatusEventThread* StatusEventThread;
  bool DtrState, RtsState;
  std::atomic<bool> CtsState, DsrState, DcdState, RingState;
  std::atomic<DWORD> LastEventMask;
  HANDLE RxWakeEvent, TxWakeEvent, RxNotifyEvent, StatusNotifyEvent;
  HANDLE RxArrivedEvent;  // automatic reset: bytes entered the receive ring (for ReadBlock)
  bool OpenFlag;
  char* OutBuffer;
  DWORD FOutSize;
  DWORD OutHead;
  std::atomic<DWORD> OutCount;
  char* InBuffer;
  DWORD FInSize;
  DWORD InHead;
  std::atomic<DWORD> InCount;
  CRITICAL_SECTION OutLock, InLock;
  DWORD InGeneration, OutGeneration;   // flush generations, guarded by InLock / OutLock
  int DeliveryDepth;                   // main thread only: handler deliveries under way
  bool ClosePending;                   // owner's thread only: ClosePort is under way
  std::atomic<bool> Destroying;        // set by the destructor: no handler runs any more
  std::atomic<bool> LineLost;          // the device went away; cleared by the next open
  std::atomic<bool> LineLossToReport;  // taken by the status notifier's next delivery
  // Open and close requests made during a delivery, run in order once it has returned.
  std::deque<std::function<void()>> Requests;  // main thread only
  bool RequestsScheduled;                      // a run of Requests is queued for the main thread
  bool RunningRequests;                        // RunRequests is under way

  // Brackets a notifier's delivery on the main thread.
  class TDeliveryScope {
   public:
    explicit TDeliveryScope(TCommPort& Port) : Port(Port) { ++Port.DeliveryDepth; }
    ~TDeliveryScope() { --Port.DeliveryDepth; }
    TDeliveryScope(const TDeliveryScope&) = delete;
    TDeliveryScope& operator=(const TDeliveryScope&) = delete;

   private:
    TCommPort& Port;
  };

  // False while the port or one of its owners is being destroyed.
  bool HandlersAllowed() const;
  // Called by a worker when the device reports that it has gone away.
  void DeviceLost();
  // True when Request was queued behind a delivery; false when the caller goes on at once
  // (after any earlier queued requests have run).
  bool Deferred(std::function<void()> Request);
  void ScheduleRequests();
  void RunRequests();
  void WriteDcb(void (*Apply)(DCB&, const TCommPort&));
  bool StartWorkers();
  void StopWorkers();
  void StopStatusThread();
  void StopReadThread();
  void StopWriteThread();
  void StopReadEventThread();
  void StopStatusEventThread();
  void ReleaseRings();
  void OpenFailed();
};

// Puts TCommPort on the designer's palette page "Marnock".
COMM_API void Register();
