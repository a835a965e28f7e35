#include <framework/streaming.h>

#include <algorithm>
#include <cstdint>
#include <memory>

#include "text_util.h"

EReadError::EReadError(std::string SourceName_, int Line_, int Column_, std::string Expected_)
    : Exception(SourceName_ + "(" + std::to_string(Line_) + ":" + std::to_string(Column_) +
                "): " + Expected_),
      SourceName(std::move(SourceName_)),
      Line(Line_),
      Column(Column_),
      Expected(std::move(Expected_)) {}

// ---- Lexer ----------------------------------------------------------------------------------

namespace {

enum class Tok { End, Ident, Number, String, Symbol };

struct Token {
  Tok kind = Tok::End;
  std::string text;      // identifier, decoded string bytes, or the symbol
  long long number = 0;  // Number (saturated far outside every property range)
  int line = 1, column = 1;
  int codeOnly = -1;  // a string written as one #nnn: its code
};

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

class Lexer {
 public:
  Lexer(const std::string& text, const std::string& source) : text_(text), source_(source) {}

  [[noreturn]] void Fail(int line, int column, const std::string& what) const {
    throw EReadError(source_, line, column, what);
  }

  Token Next() {
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

 private:
  static bool IsDigit(char c) { return c >= '0' && c <= '9'; }
  static int HexValue(char c) {
    if (IsDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  }
  static std::string Printable(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u >= 32 && u < 127) ? std::string(1, c) : "#" + std::to_string(u);
  }
  char Peek(std::size_t ahead) const {
    return pos_ + ahead < text_.size() ? text_[pos_ + ahead] : '\0';
  }
  int Column() const { return static_cast<int>(pos_ - lineStart_) + 1; }

  void SkipBlanks() {
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

  Token Identifier(Token& t) {
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

  Token Number(Token& t) {
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

  // One or more adjacent parts: 'quoted text' ('' is a quote) and #nnn (a Unicode code point).
  Token String(Token& t) {
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

  const std::string& text_;
  const std::string& source_;
  std::size_t pos_ = 0;
  std::size_t lineStart_ = 0;
  int line_ = 1;
};

}  // namespace

// ---- Reader ---------------------------------------------------------------------------------

// Builds components from a description. A friend of TComponent (sets csLoading).
class TFormReader {
 public:
  TFormReader(const std::string& text, const std::string& source)
      : lexer_(text, source), source_(source) {
    Advance();
  }

  TComponent* ReadNew(TComponent* owner) {
    ExpectKeyword("object");
    const Token name = ExpectIdent("a component name");
    ExpectSymbol(":");
    const Token cls = ExpectIdent("a class name");
    const TClassInfo* info = FindClass(cls.text);
    if (info == nullptr) Fail(cls, "a registered class (unknown class " + cls.text + ")");
    if (!info->CanCreate()) Fail(cls, "a creatable class (" + cls.text + " cannot be created)");
    std::unique_ptr<TComponent> root(info->Create(owner));
    root_ = root.get();
    created_.push_back(root_);
    root_->SetState(csLoading, true);
    SetNameAt(*root_, name);
    ReadBody(*root_, 1);
    ExpectEnd();
    ResolveReferences();
    FinishLoading();
    return root.release();
  }

  void ReadInto(TComponent& root) {
    root_ = &root;
    try {
      ExpectKeyword("object");
      const Token name = ExpectIdent("a component name");
      ExpectSymbol(":");
      const Token cls = ExpectIdent("a class name");
      bool matches = false;
      for (const TClassInfo* c = &root.GetClassInfo(); c != nullptr; c = c->Parent())
        matches = matches || SameText(c->Name(), cls.text);
      if (!matches) Fail(cls, "class " + root.ClassName() + " (or an ancestor), not " + cls.text);
      root.SetState(csLoading, true);
      SetNameAt(root, name);
      ReadBody(root, 1);
      ExpectEnd();
      ResolveReferences();
    } catch (...) {
      root.SetState(csLoading, false);
      // Components this read created are destroyed again, newest first.
      for (auto it = created_.rbegin(); it != created_.rend(); ++it) delete *it;
      throw;
    }
    created_.insert(created_.begin(), &root);
    FinishLoading();
  }

 private:
  static constexpr int kMaxDepth = 64;

  [[noreturn]] void Fail(const Token& at, const std::string& what) const {
    lexer_.Fail(at.line, at.column, what);
  }
  static std::string Describe(const Token& t) {
    switch (t.kind) {
      case Tok::End:
        return "end of text";
      case Tok::Ident:
        return "'" + t.text + "'";
      case Tok::Number:
        return std::to_string(t.number);
      case Tok::String:
        return "a string";
      case Tok::Symbol:
        return "'" + t.text + "'";
    }
    return "?";
  }
  [[noreturn]] void Expected(const std::string& what) const {
    Fail(tok_, what + ", found " + Describe(tok_));
  }

  void Advance() { tok_ = lexer_.Next(); }
  bool IsKeyword(const char* word) const {
    return tok_.kind == Tok::Ident && SameText(tok_.text, word);
  }
  bool IsSymbol(const char* s) const { return tok_.kind == Tok::Symbol && tok_.text == s; }
  void ExpectKeyword(const char* word) {
    if (!IsKeyword(word)) Expected(std::string("'") + word + "'");
    Advance();
  }
  void ExpectSymbol(const char* s) {
    if (!IsSymbol(s)) Expected(std::string("'") + s + "'");
    Advance();
  }
  Token ExpectIdent(const char* what) {
    if (tok_.kind != Tok::Ident || tok_.text.find('.') != std::string::npos) Expected(what);
    Token t = tok_;
    Advance();
    return t;
  }
  void ExpectEnd() {
    if (tok_.kind != Tok::End) Expected("end of text after the last 'end'");
  }

  void SetNameAt(TComponent& c, const Token& name) {
    try {
      c.SetName(name.text);
    } catch (const EComponentError& e) {
      Fail(name, "a unique component name (" + e.Message + ")");
    }
  }

  // Properties and nested objects up to the matching 'end'.
  void ReadBody(TComponent& comp, int depth) {
    for (;;) {
      if (tok_.kind == Tok::End) Expected("'end' (unterminated object " + comp.GetName() + ")");
      if (IsKeyword("end")) {
        Advance();
        return;
      }
      if (IsKeyword("object")) {
        if (depth >= kMaxDepth)
          Fail(tok_, "at most " + std::to_string(kMaxDepth) + " nested objects");
        ReadChild(comp, depth + 1);
      } else if (tok_.kind == Tok::Ident) {
        ReadProperty(comp);
      } else {
        Expected("a property name, 'object' or 'end'");
      }
    }
  }

  void ReadChild(TComponent& parent, int depth) {
    Advance();  // object
    const Token name = ExpectIdent("a component name");
    ExpectSymbol(":");
    const Token cls = ExpectIdent("a class name");
    const TClassInfo* info = FindClass(cls.text);
    if (info == nullptr) Fail(cls, "a registered class (unknown class " + cls.text + ")");
    if (!info->CanCreate()) Fail(cls, "a creatable class (" + cls.text + " cannot be created)");
    if (root_->FindComponent(name.text) != nullptr)
      Fail(name, "a unique component name (" + name.text + " already exists)");
    TComponent* child = info->Create(root_);
    created_.push_back(child);
    child->SetState(csLoading, true);
    SetNameAt(*child, name);
    if (const TFieldInfo* field = root_->GetClassInfo().FindField(name.text))
      Apply(name, *root_, field->Name, [&] { field->Assign(*root_, child); });
    Apply(name, *child, "parent", [&] { child->SetParentComponent(&parent); });
    ReadBody(*child, depth);
  }

  template <class F>
  void Apply(const Token& at, TComponent& comp, const std::string& prop, F&& setter) {
    try {
      setter();
    } catch (const EReadError&) {
      throw;
    } catch (const std::exception& e) {
      Fail(at, "a value " + comp.GetName() + "." + prop + " accepts (" + e.what() + ")");
    }
  }

  void ReadProperty(TComponent& comp) {
    const Token name = tok_;
    const TPropInfo* prop = comp.GetClassInfo().FindProperty(name.text);
    if (prop == nullptr)
      Fail(name, "a property of " + comp.ClassName() + " (unknown property " + name.text + ")");
    if (prop->ReadOnly()) Fail(name, "a writable property (" + prop->Name + " is read-only)");
    Advance();
    ExpectSymbol("=");
    const Token at = tok_;
    switch (prop->Kind) {
      case tkString: {
        std::string value = ReadString();
        Apply(at, comp, prop->Name, [&] { prop->SetStr(comp, value); });
        break;
      }
      case tkStringList: {
        TStringItems items = ReadStringList();
        Apply(at, comp, prop->Name, [&] { prop->SetList(comp, items); });
        break;
      }
      case tkMethod:
        ReadHandler(comp, *prop);
        break;
      case tkComponent:
        ReadReference(comp, *prop);
        break;
      default: {
        const long long value = ReadOrdinal(*prop);
        Apply(at, comp, prop->Name, [&] { prop->SetOrd(comp, value); });
      }
    }
  }

  std::string ReadString() {
    if (tok_.kind != Tok::String) Expected("a string");
    std::string value = tok_.text;
    Advance();
    while (IsSymbol("+")) {
      Advance();
      if (tok_.kind != Tok::String) Expected("a string after '+'");
      value += tok_.text;
      Advance();
    }
    return value;
  }

  TStringItems ReadStringList() {
    ExpectSymbol("(");
    TStringItems items;
    while (!IsSymbol(")")) {
      if (tok_.kind != Tok::String) Expected("a string or ')'");
      items.push_back(ReadString());
    }
    Advance();
    return items;
  }

  long long ReadOrdinal(const TPropInfo& prop) {
    const Token at = tok_;
    long long value = 0;
    switch (prop.Kind) {
      case tkInteger:
        value = ReadInteger(prop);
        break;
      case tkBool:
        if (IsKeyword("True"))
          value = 1;
        else if (IsKeyword("False"))
          value = 0;
        else
          Expected("True or False");
        Advance();
        break;
      case tkEnumeration:
        value = NameIndex(prop, "an enumerator of " + prop.Name + " (" + Join(prop.Names) + ")");
        Advance();
        break;
      case tkSet:
        value = ReadSet(prop);
        break;
      case tkChar:
        value = ReadChar();
        break;
      default:
        Expected("a value");
    }
    if (value < prop.MinValue || value > prop.MaxValue)
      Fail(at, "a value from " + std::to_string(prop.MinValue) + " to " +
                   std::to_string(prop.MaxValue) + " for " + prop.Name);
    return value;
  }

  long long ReadInteger(const TPropInfo& prop) {
    if (tok_.kind == Tok::Ident) {
      for (const auto& [ident, v] : prop.Idents) {
        if (SameText(ident, tok_.text)) {
          Advance();
          return v;
        }
      }
    }
    if (tok_.kind != Tok::Number) Expected("an integer for " + prop.Name);
    const long long value = tok_.number;
    if (value < prop.MinValue || value > prop.MaxValue)
      Fail(tok_, "an integer from " + std::to_string(prop.MinValue) + " to " +
                     std::to_string(prop.MaxValue) + " for " + prop.Name + ", found " +
                     std::to_string(value));
    Advance();
    return value;
  }

  long long NameIndex(const TPropInfo& prop, const std::string& what) {
    if (tok_.kind == Tok::Ident)
      for (std::size_t i = 0; i < prop.Names.size(); ++i)
        if (SameText(prop.Names[i], tok_.text)) return static_cast<long long>(i);
    Expected(what);
  }

  long long ReadSet(const TPropInfo& prop) {
    ExpectSymbol("[");
    long long bits = 0;
    const std::string what = "a member of " + prop.Name + " (" + Join(prop.Names) + ")";
    if (!IsSymbol("]")) {
      for (;;) {
        const long long index = NameIndex(prop, what);
        if (index >= prop.SetBits)
          Fail(tok_, what + " that fits in " + std::to_string(prop.SetBits) + " bits");
        bits |= 1LL << index;
        Advance();
        if (IsSymbol("]")) break;
        if (!IsSymbol(",")) Expected("',' or ']'");
        Advance();
      }
    }
    Advance();
    return bits;
  }

  long long ReadChar() {
    if (tok_.kind != Tok::String) Expected("a character ('c' or #nnn)");
    long long value;
    if (tok_.codeOnly >= 0) {
      value = tok_.codeOnly;
    } else if (tok_.text.size() == 1) {
      value = static_cast<unsigned char>(tok_.text[0]);
    } else {
      Expected("a single character");
    }
    Advance();
    return value;
  }

  void ReadHandler(TComponent& comp, const TPropInfo& prop) {
    if (tok_.kind != Tok::Ident) Expected("a method name for " + prop.Name);
    const Token at = tok_;
    Advance();
    if (SameText(at.text, "nil")) {
      prop.ClearHandler(comp);
      return;
    }
    const TMethodInfo* method = root_->GetClassInfo().FindMethod(at.text);
    if (method == nullptr)
      Fail(at, "a published method of " + root_->ClassName() + " (unknown method " + at.text + ")");
    if (method->Signature != prop.HandlerType)
      Fail(at, "a method with the parameters of " + prop.Name + " (" + method->Name + " differs)");
    Apply(at, comp, prop.Name,
          [&] { prop.SetHandler(comp, method->Bind(*root_), root_, method->Name); });
  }

  // A reference names a component of the root (or the root itself), which may be described
  // further down: it is applied once the whole description has been read.
  void ReadReference(TComponent& comp, const TPropInfo& prop) {
    if (tok_.kind != Tok::Ident || tok_.text.find('.') != std::string::npos)
      Expected("a component name for " + prop.Name);
    const Token at = tok_;
    Advance();
    if (SameText(at.text, "nil")) {
      Apply(at, comp, prop.Name, [&] { prop.SetComp(comp, nullptr); });
      return;
    }
    references_.push_back({&comp, &prop, at});
  }

  void ResolveReferences() {
    for (const Reference& r : references_) {
      TComponent* target =
          SameText(r.at.text, root_->GetName()) ? root_ : root_->FindComponent(r.at.text);
      if (target == nullptr)
        Fail(r.at, "a component of " + root_->GetName() + " (unknown component " + r.at.text + ")");
      Apply(r.at, *r.comp, r.prop->Name, [&] { r.prop->SetComp(*r.comp, target); });
    }
    references_.clear();
  }

  static std::string Join(const std::vector<std::string>& names) {
    std::string out;
    for (const auto& n : names) out += (out.empty() ? "" : ", ") + n;
    return out;
  }

  void FinishLoading() {
    for (TComponent* c : created_) {
      c->Loaded();
      c->SetState(csLoading, false);
    }
  }

  Lexer lexer_;
  std::string source_;
  Token tok_;
  TComponent* root_ = nullptr;
  std::vector<TComponent*> created_;  // in creation order
  struct Reference {
    TComponent* comp;
    const TPropInfo* prop;
    Token at;
  };
  std::vector<Reference> references_;  // in file order
};

TComponent* ReadComponentText(const std::string& Text, TComponent* Owner,
                              const std::string& SourceName) {
  TFormReader reader(Text, SourceName);
  return reader.ReadNew(Owner);
}

void ReadComponentTextInto(TComponent& Root, const std::string& Text,
                           const std::string& SourceName) {
  TFormReader reader(Text, SourceName);
  reader.ReadInto(Root);
}

// ---- Writer ---------------------------------------------------------------------------------

namespace {

// 'text' with '' for quotes and control characters as #nnn.
std::string QuoteString(const std::string& s) {
  std::string out;
  bool open = false;
  for (char c : s) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 32 || u == 127) {
      if (open) out += '\'';
      open = false;
      out += "#" + std::to_string(u);
    } else {
      if (!open) out += '\'';
      open = true;
      out += c;
      if (c == '\'') out += '\'';
    }
  }
  if (open) out += '\'';
  return out.empty() ? "''" : out;
}

std::string CharText(long long code) {
  if (code >= 32 && code < 127) return QuoteString(std::string(1, static_cast<char>(code)));
  return "#" + std::to_string(code);
}

std::string OrdinalText(const TPropInfo& p, long long v, const std::string& where) {
  switch (p.Kind) {
    case tkBool:
      return v != 0 ? "True" : "False";
    case tkEnumeration:
      if (v < 0 || v >= static_cast<long long>(p.Names.size()))
        throw EWriteError(where + " holds " + std::to_string(v) + ", which has no enumerator");
      return p.Names[static_cast<std::size_t>(v)];
    case tkSet: {
      std::string out;
      for (std::size_t bit = 0; bit < 64 && (v >> bit) != 0; ++bit) {
        if (((v >> bit) & 1) == 0) continue;
        if (bit >= p.Names.size())
          throw EWriteError(where + " holds bit " + std::to_string(bit) + ", which has no member");
        out += (out.empty() ? "" : ", ") + p.Names[bit];
      }
      return "[" + out + "]";
    }
    case tkChar:
      return CharText(v);
    default:
      for (const auto& [ident, value] : p.Idents)
        if (value == v) return ident;
      return std::to_string(v);
  }
}

class Writer {
 public:
  explicit Writer(TComponent& root) : root_(root) {}

  std::string Write() {
    WriteObject(root_, 0);
    return out_;
  }

 private:
  void Line(int indent, const std::string& text) {
    out_.append(static_cast<std::size_t>(indent) * 2, ' ');
    out_ += text;
    out_ += '\n';
  }

  void WriteObject(TComponent& comp, int indent) {
    if (comp.GetName().empty())
      throw EWriteError("A component of class " + comp.ClassName() + " has no name");
    Line(indent, "object " + comp.GetName() + ": " + comp.ClassName());
    for (const TPropInfo& p : comp.GetClassInfo().Properties()) WriteProperty(comp, p, indent + 1);
    for (int i = 0; i < root_.ComponentCount(); ++i) {
      TComponent* child = root_.Components(i);
      TComponent* parent = child->GetParentComponent();
      const bool mine =
          (&comp == &root_) ? (parent == nullptr || parent == &root_) : parent == &comp;
      if (mine && child != &comp) WriteObject(*child, indent + 1);
    }
    Line(indent, "end");
  }

  void WriteProperty(TComponent& comp, const TPropInfo& p, int indent) {
    if (p.ReadOnly() || SameText(p.Name, "Name")) return;
    const std::string where = comp.GetName() + "." + p.Name;
    switch (p.Kind) {
      case tkString: {
        const std::string v = p.GetStr(comp);
        if (!v.empty()) Line(indent, p.Name + " = " + QuoteString(v));
        break;
      }
      case tkStringList: {
        const TStringItems items = p.GetList(comp);
        if (items.empty()) break;
        Line(indent, p.Name + " = (");
        for (std::size_t i = 0; i < items.size(); ++i)
          Line(indent + 1, QuoteString(items[i]) + (i + 1 == items.size() ? ")" : ""));
        break;
      }
      case tkMethod: {
        const std::string name = p.HandlerAssigned(comp) ? p.HandlerName(comp) : "";
        if (!name.empty()) Line(indent, p.Name + " = " + name);
        break;
      }
      case tkComponent: {
        // Only a reference within the written form can be read back.
        const TComponent* target = p.GetComp(comp);
        if (target != nullptr && !target->GetName().empty() &&
            (target == &root_ || target->Owner() == &root_))
          Line(indent, p.Name + " = " + target->GetName());
        break;
      }
      default: {
        const long long v = p.GetOrd(comp);
        if (v != p.Default) Line(indent, p.Name + " = " + OrdinalText(p, v, where));
      }
    }
  }

  TComponent& root_;
  std::string out_;
};

}  // namespace

std::string WriteComponentText(TComponent& Root) { return Writer(Root).Write(); }
