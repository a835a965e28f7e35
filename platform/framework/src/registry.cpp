// The settings store: one REGEDIT4 file, re-read before each operation and replaced atomically
// under a lock for each change. The file's text is regfile's (registry_file.h).
#include <fcntl.h>
#include <framework/registry.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "file_replace.h"
#include "registry_file.h"
#include "text_util.h"

// ---- The store file on disk -----------------------------------------------------------------

namespace {

using regfile::File;
using regfile::Key;
using regfile::Value;

std::string Errno(const std::string& what, const std::string& path) {
  return what + " " + path + ": " + std::strerror(errno);
}

std::string Folder(const std::string& file) {
  const std::size_t slash = file.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : file.substr(0, slash);
}

// The file that reading and writing `file` reaches: `file` itself, or the end of the chain of
// symbolic links it starts, so that a settings file kept elsewhere behind a link stays there.
std::string LinkTarget(const std::string& file) {
  constexpr int kMaxLinks = 40;  // as the kernel's own limit
  std::string target = file;
  for (int hop = 0; hop < kMaxLinks; ++hop) {
    char link[4096];
    const ssize_t n = ::readlink(target.c_str(), link, sizeof link);
    if (n < 0 || static_cast<std::size_t>(n) == sizeof link) return target;  // not a link
    const std::string to(link, static_cast<std::size_t>(n));
    target = to.front() == '/' ? to : Folder(target) + "/" + to;
  }
  errno = ELOOP;
  throw ERegistryException(Errno("Cannot follow settings file", file));
}

// The file's content; empty when it does not exist.
File Load(const std::string& file) {
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
  return regfile::Parse(file, content);
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

// Permissions of the file being replaced, so that a rewrite keeps them; 0600 for a new file.
mode_t ModeToKeep(const std::string& file) {
  struct stat st {};
  return ::stat(file.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0600;
}

// Replaces file by content in one step, keeping the file's permissions.
void ReplaceFile(const std::string& file, const std::string& content) {
  if (const int failure = fileio::ReplaceFile(file, content, ModeToKeep(file))) {
    errno = failure;
    throw ERegistryException(Errno("Cannot write settings file", file));
  }
}

// Re-reads the file under the lock, applies change and writes the result when it changed.
template <class F>
void Modify(const std::string& file, F change) {
  const std::string target = LinkTarget(file);
  FileLock lock(target);
  File reg = Load(target);  // raises on a damaged file, which then stays as it is
  const std::string before = regfile::Format(reg);
  change(reg);
  const std::string after = regfile::Format(reg);
  if (after != before) ReplaceFile(target, after);
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

std::string Relative(const std::string& full) {
  const std::size_t slash = full.find('\\');
  return slash == std::string::npos ? std::string() : full.substr(slash + 1);
}

const Value* FindValue(File& reg, const std::string& keyPath, const std::string& name) {
  Key* key = reg.Find(keyPath);
  return key != nullptr ? key->Find(name) : nullptr;
}

void CheckStorable(const std::string& name, const std::string& text) {
  if (text.find_first_of("\r\n") != std::string::npos)
    throw ERegistryException("Failed to set data for '" + name + "': line breaks cannot be stored");
}

}  // namespace

// ---- TRegistry -------------------------------------------------------------------------------

TRegistry::TRegistry() : FFileName(DefaultFileName()) {}
TRegistry::TRegistry(std::string FileName) : FFileName(std::move(FileName)) {}
TRegistry::~TRegistry() = default;

// A relative XDG_CONFIG_HOME is no valid setting and is ignored, as the XDG rules ask.
std::string TRegistry::DefaultFileName() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg != nullptr && xdg[0] == '/') return std::string(xdg) + "/zelvane/user.reg";
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
  if (CanCreate) {
    Modify(FFileName, [&](File& reg) {
      if (!reg.Exists(full)) reg.Ensure(full);
    });
  } else {
    File reg = Load(FFileName);
    if (full != RootName(FRootKey) && !reg.Exists(full)) return false;
  }
  FCurrentPath = Relative(full);
  FKeyOpen = true;
  return true;
}

bool TRegistry::CreateKey(const std::string& Key) {
  const std::string full = Resolve(Key);
  if (full.empty()) return false;
  Modify(FFileName, [&](File& reg) {
    if (!reg.Exists(full)) reg.Ensure(full);
  });
  return true;
}

bool TRegistry::KeyExists(const std::string& Key) {
  const std::string full = Resolve(Key);
  if (full.empty()) return false;
  File reg = Load(FFileName);
  return full == RootName(FRootKey) || reg.Exists(full);
}

bool TRegistry::ValueExists(const std::string& Name) {
  if (!FKeyOpen) return false;
  File reg = Load(FFileName);
  return FindValue(reg, Resolve(""), Name) != nullptr;
}

TRegDataType TRegistry::GetDataType(const std::string& Name) {
  if (!FKeyOpen) return rdUnknown;
  File reg = Load(FFileName);
  const Value* v = FindValue(reg, Resolve(""), Name);
  return v != nullptr ? v->type : rdUnknown;
}

int TRegistry::ReadInteger(const std::string& Name) {
  const std::string full = OpenKeyPath(Name, "get");
  File reg = Load(FFileName);
  const Value* v = FindValue(reg, full, Name);
  if (v == nullptr || v->type != rdInteger)
    throw ERegistryException("Invalid data type for '" + Name + "'");
  return static_cast<int>(v->dword);
}

void TRegistry::WriteInteger(const std::string& Name, int Value) {
  const std::string full = OpenKeyPath(Name, "set");
  CheckStorable(Name, Name);
  Modify(FFileName, [&](File& reg) {
    reg.Ensure(full).Put({Name, rdInteger, static_cast<std::uint32_t>(Value), {}});
  });
}

std::string TRegistry::ReadString(const std::string& Name) {
  const std::string full = OpenKeyPath(Name, "get");
  File reg = Load(FFileName);
  const Value* v = FindValue(reg, full, Name);
  if (v == nullptr || v->type != rdString)
    throw ERegistryException("Invalid data type for '" + Name + "'");
  return v->text;
}

void TRegistry::WriteString(const std::string& Name, const std::string& Value) {
  const std::string full = OpenKeyPath(Name, "set");
  CheckStorable(Name, Name);
  CheckStorable(Name, Value);
  Modify(FFileName, [&](File& reg) { reg.Ensure(full).Put({Name, rdString, 0, Value}); });
}

bool TRegistry::DeleteValue(const std::string& Name) {
  if (!FKeyOpen) return false;
  const std::string full = Resolve("");
  bool found = false;
  Modify(FFileName, [&](File& reg) {
    if (Key* key = reg.Find(full)) {
      found =
          std::erase_if(key->values, [&](const Value& v) { return SameText(v.name, Name); }) > 0;
    }
  });
  return found;
}
