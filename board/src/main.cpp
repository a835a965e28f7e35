// SPDX-License-Identifier: MIT
// zelvane-board: the controller board in software, served on a pseudo-terminal or a real tty.
// See usageText() in options.cpp and the README for the command line.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "line.h"
#include "log.h"
#include "options.h"
#include "server.h"

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

int stopPipe[2] = {-1, -1};

extern "C" void onStopSignal(int signal) {
  const int saved = errno;
  const char byte = static_cast<char>(signal);
  [[maybe_unused]] const ssize_t n = write(stopPipe[1], &byte, 1);
  errno = saved;
}

bool setUpSignals() {
  if (pipe(stopPipe) != 0) return false;
  for (int fd : stopPipe) {
    fcntl(fd, F_SETFL, O_NONBLOCK);
    fcntl(fd, F_SETFD, FD_CLOEXEC);
  }
  struct sigaction stop {};
  stop.sa_handler = onStopSignal;
  sigemptyset(&stop.sa_mask);
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  return sigaction(SIGINT, &stop, nullptr) == 0 && sigaction(SIGTERM, &stop, nullptr) == 0 &&
         sigaction(SIGHUP, &stop, nullptr) == 0 && sigaction(SIGPIPE, &ignore, nullptr) == 0;
}

int openLog(const std::string& file) {
  if (file.empty()) return STDERR_FILENO;
  return open(file.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
}

int fail(const std::string& message, int status) {
  std::fprintf(stderr, "zelvane-board: %s\n", message.c_str());
  return status;
}

std::string describe(const board::Options& o) {
  std::string text = "serving " + o.device + " at 19200 bit/s 8N1, seed " + std::to_string(o.seed);
  text += ", loads on:";
  for (int i = 0; i < 4; ++i) text += o.loadsOn[i] ? " " + std::to_string(i + 1) : "";
  text += ", thermometers:";
  for (int i = 0; i < 4; ++i) text += o.sensorsPresent[i] ? " " + std::to_string(i + 1) : "";
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  board::Options options;
  try {
    options = board::parseOptions(argc, argv);
  } catch (const board::UsageError& e) {
    return fail(std::string(e.what()) + "\nTry 'zelvane-board --help'.", kExitUsage);
  }
  if (options.help) {
    std::fputs(board::usageText().c_str(), stdout);
    return 0;
  }
  const int logFd = openLog(options.logFile);
  if (logFd < 0) {
    return fail("cannot write the log file " + options.logFile + ": " + std::strerror(errno),
                kExitFailure);
  }
  if (!setUpSignals()) return fail(std::string("signals: ") + std::strerror(errno), kExitFailure);
  try {
    board::Line line = options.mode == board::Options::Mode::Pty
                           ? board::Line::openPty(options.link)
                           : board::Line::openDevice(options.device);
    std::printf("%s\n", line.path().c_str());
    std::fflush(stdout);
    board::Log log(logFd);
    options.device = line.path();
    log.note(describe(options));
    return board::Server(options, line, log, stopPipe[0]).run();
  } catch (const board::LineError& e) {
    return fail(e.what(), kExitFailure);
  }
}
