// SPDX-License-Identifier: MIT
// Replacing a file's whole content in one step, for the stores the programs keep (the settings
// store, the port map): a reader sees the old file or the new one, never a part, and a crash
// leaves one of the two. Internal to the project's libraries and tools; not installed.
// Any thread, as long as no two replace the same file at once (the callers lock for that).
#pragma once

#include <sys/types.h>

#include <string>

namespace fileio {

// Writes Content to a new file beside File with permissions Mode, flushes it to the disk,
// renames it over File and flushes the folder. Returns 0, or the errno of the step that failed;
// File is then untouched and no temporary file is left. On Windows the new file is written
// through (FlushFileBuffers) and moved over File with MoveFileExW (replace, write through);
// Mode is not used there.
int ReplaceFile(const std::string& File, const std::string& Content, mode_t Mode);

}  // namespace fileio
