#include "tty_line.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

namespace serial {
namespace {

constexpr int kModemPollIntervalMs = 20;

bool IsHangUpErrno(int err) { return err == EIO || err == ENXIO || err == ENODEV; }

// An ioctl the device does not have (a pty has no modem lines).
bool IsUnsupportedErrno(int err) { return err == ENOTTY || err == EINVAL || err == ENOSYS; }

DWORD DeviceErrorFromErrno(int err) {
  if (IsUnsupportedErrno(err)) return ERROR_NOT_SUPPORTED;
  if (IsHangUpErrno(err)) return ERROR_DEVICE_NOT_CONNECTED;
  return ERROR_GEN_FAILURE;
}

// UNIX 98 pseudo-terminal slaves (/dev/pts/N) have the majors 136 to 143.
bool IsPseudoTerminal(int fd) {
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return false;
  const unsigned deviceMajor = major(st.st_rdev);
  return deviceMajor >= 136 && deviceMajor <= 143;
}

}  // namespace

TtyLine::TtyLine(int fd) : fd_(fd), pseudoTerminal_(IsPseudoTerminal(fd)) {
  int modemBits = 0;
  hasModemLines_ = ioctl(fd_, TIOCMGET, &modemBits) == 0;
  hasCounters_ = ioctl(fd_, TIOCGICOUNT, &lastCounts_) == 0;
  // Raw from the start, speed and framing kept: until the first ApplyState a tty in its default
  // cooked mode would echo received bytes back onto the line and translate line ends.
  TtyModes modes;
  if (ReadTtyModes(fd_, modes)) {
    MakeRaw(modes);
    WriteTtyModes(fd_, modes);
  }
}

TtyLine::~TtyLine() {
  ioctl(fd_, TIOCNXCL);  // the exclusive mark outlives the descriptor: clear it
  flock(fd_, LOCK_UN);
  close(fd_);
}

int TtyLine::ModemPollIntervalMs() const {
  return hasModemLines_ || hasCounters_ ? kModemPollIntervalMs : 0;
}

LineIo TtyLine::Read(void* data, std::size_t n) {
  LineIo io;
  if (n == 0) return io;
  const ssize_t got = read(fd_, data, n);
  if (got > 0) {
    io.bytes = static_cast<std::size_t>(got);
  } else if (got == 0) {
    // With VMIN=0/VTIME=0 a read of 0 means "no data", unless the other side hung up.
    pollfd pfd{fd_, POLLIN, 0};
    if (poll(&pfd, 1, 0) > 0 && (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
      io.error = ERROR_DEVICE_NOT_CONNECTED;
    }
  } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
    io.error = IsHangUpErrno(errno) ? ERROR_DEVICE_NOT_CONNECTED : ERROR_GEN_FAILURE;
  }
  return io;
}

LineIo TtyLine::Write(const void* data, std::size_t n) {
  LineIo io;
  if (n == 0) return io;
  const ssize_t put = write(fd_, data, n);
  if (put >= 0) {
    io.bytes = static_cast<std::size_t>(put);
  } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
    io.error = IsHangUpErrno(errno) ? ERROR_DEVICE_NOT_CONNECTED : ERROR_GEN_FAILURE;
  }
  return io;
}

std::size_t TtyLine::OutputPending() {
  int queued = 0;
  if (ioctl(fd_, TIOCOUTQ, &queued) != 0 || queued < 0) return 0;
  return static_cast<std::size_t>(queued);
}

// A setting the device does not keep (a speed out of its range, mark parity on a UART without
// it) refuses the whole change and puts the previous modes back, rather than leaving the line
// with other settings than those asked for.
DWORD TtyLine::ApplyState(const DCB& dcb) {
  if (DWORD error = CheckLineSettings(dcb)) return error;
  TtyModes previous;
  if (!ReadTtyModes(fd_, previous)) return DeviceErrorFromErrno(errno);
  TtyModes modes = previous;
  ComposeTtyModes(dcb, modes);
  if (!WriteTtyModes(fd_, modes)) {
    return errno == EINVAL ? ERROR_INVALID_PARAMETER : DeviceErrorFromErrno(errno);
  }
  TtyModes inForce;
  if (ReadTtyModes(fd_, inForce) && !SettingsKept(dcb, inForce, pseudoTerminal_)) {
    WriteTtyModes(fd_, previous);
    return ERROR_INVALID_PARAMETER;
  }
  ApplyModemControls(dcb);
  return 0;
}

// DTR and RTS follow the DCB's control modes when a mode changes (and on the first apply), as a
// serial driver does: "enable" and "handshake" raise the line, "disable" lowers it. An unchanged
// mode leaves the line where EscapeCommFunction put it. A pty has no modem lines: nothing to do.
void TtyLine::ApplyModemControls(const DCB& dcb) {
  if (!hasModemLines_) return;
  std::lock_guard lock(mutex_);
  const int dtrControl = static_cast<int>(dcb.fDtrControl);
  const int rtsControl = static_cast<int>(dcb.fRtsControl);
  if (dtrControl != appliedDtrControl_) {
    SetModemBit(TIOCM_DTR, dtrControl != DTR_CONTROL_DISABLE);
    appliedDtrControl_ = dtrControl;
  }
  if (rtsControl != appliedRtsControl_) {
    SetModemBit(TIOCM_RTS, rtsControl != RTS_CONTROL_DISABLE);
    appliedRtsControl_ = rtsControl;
  }
}

bool TtyLine::SetModemBit(int bit, bool on) const {
  return ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bit) == 0;
}

DWORD TtyLine::Escape(DWORD func) {
  int result = 0;
  switch (func) {
    case SETDTR:
      result = SetModemBit(TIOCM_DTR, true) ? 0 : -1;
      break;
    case CLRDTR:
      result = SetModemBit(TIOCM_DTR, false) ? 0 : -1;
      break;
    case SETRTS:
      result = SetModemBit(TIOCM_RTS, true) ? 0 : -1;
      break;
    case CLRRTS:
      result = SetModemBit(TIOCM_RTS, false) ? 0 : -1;
      break;
    case SETBREAK:
      result = ioctl(fd_, TIOCSBRK);
      break;
    case CLRBREAK:
      result = ioctl(fd_, TIOCCBRK);
      break;
    case SETXOFF:
      result = tcflow(fd_, TCOOFF);
      break;  // act as if XOFF had been received
    case SETXON:
      result = tcflow(fd_, TCOON);
      break;
    case RESETDEV:
      return ERROR_NOT_SUPPORTED;
    default:
      return ERROR_INVALID_PARAMETER;
  }
  return result == 0 ? 0 : DeviceErrorFromErrno(errno);
}

DWORD TtyLine::ModemStatus(DWORD& status) {
  status = 0;
  int bits = 0;
  if (ioctl(fd_, TIOCMGET, &bits) != 0) return DeviceErrorFromErrno(errno);
  if (bits & TIOCM_CTS) status |= MS_CTS_ON;
  if (bits & TIOCM_DSR) status |= MS_DSR_ON;
  if (bits & TIOCM_RNG) status |= MS_RING_ON;
  if (bits & TIOCM_CAR) status |= MS_RLSD_ON;
  return 0;
}

// Breaks, line errors and modem-input changes counted by the UART driver since the last call.
LineEvents TtyLine::TakeLineEvents() {
  LineEvents events;
  if (!hasCounters_) return events;
  serial_icounter_struct counts{};
  if (ioctl(fd_, TIOCGICOUNT, &counts) != 0) return events;
  std::lock_guard lock(mutex_);
  if (counts.brk != lastCounts_.brk) {
    events.breakSeen = true;
    events.ceErrors |= CE_BREAK;
  }
  if (counts.frame != lastCounts_.frame) events.ceErrors |= CE_FRAME;
  if (counts.parity != lastCounts_.parity) events.ceErrors |= CE_RXPARITY;
  if (counts.overrun != lastCounts_.overrun) events.ceErrors |= CE_OVERRUN;
  if (counts.buf_overrun != lastCounts_.buf_overrun) events.ceErrors |= CE_RXOVER;
  events.errorSeen = (events.ceErrors & ~CE_BREAK) != 0;
  // Modem-input transitions counted by the driver: a quick off-on between two samples still shows.
  if (counts.cts != lastCounts_.cts) events.modemChanges |= MS_CTS_ON;
  if (counts.dsr != lastCounts_.dsr) events.modemChanges |= MS_DSR_ON;
  if (counts.rng != lastCounts_.rng) events.modemChanges |= MS_RING_ON;
  if (counts.dcd != lastCounts_.dcd) events.modemChanges |= MS_RLSD_ON;
  lastCounts_ = counts;
  return events;
}

void TtyLine::DiscardInput() { tcflush(fd_, TCIFLUSH); }

void TtyLine::DiscardOutput() { tcflush(fd_, TCOFLUSH); }

// ---- Opening ----

namespace {

DWORD OpenErrorFromErrno(int err) {
  switch (err) {
    case ENOENT:
    case ENXIO:
    case ENODEV:
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
    case EISDIR:
    case EIO:  // a /dev/ttyS node with no UART behind it
      return ERROR_FILE_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
      return ERROR_ACCESS_DENIED;
    case EBUSY:  // held with TIOCEXCL by someone else
      return ERROR_SHARING_VIOLATION;
    case EMFILE:
    case ENFILE:
      return ERROR_TOO_MANY_OPEN_FILES;
    default:
      return ERROR_GEN_FAILURE;
  }
}

}  // namespace

// Exclusive for everyone, root included: TIOCEXCL keeps out other openers but not root, so the
// device is also locked with flock, which every holder through this function respects.
std::unique_ptr<Line> OpenTtyLine(const std::string& path, DWORD& error) {
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    error = OpenErrorFromErrno(errno);
    return nullptr;
  }
  if (!isatty(fd)) {  // a file or another device is no serial line
    close(fd);
    error = ERROR_FILE_NOT_FOUND;
    return nullptr;
  }
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int err = errno;
    close(fd);
    error = err == EWOULDBLOCK ? ERROR_SHARING_VIOLATION : ERROR_GEN_FAILURE;
    return nullptr;
  }
  if (ioctl(fd, TIOCEXCL) != 0) {
    const int err = errno;
    close(fd);  // releases the lock
    error = OpenErrorFromErrno(err);
    return nullptr;
  }
  error = 0;
  return std::make_unique<TtyLine>(fd);
}

}  // namespace serial
