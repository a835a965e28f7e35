// SPDX-License-Identifier: MIT
#include "listing.h"

#include <grp.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <map>

namespace comm_ports {
namespace {

using serial::SerialPortInfo;

constexpr std::string_view kNone = "-";
constexpr std::size_t kColumnGap = 2;

std::string ComName(int number) { return number > 0 ? "COM" + std::to_string(number) : ""; }

// Characters on screen of UTF-8 text: every byte that does not continue a sequence.
std::size_t DisplayWidth(const std::string& text) {
  return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

std::string UsbId(const SerialPortInfo& port) {
  return port.vendorId.empty() ? std::string() : port.vendorId + ":" + port.productId;
}

using Row = std::array<std::string, 7>;

// A table cell: the text, or "-" for none.
std::string Cell(const std::string& text) { return text.empty() ? std::string(kNone) : text; }

Row TableRow(const SerialPortInfo& port) {
  return {Cell(ComName(port.comNumber)),
          port.device,
          Cell(port.driver),
          Cell(UsbId(port)),
          Cell(port.serialNumber),
          Cell(port.description),
          Cell(port.byIdPath)};
}

// Columns padded to their widest cell; the last one is not padded.
void PrintRows(const std::vector<Row>& rows, std::ostream& out) {
  std::array<std::size_t, std::tuple_size_v<Row>> widths{};
  for (const Row& row : rows) {
    for (std::size_t c = 0; c < row.size(); ++c) {
      widths[c] = std::max(widths[c], DisplayWidth(row[c]));
    }
  }
  for (const Row& row : rows) {
    for (std::size_t c = 0; c + 1 < row.size(); ++c) {
      out << row[c] << std::string(widths[c] - DisplayWidth(row[c]) + kColumnGap, ' ');
    }
    out << row.back() << '\n';
  }
}

void PrintSuggestions(const Listing& listing, std::ostream& out) {
  std::string lines;
  for (const std::string& suggestion : listing.suggestions) {
    if (!suggestion.empty()) lines += "  " + suggestion + '\n';
  }
  if (lines.empty()) return;
  out << "\nDevices without a COM number get one from these lines in the port map "
      << (listing.mapFile.empty() ? "(none: HOME is not set)" : listing.mapFile) << ":\n"
      << lines
      << "Run \"comm-ports --assign\" to add them, or \"comm-ports --assign DEVICE\" for one "
         "device.\n";
}

// The group whose members may read and write the device, or empty when membership would not help.
std::string GroupThatMayOpen(const std::string& device) {
  struct stat st {};
  constexpr mode_t kGroupReadWrite = S_IRGRP | S_IWGRP;
  if (::stat(device.c_str(), &st) != 0 || (st.st_mode & kGroupReadWrite) != kGroupReadWrite)
    return {};
  const group* entry = ::getgrgid(st.st_gid);
  return entry != nullptr ? entry->gr_name : std::to_string(st.st_gid);
}

// Devices the user may not open, by the group that may.
void PrintAccessNotes(const Listing& listing, std::ostream& out) {
  std::map<std::string, std::string> devicesByGroup;
  for (const SerialPortInfo& port : listing.ports) {
    if (port.accessible) continue;
    std::string& devices = devicesByGroup[GroupThatMayOpen(port.device)];
    devices += (devices.empty() ? "" : ", ") + port.device;
  }
  for (const auto& [group, devices] : devicesByGroup) {
    out << "\nYou may not open " << devices;
    if (group.empty()) {
      out << ".\n";
      continue;
    }
    out << ": only members of group " << group
        << " may. Add yourself to the group once, then log out and in again:\n"
        << "  sudo adduser \"$USER\" " << group << '\n';
  }
}

void PrintJsonString(const std::string& text, std::ostream& out) {
  out << '"';
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      out << '\\' << c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      std::array<char, 8> escaped{};
      std::snprintf(escaped.data(), escaped.size(), "\\u%04x", static_cast<unsigned>(c));
      out << escaped.data();
    } else {
      out << c;
    }
  }
  out << '"';
}

// A string, or null when it is empty.
void PrintJsonText(const std::string& text, std::ostream& out) {
  if (text.empty()) {
    out << "null";
  } else {
    PrintJsonString(text, out);
  }
}

void PrintJsonPort(const SerialPortInfo& port, const std::string& suggestion, std::ostream& out) {
  const std::pair<const char*, const std::string*> texts[] = {
      {"device", &port.device},          {"by_id", &port.byIdPath},
      {"driver", &port.driver},          {"vendor_id", &port.vendorId},
      {"product_id", &port.productId},   {"manufacturer", &port.manufacturer},
      {"product", &port.product},        {"serial", &port.serialNumber},
      {"description", &port.description}};
  out << '{';
  for (const auto& [key, value] : texts) {
    out << '"' << key << "\": ";
    PrintJsonText(*value, out);
    out << ", ";
  }
  out << "\"com\": " << (port.comNumber > 0 ? std::to_string(port.comNumber) : "null")
      << ", \"accessible\": " << (port.accessible ? "true" : "false")
      << ", \"built_in_without_uart\": " << (port.builtInWithoutUart ? "true" : "false")
      << ", \"suggested_line\": ";
  PrintJsonText(suggestion, out);
  out << '}';
}

}  // namespace

std::vector<std::string> PortMapLines(const std::vector<const SerialPortInfo*>& ports,
                                      const std::vector<SerialPortInfo>& present) {
  const std::vector<int> numbers = serial::FreeComNumbers(present, ports.size());
  std::vector<std::string> lines;
  for (std::size_t i = 0; i < ports.size(); ++i) {
    const SerialPortInfo& port = *ports[i];
    lines.push_back(ComName(numbers[i]) + "=" +
                    (port.byIdPath.empty() ? port.device : port.byIdPath));
  }
  return lines;
}

Listing MakeListing(bool includeBuiltInWithoutUart) {
  Listing listing;
  listing.mapFile = serial::PortMapFile();
  for (SerialPortInfo& port : serial::ListSerialPorts({.includeBuiltInWithoutUart = true})) {
    if (port.builtInWithoutUart && !includeBuiltInWithoutUart) {
      ++listing.leftOut;
    } else {
      listing.ports.push_back(std::move(port));
    }
  }
  std::vector<const SerialPortInfo*> unnumbered;
  for (const SerialPortInfo& port : listing.ports) {
    if (port.comNumber == 0 && !port.builtInWithoutUart) unnumbered.push_back(&port);
  }
  const std::vector<std::string> lines = PortMapLines(unnumbered, listing.ports);
  listing.suggestions.resize(listing.ports.size());
  for (std::size_t i = 0, next = 0; i < listing.ports.size(); ++i) {
    if (next < unnumbered.size() && unnumbered[next] == &listing.ports[i])
      listing.suggestions[i] = lines[next++];
  }
  return listing;
}

void PrintTable(const Listing& listing, std::ostream& out) {
  if (listing.ports.empty()) {
    out << "No serial devices found.";
    if (listing.leftOut > 0) {
      out << " (" << listing.leftOut
          << " built-in serial port(s) without a UART left out; \"comm-ports --all\" lists them.)";
    }
    out << '\n';
    return;
  }
  std::vector<Row> rows = {{"COM", "DEVICE", "DRIVER", "USB ID", "SERIAL", "DESCRIPTION", "BY-ID"}};
  for (const SerialPortInfo& port : listing.ports) rows.push_back(TableRow(port));
  PrintRows(rows, out);
  PrintSuggestions(listing, out);
  PrintAccessNotes(listing, out);
}

void PrintJson(const Listing& listing, std::ostream& out) {
  out << "{\"port_map\": ";
  PrintJsonText(listing.mapFile, out);
  out << ",\n \"ports\": [";
  for (std::size_t i = 0; i < listing.ports.size(); ++i) {
    out << (i == 0 ? "\n  " : ",\n  ");
    PrintJsonPort(listing.ports[i], listing.suggestions[i], out);
  }
  out << "\n ]}\n";
}

}  // namespace comm_ports
