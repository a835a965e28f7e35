// SPDX-License-Identifier: MIT
// What TControl and TWinControl do the same way in every front end: their published properties,
// the property values, the control lists, the tab order and the alignment arithmetic. The
// toolkit's side (the widget, its colours, font and geometry) is each front end's controls.cpp.
#include <widgets/controls.h>

#include <algorithm>

#include "scale.h"

using widgets_detail::ScaleValue;

// ---- TControl ---------------------------------------------------------------------------------

const TClassInfo& TControl::ClassInfo() {
  static const TClassInfo info =
      TClassInfo::Derived<TControl, TComponent>("TControl")
          .Property("Left", &TControl::GetLeft, &TControl::SetLeft)
          .Property("Top", &TControl::GetTop, &TControl::SetTop)
          .Property("Width", &TControl::GetWidth, &TControl::SetWidth)
          .Property("Height", &TControl::GetHeight, &TControl::SetHeight)
          .Enum("Align", &TControl::GetAlign, &TControl::SetAlign,
                {"alNone", "alTop", "alBottom", "alLeft", "alRight", "alClient"})
          .Property("Color", &TControl::GetColor, &TControl::SetColor)
          .Default(clBtnFace)
          .Idents(ColorIdents())
          .Property("Enabled", &TControl::GetEnabled, &TControl::SetEnabled)
          .Default(1)
          .Property("Font.Charset", &TControl::GetFontCharset, &TControl::SetFontCharset)
          .Default(DEFAULT_CHARSET)
          .Idents(CharsetIdents())
          .Property("Font.Color", &TControl::GetFontColor, &TControl::SetFontColor)
          .Default(clWindowText)
          .Idents(ColorIdents())
          .Property("Font.Height", &TControl::GetFontHeight, &TControl::SetFontHeight)
          .Property("Font.Name", &TControl::GetFontName, &TControl::SetFontName)
          .Set("Font.Style", &TControl::GetFontStyle, &TControl::SetFontStyle,
               {"fsBold", "fsItalic", "fsUnderline", "fsStrikeOut"})
          .Property("ParentFont", &TControl::GetParentFont, &TControl::SetParentFont)
          .Default(1)
          .Property("Visible", &TControl::GetVisible, &TControl::SetVisible)
          .Default(1);
  return info;
}

void TControl::SetParent(TWinControl* AParent) {
  if (AParent == FParent) return;
  for (TWinControl* p = AParent; p != nullptr; p = p->GetParent())
    if (p == this) throw EComponentError(GetName() + " cannot be its own parent");
  if (FParent != nullptr) FParent->RemoveControl(this);
  FParent = AParent;
  ApplyParent();
  FontChanged();
}

TComponent* TControl::GetParentComponent() const { return FParent; }

void TControl::SetParentComponent(TComponent* AParent) {
  auto* parent = dynamic_cast<TWinControl*>(AParent);
  if (AParent != nullptr && parent == nullptr)
    throw EComponentError(GetName() + " cannot be placed on the " + AParent->ClassName() + " " +
                          AParent->GetName());
  SetParent(parent);
}

void TControl::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  FLeft = ALeft;
  FTop = ATop;
  FWidth = std::max(0, AWidth);
  FHeight = std::max(0, AHeight);
  if (Reading()) return;  // Loaded places the widget once
  ApplyBounds();
  if (FAlign != alNone && FParent != nullptr) FParent->AlignControls();
}

void TControl::SetAlign(TAlign Value) {
  FAlign = Value;
  if (FParent != nullptr && !Reading()) FParent->AlignControls();
}

// The widget takes the font and the bounds read; its parent has taken its own already (Loaded
// runs in the order the components were made) and has given its font to the children that
// show it.
void TControl::Loaded() {
  TComponent::Loaded();
  if (!FParentFont || FParent == nullptr) ApplyFont();
  ApplyBounds();
}

void TControl::ScaleBy(int M, int D) { ChangeScale(M, D); }

void TControl::ChangeScale(int M, int D) {
  ScaleBounds(M, D);
  ScaleFont(M, D);
}

void TControl::ScaleBounds(int M, int D) {
  const int left = ScaleValue(FLeft, M, D), top = ScaleValue(FTop, M, D);
  SetBounds(left, top, ScaleValue(FLeft + FWidth, M, D) - left,
            ScaleValue(FTop + FHeight, M, D) - top);
}

// Only a font of its own: the others follow their parent's.
void TControl::ScaleFont(int M, int D) {
  if (FParentFont && FParent != nullptr) return;
  FFontHeight = ScaleValue(FFontHeight, M, D);
  FontChanged();
}

void TControl::FontChanged() {
  if (Reading()) return;
  ApplyFont();
  FitToFont();
}

void TControl::FitToFont() {
  AdjustBounds();
  if (auto* windowed = dynamic_cast<TWinControl*>(this))
    for (TControl* child : windowed->FControls)
      if (child->FParentFont) child->FitToFont();
}

void TControl::SetColor(TColor Value) {
  FColor = Value;
  ApplyColor();
}

void TControl::SetFontName(const std::string& Value) {
  FFontName = Value;
  FParentFont = false;
  FontChanged();
}

void TControl::SetFontHeight(int Value) {
  FFontHeight = Value;
  FParentFont = false;
  FontChanged();
}

void TControl::SetFontColor(TColor Value) {
  FFontColor = Value;
  FParentFont = false;
  FontChanged();
}

void TControl::SetFontCharset(int Value) {
  FFontCharset = Value;
  FParentFont = false;
  FontChanged();
}

void TControl::SetFontStyle(unsigned char Value) {
  FFontStyle = Value;
  FParentFont = false;
  FontChanged();
}

void TControl::SetParentFont(bool Value) {
  FParentFont = Value;
  FontChanged();
}

// ---- TWinControl ------------------------------------------------------------------------------

const TClassInfo& TWinControl::ClassInfo() {
  static const TClassInfo info =
      TClassInfo::Derived<TWinControl, TControl>("TWinControl")
          .Property("TabOrder", &TWinControl::GetTabOrder, &TWinControl::SetTabOrder)
          .Default(-1);
  return info;
}

TControl* TWinControl::Controls(int Index) const {
  if (Index < 0 || Index >= ControlCount())
    throw EComponentError("Control index out of range (" + std::to_string(Index) + ")");
  return FControls[static_cast<std::size_t>(Index)];
}

void TWinControl::InsertControl(TControl* AControl) {
  FControls.push_back(AControl);
  if (auto* windowed = dynamic_cast<TWinControl*>(AControl)) FTabList.push_back(windowed);
  if (AControl->GetAlign() != alNone && !AControl->Reading()) AlignControls();
}

void TWinControl::RemoveControl(TControl* AControl) {
  std::erase(FControls, AControl);
  std::erase(FTabList, AControl);
}

int TWinControl::GetTabOrder() const {
  if (GetParent() == nullptr) return -1;
  const auto& list = GetParent()->FTabList;
  return static_cast<int>(std::find(list.begin(), list.end(), this) - list.begin());
}

void TWinControl::SetTabOrder(int Value) {
  if ((ComponentState() & csLoading) != 0) {
    FTabOrderAsked = Value;
    return;
  }
  if (GetParent() == nullptr) return;
  auto& list = GetParent()->FTabList;
  std::erase(list, this);
  const auto position = std::clamp(Value, 0, static_cast<int>(list.size()));
  list.insert(list.begin() + position, this);
}

void TWinControl::FixupTabOrders() {
  // Those asked for a position take it in the order of their positions; the rest follow.
  std::vector<TWinControl*> asked;
  for (TWinControl* c : FTabList)
    if (c->FTabOrderAsked >= 0) asked.push_back(c);
  std::stable_sort(asked.begin(), asked.end(), [](const TWinControl* a, const TWinControl* b) {
    return a->FTabOrderAsked < b->FTabOrderAsked;
  });
  for (TWinControl* c : asked) {
    std::erase(FTabList, c);
    const auto position = std::clamp(c->FTabOrderAsked, 0, static_cast<int>(FTabList.size()));
    FTabList.insert(FTabList.begin() + position, c);
    c->FTabOrderAsked = -1;
  }
  for (TWinControl* c : FTabList) c->FixupTabOrders();
}

void TWinControl::Loaded() {
  TControl::Loaded();
  FixupTabOrders();
  AlignControls();
}

// The children are scaled before the font, so that labels fit the new font last.
void TWinControl::ChangeScale(int M, int D) {
  ScaleBounds(M, D);
  ScaleChildren(M, D);
  ScaleFont(M, D);
}

void TWinControl::ScaleChildren(int M, int D) {
  for (TControl* c : FControls) c->ChangeScale(M, D);
}

// Aligned children take their side of the remaining client area in the order they were placed.
// Without an aligned child the client size is not asked for (on Windows that makes the window).
void TWinControl::AlignControls() {
  if (std::ranges::none_of(FControls, [](const TControl* c) { return c->FAlign != alNone; }))
    return;
  auto [right, bottom] = WatchClientSize();
  int left = 0, top = 0;
  for (TControl* c : FControls) {
    switch (c->FAlign) {
      case alNone:
        continue;
      case alTop:
        c->FLeft = left, c->FTop = top, c->FWidth = right - left;
        top += c->FHeight;
        break;
      case alBottom:
        bottom -= c->FHeight;
        c->FLeft = left, c->FTop = bottom, c->FWidth = right - left;
        break;
      case alLeft:
        c->FLeft = left, c->FTop = top, c->FHeight = bottom - top;
        left += c->FWidth;
        break;
      case alRight:
        right -= c->FWidth;
        c->FLeft = right, c->FTop = top, c->FHeight = bottom - top;
        break;
      case alClient:
        c->FLeft = left, c->FTop = top, c->FWidth = right - left, c->FHeight = bottom - top;
        break;
    }
    c->ApplyBounds();
  }
}
