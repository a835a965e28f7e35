// SPDX-License-Identifier: MIT
#include <framework/classes.h>
#include <widgets/graphics.h>

#include <map>

#include "qt_bridge.h"

namespace {

// Every named colour, and for desktop colours the palette role that stands for it here.
struct ColorEntry {
  const char* Name;
  TColor Value;
  QPalette::ColorRole Role;  // used for desktop colours only
};

const ColorEntry kColors[] = {
    {"clScrollBar", clScrollBar, QPalette::Button},
    {"clBackground", clBackground, QPalette::Window},
    {"clActiveCaption", clActiveCaption, QPalette::Highlight},
    {"clInactiveCaption", clInactiveCaption, QPalette::Mid},
    {"clMenu", clMenu, QPalette::Window},
    {"clWindow", clWindow, QPalette::Base},
    {"clWindowFrame", clWindowFrame, QPalette::Shadow},
    {"clMenuText", clMenuText, QPalette::WindowText},
    {"clWindowText", clWindowText, QPalette::WindowText},
    {"clCaptionText", clCaptionText, QPalette::HighlightedText},
    {"clActiveBorder", clActiveBorder, QPalette::Window},
    {"clInactiveBorder", clInactiveBorder, QPalette::Window},
    {"clAppWorkSpace", clAppWorkSpace, QPalette::Mid},
    {"clHighlight", clHighlight, QPalette::Highlight},
    {"clHighlightText", clHighlightText, QPalette::HighlightedText},
    {"clBtnFace", clBtnFace, QPalette::Window},
    {"clBtnShadow", clBtnShadow, QPalette::Dark},
    {"clGrayText", clGrayText, QPalette::PlaceholderText},
    {"clBtnText", clBtnText, QPalette::ButtonText},
    {"clInactiveCaptionText", clInactiveCaptionText, QPalette::WindowText},
    {"clBtnHighlight", clBtnHighlight, QPalette::Light},
    {"cl3DDkShadow", cl3DDkShadow, QPalette::Shadow},
    {"cl3DLight", cl3DLight, QPalette::Midlight},
    {"clInfoText", clInfoText, QPalette::ToolTipText},
    {"clInfoBk", clInfoBk, QPalette::ToolTipBase},
    {"clBlack", clBlack, QPalette::NoRole},
    {"clMaroon", clMaroon, QPalette::NoRole},
    {"clGreen", clGreen, QPalette::NoRole},
    {"clOlive", clOlive, QPalette::NoRole},
    {"clNavy", clNavy, QPalette::NoRole},
    {"clPurple", clPurple, QPalette::NoRole},
    {"clTeal", clTeal, QPalette::NoRole},
    {"clGray", clGray, QPalette::NoRole},
    {"clSilver", clSilver, QPalette::NoRole},
    {"clRed", clRed, QPalette::NoRole},
    {"clLime", clLime, QPalette::NoRole},
    {"clYellow", clYellow, QPalette::NoRole},
    {"clBlue", clBlue, QPalette::NoRole},
    {"clFuchsia", clFuchsia, QPalette::NoRole},
    {"clAqua", clAqua, QPalette::NoRole},
    {"clWhite", clWhite, QPalette::NoRole},
    {"clMoneyGreen", clMoneyGreen, QPalette::NoRole},
    {"clSkyBlue", clSkyBlue, QPalette::NoRole},
    {"clCream", clCream, QPalette::NoRole},
    {"clMedGray", clMedGray, QPalette::NoRole},
};

// Fonts of the design desktop and the installed metric-compatible family standing in for each.
const std::pair<const char*, const char*> kFontSubstitutes[] = {
    {"MS Sans Serif", "Liberation Sans"},
    {"Microsoft Sans Serif", "Liberation Sans"},
    {"Arial", "Liberation Sans"},
    {"Tahoma", "Liberation Sans"},
    {"Times New Roman", "Liberation Serif"},
    {"Courier New", "Liberation Mono"},
};

std::map<std::string, const char* const*>& Pictures() {
  static std::map<std::string, const char* const*> pictures;
  return pictures;
}

}  // namespace

const std::vector<std::pair<std::string, long long>>& ColorIdents() {
  static const auto idents = [] {
    std::vector<std::pair<std::string, long long>> v;
    for (const ColorEntry& c : kColors) v.emplace_back(c.Name, c.Value);
    return v;
  }();
  return idents;
}

const std::vector<std::pair<std::string, long long>>& CharsetIdents() {
  static const std::vector<std::pair<std::string, long long>> idents = {
      {"ANSI_CHARSET", 0},         {"DEFAULT_CHARSET", DEFAULT_CHARSET},
      {"SYMBOL_CHARSET", 2},       {"RUSSIAN_CHARSET", RUSSIAN_CHARSET},
      {"EASTEUROPE_CHARSET", 238}, {"OEM_CHARSET", 255},
  };
  return idents;
}

std::string SubstituteFontName(const std::string& DesignedName) {
  for (const auto& [designed, installed] : kFontSubstitutes)
    if (DesignedName == designed) return installed;
  return DesignedName;
}

void RegisterPicture(const std::string& Name, const char* const* Xpm) { Pictures()[Name] = Xpm; }

const char* const* FindPicture(const std::string& Name) {
  auto it = Pictures().find(Name);
  return it == Pictures().end() ? nullptr : it->second;
}

namespace widgets_detail {

void RequireGui(const char* ClassName) {
  if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr)
    throw EComponentError(std::string("A ") + ClassName +
                          " needs the GUI front end: create TWidgetsFrontEnd first");
}

QColor ResolveColor(TColor Color, const QPalette& Palette) {
  if ((Color & clSystemColor) == clSystemColor) {
    for (const ColorEntry& c : kColors)
      if (c.Value == Color) return Palette.color(QPalette::Active, c.Role);
    return Palette.color(QPalette::Active, QPalette::Window);
  }
  const auto bgr = static_cast<unsigned>(Color);
  return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                static_cast<int>((bgr >> 16) & 0xFF));
}

}  // namespace widgets_detail
