// SPDX-License-Identifier: MIT
// Changes to the per-user port map made by comm-ports: lines appended atomically, under a lock.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace comm_ports {

// Appends the lines `choose` returns to the port map, keeping every byte already there: the old
// content and the new lines go to a temporary file beside it, which is flushed to disk and
// renamed over the map. `choose` runs under an exclusive lock on the folder holding the map
// (created if missing), so that two runs do not pick the same free number or lose each other's
// lines; it returns no lines to leave the map as it is. A symbolic link is followed, so the
// file it names is changed. Returns an empty string or what went wrong.
std::string AppendLines(const std::string& mapFile,
                        const std::function<std::vector<std::string>()>& choose);

}  // namespace comm_ports
