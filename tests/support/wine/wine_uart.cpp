// SPDX-License-Identifier: MIT
// A UART's modem lines on the pseudo-terminals Wine maps to COM ports: a test-only library that
// Wine's processes load with LD_PRELOAD (the Windows tests' runner, wine_peer, sets it).
//
// A pty answers the modem ioctls with an error, and Wine then refuses WaitCommEvent whenever the
// mask holds a modem event. In a Wine process (the loader or wineserver) this library answers
// them for every pty slave: TIOCMGET reports CTS, DSR and DCD on while the far end (the master)
// is open and off once it has hung up, with DTR and RTS as the program last set them
// (TIOCMSET/TIOCMBIS/TIOCMBIC); TIOCGICOUNT reports no line conditions; TIOCMIWAIT returns when
// the far end hangs up. It also gives a pty slave a COM port's exclusive open: a second open of
// a slave that is open already (in Wine or, under flock, anywhere) fails with EACCES, which Wine
// reports as ERROR_ACCESS_DENIED, as Windows does for a busy port; and no pty becomes a Wine
// process's controlling terminal.
// Every other ioctl, device and process goes to the kernel untouched.
// ZELVANE_UART_LOG=<file> logs the requests answered, for looking into Wine's use of them.
#include <dlfcn.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>

namespace {

constexpr int kOutputs = TIOCM_DTR | TIOCM_RTS;
constexpr int kPtySlaveMajorFirst = 136;  // Unix98 pty slaves: majors 136 to 143
constexpr int kPtySlaveMajorLast = 143;

bool InWine() {
  static const bool wine = [] {
    char exe[4096] = {};
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    const char* name = std::strrchr(exe, '/');
    return n > 0 && name != nullptr && std::strncmp(name + 1, "wine", 4) == 0;
  }();
  return wine;
}

bool IsPtySlave(int fd, dev_t* device = nullptr) {
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return false;
  const unsigned major = ::major(st.st_rdev);
  if (major < kPtySlaveMajorFirst || major > kPtySlaveMajorLast) return false;
  if (device != nullptr) *device = st.st_rdev;
  return true;
}

void Log(const char* format, ...) {
  static const char* path = std::getenv("ZELVANE_UART_LOG");
  if (path == nullptr) return;
  if (FILE* out = std::fopen(path, "a")) {
    va_list args;
    va_start(args, format);
    std::fprintf(out, "[%d] ", getpid());
    std::vfprintf(out, format, args);
    std::fputc('\n', out);
    va_end(args);
    std::fclose(out);
  }
}

std::mutex mutex;
std::map<dev_t, int> outputs;  // DTR/RTS per pty, as the program set them; guarded by mutex

// The far end has hung up when the slave reports POLLHUP.
bool FarEndGone(int fd) {
  pollfd p{fd, POLLIN, 0};
  return poll(&p, 1, 0) > 0 && (p.revents & POLLHUP) != 0;
}

int Lines(int fd, dev_t device) {
  std::lock_guard lock(mutex);
  const int inputs = FarEndGone(fd) ? 0 : (TIOCM_CTS | TIOCM_DSR | TIOCM_CD);
  return inputs | outputs[device];
}

void SetOutputs(dev_t device, int bits, unsigned long request) {
  std::lock_guard lock(mutex);
  int& lines = outputs[device];
  if (request == TIOCMSET) lines = bits & kOutputs;
  if (request == TIOCMBIS) lines |= bits & kOutputs;
  if (request == TIOCMBIC) lines &= ~(bits & kOutputs);
}

// Blocks until the far end hangs up: the only change of the input lines played here.
int WaitForChange(int fd) {
  for (;;) {
    pollfd p{fd, 0, -1};
    if (poll(&p, 1, -1) < 0 && errno != EINTR) return -1;
    if (p.revents & (POLLHUP | POLLNVAL)) return 0;
  }
}

// Answers a modem request on a pty slave; false when the kernel is to answer it.
bool Emulate(int fd, unsigned long request, void* arg, int& result) {
  if (request != TIOCMGET && request != TIOCMSET && request != TIOCMBIS && request != TIOCMBIC &&
      request != TIOCGICOUNT && request != TIOCMIWAIT)
    return false;
  dev_t device = 0;
  if (!InWine() || !IsPtySlave(fd, &device)) return false;
  Log("ioctl fd %d request 0x%lx", fd, request);
  result = 0;
  switch (request) {
    case TIOCMGET:
      *static_cast<int*>(arg) = Lines(fd, device);
      break;
    case TIOCGICOUNT:
      *static_cast<serial_icounter_struct*>(arg) = serial_icounter_struct{};
      break;
    case TIOCMIWAIT:
      result = WaitForChange(fd);
      break;
    default:
      SetOutputs(device, *static_cast<const int*>(arg), request);
  }
  return true;
}

// A COM port opens once: the open description of a pty slave holds an exclusive flock.
int Exclusive(int fd, const char* path) {
  if (fd < 0 || !InWine() || !IsPtySlave(fd)) return fd;
  if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
    Log("open %s: fd %d", path, fd);
    return fd;
  }
  Log("open %s: busy", path);
  close(fd);
  errno = EACCES;
  return -1;
}

template <class F>
F Next(const char* name) {
  return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

// No device opened in Wine becomes its controlling terminal (wineserver runs as a session
// leader): a far end that hangs up must not send it SIGHUP.
int InWineFlags(int flags) { return InWine() ? flags | O_NOCTTY : flags; }

mode_t ModeArgument(int flags, va_list args) {
  return (flags & (O_CREAT | O_TMPFILE)) != 0 ? static_cast<mode_t>(va_arg(args, int)) : 0;
}

}  // namespace

extern "C" {

int ioctl(int fd, unsigned long request, ...) noexcept {
  va_list args;
  va_start(args, request);
  void* arg = va_arg(args, void*);
  va_end(args);
  int result = 0;
  if (Emulate(fd, request, arg, result)) return result;
  return static_cast<int>(syscall(SYS_ioctl, fd, request, arg));
}

int open(const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const mode_t mode = ModeArgument(flags, args);
  va_end(args);
  static const auto real = Next<int (*)(const char*, int, ...)>("open");
  return Exclusive(real(path, InWineFlags(flags), mode), path);
}

int open64(const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const mode_t mode = ModeArgument(flags, args);
  va_end(args);
  static const auto real = Next<int (*)(const char*, int, ...)>("open64");
  return Exclusive(real(path, InWineFlags(flags), mode), path);
}

int openat(int dir, const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const mode_t mode = ModeArgument(flags, args);
  va_end(args);
  static const auto real = Next<int (*)(int, const char*, int, ...)>("openat");
  return Exclusive(real(dir, path, InWineFlags(flags), mode), path);
}

int openat64(int dir, const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const mode_t mode = ModeArgument(flags, args);
  va_end(args);
  static const auto real = Next<int (*)(int, const char*, int, ...)>("openat64");
  return Exclusive(real(dir, path, InWineFlags(flags), mode), path);
}

}  // extern "C"
