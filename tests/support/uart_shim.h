// SPDX-License-Identifier: MIT
// A UART's modem lines and counters, played on a pseudo-terminal for tests of the tty backend.
//
// A pty refuses every modem ioctl, so the tty backend's modem paths cannot run on one. While an
// EmulatedUart lives, the ioctls TIOCMGET, TIOCMSET, TIOCMBIS, TIOCMBIC, TIOCGICOUNT and (unless
// refused on purpose) TIOCMIWAIT on any descriptor of its pty slave are answered from it, and
// TIOCSBRK/TIOCCBRK are recorded before they reach the kernel; every other ioctl, and every other
// device, goes to the kernel as it is. TIOCMIWAIT blocks as the kernel's does: until one of the
// asked inputs changes, until a signal arrives (EINTR), or until the far end hangs up (EIO).
// The test program that links this library defines ioctl itself, so calls from the shared
// libraries it loads reach the emulation too (it bypasses the sanitizers' ioctl checks, which
// only concern the kernel's ioctls).
//
// One EmulatedUart at a time; it must outlive the ports open on its slave. Its members may be
// called from any thread.
#pragma once

#include <string>

namespace testsupport {

// Conditions a UART counts in its interrupt counters (TIOCGICOUNT).
enum class LineCondition { Break, FrameError, ParityError, Overrun };

class EmulatedUart {
 public:
  // `masterFd`: the pty's master, on which a condition received on the line also delivers a byte
  // (as a UART delivers the character that came with it; for a break the kernel's mark would be
  // taken out of the data, here a NUL byte stays in it). `modemWait`: false leaves TIOCMIWAIT to
  // the kernel, which refuses it on a pty, as some USB adapters' drivers do.
  explicit EmulatedUart(const std::string& slavePath, int masterFd = -1, bool modemWait = true);
  ~EmulatedUart();
  EmulatedUart(const EmulatedUart&) = delete;
  EmulatedUart& operator=(const EmulatedUart&) = delete;

  // The input lines the far end drives (TIOCM_CTS, TIOCM_DSR, TIOCM_CD, TIOCM_RI); each line
  // that changes counts one transition, as the UART's interrupt counters do.
  void SetInputs(int tiocmBits);
  // The same, landing just before the blocked TIOCMIWAIT calls took their counters: they do not
  // wake for it, and return only at the next change.
  void SetInputsBeforeTheWait(int tiocmBits);
  // The given inputs turned over and back in one step, quicker than anyone can read the lines:
  // only the counters (two transitions each) show it.
  void PulseInputs(int tiocmBits);
  // The output lines the program drives (TIOCM_DTR, TIOCM_RTS).
  int Outputs() const;
  // TIOCSBRK seen and no TIOCCBRK since.
  bool BreakOn() const;
  // A condition received on the line.
  void Receive(LineCondition condition);
  // Requests answered so far: TIOCMGET (reading the lines, a bus transfer on a USB adapter) and
  // TIOCGICOUNT (reading the counters), and the TIOCMIWAIT calls now blocked with no change yet
  // to return for (a call a change has woken stops counting at once, before it runs).
  int LineReads() const;
  int CounterReads() const;
  int ModemWaiters() const;
};

}  // namespace testsupport
