// SPDX-License-Identifier: MIT
#include "server.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "text.h"

namespace board {
namespace {

constexpr std::size_t kReadChunk = 4096;
// Before a hang-up: written bytes reach the client's queue after a kernel worker has run, so
// an empty queue counts only this long after the last write; a client that does not read at
// all is hung up on after the grace time.
constexpr auto kSettle = std::chrono::milliseconds(50);
constexpr auto kClientGrace = std::chrono::seconds(2);
constexpr auto kHangUpCheck = std::chrono::milliseconds(10);
// One byte on the wire at 19200 bit/s: a start bit, 8 data bits and a stop bit.
constexpr auto kByteTime = std::chrono::microseconds(10'000'000 / 19200);

}  // namespace

Server::Server(const Options& options, Line& line, Log& log, int signalFd)
    : options_(options),
      line_(line),
      log_(log),
      signalFd_(signalFd),
      board_(options),
      faults_(options.faults, options.seed) {}

int Server::pollTimeoutMs(Clock::time_point now) const {
  std::optional<Clock::time_point> wake = loneByteDeadline_;
  // A due hang-up waits for the output to drain, which POLLOUT reports, then for the client.
  if (!timeline_.empty() && (!timeline_.front().hangUp || output_.empty())) {
    Clock::time_point due = timeline_.front().due;
    if (timeline_.front().hangUp && due <= now) due = now + kHangUpCheck;
    wake = wake ? std::min(*wake, due) : due;
  }
  if (!wake) return -1;
  if (*wake <= now) return 0;
  const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*wake - now).count();
  return static_cast<int>(std::min<decltype(wait)>(wait, 24 * 3600 * 1000));
}

int Server::run() {
  for (;;) {
    pollfd fds[2] = {{line_.fd(), static_cast<short>(POLLIN | (output_.empty() ? 0 : POLLOUT)), 0},
                     {signalFd_, POLLIN, 0}};
    const int ready = poll(fds, 2, pollTimeoutMs(Clock::now()));
    if (ready < 0 && errno != EINTR) {
      log_.note(std::string("poll failed: ") + std::strerror(errno));
      return 1;
    }
    if (fds[1].revents & POLLIN) {
      log_.note("stopping on a signal");
      return 0;
    }
    if ((fds[0].revents & (POLLIN | POLLHUP | POLLERR)) && !receive()) return 1;
    const auto now = Clock::now();
    if (loneByteDeadline_ && *loneByteDeadline_ <= now) dropLoneByte();
    const bool hangUpDue = !releaseDue(now);
    if (!flushOutput()) return 1;
    if (hangUpDue && readyToHangUp(now)) {
      log_.note("hanging up after " + std::to_string(options_.hangupAfter) + " commands");
      line_.close();
      return 0;
    }
  }
}

// False when the line has failed or closed.
bool Server::receive() {
  char buffer[kReadChunk];
  const ssize_t n = read(line_.fd(), buffer, sizeof buffer);
  if (n < 0 && (errno == EAGAIN || errno == EINTR)) return true;
  if (n <= 0) {
    log_.note(n == 0 ? "the line was closed"
                     : std::string("reading failed: ") + std::strerror(errno));
    return false;
  }
  log_.received({buffer, static_cast<std::size_t>(n)});
  const auto now = Clock::now();
  for (ssize_t i = 0; i < n; ++i) take(buffer[i], now);
  return true;
}

void Server::take(char byte, Clock::time_point now) {
  std::vector<Recogniser::Event> events;
  recogniser_.push(byte, events);
  for (const auto& event : events) {
    switch (event.kind) {
      case Recogniser::Event::Kind::Command:
        answer(event.bytes, now);
        break;
      case Recogniser::Event::Kind::Stray:
        log_.note("dropped stray byte |" + decodeForLog(event.bytes) + "|");
        break;
      case Recogniser::Event::Kind::Unknown:
        log_.note("unknown command |" + decodeForLog(event.bytes) + "|: dropped |" +
                  decodeForLog(event.bytes.substr(0, 1)) + "|");
        break;
    }
  }
  loneByteDeadline_.reset();
  if (recogniser_.waitingForSecondByte() && options_.byteTimeoutMs > 0) {
    loneByteDeadline_ = now + std::chrono::milliseconds(options_.byteTimeoutMs);
  }
}

void Server::answer(const std::string& command, Clock::time_point now) {
  ++commands_;
  if (hangUpScheduled_) {
    log_.note(command + ": not answered, the line is about to hang up");
    return;
  }
  std::string note;
  std::string reply = board_.reply(command, note);
  const ReplyPlan plan = faults_.plan(command, std::move(reply));
  log_.note(command + " (command " + std::to_string(commands_) + "): " + note +
            (plan.faults.empty() ? "" : " [" + plan.faults + "]"));
  Clock::time_point due = std::max(now, lastDue_);
  for (const Transmission& t : plan.transmissions) {
    due += std::chrono::milliseconds(t.afterMs);
    schedule(due, t.bytes, false);
  }
  if (commands_ == options_.hangupAfter) {
    schedule(std::max(due, lastDue_), {}, true);
    hangUpScheduled_ = true;
  }
}

void Server::schedule(Clock::time_point due, std::string bytes, bool hangUp) {
  if (options_.usbLatencyMs > 0 && !hangUp) {
    scheduleThroughAdapter(due, bytes);
    return;
  }
  timeline_.push_back({due, std::move(bytes), hangUp});
  lastDue_ = due;
}

// A USB serial adapter collects what crosses the wire and hands it to the host at the ticks of
// its latency timer, so a reply reaches the host in pieces: those bytes whose stop bit has
// passed by each tick. Ticks run from the simulator's start, every usbLatencyMs.
void Server::scheduleThroughAdapter(Clock::time_point due, const std::string& bytes) {
  const auto period = std::chrono::milliseconds(options_.usbLatencyMs);
  const auto nextTick = [&](Clock::time_point t) {
    const auto ticks = (t - adapterEpoch_ + period - Clock::duration(1)) / period;
    return adapterEpoch_ + ticks * period;
  };
  Clock::time_point onWire = std::max(due, wireFree_);
  for (char byte : bytes) {
    onWire += kByteTime;
    const Clock::time_point delivered = nextTick(onWire);
    if (!timeline_.empty() && !timeline_.back().hangUp && timeline_.back().due == delivered) {
      timeline_.back().bytes += byte;
    } else {
      timeline_.push_back({delivered, std::string(1, byte), false});
    }
    lastDue_ = delivered;
  }
  wireFree_ = onWire;
}

bool Server::releaseDue(Clock::time_point now) {
  while (!timeline_.empty() && timeline_.front().due <= now) {
    if (timeline_.front().hangUp) return false;
    output_ += timeline_.front().bytes;
    timeline_.pop_front();
  }
  return true;
}

bool Server::readyToHangUp(Clock::time_point now) const {
  if (!output_.empty() || now - lastWrite_ < kSettle) return false;
  const auto due = std::max(timeline_.front().due, lastWrite_);
  return line_.unreadByClient() == 0 || now - due >= kClientGrace;
}

// Writes what the line takes now; false when the line has failed.
bool Server::flushOutput() {
  while (!output_.empty()) {
    const ssize_t n = write(line_.fd(), output_.data(), output_.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) return true;  // the reader is behind: POLLOUT tells when
    if (n < 0) {
      log_.note(std::string("writing failed: ") + std::strerror(errno));
      return false;
    }
    lastWrite_ = Clock::now();
    log_.sent(std::string_view(output_).substr(0, static_cast<std::size_t>(n)));
    output_.erase(0, static_cast<std::size_t>(n));
  }
  return true;
}

void Server::dropLoneByte() {
  const std::string lone = recogniser_.dropFirstByte();
  loneByteDeadline_.reset();
  log_.note("dropped lone byte |" + decodeForLog(lone) + "|: no second byte within " +
            std::to_string(options_.byteTimeoutMs) + " ms");
}

}  // namespace board
