// SPDX-License-Identifier: MIT
// Reading and writing a tty's modes through the kernel's termios2 interface (TCGETS2/TCSETS2).
// termios2 carries any speed (BOTHER) and sets every mode in one call, and the kernel's answer is
// taken as it is: glibc's tcsetattr reports EINVAL when a pty, which always forces 8 data bits
// without parity, does not keep PARENB, although everything else was applied. Kept in its own
// translation unit: <asm/termbits.h> redefines the names of <termios.h>.
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include "tty_line.h"

namespace serial {
// line_settings.cpp names the speed codes from <termios.h>, which has no BOTHER.
static_assert(BOTHER == CBAUDEX);

bool ReadTtyModes(int fd, TtyModes& modes) {
  termios2 tio{};
  if (ioctl(fd, TCGETS2, &tio) != 0) return false;
  modes.iflag = tio.c_iflag;
  modes.oflag = tio.c_oflag;
  modes.cflag = tio.c_cflag & ~(CBAUD | CIBAUD);
  modes.lflag = tio.c_lflag;
  modes.vmin = tio.c_cc[VMIN];
  modes.vtime = tio.c_cc[VTIME];
  modes.vstart = tio.c_cc[VSTART];
  modes.vstop = tio.c_cc[VSTOP];
  modes.baud = tio.c_ospeed;
  modes.inputBaud = tio.c_ispeed;
  return true;
}

bool WriteTtyModes(int fd, const TtyModes& modes) {
  termios2 tio{};
  if (ioctl(fd, TCGETS2, &tio) != 0) return false;
  tio.c_iflag = modes.iflag;
  tio.c_oflag = modes.oflag;
  // CIBAUD cleared: the input speed follows the output speed.
  tio.c_cflag = (modes.cflag & ~(CBAUD | CIBAUD)) | SpeedCode(modes.baud);
  tio.c_lflag = modes.lflag;
  tio.c_cc[VMIN] = modes.vmin;
  tio.c_cc[VTIME] = modes.vtime;
  tio.c_cc[VSTART] = modes.vstart;
  tio.c_cc[VSTOP] = modes.vstop;
  tio.c_ispeed = modes.baud;
  tio.c_ospeed = modes.baud;
  return ioctl(fd, TCSETS2, &tio) == 0;
}

}  // namespace serial
