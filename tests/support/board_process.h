// SPDX-License-Identifier: MIT
// Runs a real program of the project for tests and benchmarks (the zelvane-board simulator, or
// zelvane itself), and talks to the simulator from the client side of its line. BoardProcess
// starts a program (standard error to a file; the environment is the caller's), reads its first
// output line (the simulator's line path), signals it and collects its exit status; Client opens
// a tty raw and sends and receives bytes with time-outs. Header only. Used from one thread.
#pragma once

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace board_test {

using Clock = std::chrono::steady_clock;
inline constexpr auto kPatience = std::chrono::seconds(10);

inline int remainingMs(Clock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left < 0 ? 0 : static_cast<int>(left);
}

class BoardProcess {
 public:
  // Starts the board with args; its standard error goes to errorFile. With runAs set, the child
  // takes that user id first (to see the board refused access as an ordinary user).
  BoardProcess(const std::string& binary, const std::vector<std::string>& args,
               std::string errorFile, std::optional<uid_t> runAs = std::nullopt)
      : errorFile_(std::move(errorFile)) {
    int out[2];
    if (pipe(out) != 0) throw std::runtime_error("pipe failed");
    pid_ = fork();
    if (pid_ == 0) {
      dup2(out[1], STDOUT_FILENO);
      const int err = open(errorFile_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      dup2(err, STDERR_FILENO);
      if (runAs && (setgroups(0, nullptr) != 0 || setgid(*runAs) != 0 || setuid(*runAs) != 0)) {
        _exit(126);
      }
      std::vector<char*> argv{const_cast<char*>(binary.c_str())};
      for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execv(binary.c_str(), argv.data());
      _exit(127);
    }
    close(out[1]);
    out_ = out[0];
  }
  ~BoardProcess() {
    if (!status_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    close(out_);
  }
  BoardProcess(const BoardProcess&) = delete;
  BoardProcess& operator=(const BoardProcess&) = delete;

  pid_t pid() const { return pid_; }

  // The first line of standard output (the line's path), "" if none comes in time.
  std::string firstLine() {
    std::string line;
    const auto deadline = Clock::now() + kPatience;
    char c;
    while (true) {
      pollfd p{out_, POLLIN, 0};
      if (poll(&p, 1, remainingMs(deadline)) <= 0 || read(out_, &c, 1) != 1) return "";
      if (c == '\n') return line;
      line += c;
    }
  }

  void signal(int number) { kill(pid_, number); }

  // The exit status (or 128 + signal); -1 if it has not ended in time.
  int exitStatus() {
    const auto deadline = Clock::now() + kPatience;
    while (!status_ && Clock::now() < deadline) {
      int raw = 0;
      if (waitpid(pid_, &raw, WNOHANG) == pid_) {
        status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
      } else {
        usleep(5000);
      }
    }
    return status_.value_or(-1);
  }

  std::string errorText() const {
    std::ifstream file(errorFile_);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
  }

 private:
  std::string errorFile_;
  pid_t pid_ = -1;
  int out_ = -1;
  std::optional<int> status_;
};

// The client end of a line: a tty opened raw and non-blocking.
class Client {
 public:
  explicit Client(const std::string& path)
      : fd_(open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK)) {
    if (fd_ < 0) throw std::runtime_error("cannot open " + path);
    termios mode{};
    tcgetattr(fd_, &mode);
    cfmakeraw(&mode);
    tcsetattr(fd_, TCSANOW, &mode);
  }
  explicit Client(int fd) : fd_(fd) {}
  ~Client() { close(fd_); }
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

  int fd() const { return fd_; }

  void send(const std::string& bytes) {
    if (write(fd_, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
      throw std::runtime_error("write failed");
    }
  }

  // Exactly count bytes, or fewer if they do not come in time.
  std::string receive(std::size_t count) {
    std::string bytes;
    const auto deadline = Clock::now() + kPatience;
    while (bytes.size() < count) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, remainingMs(deadline)) <= 0) break;
      char buffer[256];
      const ssize_t n = read(fd_, buffer, std::min(sizeof buffer, count - bytes.size()));
      if (n <= 0) break;
      bytes.append(buffer, static_cast<std::size_t>(n));
    }
    return bytes;
  }

  std::string exchange(const std::string& command, std::size_t replyBytes) {
    send(command);
    return receive(replyBytes);
  }

  // True once the other end has hung up (poll reports POLLHUP).
  bool hangsUp() {
    pollfd p{fd_, POLLIN, 0};
    return poll(&p, 1, static_cast<int>(std::chrono::milliseconds(kPatience).count())) > 0 &&
           (p.revents & POLLHUP);
  }

 private:
  int fd_;
};

}  // namespace board_test
