// SPDX-License-Identifier: MIT
// The port list and comm-ports against devices emulated with umockdev: a USB serial adapter with
// a /dev/serial/by-id link, a USB ACM device, a built-in UART, a ttyS the kernel lists without a
// UART, and a virtual console. The test's launcher preloads umockdev, which sends the /sys and
// /dev look-ups of this process and of its comm-ports runs to the test bed.
#include <grp.h>
#include <gtest/gtest.h>
#include <serial/ports.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <umockdev.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using serial::SerialPortInfo;

constexpr const char* kAdapterById = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0";

constexpr const char* kUsbAdapter = R"(P: /devices/pci0000:00/0000:00:14.0/usb1/1-2
E: SUBSYSTEM=usb
E: DEVTYPE=usb_device
A: idVendor=0403
A: idProduct=6001
A: manufacturer=FTDI
A: product=FT232R "USB" UART
A: serial=A1B2C3
L: driver=../../../../../bus/usb/drivers/usb

P: /devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0
E: SUBSYSTEM=usb
E: DEVTYPE=usb_interface
L: driver=../../../../../../bus/usb/drivers/ftdi_sio

P: /devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/ttyUSB0
E: SUBSYSTEM=usb-serial
L: driver=../../../../../../../bus/usb-serial/drivers/ftdi_sio

P: /devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/ttyUSB0/tty/ttyUSB0
N: ttyUSB0
E: SUBSYSTEM=tty
E: DEVNAME=/dev/ttyUSB0
A: dev=188:0
)";

constexpr const char* kAcmDevice = R"(P: /devices/pci0000:00/0000:00:14.0/usb1/1-3
E: SUBSYSTEM=usb
E: DEVTYPE=usb_device
A: idVendor=2e8a
A: idProduct=000a
A: manufacturer=Raspberry Pi
A: product=Pico
A: serial=E660583883265F2A
L: driver=../../../../../bus/usb/drivers/usb

P: /devices/pci0000:00/0000:00:14.0/usb1/1-3/1-3:1.0
E: SUBSYSTEM=usb
E: DEVTYPE=usb_interface
L: driver=../../../../../../bus/usb/drivers/cdc_acm

P: /devices/pci0000:00/0000:00:14.0/usb1/1-3/1-3:1.0/tty/ttyACM0
N: ttyACM0
E: SUBSYSTEM=tty
E: DEVNAME=/dev/ttyACM0
A: dev=166:0
)";

constexpr const char* kBuiltInUart = R"(P: /devices/pnp0/00:01
E: SUBSYSTEM=pnp
L: driver=../../../bus/pnp/drivers/serial

P: /devices/pnp0/00:01/tty/ttyS0
N: ttyS0
E: SUBSYSTEM=tty
E: DEVNAME=/dev/ttyS0
A: dev=4:64
A: type=4
)";

// Port type 0: the kernel reserves ttyS1 but found no UART for it.
constexpr const char* kPortWithoutUart = R"(P: /devices/platform/serial8250
E: SUBSYSTEM=platform
L: driver=../../../bus/platform/drivers/serial8250

P: /devices/platform/serial8250/tty/ttyS1
N: ttyS1
E: SUBSYSTEM=tty
E: DEVNAME=/dev/ttyS1
A: dev=4:65
A: type=0
)";

// A terminal with no hardware behind it: never a serial device.
constexpr const char* kConsole = R"(P: /devices/virtual/tty/tty0
N: tty0
E: SUBSYSTEM=tty
E: DEVNAME=/dev/tty0
A: dev=4:0
)";

constexpr uid_t kNobody = 65534;
constexpr gid_t kDialoutGid = 20;  // Debian's

struct CommandRun {
  int exitCode = -1;
  std::string out;  // standard output
};

class SerialPortsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* preload = getenv("LD_PRELOAD");
    ASSERT_TRUE(preload != nullptr && std::strstr(preload, "libumockdev-preload") != nullptr)
        << "run this test through its launcher, with_umockdev.sh";
    testbed_ = umockdev_testbed_new();
    gchar* root = umockdev_testbed_get_root_dir(testbed_);
    root_ = root;
    g_free(root);
    char pattern[] = "/tmp/serial_ports_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    config_ = pattern;
    SetEnv("XDG_CONFIG_HOME", config_.string());
    for (char** entry = environ; *entry != nullptr; ++entry) {
      const std::string variable(*entry);
      if (variable.starts_with("COMM_PORT_")) SetEnv(variable.substr(0, variable.find('=')), {});
    }
  }

  void TearDown() override {
    for (const auto& [name, value] : savedEnv_) {
      value ? setenv(name.c_str(), value->c_str(), 1) : unsetenv(name.c_str());
    }
    if (testbed_ != nullptr) g_object_unref(testbed_);
    fs::remove_all(config_);
    if (!everyone_.empty()) fs::remove_all(everyone_);
  }

  // Sets (or with no value removes) a variable until the end of the test.
  void SetEnv(const std::string& name, const std::optional<std::string>& value) {
    if (!savedEnv_.contains(name)) {
      const char* old = getenv(name.c_str());
      savedEnv_[name] = old != nullptr ? std::optional<std::string>(old) : std::nullopt;
    }
    value ? setenv(name.c_str(), value->c_str(), 1) : unsetenv(name.c_str());
  }

  void AddDevices(std::initializer_list<const char*> descriptions) {
    for (const char* description : descriptions) {
      GError* error = nullptr;
      ASSERT_TRUE(umockdev_testbed_add_from_string(testbed_, description, &error))
          << (error != nullptr ? error->message : "");
    }
  }

  // All five devices, and the adapter's by-id link made as udev makes it (relative).
  void AddAllDevices() {
    AddDevices({kUsbAdapter, kAcmDevice, kBuiltInUart, kPortWithoutUart, kConsole});
    const fs::path link = root_ / fs::path(kAdapterById).relative_path();
    fs::create_directories(link.parent_path());
    fs::create_symlink("../../ttyUSB0", link);
  }

  fs::path MapFile() const { return config_ / "comm" / "ports"; }

  void WriteMap(const std::string& text) const {
    fs::create_directories(MapFile().parent_path());
    std::ofstream(MapFile(), std::ios::binary) << text;
  }

  std::string ReadMap() const {
    std::ostringstream text;
    text << std::ifstream(MapFile(), std::ios::binary).rdbuf();
    return text.str();
  }

  // The program and the library it needs, copied to a folder every user may enter: the build
  // tree may lie in a folder that only its owner can enter (a home folder, a mktemp -d folder).
  std::string ProgramForEveryone() {
    if (!everyone_.empty()) return (everyone_ / "comm-ports").string();
    char pattern[] = "/tmp/serial_ports_program_XXXXXX";
    if (mkdtemp(pattern) == nullptr) return COMM_PORTS_PROGRAM;
    everyone_ = pattern;
    fs::permissions(everyone_, fs::perms::owner_all | fs::perms::group_read |
                                   fs::perms::group_exec | fs::perms::others_read |
                                   fs::perms::others_exec);
    fs::copy_file(COMM_PORTS_PROGRAM, everyone_ / "comm-ports");
    fs::copy_file(COMM_WIN32_LIBRARY, everyone_ / COMM_WIN32_SONAME);
    return (everyone_ / "comm-ports").string();
  }

  // Runs comm-ports with `args`; as an unprivileged user when `dropPrivileges` and this is root,
  // from the copy everyone may run (its library found through LD_LIBRARY_PATH).
  CommandRun RunCommand(const std::vector<std::string>& args, bool dropPrivileges = false) {
    const bool unprivileged = dropPrivileges && geteuid() == 0;
    const std::string program = unprivileged ? ProgramForEveryone() : COMM_PORTS_PROGRAM;
    int out[2];
    if (pipe(out) != 0) return {};
    std::vector<char*> argv = {const_cast<char*>(program.c_str())};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    const pid_t child = fork();
    if (child == 0) {
      dup2(out[1], STDOUT_FILENO);
      close(out[0]);
      close(out[1]);
      if (unprivileged) {
        if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0) _exit(126);
        setenv("LD_LIBRARY_PATH", everyone_.c_str(), 1);
      }
      execv(argv[0], argv.data());
      _exit(127);
    }
    close(out[1]);
    CommandRun run;
    char buffer[4096];
    for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) != 0;) {
      if (n > 0) run.out.append(buffer, static_cast<std::size_t>(n));
      if (n < 0 && errno != EINTR) break;
    }
    close(out[0]);
    int status = 0;
    waitpid(child, &status, 0);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
  }

  UMockdevTestbed* testbed_ = nullptr;
  fs::path root_;
  fs::path config_;
  fs::path everyone_;  // the program's copy for an unprivileged run, once made
  std::map<std::string, std::optional<std::string>> savedEnv_;
};

const SerialPortInfo* Find(const std::vector<SerialPortInfo>& ports, const std::string& device) {
  for (const SerialPortInfo& port : ports) {
    if (port.device == device) return &port;
  }
  return nullptr;
}

std::vector<std::string> Devices(const std::vector<SerialPortInfo>& ports) {
  std::vector<std::string> devices;
  for (const SerialPortInfo& port : ports) devices.push_back(port.device);
  return devices;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Identity from udev, COM numbers by the resolver's rules (environment before port map before
// /dev/ttyS<n-1>, through the by-id link), ports without a UART left out unless asked for, and
// the free numbers around all of them.
TEST_F(SerialPortsTest, ListsDevicesWithIdentityAndTheComNumberThatReachesThem) {
  AddAllDevices();
  SetEnv("COMM_PORT_3", kAdapterById);
  WriteMap(
      "# boards on this desk\n"
      "COM3=/dev/ttyACM0\n"  // shadowed by COMM_PORT_3
      "\n"
      "6=/dev/ttyACM0\n"
      "COM9=/dev/ttyACM0\n");

  const std::vector<SerialPortInfo> ports = serial::ListSerialPorts();
  EXPECT_EQ(Devices(ports),
            (std::vector<std::string>{"/dev/ttyACM0", "/dev/ttyS0", "/dev/ttyUSB0"}));

  const SerialPortInfo* adapter = Find(ports, "/dev/ttyUSB0");
  ASSERT_NE(adapter, nullptr);
  EXPECT_EQ(adapter->byIdPath, kAdapterById);
  EXPECT_EQ(adapter->driver, "ftdi_sio");
  EXPECT_EQ(adapter->vendorId + ":" + adapter->productId, "0403:6001");
  EXPECT_EQ(adapter->manufacturer, "FTDI");
  EXPECT_EQ(adapter->product, "FT232R \"USB\" UART");
  EXPECT_EQ(adapter->serialNumber, "A1B2C3");
  EXPECT_EQ(adapter->description, "FTDI FT232R \"USB\" UART");
  EXPECT_EQ(adapter->comNumber, 3);
  EXPECT_TRUE(adapter->accessible);

  const SerialPortInfo* acm = Find(ports, "/dev/ttyACM0");
  ASSERT_NE(acm, nullptr);
  EXPECT_EQ(acm->byIdPath, "");
  EXPECT_EQ(acm->driver, "cdc_acm");
  EXPECT_EQ(acm->description, "Raspberry Pi Pico");
  EXPECT_EQ(acm->serialNumber, "E660583883265F2A");
  EXPECT_EQ(acm->comNumber, 6);

  const SerialPortInfo* uart = Find(ports, "/dev/ttyS0");
  ASSERT_NE(uart, nullptr);
  EXPECT_EQ(uart->driver, "serial");
  EXPECT_EQ(uart->vendorId, "");
  EXPECT_EQ(uart->description, "Serial port, 16550A UART");
  EXPECT_EQ(uart->comNumber, 1);
  EXPECT_FALSE(uart->builtInWithoutUart);

  // 1: ttyS0, 3: environment, 6 and 9: port map; ttyS1 has no UART, so 2 is free.
  EXPECT_EQ(serial::FreeComNumbers(ports, 3), (std::vector<int>{2, 4, 5}));

  const std::vector<SerialPortInfo> all =
      serial::ListSerialPorts({.includeBuiltInWithoutUart = true});
  const SerialPortInfo* phantom = Find(all, "/dev/ttyS1");
  ASSERT_NE(phantom, nullptr);
  EXPECT_TRUE(phantom->builtInWithoutUart);
  EXPECT_EQ(phantom->description, "Serial port, no UART detected");
  EXPECT_EQ(serial::FreeComNumbers(all, 1), (std::vector<int>{2}));
  EXPECT_EQ(serial::PortMapFile(), MapFile().string());
}

// The by-id name comes from udev's record of the device's links, also where no link in
// /dev/serial/by-id leads to the device; comm-ports shows it.
TEST_F(SerialPortsTest, ByIdNameFromUdevsRecordOfTheLinks) {
  const std::string acmById = "/dev/serial/by-id/usb-Raspberry_Pi_Pico_E660583883265F2A-if00";
  std::string acm = kAcmDevice;
  acm += "E: DEVLINKS=/dev/serial/by-path/pci-0000:00:14.0-usb-0:3:1.0 " + acmById + "\n";
  AddDevices({kUsbAdapter, acm.c_str()});  // and no /dev/serial/by-id folder at all
  const std::vector<SerialPortInfo> ports = serial::ListSerialPorts();
  const SerialPortInfo* pico = Find(ports, "/dev/ttyACM0");
  ASSERT_NE(pico, nullptr);
  EXPECT_EQ(pico->byIdPath, acmById);
  const SerialPortInfo* adapter = Find(ports, "/dev/ttyUSB0");
  ASSERT_NE(adapter, nullptr);
  EXPECT_EQ(adapter->byIdPath, "");
  const CommandRun table = RunCommand({});
  ASSERT_EQ(table.exitCode, 0) << table.out;
  EXPECT_NE(table.out.find(acmById), std::string::npos) << table.out;
}

// The aligned table with the suggested port-map lines, the same as JSON, and --all.
TEST_F(SerialPortsTest, CommandPrintsTableJsonAndSuggestedLines) {
  AddAllDevices();

  const CommandRun table = RunCommand({});
  ASSERT_EQ(table.exitCode, 0) << table.out;
  const std::vector<std::string> lines = Lines(table.out);
  ASSERT_GE(lines.size(), 4u) << table.out;
  const std::string& header = lines[0];
  EXPECT_TRUE(header.starts_with("COM ")) << table.out;
  for (const char* column : {"DEVICE", "DRIVER", "USB ID", "SERIAL", "DESCRIPTION", "BY-ID"}) {
    const std::size_t at = header.find(column);
    ASSERT_NE(at, std::string::npos) << column;
    for (std::size_t row = 1; row <= 3; ++row) {
      ASSERT_GT(lines[row].size(), at) << lines[row];
      EXPECT_TRUE(lines[row][at - 1] == ' ' && lines[row][at] != ' ')
          << column << " not aligned in\n"
          << table.out;
    }
  }
  EXPECT_TRUE(lines[1].starts_with("-     /dev/ttyACM0  cdc_acm   2e8a:000a")) << table.out;
  EXPECT_TRUE(lines[2].starts_with("COM1  /dev/ttyS0")) << table.out;
  EXPECT_NE(lines[3].find("FTDI FT232R \"USB\" UART"), std::string::npos) << table.out;
  EXPECT_TRUE(lines[3].ends_with(kAdapterById)) << table.out;
  EXPECT_EQ(table.out.find("ttyS1"), std::string::npos) << table.out;
  EXPECT_NE(table.out.find("\n  COM2=/dev/ttyACM0\n  COM3=" + std::string(kAdapterById) + "\n"),
            std::string::npos)
      << table.out;
  EXPECT_NE(table.out.find(MapFile().string()), std::string::npos) << table.out;

  const CommandRun json = RunCommand({"--json"});
  ASSERT_EQ(json.exitCode, 0) << json.out;
  EXPECT_TRUE(json.out.starts_with("{\"port_map\": \"" + MapFile().string() + "\",")) << json.out;
  for (const std::string& expected :
       {"\"device\": \"/dev/ttyUSB0\", \"by_id\": \"" + std::string(kAdapterById) +
            "\", \"driver\": \"ftdi_sio\", \"vendor_id\": \"0403\", \"product_id\": \"6001\", "
            "\"manufacturer\": \"FTDI\", \"product\": \"FT232R \\\"USB\\\" UART\", "
            "\"serial\": \"A1B2C3\"",
        std::string("\"com\": null, \"accessible\": true, \"built_in_without_uart\": false, "
                    "\"suggested_line\": \"COM3=") +
            kAdapterById + "\"}",
        std::string("{\"device\": \"/dev/ttyS0\", \"by_id\": null, \"driver\": \"serial\""),
        std::string("\"com\": 1, \"accessible\": true, \"built_in_without_uart\": false, "
                    "\"suggested_line\": null}"),
        std::string("\"suggested_line\": \"COM2=/dev/ttyACM0\"}")}) {
    EXPECT_NE(json.out.find(expected), std::string::npos) << expected << "\nin\n" << json.out;
  }
  EXPECT_TRUE(json.out.ends_with("\n ]}\n")) << json.out;

  const CommandRun all = RunCommand({"--all", "--json"});
  EXPECT_NE(all.out.find("{\"device\": \"/dev/ttyS1\""), std::string::npos) << all.out;
  EXPECT_NE(all.out.find("\"com\": 2, \"accessible\": true, \"built_in_without_uart\": true, "
                         "\"suggested_line\": null}"),
            std::string::npos)
      << all.out;
  EXPECT_EQ(RunCommand({"--bogus"}).exitCode, 2);
}

// --assign DEVICE and --assign: the lowest free numbers, appended to a port map whose lines and
// comments stay as they were, and then used by the resolver.
TEST_F(SerialPortsTest, AssignAppendsToThePortMapAndKeepsIt) {
  AddAllDevices();
  const std::string before =
      "# desk boards\n"
      "COM2=virtual:demo\n"
      "  # indented comment, no newline at the end";
  WriteMap(before);
  chmod(MapFile().c_str(), 0640);

  const CommandRun one = RunCommand({"--assign", kAdapterById});
  ASSERT_EQ(one.exitCode, 0) << one.out;
  EXPECT_TRUE(one.out.starts_with("Added to " + MapFile().string() + ":\n  COM3=" + kAdapterById))
      << one.out;
  EXPECT_EQ(ReadMap(), before + "\nCOM3=" + kAdapterById + "\n");
  EXPECT_EQ(Find(serial::ListSerialPorts(), "/dev/ttyUSB0")->comNumber, 3);

  const CommandRun rest = RunCommand({"--assign"});
  ASSERT_EQ(rest.exitCode, 0) << rest.out;
  EXPECT_EQ(ReadMap(), before + "\nCOM3=" + kAdapterById + "\nCOM4=/dev/ttyACM0\n");
  EXPECT_EQ(rest.out.find("Devices without a COM number"), std::string::npos) << rest.out;
  EXPECT_NE(rest.out.find("COM4  /dev/ttyACM0"), std::string::npos) << rest.out;
  struct stat st {};
  ASSERT_EQ(stat(MapFile().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_EQ(std::distance(fs::directory_iterator(MapFile().parent_path()), {}), 1)
      << "temporary file left behind";

  const CommandRun again = RunCommand({"--assign"});
  EXPECT_EQ(again.exitCode, 0);
  EXPECT_TRUE(again.out.starts_with("Every serial device already has a COM number")) << again.out;
  EXPECT_EQ(RunCommand({"--assign", "/dev/ttyUSB7"}).exitCode, 1);
  EXPECT_EQ(ReadMap(), before + "\nCOM3=" + kAdapterById + "\nCOM4=/dev/ttyACM0\n");
}

// No devices at all, only a port without a UART, and a device the user may not open.
TEST_F(SerialPortsTest, CommandSaysSoWhenThereIsNothingToOpen) {
  AddDevices({kConsole});
  CommandRun run = RunCommand({});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out, "No serial devices found.\n");
  EXPECT_EQ(RunCommand({"--json"}).out,
            "{\"port_map\": \"" + MapFile().string() + "\",\n \"ports\": [\n ]}\n");

  AddDevices({kPortWithoutUart});
  EXPECT_TRUE(RunCommand({}).out.starts_with("No serial devices found. (1 built-in serial port"));

  AddDevices({kUsbAdapter});
  // As root, the device is given to group dialout and the command runs as nobody, who may read
  // the test bed but not the device; otherwise the device is closed to its owner too.
  fs::permissions(root_, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                             fs::perms::others_read | fs::perms::others_exec);
  fs::permissions(config_, fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);
  const bool asRoot = geteuid() == 0;
  if (asRoot) {
    const fs::path node = fs::read_symlink(root_ / "dev" / "ttyUSB0");  // the emulation's pty
    const group* dialout = getgrnam("dialout");
    ASSERT_EQ(chown(node.c_str(), 0, dialout != nullptr ? dialout->gr_gid : kDialoutGid), 0);
  }
  ASSERT_EQ(chmod("/dev/ttyUSB0", asRoot ? 0660 : 0), 0);
  run = RunCommand({}, true);
  EXPECT_EQ(run.exitCode, 0) << run.out;
  EXPECT_NE(run.out.find("\nYou may not open /dev/ttyUSB0"), std::string::npos) << run.out;
  if (asRoot) {
    EXPECT_NE(
        run.out.find("/dev/ttyUSB0: only members of group dialout may. Add yourself to the "
                     "group once, then log out and in again:\n  sudo adduser \"$USER\" dialout\n"),
        std::string::npos)
        << run.out;
  }
  EXPECT_NE(RunCommand({"--json"}, true).out.find("\"accessible\": false"), std::string::npos);
}

}  // namespace
