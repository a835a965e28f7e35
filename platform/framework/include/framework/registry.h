// SPDX-License-Identifier: MIT
// The per-user settings store: keys holding named values (double-words and strings). On Windows
// TRegistry() is the system registry (keys and values as the program names them, under the
// root, HKEY_CURRENT_USER by default). Elsewhere, and on Windows when given a file name, it is
// kept in a REGEDIT4-style text file, by default
// ${XDG_CONFIG_HOME:-$HOME/.config}/zelvane/user.reg:
//
//   REGEDIT4
//
//   [HKEY_CURRENT_USER\Software\Brennwick\Zelvane]
//   "PortNum"=dword:00000005
//   "Name"="text with \"quotes\" and \\ backslashes"
//
// The file is re-read before every operation and every change is written atomically (temporary
// file, fsync, rename) under an exclusive lock on a companion lock file, so two processes may
// change values at once and a killed writer leaves the old or the new file, never a broken one.
// A damaged file raises ERegistryException naming the file and line and is never overwritten.
// Files written by common tools are read too (byte-order mark, CR LF, trailing blanks, hex:
// values over several lines), and values of other types are kept as they are on a rewrite. A
// settings file that is a symbolic link is written through to the link's target, whose
// permissions a rewrite keeps. A TRegistry object is used by one thread at a time.
#pragma once

#include <framework/classes.h>
#include <framework/export.h>
#include <framework/sysutils.h>

#include <cstdint>
#include <string>

class COMM_FRAMEWORK_API ERegistryException : public Exception {
 public:
  using Exception::Exception;
};

#if defined(_WIN32)
#include <win32/win32.h>  // HKEY and its roots
#else
using HKEY = std::uintptr_t;
constexpr HKEY HKEY_CLASSES_ROOT = 0x80000000;
constexpr HKEY HKEY_CURRENT_USER = 0x80000001;
constexpr HKEY HKEY_LOCAL_MACHINE = 0x80000002;
constexpr HKEY HKEY_USERS = 0x80000003;
#endif

enum TRegDataType { rdUnknown, rdString, rdInteger };

class COMM_FRAMEWORK_API TRegistry : public TObject {
 public:
  // Root HKEY_CURRENT_USER, the default store: the file, or on Windows the system registry.
  TRegistry();
  // A store kept in FileName (tests, tools).
  explicit TRegistry(std::string FileName);
  ~TRegistry() override;

  HKEY GetRootKey() const { return FRootKey; }
  void SetRootKey(HKEY Value);  // closes the current key
  const std::string& FileName() const { return FFileName; }
  // The current key's path below the root, without a leading backslash ("" = none open).
  const std::string& CurrentPath() const { return FCurrentPath; }

  // Makes Key the current key: a path beginning with a backslash is taken from the root,
  // otherwise from the current key. With CanCreate a missing key is created (and stored);
  // returns whether the key is now open.
  bool OpenKey(const std::string& Key, bool CanCreate);
  // Creates Key (same path rules) without opening it; true when it exists afterwards.
  bool CreateKey(const std::string& Key);
  bool KeyExists(const std::string& Key);
  void CloseKey();

  // Values of the open key. Without an open key (none opened yet, or CloseKey) no value exists:
  // ValueExists is false, GetDataType rdUnknown, DeleteValue false, and the Read and Write
  // calls raise ERegistryException; the root is never used in place of a key.
  bool ValueExists(const std::string& Name);
  TRegDataType GetDataType(const std::string& Name);
  // Raises ERegistryException when no key is open, the value is missing or not a double-word.
  int ReadInteger(const std::string& Name);
  // Raises ERegistryException when no key is open or the store cannot be written.
  void WriteInteger(const std::string& Name, int Value);
  // Raises when no key is open, or the value is missing or not a string.
  std::string ReadString(const std::string& Name);
  // Raises when no key is open, the store cannot be written or Value holds a line break.
  void WriteString(const std::string& Name, const std::string& Value);
  bool DeleteValue(const std::string& Name);

  // ${XDG_CONFIG_HOME:-$HOME/.config}/zelvane/user.reg; a relative XDG_CONFIG_HOME is ignored.
  // Empty on Windows, where the default store is the system registry.
  static std::string DefaultFileName();

 private:
  std::string Resolve(const std::string& Key) const;
  std::string OpenKeyPath(const std::string& Name, const char* Access) const;

  std::string FFileName;
  HKEY FRootKey = HKEY_CURRENT_USER;
  std::string FCurrentPath;
  bool FKeyOpen = false;
};
