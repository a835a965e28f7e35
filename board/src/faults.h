// SPDX-License-Identifier: MIT
// Fault injection: turns the board's reply to one command into what is really sent, and when.
// Rules are chosen per command by their selectors (counted per command and overall, chances
// drawn from the seed); for each kind the last rule given that selects the command applies.
// Single-threaded.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "options.h"
#include "rng.h"

namespace board {

struct Transmission {
  unsigned afterMs;   // wait after the previous transmission (or after the command)
  std::string bytes;  // sent in one write
  bool unasked;
};

struct ReplyPlan {
  std::vector<Transmission> transmissions;  // empty when silent
  std::string faults;                       // the faults applied, for the log ("" if none)
};

class FaultPlanner {
 public:
  FaultPlanner(std::vector<FaultRule> rules, std::uint64_t seed);

  ReplyPlan plan(const std::string& command, std::string reply);

 private:
  // The rule of each kind that applies to this command, if any; counts the command.
  std::map<FaultKind, const FaultRule*> chooseRules(const std::string& command);
  bool selects(const Selector& when, const std::string& command);
  std::string shapeContent(const std::map<FaultKind, const FaultRule*>& rules, std::string reply,
                           std::string& faults);

  std::vector<FaultRule> rules_;
  Rng chances_;
  Rng garbage_;
  std::uint64_t total_ = 0;
  std::map<std::string, std::uint64_t> perCommand_;
};

}  // namespace board
