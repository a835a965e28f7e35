// SPDX-License-Identifier: MIT
// The controller board: four loads, four thermometers on a sensor bus, and the recogniser that
// finds the nine two-letter commands in an unframed byte stream. Single-threaded.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "options.h"
#include "rng.h"

namespace board {

// Finds commands in the byte stream. A byte that cannot start a command is dropped; a first
// letter followed by a byte that does not complete a command is dropped and the second byte is
// looked at afresh.
class Recogniser {
 public:
  struct Event {
    enum class Kind { Command, Stray, Unknown };
    Kind kind;
    std::string bytes;  // the command, the stray byte, or the unknown pair
  };

  void push(char byte, std::vector<Event>& events);
  bool waitingForSecondByte() const { return !first_.empty(); }
  std::string dropFirstByte();  // the lone first byte, now forgotten

 private:
  std::string first_;
};

// The board's state and its answers: reply() carries out a command and returns the reply bytes
// (Windows-1251) and a line for the log saying what the board did.
class Board {
 public:
  explicit Board(const Options& options);

  std::string reply(const std::string& command, std::string& note);

 private:
  std::string switchLoad(int index, std::string& note);
  std::string readThermometer(int index, std::string& note);
  std::string searchBus(std::string& note);

  std::array<bool, 4> loadsOn_;
  std::array<bool, 4> present_;
  std::array<int, 4> startTenths_;
  std::array<int, 4> tenths_;
  std::array<Rng, 4> drift_;
  int driftTenths_;
};

// A temperature in tenths of a degree as the board writes it: "+23.5", "-4.0", "+0.0".
std::string formatTenths(int tenths);

}  // namespace board
