// SPDX-License-Identifier: MIT
#include "registry_file.h"

#include <cstdio>
#include <cstdlib>
#include <optional>

#include "text_util.h"

namespace regfile {

// ---- Keys and values ---------------------------------------------------------------------------

Value* Key::Find(const std::string& name) {
  for (Value& v : values)
    if (SameText(v.name, name)) return &v;
  return nullptr;
}

void Key::Put(Value value) {
  if (Value* old = Find(value.name))
    *old = std::move(value);
  else
    values.push_back(std::move(value));
}

Key* File::Find(const std::string& path) {
  for (Key& k : keys)
    if (SameText(k.path, path)) return &k;
  return nullptr;
}

bool File::Exists(const std::string& path) const {
  const std::string upper = UpperCase(path);
  const std::string prefix = upper + "\\";
  for (const Key& k : keys) {
    const std::string key = UpperCase(k.path);
    if (key == upper || key.rfind(prefix, 0) == 0) return true;
  }
  return false;
}

Key& File::Ensure(const std::string& path) {
  if (Key* k = Find(path)) return *k;
  keys.push_back(Key{path, {}});
  return keys.back();
}

bool ValidKeyPath(const std::string& path) {
  if (path.empty() || path.front() == '\\' || path.back() == '\\') return false;
  if (path.find("\\\\") != std::string::npos) return false;
  for (char c : path)
    if (c == '\n' || c == '\r' || c == '[' || c == ']') return false;
  const std::string root = UpperCase(path.substr(0, path.find('\\')));
  return root.rfind("HKEY_", 0) == 0;
}

// ---- Reading -----------------------------------------------------------------------------------

namespace {

bool IsHex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The file's physical lines, numbered from 1, without the byte-order mark, line ends and
// trailing blanks.
class Lines {
 public:
  explicit Lines(const std::string& content) : content_(content) {
    if (content_.rfind("\xEF\xBB\xBF", 0) == 0) pos_ = 3;
  }
  bool Next(std::string& line) {
    if (pos_ >= content_.size()) return false;
    std::size_t end = content_.find('\n', pos_);
    if (end == std::string::npos) end = content_.size();
    line.assign(content_, pos_, end - pos_);
    pos_ = end + 1;
    ++number_;
    while (!line.empty() && (line.back() == '\r' || IsBlank(line.back()))) line.pop_back();
    return true;
  }
  int Number() const { return number_; }

 private:
  const std::string& content_;
  std::size_t pos_ = 0;
  int number_ = 0;
};

class Parser {
 public:
  Parser(const std::string& fileName, const std::string& content)
      : fileName_(fileName), lines_(content) {}
  File Run();

 private:
  [[noreturn]] void Damaged(const std::string& what) const {
    throw ERegistryException("Settings file " + fileName_ + " is damaged at line " +
                             std::to_string(lines_.Number()) + ": " + what);
  }
  void ParseKeyLine(const std::string& line);
  void ParseValueLine(const std::string& line);
  std::optional<std::string> ParseQuoted(const std::string& s, std::size_t& pos) const;
  std::uint32_t ParseDword(const std::string& digits) const;
  std::string ParseHex(const std::string& rhs);

  const std::string& fileName_;
  Lines lines_;
  File file_;
  Key* key_ = nullptr;
};

File Parser::Run() {
  bool header = false;
  std::string line;
  while (lines_.Next(line)) {
    if (line.find_first_not_of(" \t") == std::string::npos || line[0] == ';') continue;
    if (!header) {
      if (line != "REGEDIT4") Damaged("expected the header REGEDIT4");
      header = true;
    } else if (line[0] == '[') {
      ParseKeyLine(line);
    } else if (key_ == nullptr) {
      Damaged("a value before the first [key]");
    } else {
      ParseValueLine(line);
    }
  }
  return std::move(file_);
}

void Parser::ParseKeyLine(const std::string& line) {
  if (line.back() != ']') Damaged("expected ']' at the end of the key line");
  const std::string path = line.substr(1, line.size() - 2);
  if (!ValidKeyPath(path)) Damaged("invalid key path");
  key_ = &file_.Ensure(path);
}

// A "quoted" text with \" and \\ escapes starting at s[pos]; pos ends after the closing quote.
std::optional<std::string> Parser::ParseQuoted(const std::string& s, std::size_t& pos) const {
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

std::uint32_t Parser::ParseDword(const std::string& digits) const {
  bool ok = digits.size() == 8;
  for (char c : digits) ok = ok && IsHex(c);
  if (!ok) Damaged("expected dword: and 8 hexadecimal digits");
  return static_cast<std::uint32_t>(std::strtoul(digits.c_str(), nullptr, 16));
}

// "hex:" or "hex(<type>):" and bytes; a line ending in a backslash continues on the next one.
// Returns the text as read, continuation lines included.
std::string Parser::ParseHex(const std::string& rhs) {
  const std::size_t colon = rhs.find(':');
  const std::string type = rhs.substr(3, colon - 3);
  bool typeOk = type.empty() || (type.size() > 2 && type.front() == '(' && type.back() == ')');
  for (std::size_t i = 1; typeOk && i + 1 < type.size(); ++i) typeOk = IsHex(type[i]);
  if (!typeOk) Damaged("malformed hex value type");
  std::string raw = rhs;
  std::string data = rhs.substr(colon + 1);
  while (!data.empty() && data.back() == '\\') {
    data.pop_back();
    std::string next;
    if (!lines_.Next(next)) Damaged("hex value continues past the end of the file");
    raw += "\n" + next;
    data += next;
  }
  for (char c : data)
    if (!IsHex(c) && c != ',' && !IsBlank(c)) Damaged("malformed hex value");
  return raw;
}

void Parser::ParseValueLine(const std::string& line) {
  Value v;
  std::size_t pos = 0;
  if (line[0] == '@') {
    pos = 1;
  } else {
    auto name = ParseQuoted(line, pos);
    if (!name) Damaged("expected a quoted value name or @");
    v.name = *name;
  }
  if (pos >= line.size() || line[pos] != '=') Damaged("expected '=' after the value name");
  const std::string rhs = line.substr(pos + 1);
  if (rhs.rfind("dword:", 0) == 0) {
    v.type = rdInteger;
    v.dword = ParseDword(rhs.substr(6));
  } else if (!rhs.empty() && rhs[0] == '"') {
    std::size_t p = 0;
    auto text = ParseQuoted(rhs, p);
    if (!text || p != rhs.size()) Damaged("unterminated or malformed string value");
    v.type = rdString;
    v.text = *text;
  } else if (rhs.rfind("hex", 0) == 0 && rhs.find(':') != std::string::npos) {
    v.type = rdUnknown;  // kept as it stands, so that rewriting the file does not lose it
    v.text = ParseHex(rhs);
  } else {
    Damaged("expected dword:, a quoted string or hex: after '='");
  }
  key_->Put(std::move(v));
}

std::string Quote(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

}  // namespace

File Parse(const std::string& fileName, const std::string& content) {
  return Parser(fileName, content).Run();
}

// ---- Writing -----------------------------------------------------------------------------------

std::string Format(const File& file) {
  std::string out = "REGEDIT4\n";
  for (const Key& k : file.keys) {
    out += "\n[" + k.path + "]\n";
    for (const Value& v : k.values) {
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

}  // namespace regfile
