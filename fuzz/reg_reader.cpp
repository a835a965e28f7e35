// SPDX-License-Identifier: MIT
// Settings-file fuzz target: any file content either reads or raises ERegistryException, a
// damaged file is never changed, and a file that reads can be written and read back.
#include <framework/registry.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

const std::string& Folder() {
  // In memory when possible: every accepted input costs an fsync.
  static const std::string base = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
  static const std::string name = base + "/zelvane-fuzz-reg-" + std::to_string(::getpid());
  return name;
}

std::string FileName() { return Folder() + "/user.reg"; }

// Removes the folder when the input has been checked (libFuzzer may end without exit handlers).
struct FolderCleanup {
  ~FolderCleanup() { std::filesystem::remove_all(Folder()); }
};

std::string Content(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const FolderCleanup cleanup;
  const std::string file = FileName();
  const std::string input(reinterpret_cast<const char*>(data), size);
  {
    TRegistry probe(file);  // creates the folder on first use
    try {
      probe.CreateKey("\\Init");
    } catch (const ERegistryException&) {
    }
  }
  std::ofstream(file, std::ios::binary | std::ios::trunc) << input;
  TRegistry reg(file);
  bool readable = true;
  try {
    if (reg.OpenKey("\\Software\\Brennwick\\Zelvane", false)) {
      if (reg.GetDataType("PortNum") == rdInteger) (void)reg.ReadInteger("PortNum");
      if (reg.GetDataType("PortNum") == rdString) (void)reg.ReadString("PortNum");
    }
  } catch (const ERegistryException&) {
    readable = false;
  }
  try {
    reg.OpenKey("\\Software\\Brennwick\\Zelvane", true);
    reg.WriteInteger("PortNum", static_cast<int>(size));
  } catch (const ERegistryException&) {
    if (readable) __builtin_trap();                // a readable file must stay writable
    if (Content(file) != input) __builtin_trap();  // a damaged file is never changed
    return 0;
  }
  if (!readable) __builtin_trap();
  TRegistry back(file);
  if (!back.OpenKey("\\Software\\Brennwick\\Zelvane", false)) __builtin_trap();
  if (back.ReadInteger("PortNum") != static_cast<int>(size)) __builtin_trap();
  return 0;
}
