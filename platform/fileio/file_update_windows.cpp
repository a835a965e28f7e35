// SPDX-License-Identifier: MIT
// Windows form of the file update: CreateDirectoryW, LockFileEx on "<file>.lock", CreateFileW
// and ReadFile, and fileio's replacement. There are no symbolic links to follow here and no
// permission bits to keep; the lock is always the lock file.
#include <win32/utf16.h>
#include <win32/win32.h>

#include <cstring>

#include "file_replace.h"
#include "file_update.h"

namespace fileio {

using win32::ErrnoOf;
using win32::SystemMessage;
using win32::Utf16;

namespace {

FileError Failure(FileError::Step step, const std::string& path, DWORD error) {
  return {step, path, ErrnoOf(error), SystemMessage(error)};
}

class Handle {
 public:
  explicit Handle(HANDLE h) : h_(h) {}
  ~Handle() {
    if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE Get() const { return h_; }

 private:
  HANDLE h_;
};

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Creates the folders above File; a drive ("C:") or a share's root is taken as it is.
std::optional<FileError> MakeFolders(const std::string& File) {
  for (std::size_t at = 1; at < File.size(); ++at) {
    if (!IsSeparator(File[at]) || IsSeparator(File[at - 1]) || File[at - 1] == ':') continue;
    const std::string folder = File.substr(0, at);
    if (!CreateDirectoryW(Utf16(folder).c_str(), nullptr)) {
      const DWORD error = GetLastError();
      if (error != ERROR_ALREADY_EXISTS && error != ERROR_ACCESS_DENIED)
        return Failure(FileError::Write, folder, error);
    }
  }
  return std::nullopt;
}

HANDLE OpenShared(const std::string& File, DWORD Access, DWORD Disposition) {
  return CreateFileW(Utf16(File).c_str(), Access,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, Disposition,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

// The whole range of "<File>.lock", exclusively; closing the handle releases it.
std::optional<FileError> Lock(const std::string& File, HANDLE& Held) {
  const std::string path = File + ".lock";
  Held = OpenShared(path, GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS);
  if (Held == INVALID_HANDLE_VALUE) return Failure(FileError::Lock, path, GetLastError());
  OVERLAPPED whole{};
  if (!LockFileEx(Held, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole))
    return Failure(FileError::Lock, path, GetLastError());
  return std::nullopt;
}

}  // namespace

std::optional<FileError> ReadWholeFile(const std::string& File, std::string& Content) {
  Content.clear();
  const Handle in(OpenShared(File, GENERIC_READ, OPEN_EXISTING));
  if (in.Get() == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return std::nullopt;
    return Failure(FileError::Read, File, error);
  }
  char buffer[8192];
  for (;;) {
    DWORD n = 0;
    if (!::ReadFile(in.Get(), buffer, sizeof buffer, &n, nullptr))
      return Failure(FileError::Read, File, GetLastError());
    if (n == 0) return std::nullopt;
    Content.append(buffer, n);
  }
}

std::optional<FileError> UpdateFile(const std::string& File, const ContentChange& Change,
                                    const UpdateOptions& Options) {
  if (auto failure = MakeFolders(File)) return failure;
  HANDLE locked = INVALID_HANDLE_VALUE;
  const auto lockFailure = Lock(File, locked);
  const Handle lock(locked);
  if (lockFailure) return lockFailure;
  std::string content;
  if (auto failure = ReadWholeFile(File, content)) return failure;
  const std::optional<std::string> changed = Change(content);
  if (!changed) return std::nullopt;
  if (const int code = ReplaceFile(File, *changed, Options.newFileMode))
    return FileError{FileError::Write, File, code, std::strerror(code)};
  return std::nullopt;
}

}  // namespace fileio
