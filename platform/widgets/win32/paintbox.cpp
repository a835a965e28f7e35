// SPDX-License-Identifier: MIT
// The paint box over a plain child window, and the canvas over GDI. A paint draws into a bitmap
// first and copies it to the window in one step, so the window never shows a half-drawn picture.
// clang-format off
#include "win_bridge.h"  // first: win32/win32.h before any other Windows header
// clang-format on

#include <widgets/paintbox.h>

#include <vector>

using winwidgets::NewNative;
using winwidgets::ResolveColor;
using winwidgets::TNativeWindow;

namespace {

// GDI's background modes (windows_names.h takes back the names TRANSPARENT and OPAQUE).
constexpr int kTransparentText = 1;
constexpr int kOpaqueText = 2;

int GdiPenStyle(TPenStyle Style) {
  switch (Style) {
    case psDash:
      return PS_DASH;
    case psDot:
      return PS_DOT;
    case psClear:
      return PS_NULL;
    case psSolid:
      break;
  }
  return PS_SOLID;
}

// Selects pens and fonts into the device context only when the canvas's change; every object it
// made is deleted, and the context's own ones selected back, when it ends.
class TGdiCanvas : public TCanvas {
 public:
  explicit TGdiCanvas(HDC Dc)
      : FDc(Dc),
        FOriginalPen(SelectObject(Dc, GetStockObject(BLACK_PEN))),
        FOriginalBrush(SelectObject(Dc, GetStockObject(NULL_BRUSH))),
        FOriginalFont(SelectObject(Dc, GetStockObject(DEFAULT_GUI_FONT))) {}
  ~TGdiCanvas() override {
    SelectObject(FDc, FOriginalPen);
    SelectObject(FDc, FOriginalBrush);
    SelectObject(FDc, FOriginalFont);
    if (FPenMade != nullptr) DeleteObject(FPenMade);
  }
  TGdiCanvas(const TGdiCanvas&) = delete;
  TGdiCanvas& operator=(const TGdiCanvas&) = delete;

  void Polyline(const TPoint* Points, int Count) override {
    if (Count < 2) return;
    UsePen();
    FPoints.resize(static_cast<std::size_t>(Count));
    for (int i = 0; i < Count; ++i)
      FPoints[static_cast<std::size_t>(i)] = {Points[i].X, Points[i].Y};
    ::Polyline(FDc, FPoints.data(), Count);
  }

  void Rectangle(int X1, int Y1, int X2, int Y2) override {
    if (X2 <= X1 || Y2 <= Y1) return;
    if (Brush.Style == bsSolid) FillRect({X1, Y1, X2, Y2});
    if (Pen.Style == psClear) return;
    UsePen();
    ::Rectangle(FDc, X1, Y1, X2, Y2);  // the null brush is selected: outline only
  }

  void FillRect(const TRect& Rect) override {
    HBRUSH brush = CreateSolidBrush(ResolveColor(Brush.Color));
    const RECT r = {Rect.Left, Rect.Top, Rect.Right, Rect.Bottom};
    ::FillRect(FDc, &r, brush);
    DeleteObject(brush);
  }

  void TextOut(int X, int Y, const std::string& Text) override {
    UseFont();
    const std::wstring text = winwidgets::Utf16(Text);
    SetTextColor(FDc, ResolveColor(Font.Color));
    SetBkMode(FDc, Brush.Style == bsClear ? kTransparentText : kOpaqueText);
    SetBkColor(FDc, ResolveColor(Brush.Color));
    TextOutW(FDc, X, Y, text.c_str(), static_cast<int>(text.size()));
  }

  TSize TextExtent(const std::string& Text) override {
    UseFont();
    const std::wstring text = winwidgets::Utf16(Text);
    SIZE size = {};
    GetTextExtentPoint32W(FDc, text.c_str(), static_cast<int>(text.size()), &size);
    return {size.cx, size.cy};
  }

 private:
  void UsePen() {
    if (FPenMade != nullptr && Pen.Color == FPen.Color && Pen.Width == FPen.Width &&
        Pen.Style == FPen.Style)
      return;
    FPen = Pen;
    HPEN pen = CreatePen(GdiPenStyle(Pen.Style), Pen.Width, ResolveColor(Pen.Color));
    SelectObject(FDc, pen);
    if (FPenMade != nullptr) DeleteObject(FPenMade);
    FPenMade = pen;
  }

  // The front end's font cache owns the fonts.
  void UseFont() {
    if (FFontSet && Font.Name == FFont.Name && Font.Height == FFont.Height &&
        Font.Style == FFont.Style)
      return;
    FFont = Font;
    FFontSet = true;
    SelectObject(FDc, winwidgets::FontFor(Font.Name, Font.Height, Font.Style));
  }

  HDC FDc;
  HGDIOBJ FOriginalPen, FOriginalBrush, FOriginalFont;
  HPEN FPenMade = nullptr;
  TPen FPen;
  TCanvasFont FFont;
  bool FFontSet = false;
  std::vector<POINT> FPoints;
};

}  // namespace

TPaintBox::TPaintBox(TComponent* AOwner)
    : TControl(AOwner, NewNative<TNativeWindow>("TPaintBox", winwidgets::PanelClass(), 0, 0)) {
  Widget()->OnPaint = [this](HDC Dc, const RECT& Client) {
    const int width = Client.right, height = Client.bottom;
    if (width <= 0 || height <= 0) return;
    HDC memory = CreateCompatibleDC(Dc);
    HBITMAP bitmap = CreateCompatibleBitmap(Dc, width, height);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    HBRUSH background = CreateSolidBrush(ResolveColor(GetColor()));
    FillRect(memory, &Client, background);
    DeleteObject(background);
    {
      TGdiCanvas canvas(memory);
      Paint(canvas);
    }
    BitBlt(Dc, 0, 0, width, height, memory, 0, 0, SRCCOPY);
    SelectObject(memory, previous);
    DeleteObject(bitmap);
    DeleteDC(memory);
  };
}

TPaintBox::~TPaintBox() { Widget()->OnPaint = nullptr; }

void TPaintBox::Invalidate() { Widget()->Invalidate(false); }
