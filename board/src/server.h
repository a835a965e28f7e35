// SPDX-License-Identifier: MIT
// The simulator's event loop: one poll() on the line and on a signal pipe, with a time-out only
// while something is scheduled (a reply piece, unasked bytes, the hang-up, a lone first byte's
// expiry), so an idle board costs nothing. Replies go out in the order of the commands, each
// after the previous one, at the times the fault plan gives; with a USB latency timer, in the
// pieces such an adapter hands on at its ticks. A hang-up waits until the client has
// read what was sent before it (a pty hang-up discards unread input), for at most two seconds.
// Single-threaded.
#pragma once

#include <chrono>
#include <deque>
#include <optional>
#include <string>

#include "board.h"
#include "faults.h"
#include "line.h"
#include "log.h"
#include "options.h"

namespace board {

class Server {
 public:
  // signalFd becomes readable when the simulator is asked to stop.
  Server(const Options& options, Line& line, Log& log, int signalFd);

  // Serves until a stop signal (0), the hang-up asked for (0) or a line failure (1).
  int run();

 private:
  using Clock = std::chrono::steady_clock;

  struct Scheduled {
    Clock::time_point due;
    std::string bytes;
    bool hangUp;
  };

  int pollTimeoutMs(Clock::time_point now) const;
  bool receive();
  void take(char byte, Clock::time_point now);
  void answer(const std::string& command, Clock::time_point now);
  void schedule(Clock::time_point due, std::string bytes, bool hangUp);
  void scheduleThroughAdapter(Clock::time_point due, const std::string& bytes);
  bool releaseDue(Clock::time_point now);  // false once the hang-up is due
  bool readyToHangUp(Clock::time_point now) const;
  bool flushOutput();
  void dropLoneByte();

  const Options& options_;
  Line& line_;
  Log& log_;
  int signalFd_;
  Board board_;
  Recogniser recogniser_;
  FaultPlanner faults_;
  std::deque<Scheduled> timeline_;
  Clock::time_point lastDue_{};
  const Clock::time_point adapterEpoch_ = Clock::now();  // the latency timer's first tick
  Clock::time_point wireFree_{};  // when the last byte sent has crossed the wire
  std::string output_;            // bytes due that the line has not taken yet
  Clock::time_point lastWrite_{};
  std::optional<Clock::time_point> loneByteDeadline_;
  unsigned commands_ = 0;
  bool hangUpScheduled_ = false;
};

}  // namespace board
