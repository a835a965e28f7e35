// SPDX-License-Identifier: MIT
// Lists the serial devices present, each with the COM number that opens it and what is known of
// its hardware: the kernel driver, the USB identity and strings, and the stable by-id name that
// follows a USB adapter from one ttyUSB number to the next.
//
//   list_ports
#include <serial/ports.h>

#include <cstdio>

int main() {
  const std::vector<serial::SerialPortInfo> ports = serial::ListSerialPorts();
  if (ports.empty()) {
    std::printf("No serial devices found.\n");
    return 0;
  }
  for (const serial::SerialPortInfo& port : ports) {
    if (port.comNumber > 0) {
      std::printf("COM%-3d %s", port.comNumber, port.device.c_str());
    } else {
      std::printf("(none) %s", port.device.c_str());
    }
    std::printf("  %s%s\n", port.description.c_str(), port.accessible ? "" : "  [no access]");
    if (!port.driver.empty()) std::printf("       driver %s\n", port.driver.c_str());
    if (!port.vendorId.empty()) {
      std::printf("       USB %s:%s  %s / %s  serial %s\n", port.vendorId.c_str(),
                  port.productId.c_str(), port.manufacturer.c_str(), port.product.c_str(),
                  port.serialNumber.c_str());
    }
    if (!port.byIdPath.empty()) std::printf("       %s\n", port.byIdPath.c_str());
  }
  // A device without a number gets one from a line "COM<n>=<path>" in this file.
  std::printf("Port map: %s\n", serial::PortMapFile().c_str());
  return 0;
}
