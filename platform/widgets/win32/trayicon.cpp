// SPDX-License-Identifier: MIT
// clang-format off
#include "win_bridge.h"  // first: win32/win32.h before any other Windows header
// clang-format on

#include <widgets/forms.h>
#include <widgets/imglist.h>
#include <widgets/trayicon.h>

using winwidgets::NewNative;
using winwidgets::TNativeTray;
using winwidgets::TNativeWindow;

// Tells the tray icon when its owner form is minimised. The form's window may be gone first
// (the form destroys its window before the components it owns): the watcher then lets it be.
class TTrayWatcher {
 public:
  TTrayWatcher(TTrayIcon* Tray, TNativeWindow* Window) : FWindow(Window->Handle()) {
    Window->OnMinimised = [Tray] { Tray->OwnerMinimised(); };
  }
  ~TTrayWatcher() {
    if (TNativeWindow* window = TNativeWindow::FromHandle(FWindow)) window->OnMinimised = nullptr;
  }
  TTrayWatcher(const TTrayWatcher&) = delete;
  TTrayWatcher& operator=(const TTrayWatcher&) = delete;

 private:
  HWND FWindow;
};

namespace {

TTrayIconMessage MessageOf(UINT Mouse) {
  switch (Mouse) {
    case WM_LBUTTONUP:
      return imClick;
    case WM_LBUTTONDBLCLK:
      return imDoubleClick;
    case WM_RBUTTONUP:
      return imRightClick;
    case WM_MBUTTONUP:
      return imMiddleClick;
    default:
      return imNone;
  }
}

TNativeWindow* OwnerWindow(const TComponent* Tray) {
  const auto* form = dynamic_cast<const TForm*>(Tray->Owner());
  return form != nullptr ? form->Widget() : nullptr;
}

// The icon is gone from a restarted task bar: a form hidden to the tray goes back on the task
// bar, still minimised, or the user could never get it back.
void BackOnTaskBar(TNativeWindow* Form) {
  if (Form != nullptr && IsIconic(Form->Handle()) && !IsWindowVisible(Form->Handle()))
    ShowWindow(Form->Handle(), SW_SHOWMINNOACTIVE);
}

}  // namespace

TTrayIcon::TTrayIcon(TComponent* AOwner)
    : TComponent(AOwner), FTray(NewNative<TNativeTray>("TTrayIcon")) {
  FTray->OnMouse = [this](UINT Mouse) { Clicked(MessageOf(Mouse)); };
  FTray->OnLost = [this] { BackOnTaskBar(OwnerWindow(this)); };
}

TTrayIcon::~TTrayIcon() {
  FTray->OnMouse = nullptr;
  FTray->OnLost = nullptr;
  delete FTray;  // takes the icon away
  delete FWatcher;
}

// A desktop with a notification area has its task bar window.
bool TTrayIcon::TrayAvailable() { return FindWindowW(L"Shell_TrayWnd", nullptr) != nullptr; }

bool TTrayIcon::IconShown() const { return FTray->Shown(); }

// Shows the icon only where a tray exists. An icon asked for while its form has not shown yet
// (read with the form) is added once the message loop runs, after the window has appeared.
void TTrayIcon::UpdateIcon() {
  if ((ComponentState() & csLoading) != 0) return;
  TNativeWindow* window = OwnerWindow(this);
  if (window != nullptr && FWatcher == nullptr) FWatcher = new TTrayWatcher(this, window);
  const char* const* picture = FIcons != nullptr ? FIcons->Picture(FIconIndex) : nullptr;
  if (!FVisible || picture == nullptr || !TrayAvailable()) {
    FTray->Remove();
    return;
  }
  HICON icon = winwidgets::IconFromXpm(picture);
  if (!FTray->Shown() && window != nullptr && !window->IsVisible())
    FTray->ShowLater(icon, Application->GetTitle());
  else
    FTray->Show(icon, Application->GetTitle());
}

void TTrayIcon::HideOwner() {
  if (TNativeWindow* window = OwnerWindow(this))
    PostMessageW(window->Handle(), winwidgets::WM_HIDE_MINIMISED, 0, 0);
}

void TTrayIcon::Restore() {
  TNativeWindow* window = OwnerWindow(this);
  if (window == nullptr) return;
  ShowWindow(window->Handle(), SW_RESTORE);
  SetForegroundWindow(window->Handle());
}
