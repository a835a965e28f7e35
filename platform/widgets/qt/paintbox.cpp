// SPDX-License-Identifier: MIT
// The paint box over a plain QWidget, and the canvas over QPainter (no antialiasing: lines fall
// on whole pixels, as on the desktop framework's canvas).
#include <widgets/paintbox.h>

#include <QFontMetrics>
#include <QPainter>
#include <QWidget>
#include <functional>

#include "qt_bridge.h"

using widgets_detail::ResolveColor;
using widgets_detail::ToQt;

namespace {

class TPaintBoxWidget : public QWidget {
 public:
  std::function<void(QPainter&)> OnPaint;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    if (OnPaint) OnPaint(painter);
  }
};

Qt::PenStyle QtPenStyle(TPenStyle Style) {
  switch (Style) {
    case psDash:
      return Qt::DashLine;
    case psDot:
      return Qt::DotLine;
    case psClear:
      return Qt::NoPen;
    case psSolid:
      break;
  }
  return Qt::SolidLine;
}

// Sets the painter's pen, brush and font from the canvas's only when they change.
class TQtCanvas : public TCanvas {
 public:
  TQtCanvas(QPainter& Painter, const QWidget& Widget)
      : FPainter(Painter), FPalette(Widget.palette()), FBaseFont(Widget.font()) {}

  void Polyline(const TPoint* Points, int Count) override {
    if (Count < 2) return;
    UsePen();
    FPoints.resize(static_cast<qsizetype>(Count));
    for (int i = 0; i < Count; ++i) FPoints[i] = QPoint(Points[i].X, Points[i].Y);
    FPainter.drawPolyline(FPoints.constData(), Count);
  }

  void Rectangle(int X1, int Y1, int X2, int Y2) override {
    if (X2 <= X1 || Y2 <= Y1) return;
    if (Brush.Style == bsSolid) FPainter.fillRect(X1, Y1, X2 - X1, Y2 - Y1, Color(Brush.Color));
    if (Pen.Style == psClear) return;
    UsePen();
    FPainter.setBrush(Qt::NoBrush);
    FPainter.drawRect(X1, Y1, X2 - X1 - 1, Y2 - Y1 - 1);
  }

  void FillRect(const TRect& Rect) override {
    FPainter.fillRect(Rect.Left, Rect.Top, Rect.Right - Rect.Left, Rect.Bottom - Rect.Top,
                      Color(Brush.Color));
  }

  void TextOut(int X, int Y, const std::string& Text) override {
    UseFont();
    const QString text = ToQt(Text);
    const QFontMetrics metrics = FPainter.fontMetrics();
    if (Brush.Style == bsSolid)
      FPainter.fillRect(X, Y, metrics.horizontalAdvance(text), metrics.height(),
                        Color(Brush.Color));
    FPainter.setPen(Color(Font.Color));
    FPenValid = false;
    FPainter.drawText(X, Y + metrics.ascent(), text);
  }

  TSize TextExtent(const std::string& Text) override {
    UseFont();
    const QFontMetrics metrics = FPainter.fontMetrics();
    return {metrics.horizontalAdvance(ToQt(Text)), metrics.height()};
  }

 private:
  QColor Color(TColor Value) const { return ResolveColor(Value, FPalette); }

  void UsePen() {
    if (FPenValid && Pen.Color == FPen.Color && Pen.Width == FPen.Width && Pen.Style == FPen.Style)
      return;
    FPen = Pen;
    FPenValid = true;
    QPen pen(Color(Pen.Color), Pen.Width > 1 ? Pen.Width : 0, QtPenStyle(Pen.Style));
    pen.setCapStyle(Qt::FlatCap);
    pen.setJoinStyle(Qt::MiterJoin);
    FPainter.setPen(pen);
  }

  void UseFont() {
    if (FFontValid && Font.Name == FFont.Name && Font.Height == FFont.Height &&
        Font.Style == FFont.Style)
      return;
    FFont = Font;
    FFontValid = true;
    QFont font = FBaseFont;
    if (!Font.Name.empty()) font.setFamily(ToQt(SubstituteFontName(Font.Name)));
    // A negative height is the character height in pixels, a positive one the cell height.
    if (Font.Height < 0) font.setPixelSize(-Font.Height);
    if (Font.Height > 0) font.setPixelSize(std::max(1, Font.Height * 4 / 5));
    font.setBold((Font.Style >> fsBold) & 1u);
    font.setItalic((Font.Style >> fsItalic) & 1u);
    font.setUnderline((Font.Style >> fsUnderline) & 1u);
    font.setStrikeOut((Font.Style >> fsStrikeOut) & 1u);
    FPainter.setFont(font);
  }

  QPainter& FPainter;
  QPalette FPalette;
  QFont FBaseFont;
  QVector<QPoint> FPoints;
  TPen FPen;
  bool FPenValid = false;
  TCanvasFont FFont;
  bool FFontValid = false;
};

TPaintBoxWidget* PaintWidget(const TPaintBox* Box) {
  return static_cast<TPaintBoxWidget*>(Box->Widget());
}

}  // namespace

TPaintBox::TPaintBox(TComponent* AOwner)
    : TControl(AOwner, widgets_detail::NewWidget<TPaintBoxWidget>("TPaintBox")) {
  PaintWidget(this)->OnPaint = [this](QPainter& Painter) {
    TQtCanvas canvas(Painter, *Widget());
    Paint(canvas);
  };
}

TPaintBox::~TPaintBox() { PaintWidget(this)->OnPaint = nullptr; }

void TPaintBox::Invalidate() { Widget()->update(); }
