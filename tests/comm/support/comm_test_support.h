// Helpers shared by the Comm test suites: a message-box recorder, a main-thread pump, a
// pseudo-terminal pair, a COMM_PORT_<n> setter and unique virtual cable names.
#pragma once

#include <termios.h>

#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

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

// Runs the main thread's queued synchronised calls (CheckSynchronize(10) in a loop) until the
// predicate holds or the time-out passes. Returns the predicate's last value.
bool PumpUntil(const std::function<bool()>& Predicate,
               std::chrono::milliseconds Timeout = std::chrono::seconds(10));

// Sets COMM_PORT_<n> for the lifetime of the object; the previous value (or its absence)
// comes back afterwards.
class ScopedPortEnv {
 public:
  ScopedPortEnv(int Number, const std::string& Path);
  ~ScopedPortEnv();
  ScopedPortEnv(const ScopedPortEnv&) = delete;
  ScopedPortEnv& operator=(const ScopedPortEnv&) = delete;

 private:
  std::string Name;
  std::optional<std::string> Old;
};

// A pseudo-terminal pair: the test holds the master; the slave path is given to the port.
class PtyPair {
 public:
  PtyPair();
  ~PtyPair();
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  int Master() const { return MasterFd; }
  const std::string& SlavePath() const { return Slave; }
  // The slave's current line settings (read through the master, which reports the slave's).
  termios SlaveTermios() const;
  // Writes bytes from the master (they arrive at the slave).
  void Write(const std::string& Bytes) const;
  // Reads from the master until n bytes arrived or the time-out passed.
  std::string ReadExactly(std::size_t n, std::chrono::milliseconds Timeout) const;
  // Closes the master: the port holding the slave sees the far end hang up.
  void HangUp();

 private:
  int MasterFd = -1;
  std::string Slave;
};

// A cable name no other test of this process uses.
std::string UniqueCableName(const std::string& Prefix);

}  // namespace commtest
