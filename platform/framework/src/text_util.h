// SPDX-License-Identifier: MIT
// Small ASCII text helpers shared by the framework's sources.
#pragma once

#include <string>

inline char UpperChar(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

inline std::string UpperCase(std::string s) {
  for (char& c : s) c = UpperChar(c);
  return s;
}

// Equal ignoring ASCII case.
inline bool SameText(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (UpperChar(a[i]) != UpperChar(b[i])) return false;
  return true;
}

inline bool IsIdentStart(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}
inline bool IsIdentChar(char c) { return IsIdentStart(c) || (c >= '0' && c <= '9'); }

inline bool IsIdentifier(const std::string& s) {
  if (s.empty() || !IsIdentStart(s[0])) return false;
  for (char c : s)
    if (!IsIdentChar(c)) return false;
  return true;
}
