// SPDX-License-Identifier: MIT
// Environment variables and names for tests: a variable set for a scope, a device route
// COMM_PORT_<n> for a scope, and names that no other test of the process uses. Environment
// changes are for the main thread, before the code under test starts threads.
#pragma once

#include <optional>
#include <string>

namespace testsupport {

// Sets (or, given nullopt, removes) a variable; its previous state comes back at scope end.
class ScopedEnv {
 public:
  ScopedEnv(std::string name, const std::optional<std::string>& value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> old_;
};

// Points "\\.\COM<number>" at a device path ("virtual:NAME" or "/dev/...") for the scope.
class ScopedPortEnv : public ScopedEnv {
 public:
  ScopedPortEnv(int number, const std::string& path)
      : ScopedEnv("COMM_PORT_" + std::to_string(number), path) {}
};

// "<prefix>-<process id>-<counter>": a cable or file name no other test of the process uses.
std::string UniqueName(const std::string& prefix);

}  // namespace testsupport
