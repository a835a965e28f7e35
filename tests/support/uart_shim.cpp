#include "uart_shim.h"

#include <linux/serial.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <mutex>
#include <stdexcept>

namespace testsupport {
namespace {

constexpr int kInputs = TIOCM_CTS | TIOCM_DSR | TIOCM_CD | TIOCM_RI;
constexpr int kOutputs = TIOCM_DTR | TIOCM_RTS;

struct UartState {
  dev_t device = 0;
  int lines = 0;  // TIOCM_ bits, inputs and outputs
  bool breakOn = false;
  serial_icounter_struct counts{};
};

std::mutex mutex;
std::atomic<bool> active{false};
UartState uart;  // guarded by mutex

bool IsEmulatedDevice(int fd) {
  struct stat st {};
  return fstat(fd, &st) == 0 && S_ISCHR(st.st_mode) && st.st_rdev == uart.device;
}

// Answers the request from the emulation; false when it is the kernel's to answer.
bool Emulate(int fd, unsigned long request, void* arg, int& result) {
  if (!active.load()) return false;
  std::lock_guard lock(mutex);
  if (!active.load() || !IsEmulatedDevice(fd)) return false;
  result = 0;
  // Only the requests that take an int read one: TIOCSBRK and TIOCCBRK have no argument.
  auto outputBits = [arg] { return *static_cast<const int*>(arg) & kOutputs; };
  switch (request) {
    case TIOCMGET:
      *static_cast<int*>(arg) = uart.lines;
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

EmulatedUart::EmulatedUart(const std::string& slavePath) {
  struct stat st {};
  if (stat(slavePath.c_str(), &st) != 0) throw std::runtime_error("no device " + slavePath);
  std::lock_guard lock(mutex);
  if (active.load()) throw std::logic_error("one EmulatedUart at a time");
  uart = UartState{};
  uart.device = st.st_rdev;
  active = true;
}

EmulatedUart::~EmulatedUart() {
  std::lock_guard lock(mutex);
  active = false;
}

void EmulatedUart::SetInputs(int tiocmBits) {
  std::lock_guard lock(mutex);
  const int changed = (uart.lines ^ tiocmBits) & kInputs;
  if (changed & TIOCM_CTS) ++uart.counts.cts;
  if (changed & TIOCM_DSR) ++uart.counts.dsr;
  if (changed & TIOCM_CD) ++uart.counts.dcd;
  if (changed & TIOCM_RI) ++uart.counts.rng;
  uart.lines = (uart.lines & ~kInputs) | (tiocmBits & kInputs);
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
