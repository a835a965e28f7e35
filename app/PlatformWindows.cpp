// SPDX-License-Identifier: MIT
// The program's system calls on Windows: code page 1251 through UTF-16 to UTF-8, GetLocalTime,
// the local application-data folder, CreateFileW for the appended file.
// clang-format off
#include <win32/win32.h>  // first: before any other Windows header
// clang-format on
#include <shlobj.h>

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

namespace {

// Seconds since 1970-01-01 of a calendar date and time, as if it were UTC.
std::int64_t SecondsOf(const std::tm& Time) {
  const int y = Time.tm_year + 1900 - (Time.tm_mon < 2 ? 1 : 0);
  const int era = (y >= 0 ? y : y - 399) / 400;
  const int yoe = y - era * 400;
  const int m = Time.tm_mon + 1;
  const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + Time.tm_mday - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const std::int64_t days = std::int64_t{era} * 146097 + doe - 719468;
  return days * 86400 + Time.tm_hour * 3600 + Time.tm_min * 60 + Time.tm_sec;
}

}  // namespace

// The offset is the local calendar time less the UTC one of the same moment.
TCalendarTime LocalCalendarTime(std::time_t Time) {
  std::tm local{}, utc{};
  localtime_s(&local, &Time);
  gmtime_s(&utc, &Time);
  const auto offset = static_cast<int>((SecondsOf(local) - SecondsOf(utc)) / 60);
  return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
          local.tm_min,         local.tm_sec,     offset};
}

std::filesystem::path DataFolder() {
  wchar_t folder[MAX_PATH] = {};
  if (SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder) != S_OK)
    return std::filesystem::path(L"Zelvane");
  return std::filesystem::path(folder) / L"Zelvane";
}

// Shared for reading only: a second copy of the program cannot open it for writing.
bool TAppendFile::Open(const std::filesystem::path& Path) {
  Close();
  HANDLE file = CreateFileW(Path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  FHandle = reinterpret_cast<std::intptr_t>(file);
  return true;
}

// A write cut short (a full disk) leaves part of a line, which the reader skips.
bool TAppendFile::Append(std::string_view Bytes) {
  if (!IsOpen()) return false;
  DWORD written = 0;
  const auto size = static_cast<DWORD>(Bytes.size());
  return WriteFile(reinterpret_cast<HANDLE>(FHandle), Bytes.data(), size, &written, nullptr) != 0 &&
         written == size;
}

void TAppendFile::Close() {
  if (!IsOpen()) return;
  CloseHandle(reinterpret_cast<HANDLE>(FHandle));
  FHandle = kClosed;
}

}  // namespace appplatform
