// SPDX-License-Identifier: MIT
#include "line.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace board {
namespace {

constexpr char kPtsDir[] = "/dev/pts/";
constexpr char kAccessNote[] =
    "Serial devices belong to the group dialout: see \"Serial ports: device names and access\" "
    "in README.md";

std::string reasonFor(int error) {
  switch (error) {
    case ENOENT:
    case ENXIO:
    case ENODEV:
      return "no such device";
    case EACCES:
    case EPERM:
      return "permission denied";
    case EBUSY:
    case EWOULDBLOCK:
      return "busy, another program has it open";
    case EISDIR:
    case ENOTTY:
      return "not a terminal";
    default:
      return std::strerror(error);
  }
}

[[noreturn]] void deviceFailed(const std::string& path, int error) {
  throw LineError("cannot open device " + path + ": " + reasonFor(error) + ". " + kAccessNote +
                  ".");
}

// Raw bytes at 19200 bit/s, 8 data bits, no parity, one stop bit, no flow control.
bool makeRaw(int fd) {
  termios mode{};
  if (tcgetattr(fd, &mode) != 0) return false;
  cfmakeraw(&mode);
  mode.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
  mode.c_cflag |= CS8 | CLOCAL | CREAD;
  mode.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
  mode.c_cc[VMIN] = 1;
  mode.c_cc[VTIME] = 0;
  cfsetispeed(&mode, B19200);
  cfsetospeed(&mode, B19200);
  return tcsetattr(fd, TCSANOW, &mode) == 0;
}

bool setFlags(int fd) {
  const int flags = fcntl(fd, F_GETFL);
  return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0 &&
         fcntl(fd, F_SETFD, FD_CLOEXEC) == 0;
}

std::string readLink(const std::string& link) {
  char target[4096];
  const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
  return n < 0 ? std::string() : std::string(target, static_cast<std::size_t>(n));
}

// Makes link point at target. Only a missing path or an old pty link (a symlink into /dev/pts/,
// as this program leaves one when it is killed) is replaced.
void placeLink(const std::string& link, const std::string& target) {
  struct stat st {};
  if (lstat(link.c_str(), &st) == 0) {
    if (!S_ISLNK(st.st_mode) || readLink(link).rfind(kPtsDir, 0) != 0) {
      throw LineError("--link " + link +
                      ": refusing to replace it, it is not a symlink into /dev/pts/");
    }
    if (unlink(link.c_str()) != 0 && errno != ENOENT) {
      throw LineError("--link " + link + ": cannot remove the old link: " + std::strerror(errno));
    }
  }
  if (symlink(target.c_str(), link.c_str()) != 0) {
    throw LineError("--link " + link + ": cannot create it: " + std::strerror(errno));
  }
}

}  // namespace

Line Line::openPty(const std::string& link) {
  Line line;
  line.fd_ = posix_openpt(O_RDWR | O_NOCTTY);
  char name[256];
  if (line.fd_ < 0 || grantpt(line.fd_) != 0 || unlockpt(line.fd_) != 0 ||
      ptsname_r(line.fd_, name, sizeof name) != 0) {
    throw LineError(std::string("cannot create a pseudo-terminal: ") + std::strerror(errno));
  }
  line.path_ = name;
  line.slaveFd_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (line.slaveFd_ < 0) {
    throw LineError("cannot open the pseudo-terminal " + line.path_ + ": " + std::strerror(errno));
  }
  // A pty ignores the speed and framing; raw mode matters (no echo, no CR/LF or XON/XOFF).
  if (!makeRaw(line.slaveFd_) || !setFlags(line.fd_)) {
    throw LineError("cannot set up the pseudo-terminal " + line.path_ + ": " +
                    std::strerror(errno));
  }
  if (!link.empty()) {
    placeLink(link, line.path_);
    line.link_ = link;
  }
  return line;
}

Line Line::openDevice(const std::string& path) {
  Line line;
  line.path_ = path;
  line.fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (line.fd_ < 0) deviceFailed(path, errno);
  if (!isatty(line.fd_)) deviceFailed(path, ENOTTY);
  // TIOCEXCL does not stop root; the lock stops every program that also takes it.
  if (flock(line.fd_, LOCK_EX | LOCK_NB) != 0) deviceFailed(path, errno);
  if (ioctl(line.fd_, TIOCEXCL) != 0) deviceFailed(path, errno);
  line.exclusive_ = true;
  if (!makeRaw(line.fd_)) {
    throw LineError("cannot set " + path + " to 19200 bit/s 8N1: " + std::strerror(errno));
  }
  return line;
}

Line::Line(Line&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      slaveFd_(std::exchange(other.slaveFd_, -1)),
      exclusive_(std::exchange(other.exclusive_, false)),
      path_(std::move(other.path_)),
      link_(std::exchange(other.link_, std::string())) {}

Line::~Line() { close(); }

int Line::unreadByClient() const {
  int count = 0;
  const int result =
      slaveFd_ >= 0 ? ioctl(slaveFd_, FIONREAD, &count) : ioctl(fd_, TIOCOUTQ, &count);
  return result == 0 ? count : 0;
}

void Line::close() {
  if (!link_.empty() && readLink(link_) == path_) unlink(link_.c_str());
  link_.clear();
  if (fd_ >= 0) {
    if (exclusive_) ioctl(fd_, TIOCNXCL);  // the flag outlives the descriptor otherwise
    ::close(fd_);
  }
  if (slaveFd_ >= 0) ::close(slaveFd_);
  fd_ = slaveFd_ = -1;
}

}  // namespace board
