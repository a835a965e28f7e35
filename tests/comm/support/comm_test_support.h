// Helpers shared by the Comm test suites: a message-box recorder, and the helpers of every suite
// (tests/support: waiting and pumping, the pseudo-terminal pair, COMM_PORT_<n> routes, unique
// cable names) under the names the Comm tests use.
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "environment.h"
#include "pty_pair.h"
#include "wait.h"

namespace commtest {

// Records every message box of the application object instead of showing it, and answers
// IDOK. Restores the previous presenter when it goes away.
class MessageBoxRecorder {
 public:
  struct Box {
    std::string Text;
    std::string Caption;
    unsigned Flags;
  };

  MessageBoxRecorder();
  ~MessageBoxRecorder();
  MessageBoxRecorder(const MessageBoxRecorder&) = delete;
  MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

  std::vector<Box> Boxes() const;
  std::vector<std::string> Texts() const;
  std::size_t Count() const;
  void Clear();
  // Called for each box after it has been recorded, on the thread that showed it.
  void OnBox(std::function<void(const Box&)> Callback);

 private:
  mutable std::mutex Mutex;
  std::vector<Box> Recorded;
  std::function<void(const Box&)> Callback;
  std::function<int(const std::string&, const std::string&, unsigned)> Previous;
};

// Waiting, the pty pair, COMM_PORT_<n> routes and unique names are the shared ones.
using testsupport::PtyPair;
using testsupport::PumpUntil;
using testsupport::ScopedPortEnv;
using testsupport::UniqueName;
using testsupport::WaitUntil;

}  // namespace commtest
