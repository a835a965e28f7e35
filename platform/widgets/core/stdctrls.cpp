// SPDX-License-Identifier: MIT
// The standard controls' published properties and events, the same in every front end.
#include <widgets/stdctrls.h>

const TClassInfo& TLabel::ClassInfo() {
  static const TClassInfo info = TClassInfo::Derived<TLabel, TControl>("TLabel").Property(
      "Caption", &TLabel::GetCaption, &TLabel::SetCaption);
  return info;
}

const TClassInfo& TButton::ClassInfo() {
  static const TClassInfo info =
      TClassInfo::Derived<TButton, TWinControl>("TButton")
          .Property("Caption", &TButton::GetCaption, &TButton::SetCaption)
          .Event("OnClick", &TButton::OnClick);
  return info;
}

const TClassInfo& TEdit::ClassInfo() {
  static const TClassInfo info = TClassInfo::Derived<TEdit, TWinControl>("TEdit")
                                     .Property("Color", &TEdit::GetColor, &TEdit::SetColor)
                                     .Default(clWindow)
                                     .Idents(ColorIdents())
                                     .Property("ReadOnly", &TEdit::GetReadOnly, &TEdit::SetReadOnly)
                                     .Property("Text", &TEdit::GetText, &TEdit::SetText);
  return info;
}

const TClassInfo& TCheckBox::ClassInfo() {
  static const TClassInfo info =
      TClassInfo::Derived<TCheckBox, TWinControl>("TCheckBox")
          .Property("Caption", &TCheckBox::GetCaption, &TCheckBox::SetCaption)
          .Property("Checked", &TCheckBox::GetChecked, &TCheckBox::SetChecked)
          .Event("OnClick", &TCheckBox::OnClick);
  return info;
}

const TClassInfo& TMemo::ClassInfo() {
  static const TClassInfo info =
      TClassInfo::Derived<TMemo, TWinControl>("TMemo")
          .Enum("BorderStyle", &TMemo::GetBorderStyle, &TMemo::SetBorderStyle,
                {"bsNone", "bsSingle"})
          .Default(bsSingle)
          .Property("Color", &TMemo::GetColor, &TMemo::SetColor)
          .Default(clWindow)
          .Idents(ColorIdents())
          .Property("Lines", &TMemo::GetLines, &TMemo::SetLines)
          .Property("ReadOnly", &TMemo::GetReadOnly, &TMemo::SetReadOnly);
  return info;
}

const TClassInfo& TGroupBox::ClassInfo() {
  static const TClassInfo info =
      TClassInfo::Derived<TGroupBox, TWinControl>("TGroupBox")
          .Property("Caption", &TGroupBox::GetCaption, &TGroupBox::SetCaption);
  return info;
}
