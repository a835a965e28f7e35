// SPDX-License-Identifier: MIT
#include "file_replace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "file_path.h"

namespace fileio {

namespace {

bool WriteAll(int Fd, const std::string& Data) {
  std::size_t done = 0;
  while (done < Data.size()) {
    const ssize_t n = ::write(Fd, Data.data() + done, Data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

int ReplaceFile(const std::string& File, const std::string& Content, mode_t Mode) {
  std::string temp = File + ".XXXXXX";
  const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return errno;
  const bool written = ::fchmod(fd, Mode) == 0 && WriteAll(fd, Content) && ::fsync(fd) == 0;
  int failure = written ? 0 : errno;
  ::close(fd);
  if (written && ::rename(temp.c_str(), File.c_str()) != 0) failure = errno;
  if (failure != 0) {
    ::unlink(temp.c_str());
    return failure;
  }
  const int folder = ::open(FolderOf(File).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    ::fsync(folder);
    ::close(folder);
  }
  return 0;
}

}  // namespace fileio
