// SPDX-License-Identifier: MIT
// comm-ports: lists the serial devices present and the COM number each is reached by, and gives
// a device without one the lowest free number in the per-user port map.
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "listing.h"
#include "port_map_file.h"

namespace {

using comm_ports::Listing;
using serial::SerialPortInfo;

constexpr int kFailed = 1;
constexpr int kUsage = 2;

constexpr std::string_view kUsageText =
    "Usage: comm-ports [--help] [--version] [--json] [--all] [--assign [DEVICE]]\n"
    "Lists the serial devices present and the COM number (\\\\.\\COM<n>) that reaches each.\n"
    "  --json           print the list as JSON\n"
    "  --all            also list built-in ttyS ports that have no UART behind them\n"
    "  --assign         add a port-map line giving each device without a COM number the\n"
    "                   lowest free one (DEVICE: only that device, by its /dev or by-id path)\n"
    "  --version        print the version and exit\n";

struct Options {
  bool help = false;
  bool version = false;
  bool json = false;
  bool all = false;
  bool assign = false;
  std::string assignDevice;  // empty: every device without a number
};

// Reads the arguments into `options`; returns what is wrong with them, empty when nothing is.
std::string ParseOptions(const std::vector<std::string_view>& args, Options& options) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--help" || args[i] == "-h") {
      options.help = true;
    } else if (args[i] == "--version") {
      options.version = true;
    } else if (args[i] == "--json") {
      options.json = true;
    } else if (args[i] == "--all") {
      options.all = true;
    } else if (args[i] == "--assign") {
      options.assign = true;
      if (i + 1 < args.size() && !args[i + 1].starts_with("-")) options.assignDevice = args[++i];
    } else {
      const char* what = args[i].starts_with("-") ? "unknown option" : "unexpected argument";
      return std::string(what) + " '" + std::string(args[i]) + "'";
    }
  }
  return {};
}

bool Names(const SerialPortInfo& port, const std::string& device) {
  return device.empty() || device == port.device || device == port.byIdPath;
}

// What --assign adds: the port-map lines, or none and the reason (an error when `failed`).
struct Choice {
  std::vector<std::string> lines;
  std::string message;
  bool failed = false;
};

// The lines for the devices `device` names that have no COM number yet (every such device when
// it is empty).
Choice ChooseLines(const std::string& device) {
  const Listing listing = comm_ports::MakeListing(false);
  std::vector<const SerialPortInfo*> chosen;
  for (const SerialPortInfo& port : listing.ports) {
    if (!Names(port, device)) continue;
    if (port.comNumber == 0) {
      chosen.push_back(&port);
    } else if (!device.empty()) {
      return {{},
              port.device + " is already reached as COM" + std::to_string(port.comNumber) + "."};
    }
  }
  if (!chosen.empty()) return {comm_ports::PortMapLines(chosen, listing.ports), {}};
  if (!device.empty()) return {{}, "no serial device " + device, true};
  return {{}, "Every serial device already has a COM number; the port map is unchanged."};
}

// Appends the port-map lines for the chosen devices; messages go to `out`.
int Assign(const std::string& device, std::ostream& out) {
  const std::string mapFile = serial::PortMapFile();
  if (mapFile.empty()) {
    std::cerr << "comm-ports: no port map: neither HOME nor XDG_CONFIG_HOME is set\n";
    return kFailed;
  }
  Choice choice;
  const std::string error = comm_ports::AppendLines(mapFile, [&] {
    choice = ChooseLines(device);  // the devices and the map, read under the lock
    return choice.lines;
  });
  if (!error.empty() || choice.failed) {
    std::cerr << "comm-ports: " << (error.empty() ? choice.message : error) << '\n';
    return kFailed;
  }
  if (choice.lines.empty()) {
    out << choice.message << '\n';
    return 0;
  }
  out << "Added to " << mapFile << ":\n";
  for (const std::string& line : choice.lines) out << "  " << line << '\n';
  out << '\n';
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  const std::string error =
      ParseOptions(std::vector<std::string_view>(argv + 1, argv + argc), options);
  if (!error.empty()) {
    std::cerr << "comm-ports: " << error << '\n' << kUsageText;
    return kUsage;
  }
  if (options.help) {
    std::cout << kUsageText;
    return 0;
  }
  if (options.version) {
    std::cout << "comm-ports " << COMM_PORTS_VERSION << '\n';
    return 0;
  }
  if (options.assign) {
    const int result = Assign(options.assignDevice, options.json ? std::cerr : std::cout);
    if (result != 0) return result;
  }
  const Listing listing = comm_ports::MakeListing(options.all);
  if (options.json) {
    comm_ports::PrintJson(listing, std::cout);
  } else {
    comm_ports::PrintTable(listing, std::cout);
  }
  return 0;
}
