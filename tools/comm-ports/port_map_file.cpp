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

namespace comm_ports {
namespace fs = std::filesystem;

namespace {

constexpr mode_t kNewFileMode = 0644;

std::string Failure(const std::string& what, const std::string& path) {
  return what + " " + path + ": " + std::strerror(errno);
}

bool WriteAll(int fd, const std::string& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
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

void SyncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

// Writes content to a new file in folder and renames it to target.
std::string ReplaceFile(const std::string& target, const std::string& content, mode_t mode) {
  const std::string folder = fs::path(target).parent_path().string();
  std::string temp = folder + "/.ports.XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) return Failure("Cannot create a file in", folder);
  const bool written = ::fchmod(fd, mode) == 0 && WriteAll(fd, content) && ::fsync(fd) == 0;
  const int writeErrno = errno;
  ::close(fd);
  if (!written || ::rename(temp.c_str(), target.c_str()) != 0) {
    if (!written) errno = writeErrno;
    std::string message = Failure("Cannot write", target);
    ::unlink(temp.c_str());
    return message;
  }
  SyncFolder(folder);
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
