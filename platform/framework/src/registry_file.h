// SPDX-License-Identifier: MIT
// The settings file's text: a REGEDIT4 file parsed into keys and typed values, and written back.
// Reads what common tools write: an optional UTF-8 byte-order mark, CR LF line ends, blanks at
// the end of lines, and hex: values continued over several lines with a trailing backslash.
// Values of types the store does not use (hex:, hex(n):) keep their text, line breaks included,
// so rewriting the file leaves them as they were. Pure functions, usable from any thread.
#pragma once

#include <framework/registry.h>

#include <cstdint>
#include <string>
#include <vector>

namespace regfile {

struct Value {
  std::string name;  // "" = the key's default value (written @)
  TRegDataType type = rdUnknown;
  std::uint32_t dword = 0;
  std::string text;  // rdString: the text; rdUnknown: the right-hand side as read
};

struct Key {
  std::string path;  // full path, e.g. HKEY_CURRENT_USER\Software\Brennwick
  std::vector<Value> values;

  Value* Find(const std::string& name);
  // Replaces the value of the same name (ignoring case) or appends it.
  void Put(Value value);
};

struct File {
  std::vector<Key> keys;

  Key* Find(const std::string& path);
  // A key exists when it has a section or a section lies below it.
  bool Exists(const std::string& path) const;
  Key& Ensure(const std::string& path);
};

// "HKEY_<root>\a\b": a root name, no empty parts, no brackets or line breaks.
bool ValidKeyPath(const std::string& path);

// Raises ERegistryException naming fileName and the line when content is damaged.
File Parse(const std::string& fileName, const std::string& content);
std::string Format(const File& file);

}  // namespace regfile
