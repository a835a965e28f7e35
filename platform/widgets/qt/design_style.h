// SPDX-License-Identifier: MIT
// The desktop's style with the geometry that forms designed at fixed pixel positions expect:
// a group box's caption sits on its frame line (its controls start just below the caption).
#pragma once

#include <QProxyStyle>

class TDesignStyle : public QProxyStyle {
 public:
  using QProxyStyle::QProxyStyle;
  QRect subControlRect(ComplexControl Control, const QStyleOptionComplex* Option, SubControl Sub,
                       const QWidget* Widget) const override;
  void drawComplexControl(ComplexControl Control, const QStyleOptionComplex* Option,
                          QPainter* Painter, const QWidget* Widget) const override;
  void drawPrimitive(PrimitiveElement Element, const QStyleOption* Option, QPainter* Painter,
                     const QWidget* Widget) const override;
};
