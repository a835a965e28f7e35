// SPDX-License-Identifier: MIT
// clang-format off
#include "win_bridge.h"  // first: win32/win32.h before any other Windows header
// clang-format on

#include <widgets/comctrls.h>

#include <algorithm>

using winwidgets::NewNative;
using winwidgets::TNativeStatusText;
using winwidgets::TNativeWindow;
using winwidgets::Utf16;

namespace {

// The status bar's window, which owns the text shown in its one part. It keeps the place and
// size the control gives it (CCS_NORESIZE), rather than docking itself.
class TStatusWindow : public TNativeWindow {
 public:
  TStatusWindow()
      : TNativeWindow(STATUSCLASSNAMEW,
                      CCS_NORESIZE | CCS_NOPARENTALIGN | CCS_NODIVIDER | SBARS_SIZEGRIP, 0),
        Text(Handle()) {
    int whole = -1;
    SendMessageW(Handle(), SB_SETPARTS, 1, reinterpret_cast<LPARAM>(&whole));
  }
  TNativeStatusText Text;
};

HWND Tabs(const TPageControl& Control) { return Control.Widget()->Handle(); }

}  // namespace

// ---- TStatusBar -------------------------------------------------------------------------------

TStatusBar::TStatusBar(TComponent* AOwner)
    : TWinControl(AOwner, NewNative<TStatusWindow>("TStatusBar")),
      FText(&static_cast<TStatusWindow*>(Widget())->Text) {}

std::string TStatusBar::GetSimpleText() const { return FText->Text(); }

void TStatusBar::SetSimpleText(const std::string& Value) { FText->SetText(Value); }

// ---- TPageControl -----------------------------------------------------------------------------

namespace {

// Places every page over the tab control's display area and shows only the selected one, whose
// controls get their windows the first time.
void ArrangePages(HWND TabControl, const std::vector<TTabSheet*>& Pages) {
  RECT area = {};
  GetClientRect(TabControl, &area);
  SendMessageW(TabControl, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
  const auto selected = static_cast<int>(SendMessageW(TabControl, TCM_GETCURSEL, 0, 0));
  for (std::size_t i = 0; i < Pages.size(); ++i) {
    TNativeWindow* page = Pages[i]->Widget();
    page->SetGeometry(area.left, area.top, std::max(0L, area.right - area.left),
                      std::max(0L, area.bottom - area.top));
    const bool shown = static_cast<int>(i) == selected && Pages[i]->GetVisible();
    if (shown) page->MakeHeldChildren();
    page->SetVisible(shown);
  }
}

}  // namespace

TPageControl::TPageControl(TComponent* AOwner)
    : TWinControl(AOwner, NewNative<TNativeWindow>("TPageControl", WC_TABCONTROLW,
                                                   WS_TABSTOP | WS_CLIPCHILDREN | WS_CLIPSIBLINGS,
                                                   WS_EX_CONTROLPARENT)) {
  Widget()->OnNotify = [this](const NMHDR& Header) -> LRESULT {
    if (Header.code == TCN_SELCHANGE) ArrangePages(Tabs(*this), FPages);
    return 0;
  };
  Widget()->OnResized = [this] { ArrangePages(Tabs(*this), FPages); };
}

TTabSheet* TPageControl::GetActivePage() const {
  const auto index = static_cast<int>(SendMessageW(Tabs(*this), TCM_GETCURSEL, 0, 0));
  return index >= 0 && index < PageCount() ? FPages[static_cast<std::size_t>(index)] : nullptr;
}

void TPageControl::SetActivePage(TTabSheet* Page) {
  if (Page == nullptr) return;
  if (Page->PageControl() != this)
    throw EComponentError(Page->GetName() + " is not a page of " + GetName());
  SendMessageW(Tabs(*this), TCM_SETCURSEL, static_cast<WPARAM>(Page->PageIndex()), 0);
  ArrangePages(Tabs(*this), FPages);
}

void TPageControl::InsertPage(TTabSheet* Page) {
  FPages.push_back(Page);
  std::wstring caption = Utf16(Page->GetCaption());
  TCITEMW item = {};
  item.mask = TCIF_TEXT;
  item.pszText = caption.data();
  SendMessageW(Tabs(*this), TCM_INSERTITEMW, FPages.size() - 1, reinterpret_cast<LPARAM>(&item));
  if (SendMessageW(Tabs(*this), TCM_GETCURSEL, 0, 0) < 0)
    SendMessageW(Tabs(*this), TCM_SETCURSEL, 0, 0);
  ArrangePages(Tabs(*this), FPages);
}

void TPageControl::RemovePage(TTabSheet* Page) {
  const int index = Page->PageIndex();
  if (index < 0) return;
  SendMessageW(Tabs(*this), TCM_DELETEITEM, static_cast<WPARAM>(index), 0);
  FPages.erase(FPages.begin() + index);
  if (!FPages.empty() && SendMessageW(Tabs(*this), TCM_GETCURSEL, 0, 0) < 0)
    SendMessageW(Tabs(*this), TCM_SETCURSEL, 0, 0);
  ArrangePages(Tabs(*this), FPages);
}

// ---- TTabSheet --------------------------------------------------------------------------------

// A page is painted in the face colour, as the controls on it expect (a borderless memo of that
// colour reads as text on the page). Its controls get their windows when it is first shown.
TTabSheet::TTabSheet(TComponent* AOwner)
    : TWinControl(AOwner, NewNative<TNativeWindow>("TTabSheet", winwidgets::PanelClass(),
                                                   WS_CLIPCHILDREN | WS_CLIPSIBLINGS,
                                                   WS_EX_CONTROLPARENT)) {
  Widget()->HoldChildren();
}

void TTabSheet::SetCaption(const std::string& Value) {
  FCaption = Value;
  if (FPageControl == nullptr) return;
  std::wstring caption = Utf16(Value);
  TCITEMW item = {};
  item.mask = TCIF_TEXT;
  item.pszText = caption.data();
  SendMessageW(Tabs(*FPageControl), TCM_SETITEMW, static_cast<WPARAM>(PageIndex()),
               reinterpret_cast<LPARAM>(&item));
}
