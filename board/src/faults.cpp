// SPDX-License-Identifier: MIT
#include "faults.h"

#include <algorithm>

namespace board {
namespace {

void appendFault(std::string& faults, const std::string& what) {
  faults += faults.empty() ? what : ", " + what;
}

}  // namespace

FaultPlanner::FaultPlanner(std::vector<FaultRule> rules, std::uint64_t seed)
    : rules_(std::move(rules)), chances_(seed ^ 0xC4A7CE5), garbage_(seed ^ 0x6A4BA6E) {}

bool FaultPlanner::selects(const Selector& when, const std::string& command) {
  if (!when.command.empty() && when.command != command) return false;
  const std::uint64_t n = when.command.empty() ? total_ : perCommand_[command];
  if (!when.ranges.empty() &&
      std::none_of(when.ranges.begin(), when.ranges.end(),
                   [n](const Selector::Range& r) { return n >= r.first && n <= r.last; })) {
    return false;
  }
  return when.percent >= 100 || chances_.chance(when.percent);
}

std::map<FaultKind, const FaultRule*> FaultPlanner::chooseRules(const std::string& command) {
  ++total_;
  ++perCommand_[command];
  std::map<FaultKind, const FaultRule*> chosen;
  for (const FaultRule& rule : rules_) {
    if (selects(rule.when, command)) chosen[rule.kind] = &rule;  // a later rule wins
  }
  return chosen;
}

std::string FaultPlanner::shapeContent(const std::map<FaultKind, const FaultRule*>& rules,
                                       std::string reply, std::string& faults) {
  if (auto r = rules.find(FaultKind::Reply); r != rules.end()) {
    reply = r->second->bytes;
    appendFault(faults, "reply replaced");
  } else if (auto g = rules.find(FaultKind::Garbage); g != rules.end()) {
    reply.clear();
    for (unsigned i = 0; i < g->second->number; ++i) {
      reply += static_cast<char>(garbage_.below(256));
    }
    appendFault(faults, "garbage");
  }
  if (auto l = rules.find(FaultKind::LongReply); l != rules.end()) {
    if (reply.size() < l->second->number) reply.resize(l->second->number, '#');
    appendFault(faults, "long reply");
  }
  if (auto z = rules.find(FaultKind::ZeroByte); z != rules.end()) {
    const std::size_t position = z->second->number;
    if (position < reply.size()) {
      reply[position] = '\0';
    } else {
      reply += '\0';
    }
    appendFault(faults, "zero byte");
  }
  return reply;
}

ReplyPlan FaultPlanner::plan(const std::string& command, std::string reply) {
  const auto rules = chooseRules(command);
  ReplyPlan plan;
  reply = shapeContent(rules, std::move(reply), plan.faults);

  const auto delay = rules.find(FaultKind::Delay);
  unsigned wait = delay == rules.end() ? 0 : delay->second->number;
  if (delay != rules.end()) appendFault(plan.faults, "delayed");

  if (rules.count(FaultKind::Silent)) {
    appendFault(plan.faults, "silent");
  } else if (const auto split = rules.find(FaultKind::Split); split != rules.end()) {
    appendFault(plan.faults, "split");
    for (std::size_t at = 0; at < reply.size(); at += split->second->number) {
      plan.transmissions.push_back({wait, reply.substr(at, split->second->number), false});
      wait = split->second->gapMs;
    }
  } else if (!reply.empty()) {
    plan.transmissions.push_back({wait, reply, false});
  }

  if (const auto unasked = rules.find(FaultKind::Unasked); unasked != rules.end()) {
    appendFault(plan.faults, "unasked bytes follow");
    plan.transmissions.push_back({unasked->second->gapMs, unasked->second->bytes, true});
  }
  return plan;
}

}  // namespace board
