// SPDX-License-Identifier: MIT
// A surface to draw on: the canvas a paint box hands its OnPaint handler (widgets/paintbox.h).
//
// TCanvas draws with the current Pen (lines and outlines), Brush (fills, and the background of
// text unless its Style is bsClear) and Font (text), which the program sets before each call;
// coordinates are pixels from the top left of the control. As on the desktop framework's canvas,
// a rectangle's right and bottom edges lie outside it (Rectangle(0, 0, 10, 10) covers pixels 0
// to 9), and the last point of a line is not drawn. Each front end provides its own canvas over
// its toolkit's painter (Qt's QPainter, GDI); this header does not expose either, so a program's
// drawing code, and its tests, need only this header.
//
// Threads: main thread only, inside the paint that hands it over.
#pragma once

#include <widgets/export.h>
#include <widgets/graphics.h>

#include <string>
#include <vector>

enum TPenStyle : unsigned char { psSolid, psDash, psDot, psClear };
enum TBrushStyle : unsigned char { bsSolid, bsClear };

struct TPoint {
  int X = 0;
  int Y = 0;
};

struct TSize {
  int cx = 0;
  int cy = 0;
};

struct TRect {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;
};

struct TPen {
  TColor Color = clBlack;
  int Width = 1;
  TPenStyle Style = psSolid;
};

struct TBrush {
  TColor Color = clWhite;
  TBrushStyle Style = bsSolid;
};

// The font text is drawn in: a designed family name (mapped as the controls' fonts are), its
// height (negative: the character height in pixels), colour and style bits (TFontStyle).
struct TCanvasFont {
  std::string Name;
  int Height = 0;
  TColor Color = clWindowText;
  unsigned char Style = 0;
};

class COMM_WIDGETS_API TCanvas {
 public:
  virtual ~TCanvas() = default;

  TPen Pen;
  TBrush Brush;
  TCanvasFont Font;

  // Moves the pen without drawing; LineTo draws from there with Pen and moves it.
  void MoveTo(int X, int Y) { FPenPos = {X, Y}; }
  void LineTo(int X, int Y);
  TPoint GetPenPos() const { return FPenPos; }

  // Lines through Count points with Pen.
  virtual void Polyline(const TPoint* Points, int Count) = 0;
  void Polyline(const std::vector<TPoint>& Points) {
    Polyline(Points.data(), static_cast<int>(Points.size()));
  }
  // Outlined with Pen and filled with Brush.
  virtual void Rectangle(int X1, int Y1, int X2, int Y2) = 0;
  // Filled with Brush's colour, no outline.
  virtual void FillRect(const TRect& Rect) = 0;
  // Text with its top left at X, Y, in Font, on Brush unless Brush.Style is bsClear.
  virtual void TextOut(int X, int Y, const std::string& Text) = 0;
  // The width and height Text takes in Font.
  virtual TSize TextExtent(const std::string& Text) = 0;
  int TextWidth(const std::string& Text) { return TextExtent(Text).cx; }
  int TextHeight(const std::string& Text) { return TextExtent(Text).cy; }

 private:
  TPoint FPenPos;
};
