// SPDX-License-Identifier: MIT
// Windows form of ReplaceFile: a new file written through to the disk, then moved over the old
// one in one step (MoveFileExW with MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH).
#include <win32/utf16.h>
#include <win32/win32.h>

#include <algorithm>
#include <cerrno>

#include "file_replace.h"

namespace fileio {

using win32::ErrnoOf;
using win32::SystemMessage;
using win32::Utf16;

namespace {

bool WriteAll(HANDLE file, const std::string& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(data.size() - done, 1u << 30));
    DWORD written = 0;
    if (!WriteFile(file, data.data() + done, chunk, &written, nullptr) || written == 0)
      return false;
    done += written;
  }
  return true;
}

// A temporary name beside File that no other writer of this process or another one uses.
std::wstring TemporaryName(const std::string& File) {
  static LONG counter = 0;
  return Utf16(File) + L"." + std::to_wstring(GetCurrentProcessId()) + L"." +
         std::to_wstring(InterlockedIncrement(&counter)) + L".tmp";
}

}  // namespace

// Windows keeps no permission bits: Mode is not used there.
int ReplaceFile(const std::string& File, const std::string& Content, mode_t /*Mode*/) {
  const std::wstring temp = TemporaryName(File);
  HANDLE out = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (out == INVALID_HANDLE_VALUE) return ErrnoOf(GetLastError());
  const bool written = WriteAll(out, Content) && FlushFileBuffers(out);
  const DWORD writeError = written ? ERROR_SUCCESS : GetLastError();
  CloseHandle(out);
  if (written && MoveFileExW(temp.c_str(), Utf16(File).c_str(),
                             MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return 0;
  const DWORD failure = written ? GetLastError() : writeError;
  DeleteFileW(temp.c_str());
  return ErrnoOf(failure);
}

}  // namespace fileio
