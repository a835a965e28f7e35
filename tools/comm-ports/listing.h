// SPDX-License-Identifier: MIT
// What comm-ports shows: the serial devices present, the port-map line that would give each
// device without a COM number the lowest free one, and their rendering as a table or as JSON.
#pragma once

#include <serial/ports.h>

#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

namespace comm_ports {

struct Listing {
  std::vector<serial::SerialPortInfo> ports;
  std::vector<std::string> suggestions;  // per port: "COM<n>=path", or empty when it has a number
  std::string mapFile;                   // the per-user port map (empty: HOME is not set)
  std::size_t leftOut = 0;               // ttyS* without a UART that were not listed
};

Listing MakeListing(bool includeBuiltInWithoutUart);

// Port-map lines giving each of `ports` (devices without a COM number) the lowest free numbers
// among those of `present`, in order: "COM<n>=<by-id path or device>".
std::vector<std::string> PortMapLines(const std::vector<const serial::SerialPortInfo*>& ports,
                                      const std::vector<serial::SerialPortInfo>& present);

// The aligned table, one device a line, followed by notes on devices without a number and on
// devices the user may not open; or a plain sentence when there are none.
void PrintTable(const Listing& listing, std::ostream& out);

// {"port_map": ..., "ports": [{...}, ...]}, one port a line.
void PrintJson(const Listing& listing, std::ostream& out);

}  // namespace comm_ports
