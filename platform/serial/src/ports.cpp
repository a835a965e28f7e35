// SPDX-License-Identifier: MIT
// Serial devices from udev, and the COM number that reaches each one.
#include "serial/ports.h"

#include <dirent.h>
#include <libudev.h>
#include <limits.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <set>
#include <string_view>
#include <utility>

#include "device_names.h"
#include "line.h"

extern char** environ;

namespace serial {
namespace {

constexpr std::string_view kByIdFolder = "/dev/serial/by-id";
constexpr std::string_view kBuiltInPrefix = "/dev/ttyS";
constexpr std::string_view kEnvironmentPrefix = "COMM_PORT_";
constexpr int kMaxLinkHops = 16;

struct UdevFree {
  void operator()(udev* u) const { udev_unref(u); }
  void operator()(udev_enumerate* e) const { udev_enumerate_unref(e); }
  void operator()(udev_device* d) const { udev_device_unref(d); }
};
using UdevPtr = std::unique_ptr<udev, UdevFree>;
using EnumeratePtr = std::unique_ptr<udev_enumerate, UdevFree>;
using DevicePtr = std::unique_ptr<udev_device, UdevFree>;

// Names of the kernel's serial port types (the tty's "type" attribute) up to 14, by number.
constexpr std::array<std::string_view, 15> kUartTypeNames = {
    "unknown", "8250",     "16450",  "16550", "16550A", "Cirrus", "16650",   "16650V2",
    "16750",   "Startech", "16C950", "16654", "16850",  "RSA",    "NS16550A"};

// Length of the valid UTF-8 sequence at the start of `text`, or 0 if it is not one (overlong
// forms, surrogates and code points past U+10FFFF are not valid).
std::size_t Utf8SequenceLength(std::string_view text) {
  const auto lead = static_cast<unsigned char>(text[0]);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  if (lead >= 0xC2 && lead < 0xE0) {
    length = 2;
  } else if (lead >= 0xE0 && lead < 0xF0) {
    length = 3;
  } else if (lead >= 0xF0 && lead < 0xF5) {
    length = 4;
  }
  if (length == 0 || length > text.size()) return 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead == 0xE0) low = 0xA0;
  if (lead == 0xED) high = 0x9F;
  if (lead == 0xF0) low = 0x90;
  if (lead == 0xF4) high = 0x8F;
  const auto second = static_cast<unsigned char>(text[1]);
  if (second < low || second > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) return 0;
  }
  return length;
}

// Device-supplied text made safe to print: control characters become spaces, bytes that are not
// UTF-8 become U+FFFD, surrounding blanks go.
std::string CleanText(const char* raw) {
  std::string clean;
  std::string_view text = raw != nullptr ? raw : "";
  while (!text.empty()) {
    const std::size_t length = Utf8SequenceLength(text);
    if (length == 0) {
      clean += "\xEF\xBF\xBD";
      text.remove_prefix(1);
      continue;
    }
    const auto c = static_cast<unsigned char>(text[0]);
    clean += (length == 1 && (c < 0x20 || c == 0x7F)) ? std::string(" ")
                                                      : std::string(text.substr(0, length));
    text.remove_prefix(length);
  }
  const std::size_t first = clean.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return clean.substr(first, clean.find_last_not_of(' ') - first + 1);
}

std::string Attribute(udev_device* device, const char* name) {
  return CleanText(udev_device_get_sysattr_value(device, name));
}

// The index k of "/dev/ttyS<k>" (k + 1 being a COM number), or -1.
int BuiltInIndex(std::string_view device) {
  if (!device.starts_with(kBuiltInPrefix)) return -1;
  const std::string_view digits = device.substr(kBuiltInPrefix.size());
  int number = 0;
  if (digits == "0") return 0;
  return ParsePortNumber(digits, number) ? number : -1;
}

// Whether `path`, followed through its symbolic links one hop at a time, comes to `device`.
bool LeadsTo(const std::string& path, const std::string& device) {
  std::filesystem::path current = std::filesystem::path(path).lexically_normal();
  for (int hop = 0; hop < kMaxLinkHops; ++hop) {
    if (current == device) return true;
    std::array<char, PATH_MAX> target{};
    const ssize_t n = ::readlink(current.c_str(), target.data(), target.size() - 1);
    if (n <= 0) return false;
    std::filesystem::path next(std::string(target.data(), static_cast<std::size_t>(n)));
    if (next.is_relative()) next = current.parent_path() / next;
    current = next.lexically_normal();
  }
  return false;
}

// The first of the by-id names among udev's record of the device's links (DEVLINKS, names
// separated by spaces), or empty.
std::string ByIdLink(udev_device* tty) {
  const char* links = udev_device_get_property_value(tty, "DEVLINKS");
  const std::string prefix = std::string(kByIdFolder) + "/";
  std::vector<std::string> names;
  std::string_view rest = links != nullptr ? links : "";
  while (!rest.empty()) {
    const std::size_t end = std::min(rest.find(' '), rest.size());
    const std::string_view link = rest.substr(0, end);
    if (link.starts_with(prefix) && link.size() > prefix.size()) names.emplace_back(link);
    rest.remove_prefix(std::min(end + 1, rest.size()));
  }
  std::sort(names.begin(), names.end());  // deterministic when several name one device
  return names.empty() ? std::string() : names.front();
}

// The entry of /dev/serial/by-id that leads to `device`, or empty.
std::string ByIdPath(const std::string& device) {
  std::unique_ptr<DIR, int (*)(DIR*)> folder(::opendir(std::string(kByIdFolder).c_str()),
                                             ::closedir);
  if (!folder) return {};
  std::vector<std::string> names;
  while (const dirent* entry = ::readdir(folder.get())) {
    const std::string path = std::string(kByIdFolder) + "/" + entry->d_name;
    if (entry->d_name[0] != '.' && LeadsTo(path, device)) names.push_back(path);
  }
  std::sort(names.begin(), names.end());  // deterministic when several name one device
  return names.empty() ? std::string() : names.front();
}

// The driver bound to the device's hardware: the nearest ancestor with one, passing over the
// kernel's generic serial-core port devices.
std::string DriverOf(udev_device* tty) {
  for (udev_device* d = udev_device_get_parent(tty); d != nullptr; d = udev_device_get_parent(d)) {
    const char* subsystem = udev_device_get_subsystem(d);
    if (subsystem != nullptr && std::string_view(subsystem) == "serial-base") continue;
    if (const char* driver = udev_device_get_driver(d)) return driver;
  }
  return {};
}

void ReadUsbIdentity(udev_device* tty, SerialPortInfo& port) {
  udev_device* usb = udev_device_get_parent_with_subsystem_devtype(tty, "usb", "usb_device");
  if (usb == nullptr) return;  // owned by tty
  port.vendorId = Attribute(usb, "idVendor");
  port.productId = Attribute(usb, "idProduct");
  port.manufacturer = Attribute(usb, "manufacturer");
  port.product = Attribute(usb, "product");
  port.serialNumber = Attribute(usb, "serial");
}

// The name of a port type of the 16550 family ("16550A"), or empty for others and unknown.
std::string UartTypeName(const std::string& type) {
  std::size_t number = 0;
  const auto [end, error] = std::from_chars(type.data(), type.data() + type.size(), number);
  if (error != std::errc() || end != type.data() + type.size() || number == 0 ||
      number >= kUartTypeNames.size()) {
    return {};
  }
  return std::string(kUartTypeNames[number]);
}

std::string Describe(const SerialPortInfo& port, const std::string& uartType) {
  if (!port.vendorId.empty()) {
    if (port.product.empty() && port.manufacturer.empty())
      return "USB serial device " + port.vendorId + ":" + port.productId;
    if (port.manufacturer.empty() || port.product.starts_with(port.manufacturer))
      return port.product;
    return port.product.empty() ? port.manufacturer : port.manufacturer + " " + port.product;
  }
  if (port.builtInWithoutUart) return "Serial port, no UART detected";
  if (!uartType.empty()) return "Serial port, " + uartType + " UART";
  return port.driver.empty() ? "Serial port" : "Serial port (" + port.driver + ")";
}

// The n of a "COMM_PORT_<n>=value" environment entry with a value (an empty one names nothing).
bool EnvironmentComNumber(std::string_view entry, int& number) {
  const std::size_t equals = entry.find('=');
  return entry.starts_with(kEnvironmentPrefix) && equals != std::string_view::npos &&
         equals + 1 < entry.size() &&
         ParsePortNumber(
             entry.substr(kEnvironmentPrefix.size(), equals - kEnvironmentPrefix.size()), number);
}

// COM numbers named by a COMM_PORT_<n> variable or a port-map line.
std::set<int> ConfiguredComNumbers() {
  std::set<int> numbers;
  int number = 0;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    if (EnvironmentComNumber(*entry, number)) numbers.insert(number);
  }
  const std::string mapFile = PortMapPath();
  if (mapFile.empty()) return numbers;
  std::ifstream map(mapFile);
  std::string line;
  std::string path;
  while (std::getline(map, line)) {
    if (ParsePortMapLine(line, number, path)) numbers.insert(number);
  }
  return numbers;
}

// The lowest number whose "\\.\COM<n>" resolves to a path leading to `device`, or 0.
int ComNumberOf(const std::string& device, std::set<int> candidates) {
  if (const int index = BuiltInIndex(device); index >= 0) candidates.insert(index + 1);
  for (const int number : candidates) {
    std::string path;
    DWORD error = 0;
    if (ResolveDeviceName("COM" + std::to_string(number), path, error) && LeadsTo(path, device))
      return number;
  }
  return 0;
}

std::optional<SerialPortInfo> ReadPort(udev_device* tty, const std::set<int>& configured) {
  const char* node = udev_device_get_devnode(tty);
  if (node == nullptr || udev_device_get_parent(tty) == nullptr) return std::nullopt;  // virtual
  SerialPortInfo port;
  port.device = node;
  const std::string type = Attribute(tty, "type");
  port.builtInWithoutUart = BuiltInIndex(port.device) >= 0 && type == "0";
  port.driver = DriverOf(tty);
  ReadUsbIdentity(tty, port);
  port.description = Describe(port, port.vendorId.empty() ? UartTypeName(type) : std::string());
  // udev's record names the link wherever the folder is (or is not) visible; the folder is read
  // where the record has none.
  port.byIdPath = ByIdLink(tty);
  if (port.byIdPath.empty()) port.byIdPath = ByIdPath(port.device);
  port.comNumber = ComNumberOf(port.device, configured);
  port.accessible = ::access(node, R_OK | W_OK) == 0;
  return port;
}

// "/dev/ttyS10" sorts as ("/dev/ttyS", 10), after ("/dev/ttyS", 2).
std::pair<std::string_view, long> SortKey(std::string_view device) {
  std::size_t digits = device.size();
  while (digits > 0 && device[digits - 1] >= '0' && device[digits - 1] <= '9') --digits;
  long number = -1;
  std::from_chars(device.data() + digits, device.data() + device.size(), number);
  return {device.substr(0, digits), number};
}

}  // namespace

std::vector<SerialPortInfo> ListSerialPorts(const SerialPortQuery& query) {
  std::vector<SerialPortInfo> ports;
  const UdevPtr context(udev_new());
  if (!context) return ports;
  const EnumeratePtr scan(udev_enumerate_new(context.get()));
  if (!scan || udev_enumerate_add_match_subsystem(scan.get(), "tty") < 0 ||
      udev_enumerate_scan_devices(scan.get()) < 0) {
    return ports;
  }
  const std::set<int> configured = ConfiguredComNumbers();
  udev_list_entry* entry = nullptr;
  udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(scan.get())) {
    const DevicePtr tty(
        udev_device_new_from_syspath(context.get(), udev_list_entry_get_name(entry)));
    if (!tty) continue;
    std::optional<SerialPortInfo> port = ReadPort(tty.get(), configured);
    if (port && (query.includeBuiltInWithoutUart || !port->builtInWithoutUart))
      ports.push_back(std::move(*port));
  }
  std::sort(ports.begin(), ports.end(), [](const SerialPortInfo& a, const SerialPortInfo& b) {
    return SortKey(a.device) < SortKey(b.device);
  });
  return ports;
}

std::vector<int> FreeComNumbers(const std::vector<SerialPortInfo>& present, std::size_t count) {
  std::set<int> taken = ConfiguredComNumbers();
  for (const SerialPortInfo& port : present) {
    const int index = BuiltInIndex(port.device);
    if (index >= 0 && !port.builtInWithoutUart) taken.insert(index + 1);
  }
  std::vector<int> free;
  for (int number = 1; free.size() < count; ++number) {
    if (!taken.contains(number)) free.push_back(number);
  }
  return free;
}

std::string PortMapFile() { return PortMapPath(); }

}  // namespace serial
