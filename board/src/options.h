// SPDX-License-Identifier: MIT
// The simulator's command line: where it serves, the board's starting state and the faults to
// inject. parseOptions() checks everything and throws UsageError with a message naming the
// option; usageText() is the --help text. Single-threaded.
#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace board {

struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Which commands a fault applies to: "@WHEN" after an option's value.
//   all | N | N-M | N+ | a comma list of these | P%   optionally after a command name: "BA:2"
// Numbers count the commands received from 1, or only those of the named command.
struct Selector {
  struct Range {
    std::uint64_t first;
    std::uint64_t last;
  };
  static constexpr std::uint64_t kOpenEnd = std::numeric_limits<std::uint64_t>::max();

  std::string command;        // empty: any command
  std::vector<Range> ranges;  // empty: every one
  double percent = 100;       // chance for each command that the above selects
};

enum class FaultKind { Reply, Garbage, LongReply, ZeroByte, Silent, Delay, Split, Unasked };

struct FaultRule {
  FaultKind kind;
  Selector when;
  unsigned number = 0;  // delay ms, piece size, reply length, zero position, garbage count
  unsigned gapMs = 0;   // between split pieces; before unasked bytes
  std::string bytes;    // Windows-1251 reply or unasked bytes
};

struct Options {
  enum class Mode { Pty, Device };

  Mode mode = Mode::Pty;
  std::string link;    // --link: symlink to the pty slave
  std::string device;  // --device: the tty to serve
  std::string logFile;
  std::array<bool, 4> loadsOn{};
  std::array<bool, 4> sensorsPresent{true, true, true, true};
  std::optional<std::array<int, 4>> startTenths;  // starting temperatures in tenths of a degree
  unsigned driftTenths = 2;
  std::uint64_t seed = 1;
  unsigned byteTimeoutMs = 1000;
  unsigned hangupAfter = 0;   // 0: never
  unsigned usbLatencyMs = 0;  // 0: bytes go out as written; else a USB adapter's latency timer
  std::vector<FaultRule> faults;
  bool help = false;
};

Options parseOptions(int argc, char** argv);
std::string usageText();

}  // namespace board
