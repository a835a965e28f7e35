#include "worker_support.h"

#include <fcntl.h>
#include <framework/thread.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <stdexcept>
#include <thread>

namespace workertest {

bool WaitUntil(const std::function<bool()>& done, Ms timeout) {
  const auto deadline = Clock::now() + timeout;
  while (!done()) {
    if (Clock::now() >= deadline) return done();
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return true;
}

double MillisSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

CablePort::CablePort(const std::string& prefix)
    : Cable(UniqueCableName(prefix)),
      Route(ComNumber, Cable.NearPath()),
      Port(std::make_unique<TCommPort>(nullptr)) {
  Port->SetComNumber(ComNumber);
}

CablePort::~CablePort() {
  // The handlers capture the test's locals, which are gone by now: the close must not call them.
  TCommPort& port = *Port;
  for (TNotifyEvent* slot : {&port.OnCTSSignal, &port.OnDCDSignal, &port.OnDSRSignal,
                             &port.OnRxDSignal, &port.OnRxEventSignal, &port.OnTxDSignal,
                             &port.OnRingSignal, &port.OnBreakSignal, &port.OnClose})
    slot->Clear();
  port.OnErrorSignal.Clear();
  port.OnDataReceived.Clear();
  port.OnOpen.Clear();
  port.SetOpen(false);
  Port.reset();
}

bool CablePort::Open() {
  Port->SetOpen(true);
  return Port->GetOpen();
}

PtyPair::PtyPair() {
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
    throw std::runtime_error("no pseudo-terminal");
  slavePath_ = ptsname(master_);
  slaveKeeper_ = open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  termios t{};
  tcgetattr(master_, &t);
  cfmakeraw(&t);
  tcsetattr(master_, TCSANOW, &t);
  fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
}

PtyPair::~PtyPair() {
  if (slaveKeeper_ >= 0) close(slaveKeeper_);
  if (master_ >= 0) close(master_);
}

bool PtyPair::WriteAll(const void* data, std::size_t n) {
  const auto* p = static_cast<const char*>(data);
  while (n > 0) {
    const ssize_t w = write(master_, p, n);
    if (w > 0) {
      p += w;
      n -= static_cast<std::size_t>(w);
      continue;
    }
    if (w < 0 && errno != EAGAIN && errno != EINTR) return false;
    pollfd pfd{master_, POLLOUT, 0};
    poll(&pfd, 1, 100);
  }
  return true;
}

std::size_t PtyPair::Read(void* data, std::size_t n, Ms timeout) {
  pollfd pfd{master_, POLLIN, 0};
  if (poll(&pfd, 1, static_cast<int>(timeout.count())) <= 0) return 0;
  const ssize_t r = read(master_, data, n);
  return r > 0 ? static_cast<std::size_t>(r) : 0;
}

}  // namespace workertest
