// SPDX-License-Identifier: MIT
/// @file
/// An in-process null-modem cable, for tests and demonstrations.
///
/// A cable has two ends, A and B. Each end can be opened like a serial device:
/// @verbatim
///   CreateFileA("virtual:NAME", ...)    opens end A of cable NAME
///   CreateFileA("virtual:NAME/A", ...)  the same
///   CreateFileA("virtual:NAME/B", ...)  opens end B
/// @endverbatim
/// and "\\.\COM<n>" reaches a cable when COMM_PORT_<n>=virtual:NAME[/A|/B].
/// Wiring: TxD -> peer RxD, RTS -> peer CTS, DTR -> peer DSR and DCD. Ring is raised only by the
/// test handle. A cable exists while a device handle or a VirtualCable object refers to it; opening
/// a name that does not exist yet creates the cable.
///
/// VirtualCable is the test handle. It plays the far end (B) directly, without opening it, and
/// observes the near end (A): bytes, line levels, and a log of the device calls made on end A.
///
/// Threads: every member may be called from any thread; each cable guards its state with a lock.
#pragma once

#include <win32/export.h>
#include <win32/win32.h>

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace serial {

class Cable;  // shared state of one cable (internal)

/// One device call made on an end: its Win32 name and a compact rendering of its arguments.
/// @verbatim
///   SetupComm       "in=2048 out=4096"
///   SetCommTimeouts "0,0,0,0,0"
///   SetCommState    "BaudRate=9600 Flags=0x00000001 XonLim=0 XoffLim=1024 ByteSize=8 Parity=0
///                    StopBits=0 XonChar=17 XoffChar=19 EvtChar=0"   (one line)
///   GetCommState    ""
///   SetCommMask     "mask=0x000001FD"
///   EscapeCommFunction "SETDTR" / "CLRDTR" / "SETRTS" / "CLRRTS" / "SETBREAK" / "CLRBREAK"
///   PurgeComm       "flags=0x0000000A"
///   ReadFile / WriteFile "n=<bytes>",  WaitCommEvent "", ClearCommError "", GetCommModemStatus "",
///   CreateFileA "<name>", CloseHandle "".
/// @endverbatim

struct CallRecord {
  /// The call's Win32 name, "SetCommState".
  std::string Call;
  /// Its arguments as rendered above; empty for calls without any.
  std::string Args;
};

/// The test handle of one cable: plays its far end (B) and observes its near end (A). See the
/// file's description.
class COMM_WIN32_API VirtualCable {
 public:
  /// Creates the cable NAME, or attaches to it if it exists.
  explicit VirtualCable(const std::string& name);
  /// Lets go of the cable, which lives on while a device handle holds one of its ends.
  ~VirtualCable();
  /// Not copyable; make another VirtualCable of the same name to share the cable.
  VirtualCable(const VirtualCable&) = delete;
  /// Not assignable.
  VirtualCable& operator=(const VirtualCable&) = delete;

  /// The cable's name, NAME.
  const std::string& Name() const;
  /// "virtual:NAME" (end A) and "virtual:NAME/B", for CreateFileA or COMM_PORT_<n>.
  std::string NearPath() const;
  /// "virtual:NAME/B": end B, for a second program or port playing the far end.
  std::string FarPath() const;

  // ---- Far end (B), played by the test ----
  /// Transmits bytes from B: they arrive in A's input queue (EV_RXCHAR, EV_RXFLAG on A).
  void Write(const void* data, std::size_t n);
  /// Write(bytes.data(), bytes.size()).
  void Write(const std::string& bytes);
  /// Takes up to n bytes that A transmitted; waits up to timeout for the first byte.
  std::size_t Read(void* data, std::size_t n,
                   std::chrono::milliseconds timeout = std::chrono::milliseconds(0));
  /// Reads until exactly n bytes arrived or the timeout passed; returns what arrived.
  std::string ReadExactly(std::size_t n, std::chrono::milliseconds timeout);
  /// Bytes A transmitted that the far end has not read yet.
  std::size_t PendingFromNear() const;
  /// B's outputs: RTS drives A's CTS, DTR drives A's DSR and DCD (EV_CTS / EV_DSR / EV_RLSD on A).
  void SetRTS(bool on);
  /// B's DTR: drives A's DSR and DCD.
  void SetDTR(bool on);
  /// A's ring indicator input (EV_RING on A).
  void SetRing(bool on);
  /// A break received by A (EV_BREAK on A, CE_BREAK from ClearCommError).
  void SendBreak();
  /// A line error received by A: CE_FRAME, CE_RXPARITY or CE_OVERRUN (EV_ERR on A).
  void InjectError(DWORD ceFlags);
  /// Simulates the far end going away (like a pty master closing): A's pending and later I/O
  /// fails with ERROR_DEVICE_NOT_CONNECTED... until Reconnect().
  void HangUp();
  /// Ends a HangUp: the device calls on A work again.
  void Reconnect();
  /// When false, B does not take bytes: A's output queue fills and A's writes stay pending.
  void SetReceiving(bool on);

  // ---- Near end (A), observed ----
  bool NearDTR() const;     ///< level A drives on DTR
  bool NearRTS() const;     ///< level A drives on RTS
  bool NearBreak() const;   ///< A holds its TxD in break
  bool NearIsOpen() const;  ///< a device handle holds end A
  DCB NearState() const;    ///< A's line settings as last accepted by SetCommState

  /// Makes the next `times` calls named `call` (e.g. "EscapeCommFunction", "WriteFile",
  /// "GetCommModemStatus", "CreateFileA") on end A fail with `error`; times < 0 means until
  /// cleared. FailNone() clears every injected failure.
  void FailNext(const std::string& call, DWORD error, int times = 1);
  /// Clears every failure FailNext injected.
  void FailNone();

  /// The device calls made on end A so far, in order, and clearing that log.
  std::vector<CallRecord> CallLog() const;
  /// Empties the call log.
  void ClearCallLog();

 private:
  std::shared_ptr<Cable> cable_;
};

}  // namespace serial
