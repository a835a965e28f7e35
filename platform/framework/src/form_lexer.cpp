// SPDX-License-Identifier: MIT
#include "form_lexer.h"

#include <algorithm>
#include <cstdint>

#include "text_util.h"

namespace formtext {
namespace {

void AppendUtf8(std::string& out, std::uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

}  // namespace

void Lexer::Fail(int line, int column, const std::string& what) const {
  throw EReadError(source_, line, column, what);
}

Token Lexer::Next() {
  SkipBlanks();
  Token t;
  t.line = line_;
  t.column = Column();
  if (pos_ >= text_.size()) return t;
  const char c = text_[pos_];
  if (IsIdentStart(c)) return Identifier(t);
  if (IsDigit(c) || c == '$' || ((c == '-' || c == '+') && IsDigit(Peek(1)))) return Number(t);
  if (c == '\'' || c == '#') return String(t);
  if (std::string(":=[](),+").find(c) != std::string::npos) {
    ++pos_;
    t.kind = Tok::Symbol;
    t.text = std::string(1, c);
    return t;
  }
  Fail(t.line, t.column, std::string("unexpected character '") + Printable(c) + "'");
}

int Lexer::HexValue(char c) {
  if (IsDigit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string Lexer::Printable(char c) {
  const auto u = static_cast<unsigned char>(c);
  return (u >= 32 && u < 127) ? std::string(1, c) : "#" + std::to_string(u);
}

char Lexer::Peek(std::size_t ahead) const {
  return pos_ + ahead < text_.size() ? text_[pos_ + ahead] : '\0';
}

void Lexer::SkipBlanks() {
  while (pos_ < text_.size()) {
    const char c = text_[pos_];
    if (c == '\n') {
      ++line_;
      lineStart_ = ++pos_;
    } else if (c == ' ' || c == '\t' || c == '\r') {
      ++pos_;
    } else {
      break;
    }
  }
}

Token Lexer::Identifier(Token& t) {
  t.kind = Tok::Ident;
  const std::size_t start = pos_;
  for (;;) {
    while (pos_ < text_.size() && IsIdentChar(text_[pos_])) ++pos_;
    // A dotted name (Font.Name) is one identifier.
    if (Peek(0) == '.' && IsIdentStart(Peek(1))) {
      ++pos_;
      continue;
    }
    break;
  }
  t.text = text_.substr(start, pos_ - start);
  return t;
}

Token Lexer::Number(Token& t) {
  t.kind = Tok::Number;
  bool negative = false;
  if (text_[pos_] == '-' || text_[pos_] == '+') negative = text_[pos_++] == '-';
  const long long limit = 1LL << 40;  // far beyond any property's range
  long long value = 0;
  std::size_t digits = 0;
  if (Peek(0) == '$') {
    ++pos_;
    for (int h; (h = HexValue(Peek(0))) >= 0; ++pos_, ++digits)
      value = std::min(value * 16 + h, limit);
  } else {
    for (; IsDigit(Peek(0)); ++pos_, ++digits)
      value = std::min(value * 10 + (Peek(0) - '0'), limit);
  }
  if (digits == 0 || IsIdentChar(Peek(0)) || Peek(0) == '.')
    Fail(t.line, t.column, "a whole number");
  t.number = negative ? -value : value;
  return t;
}

Token Lexer::String(Token& t) {
  t.kind = Tok::String;
  int parts = 0;
  bool onlyCode = true;
  while (pos_ < text_.size() && (text_[pos_] == '\'' || text_[pos_] == '#')) {
    ++parts;
    if (text_[pos_] == '#') {
      const int column = Column();
      ++pos_;
      long long code = 0;
      std::size_t digits = 0;
      for (; IsDigit(Peek(0)); ++pos_, ++digits)
        code = std::min(code * 10 + (Peek(0) - '0'), 0x110000LL);
      if (digits == 0 || code > 0x10FFFF) Fail(line_, column, "a character code #0 to #1114111");
      AppendUtf8(t.text, static_cast<std::uint32_t>(code));
      t.codeOnly = static_cast<int>(code);
    } else {
      onlyCode = false;
      ++pos_;
      for (;;) {
        if (pos_ >= text_.size() || text_[pos_] == '\n' || text_[pos_] == '\r')
          Fail(t.line, t.column, "the end of the string (closing quote)");
        if (text_[pos_] == '\'') {
          if (Peek(1) != '\'') break;
          ++pos_;
        }
        t.text += text_[pos_++];
      }
      ++pos_;
    }
  }
  if (!(onlyCode && parts == 1)) t.codeOnly = -1;
  return t;
}

}  // namespace formtext
