// SPDX-License-Identifier: MIT
// "\\.\COM<n>" (or "COM<n>") to a device path: the environment variable COMM_PORT_<n>, then the
// per-user port map ${XDG_CONFIG_HOME:-$HOME/.config}/comm/ports, then /dev/ttyS<n-1>.
#include "device_names.h"

#include <sys/stat.h>

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <string_view>
#include <utility>

#include "line.h"

namespace serial {
namespace {

constexpr std::string_view kDevicePrefix = R"(\\.\)";
constexpr int kMaxPortNumber = 1'000'000;

std::string_view Trim(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) {
    text.remove_prefix(1);
  }
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
    text.remove_suffix(1);
  }
  return text;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
  }
  return true;
}

// "COM<n>", optionally preceded by "\\.\" ("COM" in any case).
bool ParseComName(std::string_view name, int& number) {
  if (name.starts_with(kDevicePrefix)) name.remove_prefix(kDevicePrefix.size());
  if (!StartsWithNoCase(name, "COM")) return false;
  return ParsePortNumber(name.substr(3), number);
}

// Looks the port up in the map file. The first entry for a port wins.
bool LookUpPortMap(int number, std::string& path) {
  const std::string mapPath = PortMapPath();
  if (mapPath.empty()) return false;
  std::ifstream map(mapPath);
  std::string line;
  std::string linePath;
  int lineNumber = 0;
  while (std::getline(map, line)) {
    if (ParsePortMapLine(line, lineNumber, linePath) && lineNumber == number) {
      path = std::move(linePath);
      return true;
    }
  }
  return false;
}

}  // namespace

// A port number: decimal digits only, no sign, no leading zero, 1 or more.
bool ParsePortNumber(std::string_view digits, int& number) {
  if (digits.empty() || digits.front() == '0') return false;
  number = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') return false;
    number = number * 10 + (c - '0');
    if (number > kMaxPortNumber) return false;
  }
  return true;
}

// The user's configuration folder: ${XDG_CONFIG_HOME} when absolute, else $HOME/.config; empty
// when neither is known.
std::string ConfigHome() {
  const char* configHome = std::getenv("XDG_CONFIG_HOME");
  if (configHome != nullptr && configHome[0] == '/') return configHome;
  const char* home = std::getenv("HOME");
  if (home == nullptr || home[0] == '\0') return {};
  return std::string(home) + "/.config";
}

// The map belongs to the library, which every program built on it shares: comm/ports. Before,
// it was kept in the first program's folder, zelvane/ports; such a file is still used until a
// map exists in the library's place.
std::string PortMapPath() {
  const std::string home = ConfigHome();
  if (home.empty()) return {};
  std::string current = home + "/comm/ports";
  std::string earlier = home + "/zelvane/ports";
  struct stat status {};
  if (stat(current.c_str(), &status) != 0 && stat(earlier.c_str(), &status) == 0) return earlier;
  return current;
}

// Lines "COM5=/dev/ttyUSB0" or "5=virtual:bench"; blank lines, lines starting with '#' and
// malformed lines are not entries.
bool ParsePortMapLine(std::string_view line, int& number, std::string& path) {
  const std::string_view entry = Trim(line);
  if (entry.empty() || entry.front() == '#') return false;
  const std::size_t equals = entry.find('=');
  if (equals == std::string_view::npos) return false;
  const std::string_view key = Trim(entry.substr(0, equals));
  const std::string_view value = Trim(entry.substr(equals + 1));
  if (value.empty() || !(ParseComName(key, number) || ParsePortNumber(key, number))) return false;
  path = value;
  return true;
}

bool ResolveDeviceName(const std::string& name, std::string& path, DWORD& error) {
  int number = 0;
  if (!ParseComName(name, number)) {
    error = ERROR_FILE_NOT_FOUND;
    return false;
  }
  const std::string variable = "COMM_PORT_" + std::to_string(number);
  const char* fromEnvironment = std::getenv(variable.c_str());
  if (fromEnvironment != nullptr && fromEnvironment[0] != '\0') {
    path = fromEnvironment;
  } else if (!LookUpPortMap(number, path)) {
    path = "/dev/ttyS" + std::to_string(number - 1);
  }
  error = 0;
  return true;
}

}  // namespace serial
