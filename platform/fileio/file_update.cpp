// SPDX-License-Identifier: MIT
// POSIX form of the file update: readlink, mkdir, flock, open/read and fileio's replacement.
#include "file_update.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "file_path.h"
#include "file_replace.h"

namespace fileio {

namespace {

FileError Failure(FileError::Step step, const std::string& path, int code) {
  return {step, path, code, std::strerror(code)};
}

// The descriptor of a file or folder, closed when it goes (which also releases a flock).
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int Get() const { return fd_; }
  void Reset(int fd) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }

 private:
  int fd_;
};

// The file at the end of the chain of symbolic links File starts (File itself when it is no
// link, or when it does not exist yet), as the kernel's limit of 40 links allows.
std::optional<FileError> FollowLinks(const std::string& File, std::string& Target) {
  constexpr int kMaxLinks = 40;
  Target = File;
  for (int hop = 0; hop < kMaxLinks; ++hop) {
    char link[4096];
    const ssize_t n = ::readlink(Target.c_str(), link, sizeof link);
    if (n <= 0) return std::nullopt;  // no link: the chain ends here
    if (static_cast<std::size_t>(n) == sizeof link)
      return Failure(FileError::Read, File, ENAMETOOLONG);
    const std::string to(link, static_cast<std::size_t>(n));
    Target = to.front() == '/' ? to : FolderOf(Target) + "/" + to;
  }
  return Failure(FileError::Read, File, ELOOP);
}

// Creates the folders above File that do not exist yet, readable by the user only.
std::optional<FileError> MakeFolders(const std::string& File) {
  for (std::size_t slash = File.find('/', 1); slash != std::string::npos;
       slash = File.find('/', slash + 1)) {
    const std::string folder = File.substr(0, slash);
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
      return Failure(FileError::Write, folder, errno);
  }
  return std::nullopt;
}

// Opens the lock's file or folder and waits for its exclusive flock.
std::optional<FileError> Lock(const std::string& Target, LockOn On, Descriptor& Held) {
  const bool onFolder = On == LockOn::Folder;
  const std::string path = onFolder ? FolderOf(Target) : Target + ".lock";
  Held.Reset(onFolder ? ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)
                      : ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
  if (Held.Get() < 0) return Failure(FileError::Lock, path, errno);
  while (::flock(Held.Get(), LOCK_EX) != 0)
    if (errno != EINTR) return Failure(FileError::Lock, path, errno);
  return std::nullopt;
}

// Reads the open file whole.
std::optional<FileError> ReadAll(int Fd, const std::string& File, std::string& Content) {
  char buffer[8192];
  for (;;) {
    const ssize_t n = ::read(Fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Failure(FileError::Read, File, errno);
    if (n == 0) return std::nullopt;
    Content.append(buffer, static_cast<std::size_t>(n));
  }
}

// The content of File and the permissions to keep when it is replaced (Mode as it is when File
// does not exist).
std::optional<FileError> ReadWithMode(const std::string& File, std::string& Content, mode_t& Mode) {
  Content.clear();
  const Descriptor fd(::open(File.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.Get() < 0) {
    if (errno == ENOENT) return std::nullopt;
    return Failure(FileError::Read, File, errno);
  }
  struct stat st {};
  if (::fstat(fd.Get(), &st) != 0) return Failure(FileError::Read, File, errno);
  Mode = st.st_mode & 07777;
  return ReadAll(fd.Get(), File, Content);
}

}  // namespace

std::optional<FileError> ReadWholeFile(const std::string& File, std::string& Content) {
  mode_t unused = 0;
  return ReadWithMode(File, Content, unused);
}

std::optional<FileError> UpdateFile(const std::string& File, const ContentChange& Change,
                                    const UpdateOptions& Options) {
  std::string target;
  if (auto failure = FollowLinks(File, target)) return failure;
  if (auto failure = MakeFolders(target)) return failure;
  Descriptor lock(-1);
  if (auto failure = Lock(target, Options.lock, lock)) return failure;
  std::string content;
  mode_t mode = Options.newFileMode;
  if (auto failure = ReadWithMode(target, content, mode)) return failure;
  const std::optional<std::string> changed = Change(content);
  if (!changed) return std::nullopt;
  if (const int code = ReplaceFile(target, *changed, mode))
    return Failure(FileError::Write, target, code);
  return std::nullopt;
}

}  // namespace fileio
