// SPDX-License-Identifier: MIT
#include "board.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace board {
namespace {

// Windows-1251 bytes of the board's Russian texts.
constexpr char kOn[] = "\xC2\xCA\xCB";       // "ВКЛ"
constexpr char kOff[] = "\xC2\xDB\xCA\xCB";  // "ВЫКЛ"
constexpr char kAbsent[] = "\xCD\xE5\xF2";   // "Нет"
constexpr int kLowestTenths = -550;          // the range a 5-byte "+dd.d" text can show
constexpr int kHighestTenths = 999;
constexpr int kWanderTenths = 50;  // how far a reading strays from its start

bool canStart(char byte) { return byte == 'A' || byte == 'B'; }

bool completes(char first, char second) {
  if (second >= 'A' && second <= 'D') return true;
  return first == 'B' && second == 'Z';
}

std::array<Rng, 4> sensorGenerators(std::uint64_t seed) {
  return {Rng(seed ^ 0x1111), Rng(seed ^ 0x2222), Rng(seed ^ 0x3333), Rng(seed ^ 0x4444)};
}

}  // namespace

void Recogniser::push(char byte, std::vector<Event>& events) {
  if (!first_.empty()) {
    const char first = first_[0];
    first_.clear();
    if (completes(first, byte)) {
      events.push_back({Event::Kind::Command, std::string{first, byte}});
      return;
    }
    events.push_back({Event::Kind::Unknown, std::string{first, byte}});
  }
  if (canStart(byte)) {
    first_ = std::string(1, byte);
  } else {
    events.push_back({Event::Kind::Stray, std::string(1, byte)});
  }
}

std::string Recogniser::dropFirstByte() {
  std::string lone;
  lone.swap(first_);
  return lone;
}

Board::Board(const Options& options)
    : loadsOn_(options.loadsOn),
      present_(options.sensorsPresent),
      startTenths_{},
      tenths_{},
      drift_(sensorGenerators(options.seed)),
      driftTenths_(static_cast<int>(options.driftTenths)) {
  Rng start(options.seed);
  for (std::size_t i = 0; i < 4; ++i) {
    startTenths_[i] =
        options.startTenths ? (*options.startTenths)[i] : 180 + static_cast<int>(start.below(81));
    tenths_[i] = startTenths_[i];
  }
}

std::string Board::reply(const std::string& command, std::string& note) {
  const int index = command[1] == 'Z' ? -1 : command[1] - 'A';
  if (command[0] == 'A') return switchLoad(index, note);
  if (index < 0) return searchBus(note);
  return readThermometer(index, note);
}

std::string Board::switchLoad(int index, std::string& note) {
  bool& on = loadsOn_[static_cast<std::size_t>(index)];
  on = !on;
  note = "load " + std::to_string(index + 1) + " switched " + (on ? "on" : "off");
  return on ? kOn : kOff;
}

std::string Board::readThermometer(int index, std::string& note) {
  const auto i = static_cast<std::size_t>(index);
  if (!present_[i]) {
    note = "thermometer " + std::to_string(index + 1) + " absent";
    return kAbsent;
  }
  std::string text = formatTenths(tenths_[i]);
  note = "thermometer " + std::to_string(index + 1) + " reads " + text;
  // Wander a little for the next reading, staying near the start and in the showable range.
  const int step = static_cast<int>(drift_[i].below(2u * driftTenths_ + 1)) - driftTenths_;
  int next = tenths_[i] + step;
  if (std::abs(next - startTenths_[i]) > kWanderTenths) next = tenths_[i] - step;
  tenths_[i] = std::clamp(next, kLowestTenths, kHighestTenths);
  return text;
}

std::string Board::searchBus(std::string& note) {
  const auto found = std::count(present_.begin(), present_.end(), true);
  note = "sensor bus search: " + std::to_string(found) + " thermometers";
  return std::to_string(found);
}

std::string formatTenths(int tenths) {
  char text[16];
  std::snprintf(text, sizeof text, "%c%d.%d", tenths < 0 ? '-' : '+', std::abs(tenths) / 10,
                std::abs(tenths) % 10);
  return text;
}

}  // namespace board
