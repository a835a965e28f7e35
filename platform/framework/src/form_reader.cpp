// SPDX-License-Identifier: MIT
// Reading text form descriptions (streaming.h): components built and their properties applied
// through their setters as the text is read.
#include <framework/streaming.h>

#include <exception>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "form_lexer.h"
#include "text_util.h"

using formtext::Lexer;
using formtext::Tok;
using formtext::Token;

EReadError::EReadError(std::string SourceName_, int Line_, int Column_, std::string Expected_)
    : Exception(SourceName_ + "(" + std::to_string(Line_) + ":" + std::to_string(Column_) +
                "): " + Expected_),
      SourceName(std::move(SourceName_)),
      Line(Line_),
      Column(Column_),
      Expected(std::move(Expected_)) {}

// Builds components from a description. A friend of TComponent (sets csLoading).
class TFormReader {
 public:
  TFormReader(const std::string& text, const std::string& source)
      : lexer_(text, source), source_(source) {
    Advance();
  }

  TComponent* ReadNew(TComponent* owner) {
    ExpectKeyword("object");
    const auto [name, cls] = ReadHeader();
    std::unique_ptr<TComponent> root(CreatableClass(cls).Create(owner));
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
      const auto [name, cls] = ReadHeader();
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

  // "Name: Class" after the keyword object.
  std::pair<Token, Token> ReadHeader() {
    Token name = ExpectIdent("a component name");
    ExpectSymbol(":");
    Token cls = ExpectIdent("a class name");
    return {std::move(name), std::move(cls)};
  }

  const TClassInfo& CreatableClass(const Token& cls) const {
    const TClassInfo* info = FindClass(cls.text);
    if (info == nullptr) Fail(cls, "a registered class (unknown class " + cls.text + ")");
    if (!info->CanCreate()) Fail(cls, "a creatable class (" + cls.text + " cannot be created)");
    return *info;
  }

  void ReadChild(TComponent& parent, int depth) {
    Advance();  // object
    const auto [name, cls] = ReadHeader();
    const TClassInfo& info = CreatableClass(cls);
    if (root_->FindComponent(name.text) != nullptr)
      Fail(name, "a unique component name (" + name.text + " already exists)");
    TComponent* child = info.Create(root_);
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
