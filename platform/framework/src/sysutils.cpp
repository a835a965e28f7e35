// SPDX-License-Identifier: MIT
#include <framework/sysutils.h>

#include <limits>

namespace {

// Parses a whole decimal number with an optional sign; false for anything else or overflow.
bool ParseInt(const std::string& text, int& result) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size()) return false;
  // Accumulate as a negative number: its range covers INT_MIN.
  long long value = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c < '0' || c > '9') return false;
    value = value * 10 - (c - '0');
    if (value < static_cast<long long>(std::numeric_limits<int>::min())) return false;
  }
  if (!negative) {
    value = -value;
    if (value > std::numeric_limits<int>::max()) return false;
  }
  result = static_cast<int>(value);
  return true;
}

}  // namespace

int StrToInt(const std::string& S) {
  int value = 0;
  if (!ParseInt(S, value)) throw EConvertError("'" + S + "' is not a valid integer value");
  return value;
}

int StrToIntDef(const std::string& S, int Default) {
  int value = 0;
  return ParseInt(S, value) ? value : Default;
}

std::string IntToStr(long long Value) { return std::to_string(Value); }
