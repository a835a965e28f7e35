// SPDX-License-Identifier: MIT
// Pieces of "\\.\COM<n>" resolution (device_names.cpp) that the port list shares: the port
// number syntax and the per-user port map, its place and its line format.
#pragma once

#include <string>
#include <string_view>

namespace serial {

// A port number: decimal digits only, no sign, no leading zero, 1 or more.
bool ParsePortNumber(std::string_view digits, int& number);

// ${XDG_CONFIG_HOME}/comm/ports when XDG_CONFIG_HOME is absolute, else
// $HOME/.config/comm/ports; empty when neither is known. Where only the earlier place,
// .../zelvane/ports, has a map, that one.
std::string PortMapPath();

// One port-map line: "COM5=/dev/ttyUSB0" or "5=virtual:bench" sets `number` and `path`; blank
// lines, comments ('#') and malformed lines return false.
bool ParsePortMapLine(std::string_view line, int& number, std::string& path);

}  // namespace serial
