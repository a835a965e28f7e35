// SPDX-License-Identifier: MIT
#include "pty_pair.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

namespace testsupport {

using Clock = std::chrono::steady_clock;

PtyPair::PtyPair() {
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  char name[128] = {};
  if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0 ||
      ptsname_r(master_, name, sizeof name) != 0) {
    if (master_ >= 0) close(master_);
    throw std::runtime_error("cannot create a pseudo-terminal pair");
  }
  slavePath_ = name;
  slave_ = open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  termios raw{};
  if (slave_ < 0 || tcgetattr(slave_, &raw) != 0) {
    close(master_);
    throw std::runtime_error("cannot open the pseudo-terminal slave " + slavePath_);
  }
  cfmakeraw(&raw);
  tcsetattr(slave_, TCSANOW, &raw);
}

PtyPair::~PtyPair() { HangUp(); }

termios PtyPair::SlaveTermios() const {
  termios modes{};
  if (tcgetattr(slave_ >= 0 ? slave_ : master_, &modes) != 0)
    throw std::runtime_error("cannot read the modes of " + slavePath_);
  return modes;
}

bool PtyPair::Write(const void* data, std::size_t n) {
  const auto* bytes = static_cast<const char*>(data);
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  while (n > 0) {
    const ssize_t written = write(master_, bytes, n);
    if (written > 0) {
      bytes += written;
      n -= static_cast<std::size_t>(written);
      continue;
    }
    if ((written < 0 && errno != EAGAIN && errno != EINTR) || Clock::now() > deadline) return false;
    pollfd room{master_, POLLOUT, 0};
    poll(&room, 1, 100);
  }
  return true;
}

std::size_t PtyPair::Read(void* data, std::size_t n, std::chrono::milliseconds timeout) {
  pollfd ready{master_, POLLIN, 0};
  if (poll(&ready, 1, static_cast<int>(timeout.count())) <= 0) return 0;
  const ssize_t got = read(master_, data, n);
  return got > 0 ? static_cast<std::size_t>(got) : 0;
}

std::string PtyPair::ReadExactly(std::size_t n, std::chrono::milliseconds timeout) {
  std::string result;
  const auto deadline = Clock::now() + timeout;
  char buffer[4096];
  while (result.size() < n && Clock::now() < deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    result.append(buffer, Read(buffer, std::min(sizeof buffer, n - result.size()), left));
  }
  return result;
}

void PtyPair::HangUp() {
  if (master_ >= 0) close(master_);
  if (slave_ >= 0) close(slave_);
  master_ = slave_ = -1;
}

}  // namespace testsupport
