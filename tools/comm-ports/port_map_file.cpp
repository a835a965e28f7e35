// SPDX-License-Identifier: MIT
#include "port_map_file.h"

#include "file_update.h"

namespace comm_ports {

std::string AppendLines(const std::string& mapFile,
                        const std::function<std::vector<std::string>()>& choose) {
  const auto appended = [&](const std::string& content) -> std::optional<std::string> {
    const std::vector<std::string> lines = choose();
    if (lines.empty()) return std::nullopt;
    std::string changed = content;
    if (!changed.empty() && changed.back() != '\n') changed += '\n';
    for (const std::string& line : lines) changed += line + '\n';
    return changed;
  };
  const auto failure =
      fileio::UpdateFile(mapFile, appended, {.newFileMode = 0644, .lock = fileio::LockOn::Folder});
  return failure ? failure->Message() : std::string();
}

}  // namespace comm_ports
