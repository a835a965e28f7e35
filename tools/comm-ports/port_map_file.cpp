// SPDX-License-Identifier: MIT
#include "port_map_file.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "file_replace.h"

namespace comm_ports {
namespace fs = std::filesystem;

namespace {

constexpr mode_t kNewFileMode = 0644;

std::string Failure(const std::string& what, const std::string& path) {
  return what + " " + path + ": " + std::strerror(errno);
}

// The whole file; false when it exists but cannot be read (it must then stay as it is).
bool ReadExisting(const std::string& path, std::string& content, mode_t& mode) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return errno == ENOENT;
  mode = st.st_mode & 07777;
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream text;
  text << in.rdbuf();
  content = text.str();
  return !in.bad();
}

// Replaces target by content in one step.
std::string ReplaceFile(const std::string& target, const std::string& content, mode_t mode) {
  if (const int failure = fileio::ReplaceFile(target, content, mode)) {
    errno = failure;
    return Failure("Cannot write", target);
  }
  return {};
}

// The file a symbolic link names, so that the link stays a link.
std::string LinkTarget(const std::string& path) {
  std::error_code error;
  if (!fs::is_symlink(path, error)) return path;
  const fs::path resolved = fs::weakly_canonical(path, error);
  return error ? path : resolved.string();
}

}  // namespace

PortMapLock::PortMapLock(const std::string& mapFile) {
  const fs::path folder = fs::path(mapFile).parent_path();
  std::error_code ignored;
  fs::create_directories(folder, ignored);
  fd_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd_ < 0) {
    error_ = Failure("Cannot open folder", folder.string());
    return;
  }
  while (::flock(fd_, LOCK_EX) != 0) {
    if (errno == EINTR) continue;
    error_ = Failure("Cannot lock", folder.string());
    ::close(fd_);
    fd_ = -1;
    return;
  }
}

PortMapLock::~PortMapLock() {
  if (fd_ >= 0) ::close(fd_);  // closing releases the lock
}

std::string AppendLines(const std::string& mapFile, const std::vector<std::string>& lines) {
  const std::string target = LinkTarget(mapFile);
  std::string content;
  mode_t mode = kNewFileMode;
  if (!ReadExisting(target, content, mode)) return Failure("Cannot read", target);
  if (!content.empty() && content.back() != '\n') content += '\n';
  for (const std::string& line : lines) content += line + '\n';
  return ReplaceFile(target, content, mode);
}

}  // namespace comm_ports
