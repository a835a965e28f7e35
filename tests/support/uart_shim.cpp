// SPDX-License-Identifier: MIT
#include "uart_shim.h"

#include <linux/serial.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <map>
#include <mutex>
#include <stdexcept>

namespace testsupport {
namespace {

constexpr int kInputs = TIOCM_CTS | TIOCM_DSR | TIOCM_CD | TIOCM_RI;
constexpr int kOutputs = TIOCM_DTR | TIOCM_RTS;

struct UartState {
  dev_t device = 0;
  int masterFd = -1;
  bool modemWait = true;
  int lines = 0;  // TIOCM_ bits, inputs and outputs
  bool breakOn = false;
  serial_icounter_struct counts{};
  int lineReads = 0;
  int counterReads = 0;
  struct Waiter {
    serial_icounter_struct start;  // the counters when the call began
    unsigned long mask;
  };
  std::map<int, Waiter> waiters;  // the blocked TIOCMIWAIT calls, by their wake-up eventfd
};

std::mutex mutex;
std::atomic<bool> active{false};
UartState uart;  // guarded by mutex

bool IsEmulatedDevice(int fd) {
  struct stat st {};
  return fstat(fd, &st) == 0 && S_ISCHR(st.st_mode) && st.st_rdev == uart.device;
}

bool ModemCountsMoved(const serial_icounter_struct& from, const serial_icounter_struct& to,
                      unsigned long mask) {
  return ((mask & TIOCM_CTS) && from.cts != to.cts) || ((mask & TIOCM_DSR) && from.dsr != to.dsr) ||
         ((mask & TIOCM_CD) && from.dcd != to.dcd) || ((mask & TIOCM_RI) && from.rng != to.rng);
}

void CountTransitions(int changed, int times) {  // mutex held
  if (changed & TIOCM_CTS) uart.counts.cts += times;
  if (changed & TIOCM_DSR) uart.counts.dsr += times;
  if (changed & TIOCM_CD) uart.counts.dcd += times;
  if (changed & TIOCM_RI) uart.counts.rng += times;
}

void ChangeInputs(int tiocmBits) {  // mutex held
  CountTransitions((uart.lines ^ tiocmBits) & kInputs, 1);
  uart.lines = (uart.lines & ~kInputs) | (tiocmBits & kInputs);
}

void WakeWaiters() {  // mutex held
  for (const auto& [wake, waiter] : uart.waiters) {
    std::uint64_t one = 1;
    ssize_t written = write(wake, &one, sizeof one);
    (void)written;
  }
}

// TIOCMIWAIT: blocks until an input of `mask` changes (0), a signal arrives or the far end hangs
// up (-1 with EINTR or EIO).
int WaitForModemChange(int fd, unsigned long mask) {
  const int wake = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (wake < 0) return -1;
  std::unique_lock lock(mutex);
  const UartState::Waiter& waiter =
      uart.waiters.emplace(wake, UartState::Waiter{uart.counts, mask}).first->second;
  int result = 0;
  int error = 0;
  while (!ModemCountsMoved(waiter.start, uart.counts, mask)) {
    lock.unlock();
    pollfd fds[2] = {{wake, POLLIN, 0}, {fd, 0, 0}};  // the slave reports POLLHUP by itself
    const int ready = poll(fds, 2, -1);
    error = ready < 0 ? errno : (fds[1].revents & (POLLHUP | POLLERR)) != 0 ? EIO : 0;
    std::uint64_t counter = 0;
    ssize_t got = read(wake, &counter, sizeof counter);
    (void)got;
    lock.lock();
    if (error == EINTR || error == EIO) {
      result = -1;
      break;
    }
  }
  uart.waiters.erase(wake);
  lock.unlock();
  close(wake);
  errno = error;
  return result;
}

// Answers the request from the emulation; false when it is the kernel's to answer.
bool Emulate(int fd, unsigned long request, void* arg, int& result) {
  if (!active.load()) return false;
  std::unique_lock lock(mutex);
  if (!active.load() || !IsEmulatedDevice(fd)) return false;
  result = 0;
  if (request == TIOCMIWAIT) {
    if (!uart.modemWait) return false;
    lock.unlock();
    // The mask is passed as the argument's value.
    result = WaitForModemChange(fd, reinterpret_cast<std::uintptr_t>(arg) & 0xFFFFFFFFu);
    return true;
  }
  // Only the requests that take an int read one: TIOCSBRK and TIOCCBRK have no argument.
  auto outputBits = [arg] { return *static_cast<const int*>(arg) & kOutputs; };
  switch (request) {
    case TIOCMGET:
      *static_cast<int*>(arg) = uart.lines;
      ++uart.lineReads;
      return true;
    case TIOCMSET:
      uart.lines = (uart.lines & ~kOutputs) | outputBits();
      return true;
    case TIOCMBIS:
      uart.lines |= outputBits();
      return true;
    case TIOCMBIC:
      uart.lines &= ~outputBits();
      return true;
    case TIOCGICOUNT:
      *static_cast<serial_icounter_struct*>(arg) = uart.counts;
      ++uart.counterReads;
      return true;
    case TIOCSBRK:
    case TIOCCBRK:
      uart.breakOn = request == TIOCSBRK;
      return false;  // the pty accepts it as well
    default:
      return false;
  }
}

}  // namespace

EmulatedUart::EmulatedUart(const std::string& slavePath, int masterFd, bool modemWait) {
  struct stat st {};
  if (stat(slavePath.c_str(), &st) != 0) throw std::runtime_error("no device " + slavePath);
  std::lock_guard lock(mutex);
  if (active.load()) throw std::logic_error("one EmulatedUart at a time");
  uart = UartState{};
  uart.device = st.st_rdev;
  uart.masterFd = masterFd;
  uart.modemWait = modemWait;
  active = true;
}

EmulatedUart::~EmulatedUart() {
  std::lock_guard lock(mutex);
  active = false;
}

void EmulatedUart::SetInputs(int tiocmBits) {
  std::lock_guard lock(mutex);
  ChangeInputs(tiocmBits);
  WakeWaiters();
}

void EmulatedUart::SetInputsBeforeTheWait(int tiocmBits) {
  std::lock_guard lock(mutex);
  ChangeInputs(tiocmBits);
  for (auto& [wake, waiter] : uart.waiters) waiter.start = uart.counts;
}

void EmulatedUart::PulseInputs(int tiocmBits) {
  std::lock_guard lock(mutex);
  CountTransitions(tiocmBits & kInputs, 2);
  WakeWaiters();
}

int EmulatedUart::Outputs() const {
  std::lock_guard lock(mutex);
  return uart.lines & kOutputs;
}

bool EmulatedUart::BreakOn() const {
  std::lock_guard lock(mutex);
  return uart.breakOn;
}

void EmulatedUart::Receive(LineCondition condition) {
  std::lock_guard lock(mutex);
  switch (condition) {
    case LineCondition::Break:
      ++uart.counts.brk;
      break;
    case LineCondition::FrameError:
      ++uart.counts.frame;
      break;
    case LineCondition::ParityError:
      ++uart.counts.parity;
      break;
    case LineCondition::Overrun:
      ++uart.counts.overrun;
      break;
  }
  if (uart.masterFd >= 0) {
    const char received = 0;
    ssize_t written = write(uart.masterFd, &received, 1);
    (void)written;
  }
}

int EmulatedUart::LineReads() const {
  std::lock_guard lock(mutex);
  return uart.lineReads;
}

int EmulatedUart::CounterReads() const {
  std::lock_guard lock(mutex);
  return uart.counterReads;
}

int EmulatedUart::ModemWaiters() const {
  std::lock_guard lock(mutex);
  // A call already woken by a change, but not yet run to return, no longer waits for one.
  int blocked = 0;
  for (const auto& [wake, waiter] : uart.waiters)
    if (!ModemCountsMoved(waiter.start, uart.counts, waiter.mask)) ++blocked;
  return blocked;
}

}  // namespace testsupport

// Every ioctl of the test program, and of the libraries it loads, comes here first.
extern "C" int ioctl(int fd, unsigned long request, ...) noexcept {
  va_list args;
  va_start(args, request);
  void* arg = va_arg(args, void*);
  va_end(args);
  int result = 0;
  if (testsupport::Emulate(fd, request, arg, result)) return result;
  return static_cast<int>(syscall(SYS_ioctl, fd, request, arg));
}
