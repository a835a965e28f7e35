// SPDX-License-Identifier: MIT
/// @file
/// The serial-port component TCommPort, the enumerations of its settings and its handler types.

/// @class TCommPort
/// TCommPort: one numbered serial device ("COM" + number) as a non-visual component.
///
/// The component owns a receive ring and a transmit ring, the device handle, four events, two
/// locks and five workers (reader, writer, read notifier, status monitor, status notifier) that
/// move bytes between the rings and the device and carry notifications to the main thread.
/// Settings are published properties; while a device is held each setter also writes its value
/// to the device at once, and opening writes every stored setting.
///
/// Threads. The port belongs to the thread that creates it (normally the main thread): every
/// member is called from that thread, one call at a time, except that
/// - GetCTS, GetDSR, GetDCD, GetRing, GetInBuffUsed and GetOutBuffUsed may be read from any thread;
/// - while the port stays open, one thread may call PutBlock while another calls GetBlock or
///   ReadBlock.
/// The handlers (On...) run on the main thread, the thread that loaded the framework: a program
/// without a GUI event loop calls CheckSynchronize() from <framework/thread.h>. OnOpen and OnClose
/// run on the thread that opened or closed the port. A handler may use the port when the port
/// belongs to the main thread; a request it makes to open or close the port (SetOpen, OpenPort,
/// ClosePort, SetComNumber, SetIBuffSize, SetOBuffSize) runs once the delivery has returned, the
/// requests in the order they were made. A handler must not destroy its own port.
/// Closing on a thread other than the main thread ends within about half a second even when the
/// main thread runs no synchronised calls: the last notifications it cannot deliver are dropped.
/// A port being destroyed, by its own destructor or by its owner's, closes without calling any
/// handler.
///
/// Hang-up. When the device goes away while open (a pty's far end closes, a USB adapter is
/// pulled), the port reports it once: OnErrorSignal(Sender, ERROR_DEVICE_NOT_CONNECTED), 1167,
/// whatever MonitorEvents holds (the status monitor notices it, or the writer when MonitorEvents
/// is empty). From then on PutBlock returns 0 and the transmit ring keeps what it held; bytes
/// already received can still be taken. Once the device is back, SetOpen(true) opens it again
/// (closing the dead device first); GetOpen() reads true until then.
///
/// Errors. No member returns an error code. A failed open (SetOpen(true), OpenPort, or a size
/// setter reopening) shows the application's message box "Can't open COM port" captioned "COM
/// port error" and leaves the port closed; a program without a GUI front end gets the box on
/// standard error, or replaces it with Application->SetMessageBoxPresenter
/// (<framework/application.h>). GetLastError() on the same thread then holds the reason, and
/// SysErrorMessage() (<framework/sysutils.h>) its text: 2 (ERROR_FILE_NOT_FOUND) no such device,
/// 5 (ERROR_ACCESS_DENIED) no permission (on Linux, membership of the group dialout), 32
/// (ERROR_SHARING_VIOLATION) the device is open elsewhere, 8 (ERROR_NOT_ENOUGH_MEMORY) a ring or
/// a worker could not be had. OnOpen(Sender, Error) receives the last error left by the open's
/// device calls: 0 when they all succeeded, 50 (ERROR_NOT_SUPPORTED) when one the device lacks
/// failed (a pseudo-terminal has no modem lines, so setting DTR and RTS fails there); the port
/// is open all the same. Settings out of range are not reported: SetBaud with a rate that is not
/// in TBaudRate's list changes nothing (GetBaud reads back the rate in force), SetDataBits
/// outside 5 to 8 stores 8, and a stop-bit setting the data bits do not allow shows the "COM port
/// warning" box (BitsWarning).
#pragma once

#include <comm/CommExport.h>
#include <framework/classes.h>
#include <win32/win32.h>

#include <atomic>
#include <deque>
#include <functional>
#include <initializer_list>

/// Line speed; the ordinal order is fixed (stored forms hold the names).
/// Line speed; the ordinal order is fixed (stored forms hold the names). cbrN is N bit/s
/// (cbr110 is 110 bit/s, cbr256000 is 256000 bit/s); TCommPort::GetBaud gives the number.
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
/// Parity; the ordinal is the device's parity code.
/// Parity; the ordinal is the device's parity code (NOPARITY, ODDPARITY, EVENPARITY,
/// MARKPARITY, SPACEPARITY).
enum TParity : unsigned char { paNone, paOdd, paEven, paMark, paSpace };
/// Stop bits; the ordinal is the device's stop-bit code.
/// Stop bits (1, 1.5, 2); the ordinal is the device's stop-bit code (ONESTOPBIT, ONE5STOPBITS,
/// TWOSTOPBITS). 1.5 goes with 5 data bits only, 2 with 6 to 8 (TCommPort::BitsWarning).
enum TStopBits : unsigned char { sb1_0, sb1_5, sb2_0 };
/// Flow control: none, XON/XOFF, hardware handshake.
/// Flow control: none, XON/XOFF, hardware handshake. Each writes the whole DCB flag word:
/// ccNone 0x0001 (binary only), ccSoft 0x1311 (XON/XOFF both ways, DTR and RTS on), ccHard
/// 0x202D (CTS and DSR watched, DTR and RTS as handshake lines).
enum TComControl : unsigned char { ccNone, ccSoft, ccHard };
/// Port events the status monitor can watch.
/// Port events the status monitor can watch (TCommPort::SetMonitorEvents), each standing for one
/// device event bit: evRxChar EV_RXCHAR (bytes received), evRxEventChar EV_RXFLAG (the event
/// character received), evTxEmpty EV_TXEMPTY (the output has drained), evCTS, evDSR, evRlsd
/// (EV_RLSD: DCD changed), evBreak, evError (EV_ERR: a line error), evRing.
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

/// A set of TEventState held in 16 bits: bit n stands for ordinal n, bits 9 to 15 stay 0.
using TEventStates = unsigned short;

/// The set holding exactly Events, e.g. EventSet({evRxChar, evCTS}) is 0x0009.
constexpr TEventStates EventSet(std::initializer_list<TEventState> Events) {
  TEventStates Set = 0;
  for (TEventState Event : Events) Set = static_cast<TEventStates>(Set | (1u << Event));
  return Set;
}

/// True when Set holds Event.
constexpr bool InSet(TEventStates Set, TEventState Event) { return (Set >> Event) & 1u; }

/// Handler shapes: (Sender), (Sender, Error), (Sender, Count). Sender is always the component.
/// TNotifyEvent = TBoundHandler<TObject*> comes from the framework.
/// (Sender, Error): OnErrorSignal and OnOpen.
using TCommErrorEvent = TBoundHandler<TObject*, int>;
/// (Sender, Count): OnDataReceived.
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
  /// A closed port owned by AOwner (may be null), with the defaults: COM2, 9600 bit/s, no
  /// parity, 1 stop bit, 8 data bits, no flow control, every event but evRxEventChar monitored,
  /// a 2048-byte receive ring and a 4096-byte transmit ring, XonLim 0, XoffLim 1024, XonChar 17,
  /// XoffChar 19, EventChar 0, DTR and RTS off, StatusPause 50 ms. Opens nothing.
  explicit TCommPort(TComponent* AOwner);
  /// Closes the port if it is open, without calling any handler, and drops the notifications
  /// still queued for it.
  ~TCommPort() override;
  /// Not copyable: a port owns its device and its workers.
  TCommPort(const TCommPort&) = delete;
  /// Not assignable.
  TCommPort& operator=(const TCommPort&) = delete;

  /// Published properties, in declaration order (after Name and Tag of TComponent).
  static const TClassInfo& ClassInfo();
  /// ClassInfo(), for a TCommPort known only as a TComponent.
  const TClassInfo& GetClassInfo() const override { return ClassInfo(); }

  // ---- Settings ----
  /// True while a device handle is held: the port is open (also after its device went away).
  bool IsEnabled() const;
  /// Stores the flow control and, while a device is held, writes it to the device at once (read,
  /// change, write of the device's DCB; a device call that fails is not reported).
  void SetComControl(TComControl Value);
  /// Stores the line speed and, while a device is held, writes it to the device at once. A pty
  /// accepts any speed and ignores it.
  void SetBaudRate(TBaudRate Value);
  /// Stores the parity and, while a device is held, writes it to the device at once.
  void SetParity(TParity Value);
  /// Stores the stop bits and, while a device is held, writes them to the device at once; then
  /// BitsWarning() checks them against the data bits (the value is kept either way).
  void SetStopBits(TStopBits Value);
  /// Stores the data bits, 5 to 8 (any other value stores 8, without a word), and while a device
  /// is held writes them to the device at once; then BitsWarning() checks the stop bits.
  void SetDataBits(unsigned short Value);
  /// Stores XonLim, in bytes: with XON/XOFF flow control the driver sends XON once its input
  /// queue holds no more than this. Written to the device at once while one is held.
  void SetXonLim(unsigned short Value);
  /// Stores XoffLim, in bytes: the driver sends XOFF once its input queue has fewer than this
  /// many bytes free. Clamped to the receive ring's size (InSize, at most 65535). Written to the
  /// device at once while one is held.
  void SetXoffLim(unsigned short Value);
  /// Stores the XON character (17 unless set); written to the device at once while one is held.
  void SetXonChar(unsigned char Value);
  /// Stores the XOFF character (19 unless set); written to the device at once while one is held.
  void SetXoffChar(unsigned char Value);
  /// Stores the event character: its arrival is reported as evRxEventChar (OnRxEventSignal) when
  /// MonitorEvents holds it. Written to the device at once while one is held.
  void SetEventChar(unsigned char Value);
  /// Sets the line speed by its number in bit/s (19200). A number that is not one of TBaudRate's
  /// (110 to 256000), 0 or negative included, changes nothing and is not reported: read GetBaud
  /// back to check.
  void SetBaud(int Value);
  /// The line speed in bit/s (BaudRate as a number: cbr19200 gives 19200).
  int GetBaud() const;
  /// Chooses the device, "\\.\COM<Value>". An open port is closed first (OnClose runs) and left
  /// closed: call SetOpen(true) to open the new device. See the README for how a COM number is
  /// resolved to a device on Linux (COMM_PORT_<n>, the port map, /dev/ttyS<n-1>). Inside a
  /// handler the change waits until the handler has returned.
  void SetComNumber(int Value);
  /// Sets the receive ring's size in bytes (also the driver's input queue). An open port is
  /// closed and opened again with the new size (OnClose, then OnOpen, or the "Can't open COM
  /// port" box when the reopening fails). Inside a handler the change waits until the handler has
  /// returned.
  void SetIBuffSize(DWORD Value);
  /// Sets the transmit ring's size in bytes (also the driver's output queue); reopens an open
  /// port as SetIBuffSize does.
  void SetOBuffSize(DWORD Value);
  /// Shows the "COM port warning" box (Application->MessageBox, MB_ICONEXCLAMATION) when the
  /// stored data bits and stop bits do not go together: 5 data bits with 2 stop bits, or 6 to 8
  /// data bits with 1.5 stop bits. Changes nothing; called by SetStopBits and SetDataBits.
  void BitsWarning();

  /// The COM number of the device (2 unless set).
  int GetComNumber() const { return FComNumber; }
  /// The stored line speed (cbr9600 unless set).
  TBaudRate GetBaudRate() const { return FBaudRate; }
  /// The stored parity (paNone unless set).
  TParity GetParity() const { return FParity; }
  /// The stored flow control (ccNone unless set).
  TComControl GetControl() const { return FControl.load(std::memory_order_relaxed); }
  /// The stored stop bits (sb1_0 unless set).
  TStopBits GetStopBits() const { return FStopBits; }
  /// The stored data bits, 5 to 8 (8 unless set).
  unsigned short GetDataBits() const { return FDataBits; }
  /// The events the status monitor watches from the next open (all but evRxEventChar unless
  /// set).
  TEventStates GetMonitorEvents() const { return FMonitorEvents; }
  /// MonitorEvents has no setter of its own: the value is stored as it is and read at the next
  /// open.
  void SetMonitorEvents(TEventStates Value) { FMonitorEvents = Value; }
  /// XonLim in bytes (0 unless set).
  unsigned short GetXonLim() const { return FXonLim; }
  /// XoffLim in bytes (1024 unless set).
  unsigned short GetXoffLim() const { return FXoffLim; }
  /// The XON character (17 unless set).
  unsigned char GetXonChar() const { return FXonChar; }
  /// The XOFF character (19 unless set).
  unsigned char GetXoffChar() const { return FXoffChar; }
  /// The event character (0 unless set).
  unsigned char GetEventChar() const { return FEventChar; }
  /// The receive ring's size in bytes (2048 unless set).
  DWORD GetInSize() const { return FInSize; }
  /// The transmit ring's size in bytes (4096 unless set).
  DWORD GetOutSize() const { return FOutSize; }
  /// StatusPause: milliseconds the status monitor pauses after an event wait that did not
  /// complete at once, before it collects the wait (DefaultStatusPause unless set). An event is
  /// reported up to this much later; 0 reports it at once. Read by the status monitor at each
  /// wait, so a change applies to an open port from its next wait.
  static constexpr DWORD DefaultStatusPause = 50;
  /// StatusPause in milliseconds (see DefaultStatusPause).
  DWORD GetStatusPause() const { return FStatusPause.load(std::memory_order_relaxed); }
  /// Sets StatusPause in milliseconds (see DefaultStatusPause); applies to an open port from its
  /// status monitor's next wait.
  void SetStatusPause(DWORD Value) { FStatusPause.store(Value, std::memory_order_relaxed); }

  // ---- Open and close ----
  /// Opens (true: OpenPort) or closes (false: ClosePort) the port; nothing when it is so already,
  /// except that SetOpen(true) on a port whose device went away closes it and opens it anew.
  /// A failed open is reported as the class description says (Errors) and leaves the port
  /// closed. Inside a handler the request waits until the handler has returned.
  void SetOpen(bool Value);
  /// True while the port is open, also after its device went away (see Hang-up).
  bool GetOpen() const { return OpenFlag; }
  /// Opens "\\.\COM<ComNumber>": allocates the two rings, opens the device exclusively, sizes
  /// its queues, writes every stored setting, starts the five workers, sets DTR and RTS as
  /// stored, then calls OnOpen(this, GetLastError()) on this thread. Does nothing when the port
  /// is open. On failure: the "Can't open COM port" box, the port stays closed and
  /// GetLastError() holds the reason (2, 5, 32 or 8; see Errors). Inside a handler it waits until
  /// the handler has returned.
  void OpenPort();
  /// Closes the port: stops and joins the workers, closes the device, drops both rings and what
  /// they held (unsent bytes are lost), clears CTS, DSR, DCD and Ring, then calls OnClose(this)
  /// on this thread (not while the port is being destroyed). Does nothing when closed. Inside a
  /// handler it waits until the handler has returned.
  void ClosePort();

  // ---- Buffered transfer ----
  /// Queues up to Count bytes of Buf in the transmit ring and wakes the writer, which sends them;
  /// never waits. Returns the number queued: as many as the ring has room for (a 10000-byte
  /// PutBlock on an empty 4096-byte ring returns 4096), 0 when the ring is full, the port is not
  /// open or its device went away. Bytes not queued are the caller's to send again (GetOutBuffFree
  /// says how many fit).
  DWORD PutBlock(const char* Buf, DWORD Count);
  /// PutBlock of one byte: returns 1 when it was queued, 0 otherwise.
  DWORD PutChar(char Value);
  /// PutBlock of the bytes of Text up to its terminating zero (not sent): returns the number
  /// queued, 0 for an empty text.
  DWORD PutString(const char* Text);
  /// Moves up to Count received bytes from the receive ring to Buf, oldest first, and never
  /// waits: returns the number moved, 0 when the port is not open or nothing has arrived. Bytes
  /// taken make room that the reader fills from the device. After a hang-up the bytes received
  /// before it can still be taken.
  DWORD GetBlock(char* Buf, DWORD Count);
  /// Waits for Count bytes and moves them to Buf, as GetBlock does; returns how many it moved.
  /// The wait ends when Count bytes have come, when TimeoutMs has passed since the call, or, with
  /// a GapMs other than 0, once the line has been quiet for GapMs after the last byte: a reply on a
  /// line without framing ends at its length or at a gap. Received bytes reach the receive ring
  /// at the status monitor's wake-ups, up to StatusPause apart while bytes trickle in, so a gap
  /// should exceed StatusPause. Returns 0 at once when the port is not open, and what it has
  /// once the device has gone away (see Hang-up above). Blocks the calling
  /// thread only: it needs no message loop and no CheckSynchronize, and may be called from any
  /// thread while the port stays open (one reader at a time).
  DWORD ReadBlock(char* Buf, DWORD Count, DWORD TimeoutMs, DWORD GapMs = 0);
  /// Takes one received byte; returns 0 when none is there (test CharReady first: a zero byte
  /// looks the same).
  char GetChar();
  /// True when the receive ring holds at least one byte.
  bool CharReady() const;
  /// Bytes in the receive ring, waiting for GetBlock. Any thread.
  DWORD GetInBuffUsed() const;
  /// Room left in the receive ring, in bytes (InSize - InBuffUsed).
  DWORD GetInBuffFree() const;
  /// Bytes in the transmit ring not yet handed to the device. Any thread.
  DWORD GetOutBuffUsed() const;
  /// Room left in the transmit ring, in bytes: what the next PutBlock can queue.
  DWORD GetOutBuffFree() const;
  /// Bytes handed to the device but not yet sent (the driver's output queue, ClearCommError's
  /// cbOutQue); 0 when the port is not open or the device cannot say. On a pty it reads 0 as soon
  /// as the bytes are handed to the kernel.
  int GetOutQueCount() const;
  /// Drops every received byte, those in the receive ring and those the device still holds.
  void FlushInBuffer();
  /// Drops every byte not yet sent, those in the transmit ring and those the device still
  /// holds.
  void FlushOutBuffer();

  // ---- Modem lines, break and power ----
  /// Raises (true) or drops DTR. On an open port the device is told at once and GetDTR changes
  /// only when it accepted (a pty has no modem lines and refuses); on a closed port the level is
  /// stored and set at the next open.
  void SetDTR(bool Value);
  /// Raises (true) or drops RTS, as SetDTR does for DTR.
  void SetRTS(bool Value);
  /// The DTR level last set (and accepted by the device while open).
  bool GetDTR() const { return DtrState; }
  /// The RTS level last set (and accepted by the device while open).
  bool GetRTS() const { return RtsState; }
  /// The CTS input as last sampled by the status monitor (at open and after each modem-line
  /// event); false while closed. Any thread.
  bool GetCTS() const { return CtsState.load(); }
  /// The DSR input, sampled as GetCTS is. Any thread.
  bool GetDSR() const { return DsrState.load(); }
  /// The DCD (RLSD) input, sampled as GetCTS is. Any thread.
  bool GetDCD() const { return DcdState.load(); }
  /// The ring indicator input, sampled as GetCTS is. Any thread.
  bool GetRing() const { return RingState.load(); }
  /// Raises DTR and RTS (a device powered from those lines). GetDTR and GetRTS read true
  /// afterwards even when the device refused or the port is closed.
  void PowerOn();
  /// Drops DTR and RTS; GetDTR and GetRTS read false afterwards whatever the device did.
  void PowerOff();
  /// Holds the transmit line in break (true) or releases it. Returns true when the device
  /// accepted, false when the port is not open or the device refused (a pty accepts and does
  /// nothing).
  bool SetBreak(bool Value);
  /// Sends a break of Ticks clock ticks of 55 ms each (Ticks * 55 ms): sets the break, sleeps on
  /// the calling thread, releases it. Blocks the caller for that long even when the port is
  /// closed (then no break is sent).
  void SendBreak(unsigned short Ticks);
  /// Asks the device for one modem input now (not the sampled value): Selector 1 CTS, 2 DSR,
  /// 3 Ring, 4 DCD (RLSD). Returns false for any other selector, when the port is not open or
  /// the device cannot say (a pty has no modem lines).
  bool GetModemState(int Selector) const;

  /// Handler slots, in slot order. Each runs on the main thread (see Threads) after the status
  /// monitor saw its event, when MonitorEvents holds it; events that come together are delivered
  /// in one pass.
  ///
  /// OnCTSSignal: CTS changed (evCTS); read GetCTS for its level.
  TNotifyEvent OnCTSSignal;
  /// DCD changed (evRlsd); read GetDCD.
  TNotifyEvent OnDCDSignal;
  /// DSR changed (evDSR); read GetDSR.
  TNotifyEvent OnDSRSignal;
  /// Bytes were received (evRxChar); OnDataReceived says how many wait in the ring.
  TNotifyEvent OnRxDSignal;
  /// The event character (EventChar) was received (evRxEventChar).
  TNotifyEvent OnRxEventSignal;
  /// The device's output queue has drained (evTxEmpty): every byte handed to it has been sent
  /// (on a pty: handed to the kernel).
  TNotifyEvent OnTxDSignal;
  /// The ring indicator changed (evRing); read GetRing.
  TNotifyEvent OnRingSignal;
  /// A break was received (evBreak).
  TNotifyEvent OnBreakSignal;
  /// (Sender, Error): a line error was received (evError: framing, parity, overrun), with Error
  /// the main thread's GetLastError() at delivery, not the kind of error; or, once, the device
  /// went away, with Error 1167 (ERROR_DEVICE_NOT_CONNECTED, see Hang-up).
  TCommErrorEvent OnErrorSignal;
  /// (Sender, Count): the reader moved bytes into the receive ring. Count is the number of bytes
  /// held in the ring when the handler runs, not those just added, and may be 0: a GetBlock (on
  /// any thread) took them first, or this is the last delivery while the port closes. Take them
  /// with GetBlock.
  TCommDataEvent OnDataReceived;
  /// (Sender, Error): the port has opened, on the thread that opened it, before SetOpen/OpenPort
  /// returns. Error is the last error of the open's device calls: 0, or 50
  /// (ERROR_NOT_SUPPORTED) when the device lacks one of them (a pty has no DTR and RTS); the port
  /// is open either way.
  TCommErrorEvent OnOpen;
  /// The port has closed, on the thread that closed it, before ClosePort returns (never while
  /// the port is being destroyed).
  TNotifyEvent OnClose;

 private:
  // The line settings a new port has: COM2 at 9600 bit/s 8N1 without flow control, every event
  // monitored, a 2048-byte receive ring and a 4096-byte transmit ring.
  HANDLE PortHandle = INVALID_HANDLE_VALUE;
  DCB PortDcb{};
  int FComNumber = 2;
  TBaudRate FBaudRate = cbr9600;
  TParity FParity = paNone;
  std::atomic<TComControl> FControl = ccNone;
  TStopBits FStopBits = sb1_0;
  unsigned short FDataBits = 8;
  TEventStates FMonitorEvents =
      EventSet({evRxChar, evTxEmpty, evCTS, evDSR, evRlsd, evBreak, evError, evRing});
  unsigned short FXonLim = 0, FXoffLim = 1024;
  unsigned char FXonChar = 17, FXoffChar = 19, FEventChar = 0;
  std::atomic<DWORD> FStatusPause = DefaultStatusPause;
  TReadThread* ReadThread = nullptr;
  TWriteThread* WriteThread = nullptr;
  TStatusThread* StatusThread = nullptr;
  TReadEventThread* ReadEventThread = nullptr;
  TStatusEventThread* StatusEventThread = nullptr;
  bool DtrState = false, RtsState = false;
  std::atomic<bool> CtsState = false, DsrState = false, DcdState = false, RingState = false;
  std::atomic<DWORD> LastEventMask = 0;
  HANDLE RxWakeEvent = nullptr, TxWakeEvent = nullptr, RxNotifyEvent = nullptr,
         StatusNotifyEvent = nullptr;
  /// Automatic reset: bytes entered the receive ring (for ReadBlock).
  HANDLE RxArrivedEvent = nullptr;
  bool OpenFlag = false;
  char* OutBuffer = nullptr;
  DWORD FOutSize = 4096;
  DWORD OutHead = 0;
  std::atomic<DWORD> OutCount = 0;
  char* InBuffer = nullptr;
  DWORD FInSize = 2048;
  DWORD InHead = 0;
  std::atomic<DWORD> InCount = 0;
  mutable CRITICAL_SECTION OutLock{}, InLock{};  // mutable: const readers take them too
  DWORD InGeneration = 0, OutGeneration = 0;     ///< flush generations, guarded by InLock / OutLock
  int DeliveryDepth = 0;                         ///< main thread only: handler deliveries under way
  bool ClosePending = false;                     ///< owner's thread only: ClosePort is under way
  std::atomic<bool> Destroying = false;        ///< set by the destructor: no handler runs any more
  std::atomic<bool> LineLost = false;          ///< the device went away; cleared by the next open
  std::atomic<bool> LineLossToReport = false;  ///< taken by the status notifier's next delivery
  /// Open and close requests made during a delivery, run in order once it has returned.
  std::deque<std::function<void()>> Requests;  ///< main thread only
  bool RequestsScheduled = false;              ///< a run of Requests is queued for the main thread
  bool RunningRequests = false;                ///< RunRequests is under way

  /// Brackets a notifier's delivery on the main thread.
  class TDeliveryScope {
   public:
    explicit TDeliveryScope(TCommPort& Port) : Port(Port) { ++Port.DeliveryDepth; }
    ~TDeliveryScope() { --Port.DeliveryDepth; }
    TDeliveryScope(const TDeliveryScope&) = delete;
    TDeliveryScope& operator=(const TDeliveryScope&) = delete;

   private:
    TCommPort& Port;
  };

  /// False while the port or one of its owners is being destroyed.
  bool HandlersAllowed() const;
  /// Called by a worker when the device reports that it has gone away.
  void DeviceLost();
  /// True when Request was queued behind a delivery; false when the caller goes on at once
  /// (after any earlier queued requests have run).
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

/// Puts TCommPort on the designer's palette page "Marnock" (RegisterComponents). Programs need
/// not call it: the class is registered for reading stored forms when the library loads.
COMM_API void Register();
