// SPDX-License-Identifier: MIT
// "\\.\COM<n>" resolution: environment variable, per-user port map, /dev/ttyS<n-1>, bad names.
#include <gtest/gtest.h>
#include <serial/ports.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "environment.h"
#include "line.h"

namespace serial {
namespace {

namespace fs = std::filesystem;

using testsupport::ScopedEnv;

class DeviceNameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tty_names_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    configHome_ = pattern;
    fs::create_directories(configHome_ / "comm");
  }
  void TearDown() override { fs::remove_all(configHome_); }

  void WriteMap(const std::string& text) { std::ofstream(configHome_ / "comm" / "ports") << text; }

  // The resolved path, or "<error N>".
  static std::string Resolve(const std::string& name) {
    std::string path;
    DWORD error = 0;
    if (!ResolveDeviceName(name, path, error)) return "<error " + std::to_string(error) + ">";
    EXPECT_EQ(error, 0u);
    return path;
  }

  fs::path configHome_;
};

const std::string kNotFound = "<error " + std::to_string(ERROR_FILE_NOT_FOUND) + ">";

TEST_F(DeviceNameTest, EnvironmentVariableThenPortMapThenTtyS) {
  ScopedEnv xdg("XDG_CONFIG_HOME", configHome_.string());
  ScopedEnv env5("COMM_PORT_5", "/dev/pts/77");
  ScopedEnv env8("COMM_PORT_8", "virtual:bench/B");
  ScopedEnv env3("COMM_PORT_3", std::nullopt);
  ScopedEnv env6("COMM_PORT_6", std::nullopt);
  ScopedEnv env12("COMM_PORT_12", "");
  WriteMap(
      "# serial ports of this user\n"
      "\n"
      "COM5=/dev/ttyUSB9\n"     // shadowed by COMM_PORT_5
      "  6 = virtual:demo  \n"  // spaces around key and value
      "# COM3=/dev/commented-out\n"
      "this line is malformed\n"
      "COMx=/dev/bad-key\n"
      "com12=/dev/ttyACM0\n"        // an empty variable does not count
      "COM6=/dev/second-entry\n");  // the first entry for a port wins

  EXPECT_EQ(Resolve("\\\\.\\COM5"), "/dev/pts/77");
  EXPECT_EQ(Resolve("COM5"), "/dev/pts/77");
  EXPECT_EQ(Resolve("\\\\.\\COM8"), "virtual:bench/B");
  EXPECT_EQ(Resolve("\\\\.\\COM6"), "virtual:demo");
  EXPECT_EQ(Resolve("\\\\.\\com12"), "/dev/ttyACM0");
  EXPECT_EQ(Resolve("\\\\.\\COM3"), "/dev/ttyS2");
  EXPECT_EQ(Resolve("COM1"), "/dev/ttyS0");
}

// A relative XDG_CONFIG_HOME is no valid setting: ignored, as by the settings store.
TEST_F(DeviceNameTest, PortMapUnderHomeWhenNoAbsoluteConfigHomeIsSet) {
  fs::create_directories(configHome_ / ".config" / "comm");
  std::ofstream(configHome_ / ".config" / "comm" / "ports") << "COM4=/dev/ttyUSB1\n";
  std::ofstream(configHome_ / "comm" / "ports") << "COM4=/dev/relative-map\n";
  const fs::path cwd = fs::current_path();
  fs::current_path(configHome_);
  ScopedEnv home("HOME", configHome_.string());
  ScopedEnv env4("COMM_PORT_4", std::nullopt);
  for (const char* ignored : {".", "./", ""}) {
    ScopedEnv xdg("XDG_CONFIG_HOME", std::string(ignored));
    EXPECT_EQ(Resolve("\\\\.\\COM4"), "/dev/ttyUSB1") << "XDG_CONFIG_HOME=" << ignored;
  }
  fs::current_path(cwd);
  ScopedEnv xdg("XDG_CONFIG_HOME", std::nullopt);
  EXPECT_EQ(Resolve("\\\\.\\COM4"), "/dev/ttyUSB1");

  ScopedEnv noHome("HOME", std::nullopt);  // no map at all: the fallback
  EXPECT_EQ(Resolve("\\\\.\\COM4"), "/dev/ttyS3");
}

// A map kept where the first program kept it is used until the library's own place has one.
TEST_F(DeviceNameTest, TheEarlierPortMapIsReadUntilTheLibrarysExists) {
  ScopedEnv xdg("XDG_CONFIG_HOME", configHome_.string());
  ScopedEnv env7("COMM_PORT_7", std::nullopt);
  fs::create_directories(configHome_ / "zelvane");
  std::ofstream(configHome_ / "zelvane" / "ports") << "COM7=/dev/earlier\n";
  EXPECT_EQ(Resolve("\\\\.\\COM7"), "/dev/earlier");
  EXPECT_EQ(serial::PortMapFile(), (configHome_ / "zelvane" / "ports").string());
  WriteMap("COM7=/dev/current\n");
  EXPECT_EQ(Resolve("\\\\.\\COM7"), "/dev/current");
  EXPECT_EQ(serial::PortMapFile(), (configHome_ / "comm" / "ports").string());
}

TEST_F(DeviceNameTest, BadNamesAreNotFound) {
  for (const char* name :
       {"\\\\.\\COM0", "\\\\.\\COM-1", "COMx", "COM", "\\\\.\\COM", "", "LPT1", "\\\\.\\COM1x",
        "\\\\.\\COM 1", "COM01", "COM+2", "\\\\.\\COM99999999999999999999", "/dev/ttyS0",
        "\\\\?\\COM1", "xCOM1"}) {
    EXPECT_EQ(Resolve(name), kNotFound) << name;
  }
}

}  // namespace
}  // namespace serial
