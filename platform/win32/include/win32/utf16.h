// SPDX-License-Identifier: MIT
/// @file
/// UTF-8 <-> UTF-16 for the Windows API's W calls, which the platform layer (files, registry, the
/// native front end) uses so that every name and text keeps its characters whatever the user's
/// code page; the system's wording of an error code and the errno nearest to it. Windows only;
/// any thread. Used inside this project's libraries and tests; not installed.
#pragma once

#if defined(_WIN32)

#include <win32/win32.h>

#include <cerrno>
#include <string>

namespace win32 {

inline std::wstring Utf16(const std::string& text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int needed = MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(needed), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide.data(), needed);
  return wide;
}

inline std::string Utf8(const wchar_t* wide, std::size_t length) {
  if (length == 0) return {};
  const int size = static_cast<int>(length);
  const int needed = WideCharToMultiByte(CP_UTF8, 0, wide, size, nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<std::size_t>(needed), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, size, text.data(), needed, nullptr, nullptr);
  return text;
}

inline std::string Utf8(const std::wstring& wide) { return Utf8(wide.data(), wide.size()); }

// "The system cannot find the file specified." for ERROR_FILE_NOT_FOUND, in the user's language;
// "error <n>" when the system has no text for it.
inline std::string SystemMessage(DWORD error) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string message = length > 0 ? Utf8(text, length) : "error " + std::to_string(error);
  if (text != nullptr) LocalFree(text);
  while (!message.empty() &&
         (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
    message.pop_back();
  return message;
}

// The errno that best describes a Win32 error, for callers that word errors with strerror.
inline int ErrnoOf(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return EACCES;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    default:
      return EIO;
  }
}

}  // namespace win32

#endif  // _WIN32
