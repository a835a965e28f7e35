// SPDX-License-Identifier: MIT
#include <widgets/comctrls.h>

#include <QLabel>
#include <QStatusBar>
#include <QTabWidget>

#include "qt_bridge.h"

using widgets_detail::FromQt;
using widgets_detail::NewWidget;
using widgets_detail::ToQt;

// ---- TStatusBar -------------------------------------------------------------------------------

TStatusBar::TStatusBar(TComponent* AOwner)
    : TWinControl(AOwner, NewWidget<QStatusBar>("TStatusBar")), FText(new QLabel) {
  static_cast<QStatusBar*>(Widget())->addWidget(FText, 1);
  // The bar keeps its designed height: a minimum of its own stops its layout from raising it to
  // the layout's minimum when the font it shows changes.
  Widget()->setMinimumSize(0, 0);
}

std::string TStatusBar::GetSimpleText() const { return FromQt(FText->text()); }

void TStatusBar::SetSimpleText(const std::string& Value) { FText->setText(ToQt(Value)); }

// ---- TPageControl -----------------------------------------------------------------------------

TPageControl::TPageControl(TComponent* AOwner)
    : TWinControl(AOwner, NewWidget<QTabWidget>("TPageControl")) {}

TTabSheet* TPageControl::GetActivePage() const {
  const int index = static_cast<QTabWidget*>(Widget())->currentIndex();
  return index >= 0 && index < PageCount() ? FPages[static_cast<std::size_t>(index)] : nullptr;
}

void TPageControl::SetActivePage(TTabSheet* Page) {
  if (Page == nullptr) return;
  if (Page->PageControl() != this)
    throw EComponentError(Page->GetName() + " is not a page of " + GetName());
  static_cast<QTabWidget*>(Widget())->setCurrentWidget(Page->Widget());
}

void TPageControl::InsertPage(TTabSheet* Page) {
  FPages.push_back(Page);
  static_cast<QTabWidget*>(Widget())->addTab(Page->Widget(), ToQt(Page->GetCaption()));
}

void TPageControl::RemovePage(TTabSheet* Page) {
  const int index = Page->PageIndex();
  if (index < 0) return;
  static_cast<QTabWidget*>(Widget())->removeTab(index);
  FPages.erase(FPages.begin() + index);
}

// ---- TTabSheet --------------------------------------------------------------------------------

// A page is painted in the face colour, as the controls on it expect (a borderless memo of that
// colour reads as text on the page).
TTabSheet::TTabSheet(TComponent* AOwner) : TWinControl(AOwner, NewWidget<QWidget>("TTabSheet")) {
  Widget()->setAutoFillBackground(true);
}

void TTabSheet::SetCaption(const std::string& Value) {
  FCaption = Value;
  if (FPageControl != nullptr)
    static_cast<QTabWidget*>(FPageControl->Widget())->setTabText(PageIndex(), ToQt(Value));
}
