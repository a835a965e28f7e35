// A UART's modem lines and counters, played on a pseudo-terminal for tests of the tty backend.
//
// A pty refuses every modem ioctl, so the tty backend's modem paths cannot run on one. While an
// EmulatedUart lives, the ioctls TIOCMGET, TIOCMSET, TIOCMBIS, TIOCMBIC and TIOCGICOUNT on any
// descriptor of its pty slave are answered from it, and TIOCSBRK/TIOCCBRK are recorded before
// they reach the kernel; every other ioctl, and every other device, goes to the kernel as it is.
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
  explicit EmulatedUart(const std::string& slavePath);
  ~EmulatedUart();
  EmulatedUart(const EmulatedUart&) = delete;
  EmulatedUart& operator=(const EmulatedUart&) = delete;

  // The input lines the far end drives (TIOCM_CTS, TIOCM_DSR, TIOCM_CD, TIOCM_RI); each line
  // that changes counts one transition, as the UART's interrupt counters do.
  void SetInputs(int tiocmBits);
  // The output lines the program drives (TIOCM_DTR, TIOCM_RTS).
  int Outputs() const;
  // TIOCSBRK seen and no TIOCCBRK since.
  bool BreakOn() const;
  // A condition received on the line.
  void Receive(LineCondition condition);
};

}  // namespace testsupport
