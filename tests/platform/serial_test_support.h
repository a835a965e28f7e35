// Helpers for the serial-driver tests: an OVERLAPPED with its own event, waiting on predicates,
// and the two backends of the conformance suite (a virtual cable and a pseudo-terminal pair).
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>
#include <win32/win32.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "serial/virtual_cable.h"

namespace serial_test {

using namespace std::chrono_literals;

template <class Predicate>
bool WaitUntil(Predicate predicate, std::chrono::milliseconds timeout = 10s) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!predicate()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

// An OVERLAPPED record with a manual-reset event, as the component's workers use.
struct Overlapped {
  OVERLAPPED ov{};
  Overlapped() { ov.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr); }
  ~Overlapped() { CloseHandle(ov.hEvent); }
  Overlapped(const Overlapped&) = delete;
  Overlapped& operator=(const Overlapped&) = delete;
  OVERLAPPED* P() { return &ov; }
  bool Signalled(DWORD ms = 0) { return WaitForSingleObject(ov.hEvent, ms) == WAIT_OBJECT_0; }
};

inline std::string UniqueName(const char* prefix) {
  static std::atomic<int> counter{0};
  return std::string(prefix) + "-" + std::to_string(::getpid()) + "-" + std::to_string(++counter);
}

inline HANDLE OpenDevice(const std::string& path) {
  return CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                     FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL, nullptr);
}

inline DWORD InQueue(HANDLE h) {
  COMSTAT stat{};
  DWORD errors = 0;
  return ClearCommError(h, &errors, &stat) ? stat.cbInQue : 0xFFFFFFFF;
}

// The far side of the device under test.
class Peer {
 public:
  virtual ~Peer() = default;
  virtual std::string Path() const = 0;
  virtual void Write(const std::string& bytes) = 0;
  virtual std::string ReadExactly(std::size_t n, std::chrono::milliseconds timeout) = 0;
  virtual void HangUp() = 0;
  virtual void StopReceiving() {}
  virtual bool HasModemLines() const = 0;
};

class VirtualPeer : public Peer {
 public:
  VirtualPeer() : cable_(UniqueName("conformance")) {}
  std::string Path() const override { return cable_.NearPath(); }
  void Write(const std::string& bytes) override { cable_.Write(bytes); }
  std::string ReadExactly(std::size_t n, std::chrono::milliseconds timeout) override {
    return cable_.ReadExactly(n, timeout);
  }
  void HangUp() override { cable_.HangUp(); }
  void StopReceiving() override { cable_.SetReceiving(false); }
  bool HasModemLines() const override { return true; }
  serial::VirtualCable& Cable() { return cable_; }

 private:
  serial::VirtualCable cable_;
};

// A pseudo-terminal pair: the device under test opens the slave, the test plays the master.
class PtyPeer : public Peer {
 public:
  PtyPeer() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return;
    termios raw{};
    ::tcgetattr(master_, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(master_, TCSANOW, &raw);
    path_ = ::ptsname(master_);
  }
  ~PtyPeer() override {
    if (master_ >= 0) ::close(master_);
  }
  std::string Path() const override { return path_; }
  void Write(const std::string& bytes) override {
    std::size_t done = 0;
    auto deadline = std::chrono::steady_clock::now() + 10s;
    while (done < bytes.size() && std::chrono::steady_clock::now() < deadline) {
      ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
      if (n > 0) {
        done += static_cast<std::size_t>(n);
      } else {
        pollfd fd{master_, POLLOUT, 0};
        ::poll(&fd, 1, 100);
      }
    }
  }
  std::string ReadExactly(std::size_t n, std::chrono::milliseconds timeout) override {
    std::string got;
    auto deadline = std::chrono::steady_clock::now() + timeout;
    char buffer[65536];
    while (got.size() < n && std::chrono::steady_clock::now() < deadline) {
      pollfd fd{master_, POLLIN, 0};
      ::poll(&fd, 1, 50);
      ssize_t count = ::read(master_, buffer, std::min(sizeof buffer, n - got.size()));
      if (count > 0) got.append(buffer, static_cast<std::size_t>(count));
    }
    return got;
  }
  void HangUp() override {
    ::close(master_);
    master_ = -1;
  }
  bool HasModemLines() const override { return false; }

 private:
  int master_ = -1;
  std::string path_;
};

}  // namespace serial_test
