// SPDX-License-Identifier: MIT
// What the program asks of the operating system outside the window: the board's Windows-1251
// text as UTF-8, the local time of day and calendar time, the user's data folder, and a file
// appended to that one copy of the program holds at a time. A POSIX form (a table, localtime_r,
// open and flock) and a Windows form (MultiByteToWideChar, GetLocalTime, CreateFileW), so this
// part builds and is tested on both.
// Any thread; one TAppendFile object is used by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>

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

// A moment as the user's clock shows it, with the zone's offset from UTC at that moment.
struct TCalendarTime {
  int Year;
  int Month;          // 1 to 12
  int Day;            // 1 to 31
  int Hour;           // 0 to 23
  int Minute;         // 0 to 59
  int Second;         // 0 to 60
  int OffsetMinutes;  // local time minus UTC
};

// Time (seconds since 1970-01-01 UTC) in the user's time zone.
TCalendarTime LocalCalendarTime(std::time_t Time);

// The folder of the program's data files: ${XDG_DATA_HOME:-$HOME/.local/share}/zelvane on POSIX,
// the user's local application-data folder plus "Zelvane" on Windows. Not created here.
std::filesystem::path DataFolder();

// A file written only at its end, held by one copy of the program at a time: a second copy (or
// another program holding it so) cannot open it.
class TAppendFile {
 public:
  TAppendFile() = default;
  ~TAppendFile() { Close(); }
  TAppendFile(const TAppendFile&) = delete;
  TAppendFile& operator=(const TAppendFile&) = delete;

  // Opens Path for appending, creating it; false when it cannot be opened or is held elsewhere.
  bool Open(const std::filesystem::path& Path);
  // Appends Bytes whole; false when they could not all be written (a full disk, a lost device).
  bool Append(std::string_view Bytes);
  void Close();
  bool IsOpen() const { return FHandle != kClosed; }

 private:
  static constexpr std::intptr_t kClosed = -1;
  std::intptr_t FHandle = kClosed;  // a file descriptor, or a HANDLE
};

}  // namespace appplatform
