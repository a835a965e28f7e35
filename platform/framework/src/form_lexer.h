// SPDX-License-Identifier: MIT
// The tokens of a text form description (streaming.h): identifiers (dotted names included),
// whole numbers (decimal or $hex), strings ('quoted', #nnn and adjacent parts, decoded to UTF-8)
// and the symbols : = [ ] ( ) , +. Raises EReadError with the place of a malformed token. A
// Lexer reads one text on one thread.
#pragma once

#include <framework/streaming.h>

#include <cstddef>
#include <string>

namespace formtext {

enum class Tok { End, Ident, Number, String, Symbol };

struct Token {
  Tok kind = Tok::End;
  std::string text;      // identifier, decoded string bytes, or the symbol
  long long number = 0;  // Number (saturated far outside every property range)
  int line = 1, column = 1;
  int codeOnly = -1;  // a string written as one #nnn: its code
};

class Lexer {
 public:
  Lexer(const std::string& text, const std::string& source) : text_(text), source_(source) {}

  [[noreturn]] void Fail(int line, int column, const std::string& what) const;

  Token Next();

 private:
  static bool IsDigit(char c) { return c >= '0' && c <= '9'; }
  static int HexValue(char c);
  static std::string Printable(char c);
  char Peek(std::size_t ahead) const;
  int Column() const { return static_cast<int>(pos_ - lineStart_) + 1; }

  void SkipBlanks();

  Token Identifier(Token& t);

  Token Number(Token& t);

  // One or more adjacent parts: 'quoted text' ('' is a quote) and #nnn (a Unicode code point).
  Token String(Token& t);

  const std::string& text_;
  const std::string& source_;
  std::size_t pos_ = 0;
  std::size_t lineStart_ = 0;
  int line_ = 1;
};

}  // namespace formtext
