// SPDX-License-Identifier: MIT
// Changes to the per-user port map made by comm-ports: lines appended atomically, under a lock.
#pragma once

#include <string>
#include <vector>

namespace comm_ports {

// An exclusive lock on the folder holding the port map (created if missing), so that two runs do
// not pick the same free number or lose each other's lines. Check locked() after construction.
class PortMapLock {
 public:
  explicit PortMapLock(const std::string& mapFile);
  ~PortMapLock();
  PortMapLock(const PortMapLock&) = delete;
  PortMapLock& operator=(const PortMapLock&) = delete;

  bool locked() const { return fd_ >= 0; }
  const std::string& error() const { return error_; }

 private:
  int fd_ = -1;
  std::string error_;
};

// Appends `lines` to the file, keeping every byte already there: the old content and the new
// lines go to a temporary file beside it, which is flushed to disk and renamed over the file.
// A symbolic link is followed, so the file it names is changed. Returns an empty string or what
// went wrong.
std::string AppendLines(const std::string& mapFile, const std::vector<std::string>& lines);

}  // namespace comm_ports
