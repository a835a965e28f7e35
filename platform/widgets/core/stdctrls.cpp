// SPDX-License-Identifier: MIT
// The standard controls' published properties and events, the same in every front end.
#include <widgets/stdctrls.h>

const TClassInfo& TLabel::ClassInfo() {
  static const TClassInfo info =
      TClassInfo::Derived<TLabel, TControl>("TLabel")
          .Property("AutoSize", &TLabel::GetAutoSize, &TLabel::SetAutoSize)
          .Default(1)
          .Property("Caption", &TLabel::GetCaption, &TLabel::SetCaption);
  return info;
}

void TLabel::SetAutoSize(bool Value) {
  FAutoSize = Value;
  if (!Reading()) AdjustBounds();
}

void TLabel::AdjustBounds() {
  if (!FAutoSize) return;
  const auto [width, height] = TextExtent();
  SetBounds(GetLeft(), GetTop(), width, height);
}

// Fitted in the font the form has given it (its parent's Loaded ran first), then placed once.
void TLabel::Loaded() {
  AdjustBounds();
  TControl::Loaded();
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
