// SPDX-License-Identifier: MIT
#include <widgets/extctrls.h>

#include <QPainter>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <cstdint>

#include "qt_bridge.h"

using widgets_detail::CallHandler;

namespace {

// Paints a bevel's shape with the desktop's light and shadow colours.
class TBevelWidget : public QWidget {
 public:
  TBevelShape Shape = bsBox;
  TBevelStyle Style = bsLowered;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    const QColor light = palette().color(QPalette::Light);
    const QColor dark = palette().color(QPalette::Dark);
    // Raised: light above and left of dark; lowered the other way round.
    const QColor first = Style == bsRaised ? light : dark;
    const QColor second = Style == bsRaised ? dark : light;
    const int w = width(), h = height();
    switch (Shape) {
      case bsBox:
      case bsFrame:
        painter.setPen(first);
        painter.drawRect(0, 0, w - 2, h - 2);
        painter.setPen(second);
        painter.drawRect(1, 1, w - 2, h - 2);
        break;
      case bsTopLine:
        DrawPair(painter, QLine(0, 0, w - 1, 0), QLine(0, 1, w - 1, 1), first, second);
        break;
      case bsBottomLine:
        DrawPair(painter, QLine(0, h - 2, w - 1, h - 2), QLine(0, h - 1, w - 1, h - 1), first,
                 second);
        break;
      case bsLeftLine:
        DrawPair(painter, QLine(0, 0, 0, h - 1), QLine(1, 0, 1, h - 1), first, second);
        break;
      case bsRightLine:
        DrawPair(painter, QLine(w - 2, 0, w - 2, h - 1), QLine(w - 1, 0, w - 1, h - 1), first,
                 second);
        break;
      case bsSpacer:
        break;
    }
  }

 private:
  static void DrawPair(QPainter& Painter, QLine A, QLine B, const QColor& First,
                       const QColor& Second) {
    Painter.setPen(First);
    Painter.drawLine(A);
    Painter.setPen(Second);
    Painter.drawLine(B);
  }
};

}  // namespace

// ---- TBevel -----------------------------------------------------------------------------------

TBevel::TBevel(TComponent* AOwner)
    : TControl(AOwner, widgets_detail::NewWidget<TBevelWidget>("TBevel")) {}

void TBevel::SetShape(TBevelShape Value) {
  FShape = Value;
  static_cast<TBevelWidget*>(Widget())->Shape = Value;
  Widget()->update();
}

void TBevel::SetStyle(TBevelStyle Value) {
  FStyle = Value;
  static_cast<TBevelWidget*>(Widget())->Style = Value;
  Widget()->update();
}

// ---- TTimer -----------------------------------------------------------------------------------

TTimer::TTimer(TComponent* AOwner)
    : TComponent(AOwner), FTimer(widgets_detail::NewWidget<QTimer>("TTimer")) {
  // To the millisecond, as a timer of the desktop framework fires: Qt's default timers may fire
  // up to 5 % of their interval early or late, which a reply's quiet gap cannot afford.
  FTimer->setTimerType(Qt::PreciseTimer);
  QObject::connect(FTimer, &QTimer::timeout, FTimer, [this] { CallHandler(OnTimer, this); });
  UpdateTimer();
}

TTimer::~TTimer() {
  QObject::disconnect(FTimer, nullptr, nullptr, nullptr);
  delete FTimer;
}

bool TTimer::Active() const { return FTimer->isActive(); }

// (Re)starts the count whenever a setting changes, as the interval begins anew.
void TTimer::UpdateTimer() {
  FTimer->stop();
  const bool loading = (ComponentState() & csLoading) != 0;
  if (FEnabled && FInterval > 0 && !loading)
    FTimer->start(static_cast<int>(std::min<unsigned>(FInterval, INT32_MAX)));
}
