// SPDX-License-Identifier: MIT
// What the program asks of the operating system outside the window: the board's Windows-1251
// text as UTF-8, and the local time of day. A POSIX form (a table, localtime_r) and a Windows form
// (MultiByteToWideChar, GetLocalTime), so this part builds and is tested on both.
// Any thread.
#pragma once

#include <cstddef>
#include <string>

namespace appplatform {

// Length bytes of Windows-1251 text as UTF-8; a byte the code page leaves undefined (0x98)
// becomes U+FFFD.
std::string DecodeWindows1251(const char* Bytes, std::size_t Length);

struct TLocalTime {
  int Hour;    // 0 to 23
  int Minute;  // 0 to 59
};

// The wall-clock time of day in the user's time zone.
TLocalTime LocalTimeNow();

}  // namespace appplatform
