// SPDX-License-Identifier: MIT
// The pseudo-terminal pair the Comm benchmarks run over: the benchmark owns the master (the far
// end); the port under test opens the slave. Used from one thread at a time.
#pragma once

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <stdexcept>
#include <string>

namespace bench {

// Raw mode with reads that return at once (VMIN = VTIME = 0).
inline void MakeRaw(int fd) {
  termios t{};
  tcgetattr(fd, &t);
  cfmakeraw(&t);
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  tcsetattr(fd, TCSANOW, &t);
}

// A spare slave descriptor keeps the master from seeing a hang-up while no port holds the slave.
struct Pty {
  int master = -1, keeper = -1;
  std::string slave;
  explicit Pty(bool nonBlockingMaster = true) {
    master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) || unlockpt(master)) throw std::runtime_error("no pty");
    slave = ptsname(master);
    keeper = open(slave.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    MakeRaw(master);
    if (nonBlockingMaster) fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
  }
  ~Pty() {
    close(keeper);
    close(master);
  }
  Pty(const Pty&) = delete;
  Pty& operator=(const Pty&) = delete;
};

}  // namespace bench
