// SPDX-License-Identifier: MIT
// The paint box's published properties and its paint, and the canvas's lines, the same in every
// front end; each front end provides the canvas over its painter and asks for paints.
#include <framework/classes.h>
#include <widgets/paintbox.h>

#include "handler_call.h"

void TCanvas::LineTo(int X, int Y) {
  const TPoint line[2] = {FPenPos, {X, Y}};
  Polyline(line, 2);
  FPenPos = {X, Y};
}

const TClassInfo& TPaintBox::ClassInfo() {
  static const TClassInfo info =
      TClassInfo::Derived<TPaintBox, TControl>("TPaintBox").Event("OnPaint", &TPaintBox::OnPaint);
  return info;
}

TCanvas& TPaintBox::GetCanvas() const {
  if (FCanvas == nullptr) throw EComponentError(GetName() + ": the canvas exists only in OnPaint");
  return *FCanvas;
}

// The canvas starts from the font the control shows (its own, or its parent's).
void TPaintBox::Paint(TCanvas& Canvas) {
  const TControl* source = this;
  while (source->GetParentFont() && source->GetParent() != nullptr) source = source->GetParent();
  Canvas.Font = {source->GetFontName(), source->GetFontHeight(), source->GetFontColor(),
                 source->GetFontStyle()};
  Canvas.Pen = TPen{};
  Canvas.Brush = TBrush{};
  Canvas.MoveTo(0, 0);
  FCanvas = &Canvas;
  widgets_detail::CallHandler(OnPaint, this);
  FCanvas = nullptr;
}
