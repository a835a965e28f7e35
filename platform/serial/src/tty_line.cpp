// SPDX-License-Identifier: MIT
#include "tty_line.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <system_error>

namespace serial {
namespace {

constexpr int kModemPollIntervalMs = 20;
// How often the inputs are looked at while the kernel waits for their changes. The kernel's wait
// counts from its own start, so a change between the watcher's look at the counters and that
// start would be heard only at the next change; this look bounds that delay.
constexpr int kModemSafetySampleMs = 1000;
constexpr int kModemInputs = TIOCM_RNG | TIOCM_DSR | TIOCM_CD | TIOCM_CTS;
constexpr std::uint8_t kMark = 0xFF;
// How often a closing line repeats the signal to its modem watcher until the watcher has ended
// (a signal that lands just before the watcher enters the kernel wait does not end that wait).
constexpr auto kWakeRepeat = std::chrono::milliseconds(2);

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

void IgnoreSignal(int /*signal*/) {}

// The signal that ends a modem watcher's TIOCMIWAIT when its line closes: the highest real-time
// signal the program leaves at its default, given a handler that does nothing and no SA_RESTART
// (so the wait returns EINTR). It is sent with pthread_kill to the watcher alone; no other thread
// of the program ever receives it. -1 when every real-time signal is taken.
int ModemWakeSignal() {
  static const int chosen = [] {
    for (int candidate = SIGRTMAX; candidate >= SIGRTMIN; --candidate) {
      struct sigaction current {};
      if (sigaction(candidate, nullptr, &current) != 0 || (current.sa_flags & SA_SIGINFO) != 0 ||
          current.sa_handler != SIG_DFL)
        continue;
      struct sigaction wake {};
      wake.sa_handler = IgnoreSignal;
      sigemptyset(&wake.sa_mask);
      if (sigaction(candidate, &wake, nullptr) == 0) return candidate;
    }
    return -1;
  }();
  return chosen;
}

bool ModemCountsDiffer(const serial_icounter_struct& a, const serial_icounter_struct& b) {
  return a.cts != b.cts || a.dsr != b.dsr || a.rng != b.rng || a.dcd != b.dcd;
}

}  // namespace

MarkedInput::Counts MarkedInput::Decode(std::uint8_t* data, std::size_t n) {
  Counts counts;
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint8_t byte = data[i];
    switch (markBytes_) {
      case 0:
        if (byte == kMark)
          markBytes_ = 1;
        else
          data[counts.bytes++] = byte;
        break;
      case 1:
        markBytes_ = byte == 0 ? 2 : 0;
        if (byte == kMark) data[counts.bytes++] = kMark;
        if (byte != kMark && byte != 0) {  // not a mark after all: both bytes are data
          data[counts.bytes++] = kMark;
          data[counts.bytes++] = byte;
        }
        break;
      default:
        markBytes_ = 0;
        if (byte == 0) {
          ++counts.breaks;
        } else {
          ++counts.errors;
          data[counts.bytes++] = byte;
        }
        break;
    }
  }
  return counts;
}

TtyLine::TtyLine(int fd) : fd_(fd), pseudoTerminal_(IsPseudoTerminal(fd)) {
  int modemBits = 0;
  hasModemLines_ = ioctl(fd_, TIOCMGET, &modemBits) == 0;
  hasCounters_ = ioctl(fd_, TIOCGICOUNT, &lastCounts_) == 0;
  if (hasModemLines_ || hasCounters_) modemEventFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  // Raw from the start, speed and framing kept: until the first ApplyState a tty in its default
  // cooked mode would echo received bytes back onto the line and translate line ends.
  TtyModes modes;
  if (ReadTtyModes(fd_, modes)) {
    MakeRaw(modes);
    WriteTtyModes(fd_, modes);
  }
}

TtyLine::~TtyLine() {
  StopModemWatcher();
  if (modemEventFd_ >= 0) close(modemEventFd_);
  ioctl(fd_, TIOCNXCL);  // the exclusive mark outlives the descriptor: clear it
  flock(fd_, LOCK_UN);
  close(fd_);
}

int TtyLine::ModemPollIntervalMs() const {
  if (!hasModemLines_ && !hasCounters_) return 0;
  return modemWaitRefused_.load() ? kModemPollIntervalMs : kModemSafetySampleMs;
}

// ---- Modem-input changes from the kernel ----

void TtyLine::WatchModemInputs() {
  if (modemEventFd_ < 0 || watcher_.joinable() || modemWaitRefused_.load()) return;
  if (ModemWakeSignal() < 0) {
    modemWaitRefused_ = true;  // no way to end the wait on close: sample instead
    return;
  }
  // The counters as the wait starts: a change from now on is signalled, even one that comes
  // before the thread runs.
  serial_icounter_struct seen{};
  if (hasCounters_) ioctl(fd_, TIOCGICOUNT, &seen);
  std::lock_guard lock(watcherMutex_);
  try {
    watcher_ = std::thread([this, seen] { WaitForModemChanges(seen); });
    watcherRunning_ = true;
  } catch (const std::system_error&) {
    modemWaitRefused_ = true;
  }
}

// Blocks in TIOCMIWAIT and signals the driver after each change. Before each wait it compares
// the counters with those it last saw, since changes between two waits do not end the next one.
// A refused wait (a driver without it) or a failed one (a hang-up) ends the watcher; the driver
// then samples the counters, or sees the hang-up on the line.
void TtyLine::WaitForModemChanges(serial_icounter_struct seen) {
  sigset_t wake;
  sigemptyset(&wake);
  sigaddset(&wake, ModemWakeSignal());
  pthread_sigmask(SIG_UNBLOCK, &wake, nullptr);
  while (!watcherStop_.load()) {
    if (hasCounters_ && ModemCountsMoved(seen)) {
      SignalModemEvent();
      continue;
    }
    if (ioctl(fd_, TIOCMIWAIT, static_cast<unsigned long>(kModemInputs)) == 0) {
      SignalModemEvent();
      continue;
    }
    if (errno == EINTR) continue;
    modemWaitRefused_ = true;
    SignalModemEvent();
    break;
  }
  std::lock_guard lock(watcherMutex_);
  watcherRunning_ = false;
  watcherEnded_.notify_all();
}

bool TtyLine::ModemCountsMoved(serial_icounter_struct& seen) const {
  serial_icounter_struct now{};
  if (ioctl(fd_, TIOCGICOUNT, &now) != 0 || !ModemCountsDiffer(now, seen)) return false;
  seen = now;
  return true;
}

void TtyLine::SignalModemEvent() const {
  std::uint64_t one = 1;
  ssize_t written = write(modemEventFd_, &one, sizeof one);
  (void)written;  // a saturated counter still reads as "changed"
}

void TtyLine::DrainModemEvents() {
  std::uint64_t counter = 0;
  ssize_t got = read(modemEventFd_, &counter, sizeof counter);
  (void)got;
}

// Signals the watcher until it has ended: bounded by the close, whatever the device does.
void TtyLine::StopModemWatcher() {
  if (!watcher_.joinable()) return;
  watcherStop_ = true;
  std::unique_lock lock(watcherMutex_);
  while (watcherRunning_) {
    pthread_kill(watcher_.native_handle(), ModemWakeSignal());
    watcherEnded_.wait_for(lock, kWakeRepeat);
  }
  lock.unlock();
  watcher_.join();
}

LineIo TtyLine::Read(void* data, std::size_t n) {
  LineIo io;
  if (n == 0) return io;
  const ssize_t got = read(fd_, data, n);
  if (got > 0) {
    const MarkedInput::Counts counts =
        marked_.Decode(static_cast<std::uint8_t*>(data), static_cast<std::size_t>(got));
    io.bytes = counts.bytes;
    markedBreaks_ += counts.breaks;
    markedErrors_ += counts.errors;
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
// Where the device keeps no counters, the breaks and errors marked in the input; where it does,
// the counters tell (a mark then only woke the driver).
LineEvents TtyLine::TakeLineEvents() {
  LineEvents events;
  if (!hasCounters_) {
    events.breakSeen = markedBreaks_ > 0;
    events.errorSeen = markedErrors_ > 0;
    events.ceErrors = (events.breakSeen ? CE_BREAK : 0) | (events.errorSeen ? CE_FRAME : 0);
  }
  markedBreaks_ = 0;
  markedErrors_ = 0;
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
