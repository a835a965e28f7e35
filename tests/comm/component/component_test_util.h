// SPDX-License-Identifier: MIT
// Fixtures and call-log helpers of the TCommPort component tests.
#pragma once

#include <comm/Commport.h>
#include <gtest/gtest.h>
#include <serial/virtual_cable.h>

#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "comm_test_support.h"

namespace commtest {

// "Key=Value Key=Value" (the cable's rendering of a DCB) as a map.
inline std::map<std::string, std::string> ParseFields(const std::string& Args) {
  std::map<std::string, std::string> Fields;
  std::istringstream In(Args);
  std::string Item;
  while (In >> Item) {
    const auto Eq = Item.find('=');
    if (Eq != std::string::npos) Fields[Item.substr(0, Eq)] = Item.substr(Eq + 1);
  }
  return Fields;
}

// The records of the log whose call is one of Names, in order.
inline std::vector<serial::CallRecord> Only(const std::vector<serial::CallRecord>& Log,
                                            const std::vector<std::string>& Names) {
  std::vector<serial::CallRecord> Result;
  for (const auto& Record : Log)
    for (const auto& Name : Names)
      if (Record.Call == Name) Result.push_back(Record);
  return Result;
}

inline std::vector<std::string> Args(const std::vector<serial::CallRecord>& Records) {
  std::vector<std::string> Result;
  for (const auto& Record : Records) Result.push_back(Record.Args);
  return Result;
}

// A port numbered PortNumber whose device is end A of a fresh virtual cable; message boxes are
// recorded.
class CablePortTest : public ::testing::Test {
 protected:
  static constexpr int PortNumber = 5;

  CablePortTest() : Cable(UniqueName("component")), Env(PortNumber, Cable.NearPath()) {}

  std::unique_ptr<TCommPort> MakePort() {
    auto Port = std::make_unique<TCommPort>(nullptr);
    Port->SetComNumber(PortNumber);
    return Port;
  }

  std::vector<serial::CallRecord> Calls(const std::vector<std::string>& Names) const {
    return Only(Cable.CallLog(), Names);
  }

  DialogRecorder Boxes;
  serial::VirtualCable Cable;
  ScopedPortEnv Env;
};

}  // namespace commtest
