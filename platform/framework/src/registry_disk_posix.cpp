// SPDX-License-Identifier: MIT
// The settings file on POSIX: readlink, open/read, flock, and fileio's replacement.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "file_replace.h"
#include "registry_disk.h"

namespace regdisk {

namespace {

std::string Errno(const std::string& what, const std::string& path) {
  return what + " " + path + ": " + std::strerror(errno);
}

std::string Folder(const std::string& file) {
  const std::size_t slash = file.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : file.substr(0, slash);
}

void MakeDirectories(const std::string& file) {
  for (std::size_t slash = file.find('/', 1); slash != std::string::npos;
       slash = file.find('/', slash + 1)) {
    const std::string dir = file.substr(0, slash);
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST)
      throw ERegistryException(Errno("Cannot create folder", dir));
  }
}

// Permissions of the file being replaced, so that a rewrite keeps them; 0600 for a new file.
mode_t ModeToKeep(const std::string& file) {
  struct stat st {};
  return ::stat(file.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0600;
}

}  // namespace

std::string LinkTarget(const std::string& file) {
  constexpr int kMaxLinks = 40;  // as the kernel's own limit
  std::string target = file;
  for (int hop = 0; hop < kMaxLinks; ++hop) {
    char link[4096];
    const ssize_t n = ::readlink(target.c_str(), link, sizeof link);
    if (n < 0 || static_cast<std::size_t>(n) == sizeof link) return target;  // not a link
    const std::string to(link, static_cast<std::size_t>(n));
    target = to.front() == '/' ? to : Folder(target) + "/" + to;
  }
  errno = ELOOP;
  throw ERegistryException(Errno("Cannot follow settings file", file));
}

std::string Load(const std::string& file) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return {};
    throw ERegistryException(Errno("Cannot read settings file", file));
  }
  std::string content;
  char buffer[8192];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const std::string message = Errno("Cannot read settings file", file);
      ::close(fd);
      throw ERegistryException(message);
    }
    if (n == 0) break;
    content.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return content;
}

void Replace(const std::string& file, const std::string& content) {
  if (const int failure = fileio::ReplaceFile(file, content, ModeToKeep(file))) {
    errno = failure;
    throw ERegistryException(Errno("Cannot write settings file", file));
  }
}

FileLock::FileLock(const std::string& file) {
  MakeDirectories(file);
  const std::string path = file + ".lock";
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) throw ERegistryException(Errno("Cannot open lock file", path));
  while (::flock(fd, LOCK_EX) != 0) {
    if (errno != EINTR) {
      const std::string message = Errno("Cannot lock", path);
      ::close(fd);
      throw ERegistryException(message);
    }
  }
  handle_ = fd;
}

FileLock::~FileLock() { ::close(static_cast<int>(handle_)); }  // closing releases the lock

}  // namespace regdisk
