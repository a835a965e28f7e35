// SPDX-License-Identifier: MIT
// The program's system calls on Windows: code page 1251 through UTF-16 to UTF-8, GetLocalTime.
#include <win32/win32.h>

#include <vector>

#include "Platform.h"

namespace appplatform {

namespace {

constexpr UINT kWindows1251 = 1251;
constexpr wchar_t kReplacement = 0xFFFD;
constexpr unsigned char kUndefinedIn1251 = 0x98;

std::string ToUtf8(const std::wstring& wide) {
  if (wide.empty()) return {};
  const int size = static_cast<int>(wide.size());
  const int needed =
      WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<std::size_t>(needed), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, text.data(), needed, nullptr, nullptr);
  return text;
}

}  // namespace

std::string DecodeWindows1251(const char* Bytes, std::size_t Length) {
  // One byte is one character in this code page: decode them one by one, so that the one
  // undefined byte is replaced (Windows would map it to a control character).
  std::wstring wide;
  wide.reserve(Length);
  for (std::size_t i = 0; i < Length; ++i) {
    wchar_t c = kReplacement;
    if (static_cast<unsigned char>(Bytes[i]) != kUndefinedIn1251 &&
        MultiByteToWideChar(kWindows1251, MB_ERR_INVALID_CHARS, Bytes + i, 1, &c, 1) != 1)
      c = kReplacement;
    wide += c;
  }
  return ToUtf8(wide);
}

TLocalTime LocalTimeNow() {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  return {now.wHour, now.wMinute};
}

}  // namespace appplatform
