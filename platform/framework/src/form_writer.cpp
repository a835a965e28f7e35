// SPDX-License-Identifier: MIT
// Writing text form descriptions (streaming.h): each component with the published properties that
// differ from their default, nested components in their order.
#include <framework/streaming.h>

#include <string>

#include "text_util.h"

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
