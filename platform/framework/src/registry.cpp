#include <framework/registry.h>

#include <cstdlib>

TRegistry::TRegistry() : FFileName(DefaultFileName()) {}
TRegistry::TRegistry(std::string FileName) : FFileName(std::move(FileName)) {}
TRegistry::~TRegistry() = default;

std::string TRegistry::DefaultFileName() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg != nullptr && *xdg != '\0') return std::string(xdg) + "/zelvane/user.reg";
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr ? home : ".") + "/.config/zelvane/user.reg";
}

void TRegistry::SetRootKey(HKEY Value) { FRootKey = Value; CloseKey(); }
void TRegistry::CloseKey() { FCurrentPath.clear(); FKeyOpen = false; }
bool TRegistry::OpenKey(const std::string&, bool) { throw ERegistryException("not implemented yet"); }
bool TRegistry::CreateKey(const std::string&) { throw ERegistryException("not implemented yet"); }
bool TRegistry::KeyExists(const std::string&) { throw ERegistryException("not implemented yet"); }
bool TRegistry::ValueExists(const std::string&) { throw ERegistryException("not implemented yet"); }
TRegDataType TRegistry::GetDataType(const std::string&) { throw ERegistryException("not implemented yet"); }
int TRegistry::ReadInteger(const std::string&) { throw ERegistryException("not implemented yet"); }
void TRegistry::WriteInteger(const std::string&, int) { throw ERegistryException("not implemented yet"); }
std::string TRegistry::ReadString(const std::string&) { throw ERegistryException("not implemented yet"); }
void TRegistry::WriteString(const std::string&, const std::string&) { throw ERegistryException("not implemented yet"); }
bool TRegistry::DeleteValue(const std::string&) { throw ERegistryException("not implemented yet"); }
std::string TRegistry::Resolve(const std::string& Key) const { return Key; }
