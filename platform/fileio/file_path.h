// SPDX-License-Identifier: MIT
// The folder part of a POSIX path, for fileio's own sources. Pure; any thread.
#pragma once

#include <string>

namespace fileio {

// "/a/b" for "/a/b/c", "/" for "/c", "." for "c".
inline std::string FolderOf(const std::string& File) {
  const std::size_t slash = File.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : File.substr(0, slash);
}

}  // namespace fileio
