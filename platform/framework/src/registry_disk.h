// SPDX-License-Identifier: MIT
// The settings file on disk, for the file store (registry.cpp): where a link leads, reading the
// whole file, the exclusive lock held while one process changes it, and replacing it. A POSIX
// form (registry_disk_posix.cpp) and a Windows form (registry_disk_windows.cpp). Failures raise
// ERegistryException naming the file. Any thread; a FileLock belongs to the thread that took it.
#pragma once

#include <framework/registry.h>

#include <cstdint>
#include <string>

namespace regdisk {

// The file that reading and writing `file` reaches: `file` itself, or on POSIX the end of the
// chain of symbolic links it starts, so that a settings file kept elsewhere behind a link stays
// there.
std::string LinkTarget(const std::string& file);

// The file's content; empty when it does not exist.
std::string Load(const std::string& file);

// Replaces file by content in one step, keeping its permissions (0600 for a new file).
void Replace(const std::string& file, const std::string& content);

// An exclusive lock on <file>.lock (its folders created first), held while one process re-reads,
// changes and replaces the file: the file itself is replaced, so it cannot carry the lock.
class FileLock {
 public:
  explicit FileLock(const std::string& file);
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

 private:
  std::intptr_t handle_;  // a descriptor on POSIX, a HANDLE on Windows
};

}  // namespace regdisk
