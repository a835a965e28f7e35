// SPDX-License-Identifier: MIT
#include <framework/classes.h>
#include <widgets/graphics.h>

#include <iterator>

#include "qt_bridge.h"

namespace {

// The palette role standing for each desktop colour, by its number (clSystemColor | n).
const QPalette::ColorRole kSystemColorRoles[] = {
    QPalette::Button,           // clScrollBar
    QPalette::Window,           // clBackground
    QPalette::Highlight,        // clActiveCaption
    QPalette::Mid,              // clInactiveCaption
    QPalette::Window,           // clMenu
    QPalette::Base,             // clWindow
    QPalette::Shadow,           // clWindowFrame
    QPalette::WindowText,       // clMenuText
    QPalette::WindowText,       // clWindowText
    QPalette::HighlightedText,  // clCaptionText
    QPalette::Window,           // clActiveBorder
    QPalette::Window,           // clInactiveBorder
    QPalette::Mid,              // clAppWorkSpace
    QPalette::Highlight,        // clHighlight
    QPalette::HighlightedText,  // clHighlightText
    QPalette::Window,           // clBtnFace
    QPalette::Dark,             // clBtnShadow
    QPalette::PlaceholderText,  // clGrayText
    QPalette::ButtonText,       // clBtnText
    QPalette::WindowText,       // clInactiveCaptionText
    QPalette::Light,            // clBtnHighlight
    QPalette::Shadow,           // cl3DDkShadow
    QPalette::Midlight,         // cl3DLight
    QPalette::ToolTipText,      // clInfoText
    QPalette::ToolTipBase,      // clInfoBk
};
static_assert(std::size(kSystemColorRoles) == (clInfoBk & ~clSystemColor) + 1);

// Fonts of the design desktop and the installed metric-compatible family standing in for each.
const std::pair<const char*, const char*> kFontSubstitutes[] = {
    {"MS Sans Serif", "Liberation Sans"},
    {"Microsoft Sans Serif", "Liberation Sans"},
    {"Arial", "Liberation Sans"},
    {"Tahoma", "Liberation Sans"},
    {"Times New Roman", "Liberation Serif"},
    {"Courier New", "Liberation Mono"},
};

}  // namespace

std::string SubstituteFontName(const std::string& DesignedName) {
  for (const auto& [designed, installed] : kFontSubstitutes)
    if (DesignedName == designed) return installed;
  return DesignedName;
}

namespace widgets_detail {

void RequireGui(const char* ClassName) {
  if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr)
    throw EComponentError(std::string("A ") + ClassName +
                          " needs the GUI front end: create TWidgetsFrontEnd first");
}

QColor ResolveColor(TColor Color, const QPalette& Palette) {
  if ((Color & clSystemColor) == clSystemColor) {
    const auto index = static_cast<std::size_t>(Color & ~clSystemColor);
    const QPalette::ColorRole role =
        index < std::size(kSystemColorRoles) ? kSystemColorRoles[index] : QPalette::Window;
    return Palette.color(QPalette::Active, role);
  }
  const auto bgr = static_cast<unsigned>(Color);
  return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                static_cast<int>((bgr >> 16) & 0xFF));
}

}  // namespace widgets_detail
