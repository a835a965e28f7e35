// SPDX-License-Identifier: MIT
// clang-format off
#include "win_bridge.h"  // first: win32/win32.h before any other Windows header
// clang-format on

#include <widgets/forms.h>

#include <algorithm>
#include <vector>

using winwidgets::NewNative;
using winwidgets::TNativeWindow;

namespace {

// A form's top-level window: its icon, and the state asked for while it is hidden.
class TFormWindow : public TNativeWindow {
 public:
  TFormWindow()
      : TNativeWindow(winwidgets::FormClass(),
                      WS_OVERLAPPED | WS_CAPTION | WS_THICKFRAME | WS_CLIPCHILDREN, 0, true) {}
  ~TFormWindow() override { SetIcon(nullptr); }
  void SetIcon(HICON Icon) {
    SendMessageW(Handle(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(Icon));
    SendMessageW(Handle(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(Icon));
    if (FIcon != nullptr) DestroyIcon(FIcon);
    FIcon = Icon;
  }
  int PendingShow = -1;    // SW_ command for the first showing, when a state was asked for
  bool KeepPlace = false;  // the window has its place already: the bounds follow it

 private:
  HICON FIcon = nullptr;
};

TFormWindow* FormWindow(const TForm& Form) { return static_cast<TFormWindow*>(Form.Widget()); }

// GetDpiForWindow where the system has it (Windows 10 1607 and later, Wine): the window's own
// DPI, the screen's for a per-monitor aware program and 96 for an unaware one, which the system
// stretches.
UINT WindowDpi(HWND Window) {
  using TGetDpiForWindow = UINT(WINAPI*)(HWND);
  static const auto getDpi = reinterpret_cast<TGetDpiForWindow>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  return getDpi != nullptr ? getDpi(Window) : 0;
}

// The frame this window's style has at its DPI (AdjustWindowRectExForDpi where the system has
// it: a per-monitor aware window's frame follows its screen's DPI, not the system's).
void AddFrame(HWND Window, RECT& Client) {
  using TAdjustForDpi = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
  static const auto adjustForDpi = reinterpret_cast<TAdjustForDpi>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"user32.dll"), "AdjustWindowRectExForDpi")));
  const auto style = static_cast<DWORD>(GetWindowLongPtrW(Window, GWL_STYLE));
  const auto exStyle = static_cast<DWORD>(GetWindowLongPtrW(Window, GWL_EXSTYLE));
  const UINT dpi = WindowDpi(Window);
  if (adjustForDpi == nullptr || dpi == 0 || !adjustForDpi(&Client, style, FALSE, exStyle, dpi))
    AdjustWindowRectEx(&Client, style, FALSE, exStyle);
}

// The controls and fonts are scaled to the new DPI; the window takes the place and size the
// system suggests, and the form's bounds follow it.
void TakeDpi(TForm& Form, int Dpi, const RECT& Suggested) {
  TFormWindow* window = FormWindow(Form);
  window->KeepPlace = true;
  Form.ChangeDpi(Dpi);
  SetWindowPos(window->Handle(), nullptr, Suggested.left, Suggested.top,
               Suggested.right - Suggested.left, Suggested.bottom - Suggested.top,
               SWP_NOZORDER | SWP_NOACTIVATE);
  Form.SetBounds(Suggested.left, Suggested.top, window->ClientWidth() + kDesignFrameWidth,
                 window->ClientHeight() + kDesignFrameHeight);
  window->KeepPlace = false;
}

// The windows the Tab key visits: the windowed controls that take the focus by Tab, depth first
// in tab order, of those showing and enabled now.
void CollectTabChain(const TWinControl& Parent, std::vector<HWND>& Chain) {
  for (const TWinControl* c : Parent.TabList()) {
    const HWND window = c->Widget()->Handle();
    if (!IsWindowVisible(window) || !IsWindowEnabled(window)) continue;
    if ((GetWindowLongPtrW(window, GWL_STYLE) & WS_TABSTOP) != 0) Chain.push_back(window);
    CollectTabChain(*c, Chain);
  }
}

// Moves the focus to the next (or previous) control of the chain; true when it did.
bool TabFrom(const TWinControl& Form, bool Backwards) {
  std::vector<HWND> chain;
  CollectTabChain(Form, chain);
  if (chain.empty()) return false;
  // The focused control, or else the last control of the chain holding the focused window.
  const HWND focused = GetFocus();
  auto at = std::find(chain.begin(), chain.end(), focused);
  for (auto c = chain.begin(); at == chain.end() && c != chain.end(); ++c)
    if (IsChild(*c, focused)) at = c;
  const auto count = static_cast<std::ptrdiff_t>(chain.size());
  std::ptrdiff_t index = at == chain.end() ? (Backwards ? 0 : -1) : at - chain.begin();
  index = (index + (Backwards ? count - 1 : 1)) % count;
  SetFocus(chain[static_cast<std::size_t>(index)]);
  return true;
}

}  // namespace

TForm::TForm(TComponent* AOwner) : TWinControl(AOwner, NewNative<TFormWindow>("TForm")) {
  Widget()->OnMessage = [this](UINT Message, WPARAM W, LPARAM L, LRESULT& Result) {
    if (Message == WM_CLOSE) {  // closing hides the window; the main form's ends the program
      if (Application->GetMainForm() == this) Application->Terminate();
      ShowWindow(Widget()->Handle(), SW_HIDE);
      Result = 0;
      return true;
    }
    if (Message == winwidgets::WM_FORM_TAB) {  // the Tab key pressed within the window
      Result = TabFrom(*this, W != 0);
      return true;
    }
    if (Message == winwidgets::WM_HIDE_MINIMISED) {
      if (IsIconic(Widget()->Handle())) ShowWindow(Widget()->Handle(), SW_HIDE);
      Result = 0;
      return true;
    }
    if (Message == WM_DPICHANGED) {  // a per-monitor aware window moved to another screen
      TakeDpi(*this, HIWORD(W), *reinterpret_cast<const RECT*>(L));
      Result = 0;
      return true;
    }
    return false;
  };
  SetParentFont(false);  // a form has no parent: its font is its own
  ApplyWindowFlags();
}

TForm::~TForm() {
  Widget()->OnMessage = nullptr;
  Widget()->OnMinimised = nullptr;
}

// The Tab key follows the tab lists (TabFrom), whatever the windows' z-order.
void TForm::UpdateTabOrder() { FixupTabOrders(); }

std::string TForm::GetCaption() const { return Widget()->Text(); }

void TForm::SetCaption(const std::string& Value) { Widget()->SetText(Value); }

void TForm::SetBorderIcons(unsigned char Value) {
  FBorderIcons = Value;
  ApplyWindowFlags();
}

// The styles change together; the frame is redrawn by ApplyBounds, which keeps the client
// area's size (and which waits for Loaded while the description is read).
void TForm::ApplyWindowFlags() {
  const HWND window = Widget()->Handle();
  const auto has = [this](TBorderIcon Icon) { return ((FBorderIcons >> Icon) & 1u) != 0; };
  auto style = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE));
  style &= ~static_cast<DWORD>(WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX);
  if (has(biSystemMenu)) style |= WS_SYSMENU;
  if (has(biMinimize)) style |= WS_MINIMIZEBOX;
  if (has(biMaximize)) style |= WS_MAXIMIZEBOX;
  // The help button shows only on a window without minimise and maximise buttons.
  auto exStyle = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE));
  exStyle = has(biHelp) ? exStyle | WS_EX_CONTEXTHELP : exStyle & ~DWORD{WS_EX_CONTEXTHELP};
  SetWindowLongPtrW(window, GWL_STYLE, static_cast<LONG_PTR>(style));
  SetWindowLongPtrW(window, GWL_EXSTYLE, static_cast<LONG_PTR>(exStyle));
  if (!Reading()) ApplyBounds();
}

void TForm::SetIcon(const std::string& Value) {
  const char* const* xpm = Value.empty() ? nullptr : FindPicture(Value);
  if (!Value.empty() && xpm == nullptr)
    throw EComponentError("No picture named \"" + Value + "\" is built into the program");
  FIcon = Value;
  FormWindow(*this)->SetIcon(xpm != nullptr ? winwidgets::IconFromXpm(xpm) : nullptr);
}

TWindowState TForm::GetWindowState() const {
  const HWND window = Widget()->Handle();
  if (FormWindow(*this)->PendingShow == SW_SHOWMINIMIZED || IsIconic(window)) return wsMinimized;
  if (FormWindow(*this)->PendingShow == SW_SHOWMAXIMIZED || IsZoomed(window)) return wsMaximized;
  return wsNormal;
}

// A hidden form takes the state when it is shown; a shown one at once.
void TForm::SetWindowState(TWindowState Value) {
  static const int kCommands[] = {SW_SHOWNORMAL, SW_SHOWMINIMIZED, SW_SHOWMAXIMIZED};
  if (Showing()) {
    ShowWindow(Widget()->Handle(), kCommands[Value]);
    return;
  }
  FormWindow(*this)->PendingShow = kCommands[Value];
}

void TForm::Show() {
  TFormWindow* window = FormWindow(*this);
  ShowWindow(window->Handle(), window->PendingShow >= 0 ? window->PendingShow : SW_SHOW);
  window->PendingShow = -1;
  SetForegroundWindow(window->Handle());
}

void TForm::Hide() { ShowWindow(Widget()->Handle(), SW_HIDE); }

void TForm::Close() { SendMessageW(Widget()->Handle(), WM_CLOSE, 0, 0); }

bool TForm::Showing() const { return Widget()->IsVisible(); }

// The control with the focus, or the one that had it when the window was last active.
TWinControl* TForm::GetActiveControl() const {
  HWND focused = GetFocus();
  if (focused == nullptr || !IsChild(Widget()->Handle(), focused)) focused = Widget()->LastFocus();
  for (int i = 0; focused != nullptr && i < ComponentCount(); ++i) {
    auto* control = dynamic_cast<TWinControl*>(Components(i));
    if (control != nullptr && control->Widget()->Handle() == focused) return control;
  }
  return nullptr;
}

// The designed outer size has the design desktop's frame; this desktop's frame is put around
// the client area that size leaves, so the controls keep their designed places.
void TForm::ApplyBounds() {
  const HWND window = Widget()->Handle();
  if (FormWindow(*this)->KeepPlace) return;
  RECT outer = {0, 0, std::max(0, GetWidth() - kDesignFrameWidth),
                std::max(0, GetHeight() - kDesignFrameHeight)};
  AddFrame(window, outer);
  SetWindowPos(window, nullptr, GetLeft(), GetTop(), outer.right - outer.left,
               outer.bottom - outer.top, SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

// The window's DPI, else the screen's logical DPI (what older systems give every program).
int TForm::ScreenPixelsPerInch() const {
  if (const UINT dpi = WindowDpi(Widget()->Handle()); dpi != 0) return static_cast<int>(dpi);
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi;
}
