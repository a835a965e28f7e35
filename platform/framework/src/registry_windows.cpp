// SPDX-License-Identifier: MIT
// The system registry as TRegistry's store on Windows: keys and values as the program names
// them, double-words as REG_DWORD and strings as REG_SZ, UTF-8 here and UTF-16 in the registry.
#include <win32/utf16.h>
#include <win32/win32.h>

#include <cstring>
#include <vector>

#include "registry_store.h"

namespace {

using regfile::Value;

// The root's handle and the path below it, from a full path "HKEY_<root>\a\b".
HKEY Split(const std::string& key, std::wstring& below) {
  const std::size_t slash = key.find('\\');
  const std::string root = key.substr(0, slash);
  below = slash == std::string::npos ? std::wstring() : win32::Utf16(key.substr(slash + 1));
  if (root == "HKEY_CLASSES_ROOT") return HKEY_CLASSES_ROOT;
  if (root == "HKEY_LOCAL_MACHINE") return HKEY_LOCAL_MACHINE;
  if (root == "HKEY_USERS") return HKEY_USERS;
  return HKEY_CURRENT_USER;
}

[[noreturn]] void Fail(const std::string& what, const std::string& name, LONG error) {
  throw ERegistryException(what + " '" + name +
                           "': " + win32::SystemMessage(static_cast<DWORD>(error)));
}

// An open key, closed when it goes.
class OpenedKey {
 public:
  OpenedKey() = default;
  ~OpenedKey() {
    if (key_ != nullptr) RegCloseKey(key_);
  }
  OpenedKey(const OpenedKey&) = delete;
  OpenedKey& operator=(const OpenedKey&) = delete;

  LONG Open(const std::string& key, REGSAM access) {
    std::wstring below;
    const HKEY root = Split(key, below);
    return RegOpenKeyExW(root, below.c_str(), 0, access, &key_);
  }
  LONG Create(const std::string& key, REGSAM access) {
    std::wstring below;
    const HKEY root = Split(key, below);
    return RegCreateKeyExW(root, below.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access,
                           nullptr, &key_, nullptr);
  }
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

// A REG_SZ's bytes as text: without the terminating zero (stored or not).
std::string StringData(const std::vector<BYTE>& data) {
  std::wstring text(data.size() / sizeof(wchar_t), L'\0');
  std::memcpy(text.data(), data.data(), text.size() * sizeof(wchar_t));
  while (!text.empty() && text.back() == L'\0') text.pop_back();
  return win32::Utf8(text);
}

class SystemStore : public regstore::Store {
 public:
  bool KeyExists(const std::string& key) override {
    OpenedKey k;
    return k.Open(key, KEY_READ) == ERROR_SUCCESS;
  }

  void CreateKey(const std::string& key) override {
    OpenedKey k;
    if (const LONG error = k.Create(key, KEY_WRITE); error != ERROR_SUCCESS)
      Fail("Failed to create key", key, error);
  }

  std::optional<Value> GetValue(const std::string& key, const std::string& name) override {
    OpenedKey k;
    if (k.Open(key, KEY_QUERY_VALUE) != ERROR_SUCCESS) return std::nullopt;
    const std::wstring wideName = win32::Utf16(name);
    DWORD type = 0;
    DWORD size = 0;
    LONG error = RegQueryValueExW(k.get(), wideName.c_str(), nullptr, &type, nullptr, &size);
    std::vector<BYTE> data;
    while (error == ERROR_SUCCESS) {
      data.resize(size);
      error = RegQueryValueExW(k.get(), wideName.c_str(), nullptr, &type, data.data(), &size);
      if (error == ERROR_SUCCESS) break;
      if (error == ERROR_MORE_DATA) error = ERROR_SUCCESS;  // it grew meanwhile: again
    }
    if (error == ERROR_FILE_NOT_FOUND) return std::nullopt;
    if (error != ERROR_SUCCESS) Fail("Failed to get data for", name, error);
    data.resize(size);
    Value v{name, rdUnknown, 0, {}};
    if (type == REG_DWORD && size == sizeof(DWORD)) {
      v.type = rdInteger;
      std::memcpy(&v.dword, data.data(), sizeof(DWORD));
    } else if (type == REG_SZ || type == REG_EXPAND_SZ) {
      v.type = rdString;
      v.text = StringData(data);
    }
    return v;
  }

  void PutValue(const std::string& key, const Value& value) override {
    OpenedKey k;
    if (const LONG error = k.Create(key, KEY_SET_VALUE); error != ERROR_SUCCESS)
      Fail("Failed to set data for", value.name, error);
    const std::wstring wideName = win32::Utf16(value.name);
    LONG error = ERROR_SUCCESS;
    if (value.type == rdInteger) {
      const DWORD dword = value.dword;
      error = RegSetValueExW(k.get(), wideName.c_str(), 0, REG_DWORD,
                             reinterpret_cast<const BYTE*>(&dword), sizeof dword);
    } else {
      const std::wstring text = win32::Utf16(value.text);
      error = RegSetValueExW(k.get(), wideName.c_str(), 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(text.c_str()),
                             static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    }
    if (error != ERROR_SUCCESS) Fail("Failed to set data for", value.name, error);
  }

  bool DeleteValue(const std::string& key, const std::string& name) override {
    OpenedKey k;
    if (k.Open(key, KEY_SET_VALUE) != ERROR_SUCCESS) return false;
    return RegDeleteValueW(k.get(), win32::Utf16(name).c_str()) == ERROR_SUCCESS;
  }
};

}  // namespace

std::unique_ptr<regstore::Store> regstore::SystemStore() {
  return std::make_unique<::SystemStore>();
}
