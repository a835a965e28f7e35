// SPDX-License-Identifier: MIT
// The named colours and character sets of form descriptions, and the registry of built-in
// pictures: the same in every front end.
#include <framework/classes.h>
#include <widgets/graphics.h>

#include <map>

namespace {

const std::pair<const char*, TColor> kColors[] = {
    {"clScrollBar", clScrollBar},
    {"clBackground", clBackground},
    {"clActiveCaption", clActiveCaption},
    {"clInactiveCaption", clInactiveCaption},
    {"clMenu", clMenu},
    {"clWindow", clWindow},
    {"clWindowFrame", clWindowFrame},
    {"clMenuText", clMenuText},
    {"clWindowText", clWindowText},
    {"clCaptionText", clCaptionText},
    {"clActiveBorder", clActiveBorder},
    {"clInactiveBorder", clInactiveBorder},
    {"clAppWorkSpace", clAppWorkSpace},
    {"clHighlight", clHighlight},
    {"clHighlightText", clHighlightText},
    {"clBtnFace", clBtnFace},
    {"clBtnShadow", clBtnShadow},
    {"clGrayText", clGrayText},
    {"clBtnText", clBtnText},
    {"clInactiveCaptionText", clInactiveCaptionText},
    {"clBtnHighlight", clBtnHighlight},
    {"cl3DDkShadow", cl3DDkShadow},
    {"cl3DLight", cl3DLight},
    {"clInfoText", clInfoText},
    {"clInfoBk", clInfoBk},
    {"clBlack", clBlack},
    {"clMaroon", clMaroon},
    {"clGreen", clGreen},
    {"clOlive", clOlive},
    {"clNavy", clNavy},
    {"clPurple", clPurple},
    {"clTeal", clTeal},
    {"clGray", clGray},
    {"clSilver", clSilver},
    {"clRed", clRed},
    {"clLime", clLime},
    {"clYellow", clYellow},
    {"clBlue", clBlue},
    {"clFuchsia", clFuchsia},
    {"clAqua", clAqua},
    {"clWhite", clWhite},
    {"clMoneyGreen", clMoneyGreen},
    {"clSkyBlue", clSkyBlue},
    {"clCream", clCream},
    {"clMedGray", clMedGray},
};

std::map<std::string, const char* const*>& Pictures() {
  static std::map<std::string, const char* const*> pictures;
  return pictures;
}

}  // namespace

const std::vector<std::pair<std::string, long long>>& ColorIdents() {
  static const auto idents = [] {
    std::vector<std::pair<std::string, long long>> v;
    for (const auto& [name, value] : kColors) v.emplace_back(name, value);
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

void RegisterPicture(const std::string& Name, const char* const* Xpm) { Pictures()[Name] = Xpm; }

const char* const* FindPicture(const std::string& Name) {
  auto it = Pictures().find(Name);
  return it == Pictures().end() ? nullptr : it->second;
}
