// SPDX-License-Identifier: MIT
/// @file
/// The serial devices present on this machine and the COM number each is reached by.
///
/// ListSerialPorts() asks udev for the terminal devices that have hardware behind them (built-in
/// UARTs, USB serial adapters, USB modems/ACM devices, ...), with their USB identity and their
/// stable /dev/serial/by-id name, and works out which "\\.\COM<n>" opens each one by the same rules
/// CreateFileA uses: COMM_PORT_<n>, then the per-user port map, then /dev/ttyS<n-1>.
/// FreeComNumbers() and PortMapFile() help to give a device without a number one.
///
/// Threads: any thread; the calls keep no state between them. They read the environment, so they
/// must not run while another thread changes it (setenv).
#pragma once

#include <win32/export.h>

#include <cstddef>
#include <string>
#include <vector>

namespace serial {

/// One serial device present, as ListSerialPorts() reports it.
struct SerialPortInfo {
  std::string device;        ///< device node, "/dev/ttyUSB0"
  std::string byIdPath;      ///< "/dev/serial/by-id/usb-..." naming it, or empty
  std::string driver;        ///< kernel driver: "ftdi_sio", "cdc_acm", "serial8250", ... or empty
  std::string vendorId;      ///< USB vendor id, four hex digits ("0403"); empty if not USB
  std::string productId;     ///< USB product id ("6001"); empty if not USB
  std::string manufacturer;  ///< USB manufacturer string, empty where the device has none
  std::string product;       ///< USB product string, empty where the device has none
  std::string serialNumber;  ///< USB serial number string, empty where the device has none
  std::string description;   ///< one line for people: "FTDI FT232R USB UART"
  int comNumber = 0;         ///< lowest n whose "\\.\COM<n>" opens this device; 0: none
  bool accessible = false;   ///< the calling user may open it for reading and writing
  bool builtInWithoutUart = false;  ///< a ttyS* the kernel lists with port type "unknown"
};

/// What ListSerialPorts() lists beyond its default.
struct SerialPortQuery {
  /// Also list the ttyS* devices that have no UART behind them (left out by default).
  bool includeBuiltInWithoutUart = false;
};

/// The devices present, sorted by device name (ttyS2 before ttyS10). Empty when there are none
/// or udev cannot be read.
COMM_WIN32_API std::vector<SerialPortInfo> ListSerialPorts(const SerialPortQuery& query = {});

/// The `count` lowest COM numbers that reach nothing yet: no COMM_PORT_<n> variable, no port-map
/// line, and no present UART as /dev/ttyS<n-1> (listed devices other than the ttyS* without a
/// UART). `present` is what ListSerialPorts() returned.
COMM_WIN32_API std::vector<int> FreeComNumbers(const std::vector<SerialPortInfo>& present,
                                               std::size_t count);

/// The per-user port map, shared by every program built on Comm: ${XDG_CONFIG_HOME}/comm/ports
/// when XDG_CONFIG_HOME is an absolute path, else $HOME/.config/comm/ports; empty when neither
/// is set. Where only the earlier place, .../zelvane/ports, holds a map, that file. Its lines are
/// "COM<n>=path" or "<n>=path", '#' starts a comment, and the first line for a number wins.
COMM_WIN32_API std::string PortMapFile();

}  // namespace serial
