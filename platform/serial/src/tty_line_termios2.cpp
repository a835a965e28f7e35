// Reading and writing a tty's modes through the kernel's termios2 interface (TCGETS2/TCSETS2).
// termios2 carries any speed (BOTHER) and sets every mode in one call, and the kernel's answer is
// taken as it is: glibc's tcsetattr reports EINVAL when a pty, which always forces 8 data bits
// without parity, does not keep PARENB, although everything else was applied. Kept in its own
// translation unit: <asm/termbits.h> redefines the names of <termios.h>.
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include "tty_line.h"

namespace serial {
namespace {

struct SpeedCode {
  unsigned baud;
  unsigned code;
};

// Speeds with a termios constant; any other speed goes through BOTHER.
constexpr SpeedCode kSpeedCodes[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

unsigned SpeedBits(unsigned baud) {
  for (const SpeedCode& entry : kSpeedCodes) {
    if (entry.baud == baud) return entry.code;
  }
  return BOTHER;
}

}  // namespace

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
  tio.c_cflag = (modes.cflag & ~(CBAUD | CIBAUD)) | SpeedBits(modes.baud);
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
