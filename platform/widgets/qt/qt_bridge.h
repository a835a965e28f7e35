// SPDX-License-Identifier: MIT
// What the Qt control adapters share: text conversion, colour mapping, handler calls, and the
// check that a GUI exists before a widget is made.
#pragma once

#include <framework/application.h>
#include <widgets/graphics.h>

#include <QApplication>
#include <QColor>
#include <QPalette>
#include <QString>
#include <string>

#include "handler_call.h"

namespace widgets_detail {

inline QString ToQt(const std::string& Text) {
  return QString::fromUtf8(Text.data(), static_cast<qsizetype>(Text.size()));
}
inline std::string FromQt(const QString& Text) { return Text.toUtf8().toStdString(); }

// Raises EComponentError when no QApplication exists (a widget cannot be made then).
void RequireGui(const char* ClassName);

// Creates a widget (or other Qt object) of class W once the GUI exists.
template <class W>
W* NewWidget(const char* ClassName) {
  RequireGui(ClassName);
  return new W();
}

// The colour Color stands for: a desktop colour from Palette, or the plain colour.
QColor ResolveColor(TColor Color, const QPalette& Palette);

}  // namespace widgets_detail
