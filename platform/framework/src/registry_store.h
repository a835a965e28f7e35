// SPDX-License-Identifier: MIT
// Where TRegistry keeps its keys and values: the REGEDIT4 file store (registry.cpp), or on
// Windows the system registry (registry_windows.cpp). Keys are full paths with the root's name
// first ("HKEY_CURRENT_USER\Software\Brennwick"); names compare without regard to case. Failures
// raise ERegistryException. Each store serves one thread at a time.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "registry_file.h"

namespace regstore {

class Store {
 public:
  virtual ~Store() = default;
  virtual bool KeyExists(const std::string& key) = 0;
  virtual void CreateKey(const std::string& key) = 0;
  // The value of that name (type rdUnknown for a type the store does not use), if any.
  virtual std::optional<regfile::Value> GetValue(const std::string& key,
                                                 const std::string& name) = 0;
  // Creates the key if needed, then stores the value (rdInteger or rdString).
  virtual void PutValue(const std::string& key, const regfile::Value& value) = 0;
  virtual bool DeleteValue(const std::string& key, const std::string& name) = 0;
};

// The REGEDIT4 file fileName, re-read for every call and replaced under its lock for each change.
std::unique_ptr<Store> FileStore(const std::string& fileName);

#if defined(_WIN32)
// The current user's registry (RegCreateKeyExW, RegQueryValueExW, ...).
std::unique_ptr<Store> SystemStore();
#endif

}  // namespace regstore
