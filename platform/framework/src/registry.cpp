// SPDX-License-Identifier: MIT
// TRegistry: key paths resolved against the root and the open key, values kept by a store
// (registry_store.h): the REGEDIT4 file, re-read before each operation and replaced atomically
// under a lock for each change, or on Windows the system registry.
#include <framework/registry.h>

#include <cstdlib>
#include <string>

#include "file_update.h"
#include "registry_file.h"
#include "registry_store.h"
#include "text_util.h"

// ---- The file store ---------------------------------------------------------------------------

namespace {

using regfile::File;
using regfile::Key;
using regfile::Value;

File Load(const std::string& file) {
  std::string content;
  if (const auto failure = fileio::ReadWholeFile(file, content))
    throw ERegistryException(failure->Message());
  return regfile::Parse(file, content);
}

// Re-reads the file under its lock ("<file>.lock", which every process changing it takes),
// applies change and writes the result when it changed, keeping the file's permissions (0600
// for a new file).
template <class F>
void Modify(const std::string& file, F change) {
  const auto failure =
      fileio::UpdateFile(file, [&](const std::string& content) -> std::optional<std::string> {
        File reg = regfile::Parse(file, content);  // raises on damage: the file stays as it is
        const std::string before = regfile::Format(reg);
        change(reg);
        std::string after = regfile::Format(reg);
        if (after == before) return std::nullopt;
        return after;
      });
  if (failure) throw ERegistryException(failure->Message());
}

class FileStore : public regstore::Store {
 public:
  explicit FileStore(std::string fileName) : file_(std::move(fileName)) {}

  bool KeyExists(const std::string& key) override { return Load(file_).Exists(key); }

  void CreateKey(const std::string& key) override {
    Modify(file_, [&](File& reg) {
      if (!reg.Exists(key)) reg.Ensure(key);
    });
  }

  std::optional<Value> GetValue(const std::string& key, const std::string& name) override {
    File reg = Load(file_);
    Key* k = reg.Find(key);
    const Value* v = k != nullptr ? k->Find(name) : nullptr;
    if (v == nullptr) return std::nullopt;
    return *v;
  }

  void PutValue(const std::string& key, const Value& value) override {
    Modify(file_, [&](File& reg) { reg.Ensure(key).Put(value); });
  }

  bool DeleteValue(const std::string& key, const std::string& name) override {
    bool found = false;
    Modify(file_, [&](File& reg) {
      if (Key* k = reg.Find(key))
        found =
            std::erase_if(k->values, [&](const Value& v) { return SameText(v.name, name); }) > 0;
    });
    return found;
  }

 private:
  std::string file_;
};

// The store a TRegistry with that file name uses: on Windows, none names the system registry.
std::unique_ptr<regstore::Store> StoreFor(const std::string& fileName) {
#if defined(_WIN32)
  if (fileName.empty()) return regstore::SystemStore();
#endif
  return regstore::FileStore(fileName);
}

std::string RootName(HKEY root) {
  if (root == HKEY_CLASSES_ROOT) return "HKEY_CLASSES_ROOT";
  if (root == HKEY_LOCAL_MACHINE) return "HKEY_LOCAL_MACHINE";
  if (root == HKEY_USERS) return "HKEY_USERS";
  return "HKEY_CURRENT_USER";
}

std::string Relative(const std::string& full) {
  const std::size_t slash = full.find('\\');
  return slash == std::string::npos ? std::string() : full.substr(slash + 1);
}

void CheckStorable(const std::string& name, const std::string& text) {
  if (text.find_first_of("\r\n") != std::string::npos)
    throw ERegistryException("Failed to set data for '" + name + "': line breaks cannot be stored");
}

}  // namespace

std::unique_ptr<regstore::Store> regstore::FileStore(const std::string& fileName) {
  return std::make_unique<::FileStore>(fileName);
}

// ---- TRegistry -------------------------------------------------------------------------------

TRegistry::TRegistry() : FFileName(DefaultFileName()) {}
TRegistry::TRegistry(std::string FileName) : FFileName(std::move(FileName)) {}
TRegistry::~TRegistry() = default;

// A relative XDG_CONFIG_HOME is no valid setting and is ignored, as the XDG rules ask. On
// Windows the default store is the system registry, which has no file.
std::string TRegistry::DefaultFileName() {
#if defined(_WIN32)
  return {};
#else
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg != nullptr && xdg[0] == '/') return std::string(xdg) + "/zelvane/user.reg";
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr && *home != '\0' ? home : ".") + "/.config/zelvane/user.reg";
#endif
}

void TRegistry::SetRootKey(HKEY Value) {
  CloseKey();
  FRootKey = Value;
}

void TRegistry::CloseKey() {
  FCurrentPath.clear();
  FKeyOpen = false;
}

// Full path of Key (leading backslash: from the root, else from the current key); "" if invalid.
std::string TRegistry::Resolve(const std::string& Key) const {
  std::string rel;
  if (!Key.empty() && Key[0] == '\\')
    rel = Key.substr(1);
  else
    rel = FCurrentPath.empty() ? Key : (Key.empty() ? FCurrentPath : FCurrentPath + "\\" + Key);
  while (!rel.empty() && rel.back() == '\\') rel.pop_back();
  const std::string full = rel.empty() ? RootName(FRootKey) : RootName(FRootKey) + "\\" + rel;
  return regfile::ValidKeyPath(full) ? full : std::string();
}

// The open key's full path for an access to value Name; raises when no key is open.
std::string TRegistry::OpenKeyPath(const std::string& Name, const char* Access) const {
  if (!FKeyOpen)
    throw ERegistryException(std::string("Failed to ") + Access + " data for '" + Name +
                             "': no key is open");
  return Resolve("");
}

bool TRegistry::OpenKey(const std::string& Key, bool CanCreate) {
  const std::string full = Resolve(Key);
  if (full.empty()) return false;
  const auto store = StoreFor(FFileName);
  if (CanCreate)
    store->CreateKey(full);
  else if (full != RootName(FRootKey) && !store->KeyExists(full))
    return false;
  FCurrentPath = Relative(full);
  FKeyOpen = true;
  return true;
}

bool TRegistry::CreateKey(const std::string& Key) {
  const std::string full = Resolve(Key);
  if (full.empty()) return false;
  StoreFor(FFileName)->CreateKey(full);
  return true;
}

bool TRegistry::KeyExists(const std::string& Key) {
  const std::string full = Resolve(Key);
  if (full.empty()) return false;
  return full == RootName(FRootKey) || StoreFor(FFileName)->KeyExists(full);
}

bool TRegistry::ValueExists(const std::string& Name) {
  if (!FKeyOpen) return false;
  return StoreFor(FFileName)->GetValue(Resolve(""), Name).has_value();
}

TRegDataType TRegistry::GetDataType(const std::string& Name) {
  if (!FKeyOpen) return rdUnknown;
  const auto v = StoreFor(FFileName)->GetValue(Resolve(""), Name);
  return v ? v->type : rdUnknown;
}

int TRegistry::ReadInteger(const std::string& Name) {
  const std::string full = OpenKeyPath(Name, "get");
  const auto v = StoreFor(FFileName)->GetValue(full, Name);
  if (!v || v->type != rdInteger) throw ERegistryException("Invalid data type for '" + Name + "'");
  return static_cast<int>(v->dword);
}

void TRegistry::WriteInteger(const std::string& Name, int Value) {
  const std::string full = OpenKeyPath(Name, "set");
  CheckStorable(Name, Name);
  StoreFor(FFileName)->PutValue(full, {Name, rdInteger, static_cast<std::uint32_t>(Value), {}});
}

std::string TRegistry::ReadString(const std::string& Name) {
  const std::string full = OpenKeyPath(Name, "get");
  const auto v = StoreFor(FFileName)->GetValue(full, Name);
  if (!v || v->type != rdString) throw ERegistryException("Invalid data type for '" + Name + "'");
  return v->text;
}

void TRegistry::WriteString(const std::string& Name, const std::string& Value) {
  const std::string full = OpenKeyPath(Name, "set");
  CheckStorable(Name, Name);
  CheckStorable(Name, Value);
  StoreFor(FFileName)->PutValue(full, {Name, rdString, 0, Value});
}

bool TRegistry::DeleteValue(const std::string& Name) {
  if (!FKeyOpen) return false;
  return StoreFor(FFileName)->DeleteValue(Resolve(""), Name);
}
