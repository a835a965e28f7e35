// Arbitrary line speeds through the kernel's termios2 interface (BOTHER). Kept in its own
// translation unit: <asm/termbits.h> redefines the names of <termios.h> and cannot share a file
// with it.
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include "tty_line.h"

namespace serial {

bool SetTtyCustomSpeed(int fd, unsigned baud) {
  termios2 tio{};
  if (ioctl(fd, TCGETS2, &tio) != 0) return false;
  tio.c_cflag &= ~(CBAUD | CIBAUD);  // input speed follows the output speed
  tio.c_cflag |= BOTHER;
  tio.c_ispeed = baud;
  tio.c_ospeed = baud;
  return ioctl(fd, TCSETS2, &tio) == 0;
}

bool GetTtySpeed(int fd, unsigned& inputBaud, unsigned& outputBaud) {
  termios2 tio{};
  if (ioctl(fd, TCGETS2, &tio) != 0) return false;
  inputBaud = tio.c_ispeed;
  outputBaud = tio.c_ospeed;
  return true;
}

}  // namespace serial
