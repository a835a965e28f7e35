#include <fcntl.h>
#include <framework/registry.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <sstream>
#include <vector>

#include "text_util.h"

// ---- The store file's content ----------------------------------------------------------------

namespace {

struct RegValue {
  std::string name;  // "" = the key's default value (written @)
  TRegDataType type = rdUnknown;
  std::uint32_t dword = 0;
  std::string text;  // rdString: the text; rdUnknown: the raw right-hand side (hex:...)
};

struct RegKey {
  std::string path;  // full path, e.g. HKEY_CURRENT_USER\Software\Brennwick
  std::vector<RegValue> values;

  RegValue* Find(const std::string& name) {
    for (RegValue& v : values)
      if (SameText(v.name, name)) return &v;
    return nullptr;
  }
};

struct RegFile {
  std::vector<RegKey> keys;

  RegKey* Find(const std::string& path) {
    for (RegKey& k : keys)
      if (SameText(k.path, path)) return &k;
    return nullptr;
  }
  // A key exists when it has a section or a section lies below it.
  bool Exists(const std::string& path) {
    if (Find(path) != nullptr) return true;
    const std::string prefix = UpperCase(path) + "\\";
    for (const RegKey& k : keys)
      if (UpperCase(k.path).rfind(prefix, 0) == 0) return true;
    return false;
  }
  RegKey& Ensure(const std::string& path) {
    if (RegKey* k = Find(path)) return *k;
    keys.push_back(RegKey{path, {}});
    return keys.back();
  }
};

[[noreturn]] void Damaged(const std::string& file, int line, const std::string& what) {
  throw ERegistryException("Settings file " + file + " is damaged at line " + std::to_string(line) +
                           ": " + what);
}

bool IsHex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// A "quoted" text with \" and \\ escapes starting at s[pos]; pos ends after the closing quote.
std::optional<std::string> ParseQuoted(const std::string& s, std::size_t& pos) {
  if (pos >= s.size() || s[pos] != '"') return std::nullopt;
  std::string out;
  for (++pos; pos < s.size(); ++pos) {
    char c = s[pos];
    if (c == '"') {
      ++pos;
      return out;
    }
    if (c == '\\') {
      if (++pos >= s.size() || (s[pos] != '"' && s[pos] != '\\')) return std::nullopt;
      c = s[pos];
    }
    out += c;
  }
  return std::nullopt;
}

std::string Quote(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

bool ValidKeyPath(const std::string& path) {
  if (path.empty() || path.front() == '\\' || path.back() == '\\') return false;
  if (path.find("\\\\") != std::string::npos) return false;
  for (char c : path)
    if (c == '\n' || c == '\r' || c == '[' || c == ']') return false;
  const std::string root = UpperCase(path.substr(0, path.find('\\')));
  return root.rfind("HKEY_", 0) == 0;
}

void ParseValueLine(const std::string& file, int lineNo, const std::string& line, RegKey& key) {
  RegValue v;
  std::size_t pos = 0;
  if (line[0] == '@') {
    pos = 1;
  } else {
    auto name = ParseQuoted(line, pos);
    if (!name) Damaged(file, lineNo, "expected a quoted value name or @");
    v.name = *name;
  }
  if (pos >= line.size() || line[pos] != '=')
    Damaged(file, lineNo, "expected '=' after the value name");
  const std::string rhs = line.substr(pos + 1);
  if (rhs.rfind("dword:", 0) == 0) {
    const std::string digits = rhs.substr(6);
    if (digits.size() != 8) Damaged(file, lineNo, "expected dword: and 8 hexadecimal digits");
    for (char c : digits)
      if (!IsHex(c)) Damaged(file, lineNo, "expected dword: and 8 hexadecimal digits");
    v.type = rdInteger;
    v.dword = static_cast<std::uint32_t>(std::strtoul(digits.c_str(), nullptr, 16));
  } else if (!rhs.empty() && rhs[0] == '"') {
    std::size_t p = 0;
    auto text = ParseQuoted(rhs, p);
    if (!text || p != rhs.size()) Damaged(file, lineNo, "unterminated or malformed string value");
    v.type = rdString;
    v.text = *text;
  } else if (rhs.rfind("hex", 0) == 0 && rhs.find(':') != std::string::npos) {
    // Other types are kept as they stand so that rewriting the file does not lose them.
    for (char c : rhs.substr(rhs.find(':') + 1))
      if (!IsHex(c) && c != ',' && c != ' ') Damaged(file, lineNo, "malformed hex value");
    v.type = rdUnknown;
    v.text = rhs;
  } else {
    Damaged(file, lineNo, "expected dword:, a quoted string or hex: after '='");
  }
  if (RegValue* old = key.Find(v.name))
    *old = std::move(v);
  else
    key.values.push_back(std::move(v));
}

RegFile Parse(const std::string& file, const std::string& content) {
  RegFile reg;
  std::istringstream in(content);
  std::string line;
  int lineNo = 0;
  bool header = false;
  RegKey* key = nullptr;
  while (std::getline(in, line)) {
    ++lineNo;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.find_first_not_of(" \t") == std::string::npos || line[0] == ';') continue;
    if (!header) {
      if (line != "REGEDIT4") Damaged(file, lineNo, "expected the header REGEDIT4");
      header = true;
    } else if (line[0] == '[') {
      if (line.back() != ']') Damaged(file, lineNo, "expected ']' at the end of the key line");
      const std::string path = line.substr(1, line.size() - 2);
      if (!ValidKeyPath(path)) Damaged(file, lineNo, "invalid key path");
      key = &reg.Ensure(path);
    } else if (key == nullptr) {
      Damaged(file, lineNo, "a value before the first [key]");
    } else {
      ParseValueLine(file, lineNo, line, *key);
    }
  }
  return reg;
}

std::string Format(const RegFile& reg) {
  std::string out = "REGEDIT4\n";
  for (const RegKey& k : reg.keys) {
    out += "\n[" + k.path + "]\n";
    for (const RegValue& v : k.values) {
      out += v.name.empty() ? "@" : Quote(v.name);
      out += '=';
      if (v.type == rdInteger) {
        char digits[16];
        std::snprintf(digits, sizeof digits, "dword:%08x", v.dword);
        out += digits;
      } else if (v.type == rdString) {
        out += Quote(v.text);
      } else {
        out += v.text;
      }
      out += '\n';
    }
  }
  return out;
}

std::string Errno(const std::string& what, const std::string& path) {
  return what + " " + path + ": " + std::strerror(errno);
}

// The file's content; empty when it does not exist.
RegFile Load(const std::string& file) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return {};
    throw ERegistryException(Errno("Cannot read settings file", file));
  }
  std::string content;
  char buffer[8192];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const std::string message = Errno("Cannot read settings file", file);
      ::close(fd);
      throw ERegistryException(message);
    }
    if (n == 0) break;
    content.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return Parse(file, content);
}

void MakeDirectories(const std::string& file) {
  for (std::size_t slash = file.find('/', 1); slash != std::string::npos;
       slash = file.find('/', slash + 1)) {
    const std::string dir = file.substr(0, slash);
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST)
      throw ERegistryException(Errno("Cannot create folder", dir));
  }
}

// An exclusive lock on <file>.lock, held while one process re-reads, changes and replaces the
// file (the file itself is replaced by rename, so it cannot carry the lock).
class FileLock {
 public:
  explicit FileLock(const std::string& file) {
    MakeDirectories(file);
    const std::string path = file + ".lock";
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ < 0) throw ERegistryException(Errno("Cannot open lock file", path));
    while (::flock(fd_, LOCK_EX) != 0) {
      if (errno != EINTR) {
        ::close(fd_);
        throw ERegistryException(Errno("Cannot lock", path));
      }
    }
  }
  ~FileLock() { ::close(fd_); }  // closing releases the lock
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

 private:
  int fd_ = -1;
};

bool WriteAll(int fd, const std::string& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// Replaces file by content: temporary file, fsync, rename, fsync of the folder.
void ReplaceFile(const std::string& file, const std::string& content) {
  const std::string temp = file + ".tmp." + std::to_string(::getpid());
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) throw ERegistryException(Errno("Cannot create", temp));
  const bool ok = WriteAll(fd, content) && ::fsync(fd) == 0;
  const int savedErrno = errno;
  ::close(fd);
  if (!ok || ::rename(temp.c_str(), file.c_str()) != 0) {
    if (ok) errno = savedErrno;
    const std::string message = Errno("Cannot write settings file", file);
    ::unlink(temp.c_str());
    throw ERegistryException(message);
  }
  const std::string dir =
      file.substr(0, file.find_last_of('/') == std::string::npos ? 0 : file.find_last_of('/'));
  const int dirFd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
}

// Re-reads the file under the lock, applies change and writes the result when it changed.
template <class F>
void Modify(const std::string& file, F change) {
  FileLock lock(file);
  RegFile reg = Load(file);  // raises on a damaged file, which then stays as it is
  const std::string before = Format(reg);
  change(reg);
  const std::string after = Format(reg);
  if (after != before) ReplaceFile(file, after);
}

std::string RootName(HKEY root) {
  switch (root) {
    case HKEY_CLASSES_ROOT:
      return "HKEY_CLASSES_ROOT";
    case HKEY_LOCAL_MACHINE:
      return "HKEY_LOCAL_MACHINE";
    case HKEY_USERS:
      return "HKEY_USERS";
    default:
      return "HKEY_CURRENT_USER";
  }
}

}  // namespace

// ---- TRegistry -------------------------------------------------------------------------------

TRegistry::TRegistry() : FFileName(DefaultFileName()) {}
TRegistry::TRegistry(std::string FileName) : FFileName(std::move(FileName)) {}
TRegistry::~TRegistry() = default;

std::string TRegistry::DefaultFileName() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg != nullptr && *xdg != '\0') return std::string(xdg) + "/zelvane/user.reg";
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr && *home != '\0' ? home : ".") + "/.config/zelvane/user.reg";
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
  return ValidKeyPath(full) ? full : std::string();
}

namespace {
std::string Relative(const std::string& full) {
  const std::size_t slash = full.find('\\');
  return slash == std::string::npos ? std::string() : full.substr(slash + 1);
}
}  // namespace

bool TRegistry::OpenKey(const std::string& Key, bool CanCreate) {
  const std::string full = Resolve(Key);
  if (full.empty()) return false;
  if (CanCreate) {
    Modify(FFileName, [&](RegFile& reg) {
      if (!reg.Exists(full)) reg.Ensure(full);
    });
  } else {
    RegFile reg = Load(FFileName);
    if (full != RootName(FRootKey) && !reg.Exists(full)) return false;
  }
  FCurrentPath = Relative(full);
  FKeyOpen = true;
  return true;
}

bool TRegistry::CreateKey(const std::string& Key) {
  const std::string full = Resolve(Key);
  if (full.empty()) return false;
  Modify(FFileName, [&](RegFile& reg) {
    if (!reg.Exists(full)) reg.Ensure(full);
  });
  return true;
}

bool TRegistry::KeyExists(const std::string& Key) {
  const std::string full = Resolve(Key);
  if (full.empty()) return false;
  RegFile reg = Load(FFileName);
  return full == RootName(FRootKey) || reg.Exists(full);
}

namespace {
const RegValue* FindValue(RegFile& reg, const std::string& keyPath, const std::string& name) {
  RegKey* key = reg.Find(keyPath);
  return key != nullptr ? key->Find(name) : nullptr;
}
}  // namespace

bool TRegistry::ValueExists(const std::string& Name) {
  RegFile reg = Load(FFileName);
  return FindValue(reg, Resolve(""), Name) != nullptr;
}

TRegDataType TRegistry::GetDataType(const std::string& Name) {
  RegFile reg = Load(FFileName);
  const RegValue* v = FindValue(reg, Resolve(""), Name);
  return v != nullptr ? v->type : rdUnknown;
}

int TRegistry::ReadInteger(const std::string& Name) {
  RegFile reg = Load(FFileName);
  const RegValue* v = FindValue(reg, Resolve(""), Name);
  if (v == nullptr || v->type != rdInteger)
    throw ERegistryException("Invalid data type for '" + Name + "'");
  return static_cast<int>(v->dword);
}

namespace {
// The current key's full path for a change of value Name.
std::string Target(const std::string& full, const std::string& name) {
  if (full.empty()) throw ERegistryException("Failed to set data for '" + name + "': invalid key");
  if (name.find_first_of("\r\n") != std::string::npos)
    throw ERegistryException("Failed to set data for '" + name + "': line breaks cannot be stored");
  return full;
}
}  // namespace

void TRegistry::WriteInteger(const std::string& Name, int Value) {
  const std::string full = Target(Resolve(""), Name);
  Modify(FFileName, [&](RegFile& reg) {
    RegKey& key = reg.Ensure(full);
    RegValue v{Name, rdInteger, static_cast<std::uint32_t>(Value), {}};
    if (RegValue* old = key.Find(Name))
      *old = v;
    else
      key.values.push_back(v);
  });
}

std::string TRegistry::ReadString(const std::string& Name) {
  RegFile reg = Load(FFileName);
  const RegValue* v = FindValue(reg, Resolve(""), Name);
  if (v == nullptr || v->type != rdString)
    throw ERegistryException("Invalid data type for '" + Name + "'");
  return v->text;
}

void TRegistry::WriteString(const std::string& Name, const std::string& Value) {
  if (Value.find_first_of("\r\n") != std::string::npos)
    throw ERegistryException("Failed to set data for '" + Name + "': line breaks cannot be stored");
  const std::string full = Target(Resolve(""), Name);
  Modify(FFileName, [&](RegFile& reg) {
    RegKey& key = reg.Ensure(full);
    RegValue v{Name, rdString, 0, Value};
    if (RegValue* old = key.Find(Name))
      *old = v;
    else
      key.values.push_back(v);
  });
}

bool TRegistry::DeleteValue(const std::string& Name) {
  const std::string full = Resolve("");
  bool found = false;
  Modify(FFileName, [&](RegFile& reg) {
    if (RegKey* key = reg.Find(full)) {
      auto& vals = key->values;
      for (auto it = vals.begin(); it != vals.end(); ++it) {
        if (SameText(it->name, Name)) {
          vals.erase(it);
          found = true;
          break;
        }
      }
    }
  });
  return found;
}
