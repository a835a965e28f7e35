// SPDX-License-Identifier: MIT
#include "design_style.h"

#include <QPainter>
#include <QStyleOptionGroupBox>

QRect TDesignStyle::subControlRect(ComplexControl Control, const QStyleOptionComplex* Option,
                                   SubControl Sub, const QWidget* Widget) const {
  QRect rect = QProxyStyle::subControlRect(Control, Option, Sub, Widget);
  if (Control != CC_GroupBox) return rect;
  const int captionHeight = Option->fontMetrics.height();
  if (Sub == SC_GroupBoxFrame) rect.setTop(captionHeight / 2);
  if (Sub == SC_GroupBoxLabel) rect.moveTopLeft(QPoint(Option->rect.left() + 8, 0));
  return rect;
}

// The frame is drawn around the caption, not through it.
void TDesignStyle::drawComplexControl(ComplexControl Control, const QStyleOptionComplex* Option,
                                      QPainter* Painter, const QWidget* Widget) const {
  const auto* box = qstyleoption_cast<const QStyleOptionGroupBox*>(Option);
  if (Control != CC_GroupBox || box == nullptr || box->text.isEmpty()) {
    QProxyStyle::drawComplexControl(Control, Option, Painter, Widget);
    return;
  }
  const QRect caption =
      subControlRect(CC_GroupBox, Option, SC_GroupBoxLabel, Widget).adjusted(-2, 0, 2, 0);
  QStyleOptionGroupBox frameOnly(*box);
  frameOnly.subControls = SC_GroupBoxFrame;
  Painter->save();
  Painter->setClipRegion(QRegion(box->rect).subtracted(caption));
  QProxyStyle::drawComplexControl(Control, &frameOnly, Painter, Widget);
  Painter->restore();
  QStyleOptionGroupBox rest(*box);
  rest.subControls = box->subControls & ~SC_GroupBoxFrame;
  QProxyStyle::drawComplexControl(Control, &rest, Painter, Widget);
}

// A plain frame exactly at the rectangle given (styles may move it below the caption).
void TDesignStyle::drawPrimitive(PrimitiveElement Element, const QStyleOption* Option,
                                 QPainter* Painter, const QWidget* Widget) const {
  if (Element != PE_FrameGroupBox) {
    QProxyStyle::drawPrimitive(Element, Option, Painter, Widget);
    return;
  }
  Painter->save();
  Painter->setRenderHint(QPainter::Antialiasing, false);
  Painter->setPen(Option->palette.color(QPalette::Mid));
  Painter->setBrush(Qt::NoBrush);
  Painter->drawRect(Option->rect.adjusted(0, 0, -1, -1));
  Painter->restore();
}
