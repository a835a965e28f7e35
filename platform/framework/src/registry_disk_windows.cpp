// SPDX-License-Identifier: MIT
// The settings file on Windows: CreateFileW/ReadFile, LockFileEx on the lock file, and fileio's
// replacement. Windows has no symbolic links to follow here and no permission bits to keep.
#include <win32/win32.h>

#include <cerrno>
#include <cstring>

#include "file_replace.h"
#include "registry_disk.h"
#include "utf16.h"

namespace regdisk {

namespace {

std::string Failure(const std::string& what, const std::string& path, DWORD error) {
  return what + " " + path + ": " + fileio::SystemMessage(error);
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Creates the folders above file; a drive ("C:") or a share's root is taken as it is.
void MakeDirectories(const std::string& file) {
  for (std::size_t at = 1; at < file.size(); ++at) {
    if (!IsSeparator(file[at]) || IsSeparator(file[at - 1]) || file[at - 1] == ':') continue;
    const std::string dir = file.substr(0, at);
    if (!CreateDirectoryW(fileio::Utf16(dir).c_str(), nullptr)) {
      const DWORD error = GetLastError();
      if (error != ERROR_ALREADY_EXISTS && error != ERROR_ACCESS_DENIED)
        throw ERegistryException(Failure("Cannot create folder", dir, error));
    }
  }
}

class Handle {
 public:
  explicit Handle(HANDLE h) : h_(h) {}
  ~Handle() {
    if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return h_; }

 private:
  HANDLE h_;
};

}  // namespace

std::string LinkTarget(const std::string& file) { return file; }

std::string Load(const std::string& file) {
  Handle in(CreateFileW(fileio::Utf16(file).c_str(), GENERIC_READ,
                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (in.get() == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return {};
    throw ERegistryException(Failure("Cannot read settings file", file, error));
  }
  std::string content;
  char buffer[8192];
  for (;;) {
    DWORD n = 0;
    if (!ReadFile(in.get(), buffer, sizeof buffer, &n, nullptr))
      throw ERegistryException(Failure("Cannot read settings file", file, GetLastError()));
    if (n == 0) break;
    content.append(buffer, n);
  }
  return content;
}

void Replace(const std::string& file, const std::string& content) {
  if (const int failure = fileio::ReplaceFile(file, content, 0600))
    throw ERegistryException("Cannot write settings file " + file + ": " + std::strerror(failure));
}

FileLock::FileLock(const std::string& file) {
  MakeDirectories(file);
  const std::string path = file + ".lock";
  HANDLE lock = CreateFileW(fileio::Utf16(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (lock == INVALID_HANDLE_VALUE)
    throw ERegistryException(Failure("Cannot open lock file", path, GetLastError()));
  OVERLAPPED whole{};
  if (!LockFileEx(lock, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole)) {
    const DWORD error = GetLastError();
    CloseHandle(lock);
    throw ERegistryException(Failure("Cannot lock", path, error));
  }
  handle_ = reinterpret_cast<std::intptr_t>(lock);
}

// Closing the handle releases the lock.
FileLock::~FileLock() { CloseHandle(reinterpret_cast<HANDLE>(handle_)); }

}  // namespace regdisk
