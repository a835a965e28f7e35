#include "comm_test_support.h"

#include <fcntl.h>
#include <framework/application.h>
#include <framework/thread.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <stdexcept>
#include <thread>

namespace commtest {

MessageBoxRecorder::MessageBoxRecorder() {
  Previous = Application->SetMessageBoxPresenter(
      [this](const std::string& Text, const std::string& Caption, unsigned Flags) {
        Box Shown{Text, Caption, Flags};
        std::function<void(const Box&)> Call;
        {
          std::lock_guard<std::mutex> Lock(Mutex);
          Recorded.push_back(Shown);
          Call = Callback;
        }
        if (Call) Call(Shown);
        return IDOK;
      });
}

MessageBoxRecorder::~MessageBoxRecorder() { Application->SetMessageBoxPresenter(Previous); }

std::vector<MessageBoxRecorder::Box> MessageBoxRecorder::Boxes() const {
  std::lock_guard<std::mutex> Lock(Mutex);
  return Recorded;
}

std::vector<std::string> MessageBoxRecorder::Texts() const {
  std::vector<std::string> Result;
  for (const Box& Shown : Boxes()) Result.push_back(Shown.Text);
  return Result;
}

std::size_t MessageBoxRecorder::Count() const {
  std::lock_guard<std::mutex> Lock(Mutex);
  return Recorded.size();
}

void MessageBoxRecorder::Clear() {
  std::lock_guard<std::mutex> Lock(Mutex);
  Recorded.clear();
}

void MessageBoxRecorder::OnBox(std::function<void(const Box&)> NewCallback) {
  std::lock_guard<std::mutex> Lock(Mutex);
  Callback = std::move(NewCallback);
}

bool PumpUntil(const std::function<bool()>& Predicate, std::chrono::milliseconds Timeout) {
  const auto Deadline = std::chrono::steady_clock::now() + Timeout;
  while (!Predicate()) {
    if (std::chrono::steady_clock::now() >= Deadline) return Predicate();
    CheckSynchronize(10);
  }
  return true;
}

ScopedPortEnv::ScopedPortEnv(int Number, const std::string& Path)
    : Name("COMM_PORT_" + std::to_string(Number)) {
  if (const char* Value = getenv(Name.c_str())) Old = Value;
  setenv(Name.c_str(), Path.c_str(), 1);
}

ScopedPortEnv::~ScopedPortEnv() {
  if (Old)
    setenv(Name.c_str(), Old->c_str(), 1);
  else
    unsetenv(Name.c_str());
}

PtyPair::PtyPair() {
  MasterFd = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (MasterFd < 0 || grantpt(MasterFd) != 0 || unlockpt(MasterFd) != 0)
    throw std::runtime_error("cannot create a pseudo-terminal pair");
  char Name[128];
  if (ptsname_r(MasterFd, Name, sizeof(Name)) != 0)
    throw std::runtime_error("cannot name the pseudo-terminal slave");
  Slave = Name;
}

PtyPair::~PtyPair() {
  if (MasterFd >= 0) close(MasterFd);
}

void PtyPair::HangUp() {
  if (MasterFd >= 0) close(MasterFd);
  MasterFd = -1;
}

termios PtyPair::SlaveTermios() const {
  termios Settings{};
  if (tcgetattr(MasterFd, &Settings) != 0) throw std::runtime_error("tcgetattr failed");
  return Settings;
}

void PtyPair::Write(const std::string& Bytes) const {
  std::size_t Done = 0;
  while (Done < Bytes.size()) {
    const ssize_t n = write(MasterFd, Bytes.data() + Done, Bytes.size() - Done);
    if (n < 0) throw std::runtime_error("write to the pseudo-terminal master failed");
    Done += static_cast<std::size_t>(n);
  }
}

std::string PtyPair::ReadExactly(std::size_t n, std::chrono::milliseconds Timeout) const {
  std::string Result;
  const auto Deadline = std::chrono::steady_clock::now() + Timeout;
  while (Result.size() < n) {
    const auto Left = std::chrono::duration_cast<std::chrono::milliseconds>(
        Deadline - std::chrono::steady_clock::now());
    if (Left.count() <= 0) break;
    pollfd Poll{MasterFd, POLLIN, 0};
    if (poll(&Poll, 1, static_cast<int>(Left.count())) <= 0) continue;
    char Buffer[4096];
    const ssize_t Got = read(MasterFd, Buffer, std::min(sizeof(Buffer), n - Result.size()));
    if (Got > 0) Result.append(Buffer, static_cast<std::size_t>(Got));
  }
  return Result;
}

std::string UniqueCableName(const std::string& Prefix) {
  static std::atomic<int> Counter{0};
  return Prefix + "-" + std::to_string(getpid()) + "-" + std::to_string(++Counter);
}

}  // namespace commtest
