// SPDX-License-Identifier: MIT
#include "options.h"

#include <charconv>
#include <cmath>
#include <functional>
#include <map>
#include <string_view>

#include "text.h"

namespace board {
namespace {

constexpr unsigned kMaxReplyBytes = 4096;
constexpr unsigned kMaxMs = 3'600'000;

const char* const kCommands[] = {"AA", "AB", "AC", "AD", "BA", "BB", "BC", "BD", "BZ"};

[[noreturn]] void fail(const std::string& option, const std::string& what) {
  throw UsageError("option " + option + ": " + what);
}

std::uint64_t parseNumber(const std::string& option, std::string_view text, std::uint64_t min,
                          std::uint64_t max) {
  std::uint64_t value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) {
    fail(option, "\"" + std::string(text) + "\" is not a whole number");
  }
  if (value < min || value > max) {
    fail(option, std::string(text) + " is out of range (" + std::to_string(min) + " to " +
                     std::to_string(max) + ")");
  }
  return value;
}

unsigned parseUnsigned(const std::string& option, std::string_view text, unsigned min,
                       unsigned max) {
  return static_cast<unsigned>(parseNumber(option, text, min, max));
}

std::vector<std::string_view> splitList(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == separator) {
      parts.push_back(text.substr(start, i - start));
      start = i + 1;
    }
  }
  return parts;
}

// "1,3" or "none" (or empty): a flag per item 1 to 4.
std::array<bool, 4> parseItemList(const std::string& option, std::string_view text) {
  std::array<bool, 4> items{};
  if (text.empty() || text == "none") return items;
  for (std::string_view item : splitList(text, ',')) {
    items[parseUnsigned(option, item, 1, 4) - 1] = true;
  }
  return items;
}

// A temperature in degrees with at most one decimal ("-4", "23.5") as tenths.
int parseTenths(const std::string& option, std::string_view text) {
  std::string_view digits = text;
  const bool negative = !digits.empty() && digits[0] == '-';
  if (!digits.empty() && (digits[0] == '-' || digits[0] == '+')) digits.remove_prefix(1);
  const std::size_t dot = digits.find('.');
  const std::string_view whole = digits.substr(0, dot);
  std::string_view fraction = dot == std::string_view::npos ? "0" : digits.substr(dot + 1);
  if (whole.empty() || fraction.size() != 1) {
    fail(option, "\"" + std::string(text) + "\" is not a temperature like 23.5 or -4");
  }
  const int value = static_cast<int>(parseNumber(option, whole, 0, 99) * 10 +
                                     parseNumber(option, fraction, 0, 9));
  const int tenths = negative ? -value : value;
  if (tenths < -550) fail(option, std::string(text) + " is below -55.0");
  return tenths;
}

std::array<int, 4> parseTemperatures(const std::string& option, std::string_view text) {
  const auto parts = splitList(text, ',');
  if (parts.size() != 4) fail(option, "give four temperatures, e.g. 23.5,-4,20,21.5");
  std::array<int, 4> tenths{};
  for (std::size_t i = 0; i < 4; ++i) tenths[i] = parseTenths(option, parts[i]);
  return tenths;
}

Selector::Range parseRange(const std::string& option, std::string_view text) {
  constexpr std::uint64_t kMax = 1'000'000'000'000ull;
  if (!text.empty() && text.back() == '+') {
    return {parseNumber(option, text.substr(0, text.size() - 1), 1, kMax), Selector::kOpenEnd};
  }
  const std::size_t dash = text.find('-');
  if (dash == std::string_view::npos) {
    const std::uint64_t n = parseNumber(option, text, 1, kMax);
    return {n, n};
  }
  const std::uint64_t first = parseNumber(option, text.substr(0, dash), 1, kMax);
  const std::uint64_t last = parseNumber(option, text.substr(dash + 1), first, kMax);
  return {first, last};
}

double parsePercent(const std::string& option, std::string_view text) {
  const std::string number(text.substr(0, text.size() - 1));
  double percent = -1;
  auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), percent);
  if (number.empty() || ec != std::errc() || end != number.data() + number.size() ||
      !(percent > 0 && percent <= 100)) {
    fail(option, "\"" + std::string(text) + "\" is not a chance from above 0% to 100%");
  }
  return percent;
}

Selector parseSelector(const std::string& option, std::string_view text) {
  Selector when;
  for (const char* command : kCommands) {
    if (text == command) {
      when.command = command;
      return when;
    }
    if (text.size() > 3 && text.substr(0, 2) == command && text[2] == ':') {
      when.command = command;
      text.remove_prefix(3);
      break;
    }
  }
  if (text == "all") return when;
  if (text.empty()) fail(option, "the selection after '@' is empty");
  if (text.back() == '%') {
    when.percent = parsePercent(option, text);
    return when;
  }
  for (std::string_view range : splitList(text, ',')) {
    when.ranges.push_back(parseRange(option, range));
  }
  return when;
}

// "VALUE@WHEN": the value and the selector (every command when there is no '@').
std::pair<std::string, Selector> splitWhen(const std::string& option, const std::string& text) {
  const std::size_t at = text.rfind('@');
  if (at == std::string::npos) return {text, Selector{}};
  return {text.substr(0, at), parseSelector(option, std::string_view(text).substr(at + 1))};
}

// "A:B" into A and B (B empty when there is no ':').
std::pair<std::string, std::string> splitColon(const std::string& text) {
  const std::size_t colon = text.rfind(':');
  if (colon == std::string::npos) return {text, ""};
  return {text.substr(0, colon), text.substr(colon + 1)};
}

std::string parseText(const std::string& option, const std::string& text) {
  try {
    return encodeArgument(text);
  } catch (const TextError& e) {
    fail(option, e.what());
  }
}

FaultRule parseFault(FaultKind kind, const std::string& option, const std::string& value) {
  auto [text, when] =
      kind == FaultKind::Silent ? std::pair{std::string(), Selector{}} : splitWhen(option, value);
  FaultRule rule{kind, when};
  switch (kind) {
    case FaultKind::Reply:
      rule.bytes = parseText(option, text);
      break;
    case FaultKind::Garbage:
    case FaultKind::LongReply:
      rule.number = parseUnsigned(option, text, 1, kMaxReplyBytes);
      break;
    case FaultKind::ZeroByte:
      rule.number = parseUnsigned(option, text, 0, kMaxReplyBytes - 1);
      break;
    case FaultKind::Silent:
      rule.when = parseSelector(option, value);
      break;
    case FaultKind::Delay:
      rule.number = parseUnsigned(option, text, 0, kMaxMs);
      break;
    case FaultKind::Split: {
      auto [size, gap] = splitColon(text);
      rule.number = parseUnsigned(option, size, 1, kMaxReplyBytes);
      rule.gapMs = gap.empty() ? 100 : parseUnsigned(option, gap, 0, kMaxMs);
      break;
    }
    case FaultKind::Unasked: {
      auto [bytes, after] = splitColon(text);
      rule.bytes = parseText(option, bytes);
      rule.gapMs = after.empty() ? 100 : parseUnsigned(option, after, 0, kMaxMs);
      if (rule.bytes.empty()) fail(option, "the unasked text is empty");
      break;
    }
  }
  return rule;
}

using Handler = std::function<void(Options&, const std::string& option, const std::string& value)>;

Handler fault(FaultKind kind) {
  return [kind](Options& o, const std::string& option, const std::string& value) {
    o.faults.push_back(parseFault(kind, option, value));
  };
}

// Options that take a value; --pty and --help take none.
const std::map<std::string, Handler>& valueOptions() {
  static const std::map<std::string, Handler> table = {
      {"--link", [](Options& o, const std::string&, const std::string& v) { o.link = v; }},
      {"--device",
       [](Options& o, const std::string&, const std::string& v) {
         o.mode = Options::Mode::Device;
         o.device = v;
       }},
      {"--log", [](Options& o, const std::string&, const std::string& v) { o.logFile = v; }},
      {"--loads-on", [](Options& o, const std::string& n,
                        const std::string& v) { o.loadsOn = parseItemList(n, v); }},
      {"--sensors", [](Options& o, const std::string& n,
                       const std::string& v) { o.sensorsPresent = parseItemList(n, v); }},
      {"--temps", [](Options& o, const std::string& n,
                     const std::string& v) { o.startTenths = parseTemperatures(n, v); }},
      {"--drift", [](Options& o, const std::string& n,
                     const std::string& v) { o.driftTenths = parseUnsigned(n, v, 0, 50); }},
      {"--seed",
       [](Options& o, const std::string& n, const std::string& v) {
         o.seed = parseNumber(n, v, 0, std::numeric_limits<std::uint64_t>::max());
       }},
      {"--byte-timeout",
       [](Options& o, const std::string& n, const std::string& v) {
         o.byteTimeoutMs = parseUnsigned(n, v, 0, kMaxMs);
       }},
      {"--hangup-after",
       [](Options& o, const std::string& n, const std::string& v) {
         o.hangupAfter = parseUnsigned(n, v, 1, 1'000'000'000);
       }},
      {"--usb-latency", [](Options& o, const std::string& n,
                           const std::string& v) { o.usbLatencyMs = parseUnsigned(n, v, 1, 255); }},
      {"--reply", fault(FaultKind::Reply)},
      {"--garbage", fault(FaultKind::Garbage)},
      {"--long-reply", fault(FaultKind::LongReply)},
      {"--zero-byte", fault(FaultKind::ZeroByte)},
      {"--silent", fault(FaultKind::Silent)},
      {"--delay", fault(FaultKind::Delay)},
      {"--split", fault(FaultKind::Split)},
      {"--unasked", fault(FaultKind::Unasked)},
  };
  return table;
}

}  // namespace

Options parseOptions(int argc, char** argv) {
  Options options;
  bool ptyAsked = false;
  for (int i = 1; i < argc; ++i) {
    std::string name = argv[i];
    std::optional<std::string> value;
    if (const std::size_t eq = name.find('=');
        name.rfind("--", 0) == 0 && eq != std::string::npos) {
      value = name.substr(eq + 1);
      name.resize(eq);
    }
    if (name == "--help" || name == "-h") {
      options.help = true;
      continue;
    }
    if (name == "--pty") {
      if (value) fail(name, "takes no value");
      ptyAsked = true;
      continue;
    }
    const auto handler = valueOptions().find(name);
    if (handler == valueOptions().end()) {
      throw UsageError("unknown option \"" + name + "\"");
    }
    if (!value) {
      if (i + 1 >= argc) fail(name, "needs a value");
      value = argv[++i];
    }
    handler->second(options, name, *value);
  }
  if (ptyAsked && options.mode == Options::Mode::Device) {
    throw UsageError("--pty and --device exclude each other");
  }
  if (!options.link.empty() && options.mode == Options::Mode::Device) {
    throw UsageError("--link goes with --pty only");
  }
  if (options.mode == Options::Mode::Device && options.device.empty()) {
    throw UsageError("option --device: the device path is empty");
  }
  return options;
}

std::string usageText() {
  return R"(Usage: zelvane-board [--pty] [--link PATH] [OPTION]...
       zelvane-board --device TTY [OPTION]...
Plays the Zelvane controller board on a serial line (19200 bit/s, 8N1, raw). The first line of
standard output is the path to open: the pty slave, or TTY. Runs until SIGINT, SIGTERM or
SIGHUP.

Line:
  --pty                 serve a new pseudo-terminal (the default)
  --link PATH           also make PATH a symlink to the pty slave, removed on exit; only a
                        missing PATH or an old symlink into /dev/pts/ is replaced
  --device TTY          serve a real serial device, opened exclusively
  --log FILE            write the byte log to FILE instead of standard error

Board:
  --loads-on LIST       loads switched on at start, e.g. 1,3 (default: none)
  --sensors LIST        thermometers present, e.g. 1,2,4 or none (default: 1,2,3,4)
  --temps T1,T2,T3,T4   starting temperatures in degrees, e.g. 23.5,-4,20,21.5
                        (default: from the seed, 18.0 to 26.0)
  --drift TENTHS        largest change between two readings of a thermometer, in tenths of a
                        degree (default 2; 0 keeps the temperatures fixed)
  --seed N              seed of the temperatures and of random faults (default 1)
  --byte-timeout MS     drop a lone first command byte after MS ms without a second one
                        (default 1000; 0: wait for ever)
  --usb-latency MS      deliver replies as a USB serial adapter with a latency timer of MS ms
                        (1 to 255; 16 is common) would: the bytes that have crossed the wire at
                        19200 bit/s by each tick of the timer go out together

Faults (each may be given several times; for each kind the last rule that selects a command
applies to it):
  --reply TEXT[@WHEN]       reply TEXT instead of the board's reply
  --garbage N[@WHEN]        reply N random bytes instead
  --long-reply N[@WHEN]     pad the reply with '#' to N bytes (1 to 4096)
  --zero-byte POS[@WHEN]    set reply byte POS (from 0) to zero; past the end, append a zero
  --silent WHEN             do not reply
  --delay MS[@WHEN]         wait MS ms before replying
  --split SIZE[:GAP][@WHEN] send the reply in pieces of SIZE bytes, GAP ms apart (default 100)
  --unasked TEXT[:AFTER][@WHEN]
                            send TEXT unasked, AFTER ms after the reply (default 100)
  --hangup-after N          close the line (pty master) once the N-th command is answered,
                            then exit

WHEN selects commands, counted from 1 in the order received (default: all):
  all | N | N-M | N+ | a comma list of these | P% (each with chance P, from the seed),
  optionally after a command name and a colon, which counts only that command:
  3, 2-4, 5+, 1,3, 25%, BA (every "BA"), BA:2 (the second "BA"), AB:50%
TEXT is UTF-8 sent as Windows-1251; \xHH is a raw byte, \\ a backslash; write '@' as \x40,
and in --unasked ':' as \x3A.

Replies: "AA".."AD" switch a load over and reply its new state, "ВКЛ" or "ВЫКЛ";
"BA".."BD" reply a temperature like "+23.5" or "-4.0", or "Нет" for an absent thermometer;
"BZ" replies the number of thermometers found, like "4".

Exit status: 0 after SIGINT, SIGTERM, SIGHUP or --hangup-after; 1 when the line cannot be opened or
fails; 2 for bad options. Serial devices need the group dialout: see README.md.
)";
}

}  // namespace board
