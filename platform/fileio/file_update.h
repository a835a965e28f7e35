// SPDX-License-Identifier: MIT
// Reading a per-user file whole, and changing it in place under an exclusive lock, for the
// stores the programs keep (the settings store, the port map): one way to follow a symbolic
// link, one lock for the whole read-change-replace, one replacement that keeps the file's
// permissions, and one wording of every failure. A POSIX form (file_update.cpp) and a Windows
// form (file_update_windows.cpp). Internal to the project's libraries and tools; not installed.
// Any thread: two threads or processes updating the same file take turns on its lock.
#pragma once

#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>

namespace fileio {

// A failed read, lock or write, worded "Cannot <read|lock|write> <path>: <reason>".
struct FileError {
  enum Step { Read, Lock, Write };
  Step step = Read;
  std::string path;
  int code = 0;        // the errno; on Windows the errno nearest to the system's error
  std::string reason;  // strerror(code), or on Windows the system's own wording

  std::string Message() const {
    static constexpr const char* kVerbs[] = {"read", "lock", "write"};
    return std::string("Cannot ") + kVerbs[step] + " " + path + ": " + reason;
  }
};

// What the lock is taken on. Every process changing one file must use the same.
enum class LockOn {
  LockFile,  // "<file>.lock" beside the file (created, never removed)
#if !defined(_WIN32)
  Folder,  // the folder holding the file, which then holds nothing of the lock's own
#endif
};

struct UpdateOptions {
  mode_t newFileMode = 0600;  // permissions of a file that does not exist yet (not on Windows)
  LockOn lock = LockOn::LockFile;
};

// A change: receives the file's content (empty when it does not exist) and returns the new content,
// or nothing to leave the file as it is. Runs under the lock; what it throws leaves the file as it
// is and passes on to UpdateFile's caller, the lock released.
using ContentChange = std::function<std::optional<std::string>(const std::string& current)>;

// Reads File whole into Content; a missing file reads as empty. A link is followed.
std::optional<FileError> ReadWholeFile(const std::string& File, std::string& Content);

// Changes File in place: follows the chain of symbolic links File starts (the links stay links
// and the file at the end is rewritten; a loop fails with ELOOP), creates the missing folders
// above it (0700), takes the exclusive lock, reads the file, calls Change and replaces the file
// in one step with what it returns (fileio::ReplaceFile), keeping the file's permissions. A
// file that exists but cannot be read is never replaced. Returns the failure, if any.
std::optional<FileError> UpdateFile(const std::string& File, const ContentChange& Change,
                                    const UpdateOptions& Options = {});

}  // namespace fileio
