// SPDX-License-Identifier: MIT
// clang-format off
#include "win_bridge.h"  // first: win32/win32.h before any other Windows header
// clang-format on

#include <widgets/extctrls.h>

using winwidgets::CallHandler;
using winwidgets::NewNative;
using winwidgets::TNativeTimer;
using winwidgets::TNativeWindow;

namespace {

// Two lines in the desktop's light and shadow colours.
void DrawPair(HDC Dc, POINT A0, POINT A1, POINT B0, POINT B1, int First, int Second) {
  HPEN first = CreatePen(PS_SOLID, 1, GetSysColor(First));
  HPEN second = CreatePen(PS_SOLID, 1, GetSysColor(Second));
  HGDIOBJ previous = SelectObject(Dc, first);
  MoveToEx(Dc, A0.x, A0.y, nullptr);
  LineTo(Dc, A1.x, A1.y);
  SelectObject(Dc, second);
  MoveToEx(Dc, B0.x, B0.y, nullptr);
  LineTo(Dc, B1.x, B1.y);
  SelectObject(Dc, previous);
  DeleteObject(first);
  DeleteObject(second);
}

void FrameRectOf(HDC Dc, int Left, int Top, int Right, int Bottom, int Color) {
  HBRUSH brush = GetSysColorBrush(Color);
  const RECT r = {Left, Top, Right, Bottom};
  FrameRect(Dc, &r, brush);
}

// Paints a bevel's shape: raised is light above and left of dark, lowered the other way round.
void PaintBevel(HDC Dc, const RECT& Client, TBevelShape Shape, TBevelStyle Style) {
  FillRect(Dc, &Client, GetSysColorBrush(COLOR_BTNFACE));
  const int first = Style == bsRaised ? COLOR_BTNHIGHLIGHT : COLOR_BTNSHADOW;
  const int second = Style == bsRaised ? COLOR_BTNSHADOW : COLOR_BTNHIGHLIGHT;
  const int w = Client.right, h = Client.bottom;
  switch (Shape) {
    case bsBox:
    case bsFrame:
      FrameRectOf(Dc, 0, 0, w - 1, h - 1, first);
      FrameRectOf(Dc, 1, 1, w, h, second);
      break;
    case bsTopLine:
      DrawPair(Dc, {0, 0}, {w, 0}, {0, 1}, {w, 1}, first, second);
      break;
    case bsBottomLine:
      DrawPair(Dc, {0, h - 2}, {w, h - 2}, {0, h - 1}, {w, h - 1}, first, second);
      break;
    case bsLeftLine:
      DrawPair(Dc, {0, 0}, {0, h}, {1, 0}, {1, h}, first, second);
      break;
    case bsRightLine:
      DrawPair(Dc, {w - 2, 0}, {w - 2, h}, {w - 1, 0}, {w - 1, h}, first, second);
      break;
    case bsSpacer:
      break;
  }
}

}  // namespace

// ---- TBevel -----------------------------------------------------------------------------------

TBevel::TBevel(TComponent* AOwner)
    : TControl(AOwner, NewNative<TNativeWindow>("TBevel", winwidgets::PanelClass(), 0, 0)) {
  Widget()->OnPaint = [this](HDC Dc, const RECT& Client) {
    PaintBevel(Dc, Client, FShape, FStyle);
  };
}

void TBevel::SetShape(TBevelShape Value) {
  FShape = Value;
  Widget()->Invalidate(true);
}

void TBevel::SetStyle(TBevelStyle Value) {
  FStyle = Value;
  Widget()->Invalidate(true);
}

// ---- TTimer -----------------------------------------------------------------------------------

TTimer::TTimer(TComponent* AOwner) : TComponent(AOwner), FTimer(NewNative<TNativeTimer>("TTimer")) {
  FTimer->OnTick = [this] { CallHandler(OnTimer, this); };
  UpdateTimer();
}

TTimer::~TTimer() {
  FTimer->OnTick = nullptr;
  delete FTimer;
}

bool TTimer::Active() const { return FTimer->Active(); }

// Counting starts once the form has been read, and anew at each change.
void TTimer::UpdateTimer() {
  FTimer->Stop();
  if (FEnabled && FInterval > 0 && (ComponentState() & csLoading) == 0) FTimer->Start(FInterval);
}
