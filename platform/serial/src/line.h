// SPDX-License-Identifier: MIT
// The line backend behind one open serial handle: a real tty (termios) or one end of a virtual
// null-modem cable. The driver (driver.h) owns one Line and gives it Win32 serial semantics:
// queues, events, overlapped completion. A Line only moves bytes and line states; it keeps no
// queues of its own beyond what the kernel or the cable holds.
#pragma once

#include <win32/win32.h>

#include <cstddef>
#include <memory>
#include <string>

namespace serial {

// Result of a non-blocking transfer on the line.
struct LineIo {
  std::size_t bytes = 0;  // bytes moved (0: nothing available / no room right now)
  DWORD error = 0;        // Win32 error code when the line failed (hang-up, device gone)
};

// Things that happened on the line since the last TakeLineEvents(): breaks, line errors and
// modem-input changes. The driver turns them into EV_ bits and CE_ flags.
struct LineEvents {
  DWORD ceErrors = 0;      // CE_FRAME | CE_RXPARITY | CE_OVERRUN | CE_BREAK ...
  bool breakSeen = false;  // a break was received
  bool errorSeen = false;  // a framing, parity or overrun error was received
  DWORD modemChanges = 0;  // MS_ bits of inputs that changed, where the line records changes
                           // itself (so a quick off-on is not lost between two samples); a
                           // notification line reports every change here
};

class Line {
 public:
  virtual ~Line() = default;

  // Descriptor the driver's I/O thread polls. For a tty it is the device itself: POLLIN when
  // input may be read, POLLOUT when output has room, POLLHUP/POLLERR on hang-up. For a line whose
  // IsNotification() is true (the virtual cable) it is an eventfd that becomes readable whenever
  // anything changed: input arrived, output room appeared, a line state or event changed; the
  // driver then calls DrainNotify() and re-examines everything (it never polls POLLOUT on it).
  virtual int PollFd() const = 0;
  virtual bool IsNotification() const { return false; }
  virtual void DrainNotify() {}
  // Milliseconds between samples of the modem inputs and line counters: often where the line
  // cannot signal their changes (a device whose driver refuses TIOCMIWAIT), seldom as a safety
  // net where it can (a tty that waits in the kernel); 0 when no sampling is needed (a pty, a
  // virtual line).
  virtual int ModemPollIntervalMs() const { return 0; }
  // Asks the line to signal modem-input changes from now on; a tty starts a thread that waits
  // for them in the kernel. Idempotent.
  virtual void WatchModemInputs() {}
  // Descriptor that becomes readable when the modem inputs may have changed (the kernel wait
  // returned), -1 when there is none; DrainModemEvents() consumes its readiness.
  virtual int ModemEventFd() const { return -1; }
  virtual void DrainModemEvents() {}
  // True when TakeLineEvents() reports every modem-input change itself (the UART's counters, or
  // the cable's record), so the driver never has to read the lines to find changes.
  virtual bool CountsModemChanges() const { return IsNotification(); }

  virtual LineIo Read(void* data, std::size_t n) = 0;
  virtual LineIo Write(const void* data, std::size_t n) = 0;
  // Bytes handed to the line that have not left it yet (kernel output queue, or the cable's bytes
  // the peer has not read). 0 means "transmit empty".
  virtual std::size_t OutputPending() = 0;

  // Line settings. Returns 0, or the Win32 error for a setting the line refuses
  // (ERROR_INVALID_PARAMETER), leaving the previous settings in force. Every line refuses what
  // CheckLineSettings (line_settings.h) refuses, and a tty also what the device did not keep.
  virtual DWORD ApplyState(const DCB& dcb) = 0;

  // DTR, RTS and break (EscapeCommFunction codes SETRTS..CLRBREAK). Returns 0 or the error,
  // ERROR_NOT_SUPPORTED where the line has no modem lines (a pty).
  virtual DWORD Escape(DWORD func) = 0;
  // MS_CTS_ON | MS_DSR_ON | MS_RING_ON | MS_RLSD_ON, or an error (ERROR_NOT_SUPPORTED on a pty).
  virtual DWORD ModemStatus(DWORD& status) = 0;
  virtual LineEvents TakeLineEvents() = 0;

  // Discards what the kernel or cable holds in one direction (PurgeComm's *CLEAR).
  virtual void DiscardInput() = 0;
  virtual void DiscardOutput() = 0;

  // Test hooks of the virtual cable: a failure injected for the named call (0 = none), and the
  // log of device calls. Real lines answer 0 and log nothing; KeepsLog() tells the driver whether
  // rendering a call's arguments for LogCall is worth its cost.
  virtual DWORD InjectedFailure(const char* /*call*/) { return 0; }
  virtual bool KeepsLog() const { return false; }
  virtual void LogCall(const char* /*call*/, const std::string& /*args*/) {}
};

// Opens the line behind a resolved path: "/dev/..." (tty) or "virtual:NAME[/A|/B]".
// On failure returns null and sets `error` to ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED or
// ERROR_SHARING_VIOLATION (exclusive open: flock + TIOCEXCL on ttys, one holder per cable end).
std::unique_ptr<Line> OpenLine(const std::string& path, DWORD& error);
std::unique_ptr<Line> OpenTtyLine(const std::string& path, DWORD& error);
std::unique_ptr<Line> OpenVirtualLine(const std::string& path, DWORD& error);

// "\\.\COM<n>" -> COMM_PORT_<n>, then the per-user port map, then /dev/ttyS<n-1>.
// Returns false (ERROR_FILE_NOT_FOUND) for any other name or n < 1.
bool ResolveDeviceName(const std::string& name, std::string& path, DWORD& error);

}  // namespace serial
