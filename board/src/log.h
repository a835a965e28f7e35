// SPDX-License-Identifier: MIT
// The byte log: every byte received and sent, with the local time to the microsecond, as hex
// and as readable text (Windows-1251 decoded), plus one line per event of the board.
//   12:00:01.234567 <- 41 42                                            |AB|
//   12:00:01.234612 .. AB: load 2 switched on
//   12:00:01.234650 -> C2 CA CB                                         |ВКЛ|
// Single-threaded.
#pragma once

#include <string>
#include <string_view>

namespace board {

class Log {
 public:
  explicit Log(int fd) : fd_(fd) {}

  void received(std::string_view bytes) { dump("<-", bytes); }
  void sent(std::string_view bytes) { dump("->", bytes); }
  void note(std::string_view text);

 private:
  void dump(const char* direction, std::string_view bytes);
  void writeLine(const std::string& line);

  int fd_;
};

}  // namespace board
