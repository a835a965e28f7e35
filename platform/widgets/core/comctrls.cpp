// SPDX-License-Identifier: MIT
// The status bar's, page control's and tab sheet's published properties and the page list, the
// same in every front end.
#include <widgets/comctrls.h>

#include <algorithm>

const TClassInfo& TStatusBar::ClassInfo() {
  static const TClassInfo info =
      TClassInfo::Derived<TStatusBar, TWinControl>("TStatusBar")
          .Property("SimplePanel", &TStatusBar::GetSimplePanel, &TStatusBar::SetSimplePanel)
          .Property("SimpleText", &TStatusBar::GetSimpleText, &TStatusBar::SetSimpleText);
  return info;
}

TPageControl::~TPageControl() {
  for (TTabSheet* page : FPages) page->FPageControl = nullptr;  // the pages go with the base
}

const TClassInfo& TPageControl::ClassInfo() {
  static const TClassInfo info =
      TClassInfo::Derived<TPageControl, TWinControl>("TPageControl")
          .Property("ActivePage", &TPageControl::GetActivePage, &TPageControl::SetActivePage);
  return info;
}

TTabSheet* TPageControl::Pages(int Index) const {
  if (Index < 0 || Index >= PageCount())
    throw EComponentError("Page index out of range (" + std::to_string(Index) + ")");
  return FPages[static_cast<std::size_t>(Index)];
}

TTabSheet::~TTabSheet() {
  if (FPageControl != nullptr) FPageControl->RemovePage(this);
}

const TClassInfo& TTabSheet::ClassInfo() {
  static const TClassInfo info =
      TClassInfo::Derived<TTabSheet, TWinControl>("TTabSheet")
          .Property("Caption", &TTabSheet::GetCaption, &TTabSheet::SetCaption);
  return info;
}

int TTabSheet::PageIndex() const {
  if (FPageControl == nullptr) return -1;
  const auto& pages = FPageControl->FPages;
  const auto it = std::find(pages.begin(), pages.end(), this);
  return it == pages.end() ? -1 : static_cast<int>(it - pages.begin());
}

void TTabSheet::SetParent(TWinControl* AParent) {
  auto* pageControl = dynamic_cast<TPageControl*>(AParent);
  if (AParent != nullptr && pageControl == nullptr)
    throw EComponentError(GetName() + " is a page: its parent must be a TPageControl");
  if (FPageControl != nullptr) FPageControl->RemovePage(this);
  FPageControl = nullptr;
  TWinControl::SetParent(AParent);
  FPageControl = pageControl;
  if (FPageControl != nullptr) FPageControl->InsertPage(this);
}
