// SPDX-License-Identifier: MIT
#include "text.h"

#include <iconv.h>

#include <array>
#include <cstdio>

namespace board {
namespace {

// One iconv conversion descriptor, closed on scope exit.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {
    if (cd_ == reinterpret_cast<iconv_t>(-1)) {
      throw TextError(std::string("iconv cannot convert ") + from + " to " + to);
    }
  }
  ~Converter() { iconv_close(cd_); }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // The whole input converted, or false when some of it cannot be.
  bool convert(std::string_view in, std::string& out) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    std::string buffer(in.size() * 4 + 4, '\0');
    char* inPtr = const_cast<char*>(in.data());
    std::size_t inLeft = in.size();
    char* outPtr = buffer.data();
    std::size_t outLeft = buffer.size();
    if (iconv(cd_, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1)) {
      return false;
    }
    out.assign(buffer.data(), buffer.size() - outLeft);
    return true;
  }

 private:
  iconv_t cd_;
};

std::string hexEscape(unsigned char byte) {
  char text[8];
  std::snprintf(text, sizeof text, "\\x%02X", byte);
  return text;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The readable form of each of the 256 byte values, built once.
const std::array<std::string, 256>& logTable() {
  static const std::array<std::string, 256> table = [] {
    std::array<std::string, 256> t;
    Converter toUtf8("UTF-8", "CP1251");
    for (int b = 0; b < 256; ++b) {
      const char byte = static_cast<char>(b);
      if (b == '\\') {
        t[b] = "\\\\";
        continue;
      }
      const bool converted = b >= 0x20 && b != 0x7F && toUtf8.convert({&byte, 1}, t[b]);
      // A C1 control character converts to U+0080 to U+009F.
      const bool c1Control = converted && b >= 0x80 &&
                             static_cast<unsigned char>(t[b][0]) == 0xC2 &&
                             static_cast<unsigned char>(t[b][1]) < 0xA0;
      // Controls, undefined bytes and the no-break space are written as escapes.
      if (!converted || c1Control || t[b] == "\xC2\xA0")
        t[b] = hexEscape(static_cast<unsigned char>(b));
    }
    return t;
  }();
  return table;
}

}  // namespace

std::string encodeArgument(std::string_view utf8) {
  std::string bytes;
  std::string plain;  // UTF-8 run waiting to be converted
  Converter toCp1251("CP1251", "UTF-8");
  auto flush = [&] {
    std::string converted;
    if (!toCp1251.convert(plain, converted)) {
      throw TextError("\"" + plain +
                      "\" cannot be written in Windows-1251 (use \\xHH for raw bytes)");
    }
    bytes += converted;
    plain.clear();
  };
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    if (utf8[i] != '\\') {
      plain += utf8[i];
    } else if (i + 1 < utf8.size() && utf8[i + 1] == '\\') {
      plain += '\\';
      ++i;
    } else if (i + 3 < utf8.size() && utf8[i + 1] == 'x' && hexDigit(utf8[i + 2]) >= 0 &&
               hexDigit(utf8[i + 3]) >= 0) {
      flush();
      bytes += static_cast<char>(hexDigit(utf8[i + 2]) * 16 + hexDigit(utf8[i + 3]));
      i += 3;
    } else {
      throw TextError("bad escape in \"" + std::string(utf8) + "\" (use \\xHH or \\\\)");
    }
  }
  flush();
  return bytes;
}

std::string decodeForLog(std::string_view bytes) {
  const auto& table = logTable();
  std::string text;
  for (char c : bytes) text += table[static_cast<unsigned char>(c)];
  return text;
}

}  // namespace board
