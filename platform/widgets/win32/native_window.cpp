// SPDX-License-Identifier: MIT
#include <framework/classes.h>
#include <widgets/native_handle.h>

#include <map>
#include <tuple>
#include <vector>

#include "win_bridge.h"

namespace winwidgets {

namespace {

constexpr UINT_PTR kSubclassId = 1;
constexpr const wchar_t* kObjectProperty = L"TNativeWindow";  // the window's object
bool gGuiReady = false;

std::map<UINT, std::function<void(WPARAM, LPARAM)>>& ServiceHandlers() {
  static std::map<UINT, std::function<void(WPARAM, LPARAM)>> handlers;
  return handlers;
}

LRESULT CALLBACK ServiceProc(HWND Window, UINT Message, WPARAM W, LPARAM L) {
  // Common controls send their notifications to the window they were created in, this one,
  // whatever their parent is later: they go to the control's object here.
  if (Message == WM_NOTIFY) {
    const auto* header = reinterpret_cast<const NMHDR*>(L);
    TNativeWindow* control = TNativeWindow::FromHandle(header->hwndFrom);
    return control != nullptr && control->OnNotify ? control->OnNotify(*header) : 0;
  }
  if (Message == WM_COMMAND && L != 0) {
    TNativeWindow* control = TNativeWindow::FromHandle(reinterpret_cast<HWND>(L));
    if (control != nullptr && control->OnCommand) control->OnCommand(HIWORD(W));
    return 0;
  }
  auto& handlers = ServiceHandlers();
  if (auto it = handlers.find(Message); it != handlers.end()) {
    const auto handler = it->second;  // a handler may replace itself
    handler(W, L);
    return 0;
  }
  return DefWindowProcW(Window, Message, W, L);
}

HINSTANCE Instance() { return GetModuleHandleW(nullptr); }

void RegisterOne(const wchar_t* Name, WNDPROC Proc, HBRUSH Background, UINT Style) {
  WNDCLASSEXW cls = {};
  cls.cbSize = sizeof cls;
  cls.style = Style;
  cls.lpfnWndProc = Proc;
  cls.hInstance = Instance();
  cls.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  cls.hbrBackground = Background;
  cls.lpszClassName = Name;
  RegisterClassExW(&cls);  // fails harmlessly when already registered
}

}  // namespace

const wchar_t* FormClass() { return L"TFormWindow"; }
const wchar_t* PanelClass() { return L"TPanelWindow"; }

void RegisterWindowClasses() {
  static const bool registered = [] {
    INITCOMMONCONTROLSEX controls = {sizeof controls,
                                     ICC_TAB_CLASSES | ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    const auto face = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    RegisterOne(FormClass(), DefWindowProcW, face, CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS);
    RegisterOne(PanelClass(), DefWindowProcW, face, CS_HREDRAW | CS_VREDRAW);
    RegisterOne(L"TServiceWindow", ServiceProc, nullptr, 0);
    return true;
  }();
  (void)registered;
}

HWND ServiceWindow() {
  static HWND window = [] {
    RegisterWindowClasses();
    // A hidden top-level window rather than a message-only one: it also parks child windows.
    return CreateWindowExW(WS_EX_TOOLWINDOW, L"TServiceWindow", L"", WS_POPUP, 0, 0, 0, 0, nullptr,
                           nullptr, Instance(), nullptr);
  }();
  return window;
}

void SetServiceHandler(UINT Message, std::function<void(WPARAM, LPARAM)> Handler) {
  if (Handler)
    ServiceHandlers()[Message] = std::move(Handler);
  else
    ServiceHandlers().erase(Message);
}

// ---- TNativeWindow ----------------------------------------------------------------------------

TNativeWindow::TNativeWindow(const wchar_t* ClassName, DWORD Style, DWORD ExStyle, bool TopLevel)
    : FClassName(ClassName),
      FStyle(TopLevel ? Style : (Style | WS_CHILD) & ~WS_VISIBLE),
      FExStyle(ExStyle) {
  RegisterWindowClasses();
  if (TopLevel) CreateHandle(nullptr);
}

TNativeWindow::~TNativeWindow() {
  if (FParent != nullptr) std::erase(FParent->FChildren, this);
  for (TNativeWindow* child : FChildren) child->FParent = nullptr;
  if (FHandle != nullptr) {
    RemoveWindowSubclass(FHandle, Subclass, kSubclassId);
    RemovePropW(FHandle, kObjectProperty);
    // Children of other controls' windows have been taken away by their own objects already.
    DestroyWindow(FHandle);
  }
  if (FBrush != nullptr) DeleteObject(FBrush);
}

// The window is made with everything it was given so far. It is subclassed only once made, so
// it did not hear its first size: what a resize does is done here.
void TNativeWindow::CreateHandle(HWND Parent) {
  FHandle = CreateWindowExW(FExStyle, FClassName.c_str(), FText.c_str(), FStyle, FBounds.left,
                            FBounds.top, FBounds.right - FBounds.left, FBounds.bottom - FBounds.top,
                            Parent, nullptr, Instance(), nullptr);
  if (FHandle == nullptr)
    throw EComponentError("The window of class " + Utf8(FClassName) + " cannot be created (" +
                          win32::SystemMessage(GetLastError()) + ")");
  FText.clear();
  SetPropW(FHandle, kObjectProperty, this);
  SetWindowSubclass(FHandle, Subclass, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
  if (FFont != nullptr) SendMessageW(FHandle, WM_SETFONT, reinterpret_cast<WPARAM>(FFont), FALSE);
  if (FBounds.right > FBounds.left || FBounds.bottom > FBounds.top) {
    if (OnResized) OnResized();
    if (OnAlign) OnAlign();
  }
}

HWND TNativeWindow::CreationParent() const {
  return FParent != nullptr ? FParent->Handle() : ServiceWindow();
}

// Making the window on first use changes nothing a caller can see, hence const.
HWND TNativeWindow::Handle() const {
  if (FHandle == nullptr) const_cast<TNativeWindow*>(this)->CreateHandle(CreationParent());
  return FHandle;
}

TNativeWindow* TNativeWindow::FromHandle(HWND Window) {
  if (Window == nullptr || !IsWindow(Window)) return nullptr;
  return static_cast<TNativeWindow*>(GetPropW(Window, kObjectProperty));
}

void TNativeWindow::SetParent(TNativeWindow* Parent) {
  if (FParent != nullptr) std::erase(FParent->FChildren, this);
  FParent = Parent;
  if (FParent != nullptr) FParent->FChildren.push_back(this);
  if (FHandle != nullptr) ::SetParent(FHandle, CreationParent());
}

bool TNativeWindow::ChildrenHeld() const {
  return FHoldChildren || (FHandle == nullptr && FParent != nullptr && FParent->ChildrenHeld());
}

// Makes the windows of the children that have their place, in the order they were given this
// parent, and then theirs.
void TNativeWindow::MakePlacedChildren() {
  for (TNativeWindow* child : FChildren) {
    if (child->FHandle == nullptr && child->FPlaced) child->CreateHandle(Handle());
    if (!child->FHoldChildren) child->MakePlacedChildren();
  }
}

void TNativeWindow::MakeHeldChildren() {
  if (!FHoldChildren) return;
  FHoldChildren = false;
  MakePlacedChildren();
}

// A child given its place is made there, unless its page has not been shown yet.
void TNativeWindow::SetGeometry(int X, int Y, int Width, int Height) {
  if (FHandle == nullptr) {
    FBounds = {X, Y, X + Width, Y + Height};
    FPlaced = true;
    if (FParent != nullptr && !FParent->ChildrenHeld()) CreateHandle(CreationParent());
    return;
  }
  MoveWindow(FHandle, X, Y, Width, Height, TRUE);
}

int TNativeWindow::ClientWidth() const {
  RECT r = {};
  GetClientRect(Handle(), &r);
  return r.right - r.left;
}

int TNativeWindow::ClientHeight() const {
  RECT r = {};
  GetClientRect(Handle(), &r);
  return r.bottom - r.top;
}

void TNativeWindow::SetVisible(bool Visible) {
  if (FHandle == nullptr)
    SetStyleBits(WS_VISIBLE, Visible);
  else
    ShowWindow(FHandle, Visible ? SW_SHOWNA : SW_HIDE);
}

bool TNativeWindow::IsVisible() const { return IsWindowVisible(Handle()) != FALSE; }

void TNativeWindow::SetEnabled(bool Enabled) {
  if (FHandle == nullptr)
    SetStyleBits(WS_DISABLED, !Enabled);
  else
    EnableWindow(FHandle, Enabled ? TRUE : FALSE);
}

bool TNativeWindow::IsEnabled() const {
  return FHandle == nullptr ? (FStyle & WS_DISABLED) == 0 : IsWindowEnabled(FHandle) != FALSE;
}

void TNativeWindow::SetText(const std::string& Text) {
  if (FHandle == nullptr)
    FText = Utf16(Text);
  else
    SetWindowTextW(FHandle, Utf16(Text).c_str());
}

std::string TNativeWindow::Text() const {
  if (FHandle == nullptr) return Utf8(FText);
  const int length = GetWindowTextLengthW(Handle());
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int got = GetWindowTextW(Handle(), text.data(), length + 1);
  return Utf8(text.data(), static_cast<std::size_t>(got > 0 ? got : 0));
}

void TNativeWindow::SetStyleBits(DWORD Bits, bool On) {
  if (FHandle == nullptr) {
    FStyle = On ? FStyle | Bits : FStyle & ~Bits;
    return;
  }
  const auto style = static_cast<DWORD>(GetWindowLongPtrW(FHandle, GWL_STYLE));
  SetWindowLongPtrW(FHandle, GWL_STYLE, static_cast<LONG_PTR>(On ? style | Bits : style & ~Bits));
  SetWindowPos(FHandle, nullptr, 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

void TNativeWindow::SetExStyleBits(DWORD Bits, bool On) {
  if (FHandle == nullptr) {
    FExStyle = On ? FExStyle | Bits : FExStyle & ~Bits;
    return;
  }
  const auto style = static_cast<DWORD>(GetWindowLongPtrW(FHandle, GWL_EXSTYLE));
  SetWindowLongPtrW(FHandle, GWL_EXSTYLE, static_cast<LONG_PTR>(On ? style | Bits : style & ~Bits));
  SetWindowPos(FHandle, nullptr, 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

void TNativeWindow::SetColors(COLORREF Background, COLORREF Text) {
  if (Background != FBackground) {
    if (FBrush != nullptr) DeleteObject(FBrush);
    FBrush = Background != CLR_INVALID ? CreateSolidBrush(Background) : nullptr;
    FBackground = Background;
  }
  FTextColor = Text;
  if (FHandle != nullptr) InvalidateRect(FHandle, nullptr, TRUE);
}

void TNativeWindow::SetFont(HFONT Font) {
  FFont = Font;
  if (FHandle != nullptr) SendMessageW(FHandle, WM_SETFONT, reinterpret_cast<WPARAM>(Font), TRUE);
}

void TNativeWindow::Invalidate(bool Erase) {
  if (FHandle != nullptr) InvalidateRect(FHandle, nullptr, Erase ? TRUE : FALSE);
}

LRESULT CALLBACK TNativeWindow::Subclass(HWND Window, UINT Message, WPARAM W, LPARAM L, UINT_PTR,
                                         DWORD_PTR Data) {
  auto* self = reinterpret_cast<TNativeWindow*>(Data);
  if (self == nullptr || self->FHandle != Window) return DefSubclassProc(Window, Message, W, L);
  return self->Dispatch(Message, W, L);
}

LRESULT TNativeWindow::Dispatch(UINT Message, WPARAM W, LPARAM L) {
  if (OnMessage) {
    LRESULT result = 0;
    if (OnMessage(Message, W, L, result)) return result;
  }
  switch (Message) {
    case WM_COMMAND:
      if (TNativeWindow* child = FromHandle(reinterpret_cast<HWND>(L));
          child != nullptr && child != this && child->OnCommand) {
        child->OnCommand(HIWORD(W));
        return 0;
      }
      break;
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(L);
      if (TNativeWindow* child = FromHandle(header->hwndFrom);
          child != nullptr && child != this && child->OnNotify)
        return child->OnNotify(*header);
      break;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORBTN:
      return ColorChild(reinterpret_cast<HWND>(L), reinterpret_cast<HDC>(W), Message, W, L);
    case WM_ERASEBKGND:
      if (EraseBackground(reinterpret_cast<HDC>(W))) return 1;
      break;
    case WM_PAINT:
      if (OnPaint) {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(FHandle, &paint);
        RECT client = {};
        GetClientRect(FHandle, &client);
        OnPaint(dc, client);
        EndPaint(FHandle, &paint);
        return 0;
      }
      break;
    case WM_SETFOCUS:
      if (auto* top = FromHandle(GetAncestor(FHandle, GA_ROOT)); top != nullptr && top != this)
        top->FLastFocus = FHandle;
      break;
    case WM_SIZE:
      if (W == SIZE_MINIMIZED) {
        if (OnMinimised) OnMinimised();
        break;  // nothing to lay out in a minimised window
      }
      if (OnResized || OnAlign) {
        const LRESULT result = DefSubclassProc(FHandle, Message, W, L);
        if (OnResized) OnResized();
        if (OnAlign) OnAlign();
        return result;
      }
      break;
    default:
      break;
  }
  return DefSubclassProc(FHandle, Message, W, L);
}

// A child's colours: its own background when it has one, else this window's (a label shows its
// parent's colour), else the default handling; its own text colour when it has one.
LRESULT TNativeWindow::ColorChild(HWND Child, HDC Dc, UINT Message, WPARAM W, LPARAM L) {
  TNativeWindow* child = FromHandle(Child);
  const LRESULT standard = DefSubclassProc(FHandle, Message, W, L);
  if (child == nullptr) return standard;
  if (child->FTextColor != CLR_INVALID) SetTextColor(Dc, child->FTextColor);
  const TNativeWindow* painter = child->FBrush != nullptr ? child : this;
  if (painter->FBrush == nullptr) return standard;
  SetBkColor(Dc, painter->FBackground);
  return reinterpret_cast<LRESULT>(painter->FBrush);
}

bool TNativeWindow::EraseBackground(HDC Dc) {
  if (FBrush == nullptr) return false;
  RECT client = {};
  GetClientRect(FHandle, &client);
  FillRect(Dc, &client, FBrush);
  return true;
}

// ---- Timers, tray, status text ----------------------------------------------------------------

namespace {

std::map<UINT_PTR, TNativeTimer*>& Timers() {
  static std::map<UINT_PTR, TNativeTimer*> timers;
  return timers;
}

void InstallTimerHandler() {
  static const bool installed = [] {
    SetServiceHandler(WM_TIMER, [](WPARAM Id, LPARAM) {
      auto it = Timers().find(Id);
      if (it != Timers().end() && it->second->OnTick) it->second->OnTick();
    });
    return true;
  }();
  (void)installed;
}

UINT_PTR NextId() {
  static UINT_PTR next = 100;
  return ++next;
}

std::map<UINT, TNativeTray*>& Trays() {
  static std::map<UINT, TNativeTray*> trays;
  return trays;
}

// The tray's mouse messages go to their icon; the task bar's (re)start, which every top-level
// window hears of, re-adds every shown icon.
void InstallTrayHandler() {
  static const bool installed = [] {
    SetServiceHandler(WM_TRAY_NOTIFY, [](WPARAM Id, LPARAM Mouse) {
      auto it = Trays().find(static_cast<UINT>(Id));
      if (it != Trays().end() && it->second->OnMouse)
        it->second->OnMouse(static_cast<UINT>(LOWORD(Mouse)));
    });
    SetServiceHandler(WM_TRAY_ADD, [](WPARAM Id, LPARAM) {
      auto it = Trays().find(static_cast<UINT>(Id));
      if (it != Trays().end()) it->second->AddKept();
    });
    if (const UINT taskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
        taskbarCreated != 0) {
      SetServiceHandler(taskbarCreated, [](WPARAM, LPARAM) {
        std::vector<UINT> ids;  // a lost icon's handler may delete a tray
        for (const auto& entry : Trays()) ids.push_back(entry.first);
        for (const UINT id : ids)
          if (auto it = Trays().find(id); it != Trays().end()) it->second->AddAgain();
      });
    }
    return true;
  }();
  (void)installed;
}

}  // namespace

TNativeTimer::TNativeTimer() : FId(NextId()) {
  InstallTimerHandler();
  Timers()[FId] = this;
}

TNativeTimer::~TNativeTimer() {
  Stop();
  Timers().erase(FId);  // a tick already queued finds no timer
}

void TNativeTimer::Start(unsigned Interval) {
  FActive = SetTimer(ServiceWindow(), FId, Interval, nullptr) != 0;
}

void TNativeTimer::Stop() {
  if (FActive) KillTimer(ServiceWindow(), FId);
  FActive = false;
}

TNativeTray::TNativeTray() : FId(static_cast<UINT>(NextId())) {
  InstallTrayHandler();
  Trays()[FId] = this;
}

TNativeTray::~TNativeTray() {
  Remove();
  Trays().erase(FId);
}

NOTIFYICONDATAW TNativeTray::Data() const {
  NOTIFYICONDATAW data = {};
  data.cbSize = sizeof data;
  data.hWnd = ServiceWindow();
  data.uID = FId;
  data.uFlags = NIF_ICON | NIF_MESSAGE | NIF_TIP;
  data.uCallbackMessage = WM_TRAY_NOTIFY;
  data.hIcon = FIcon;
  FTip.copy(data.szTip, FTip.size());
  return data;
}

void TNativeTray::Show(HICON Icon, const std::string& Tip) {
  Keep(Icon, Tip);
  Add();
}

void TNativeTray::ShowLater(HICON Icon, const std::string& Tip) {
  Keep(Icon, Tip);
  FLater = true;
  PostMessageW(ServiceWindow(), WM_TRAY_ADD, FId, 0);
}

void TNativeTray::AddKept() {
  if (FLater) Add();
}

void TNativeTray::Keep(HICON Icon, const std::string& Tip) {
  if (FIcon != nullptr && FIcon != Icon) DestroyIcon(FIcon);
  FIcon = Icon;
  FTip = Utf16(Tip).substr(0, std::size(NOTIFYICONDATAW{}.szTip) - 1);
}

void TNativeTray::Add() {
  FLater = false;
  NOTIFYICONDATAW data = Data();
  FShown = Shell_NotifyIconW(FShown ? NIM_MODIFY : NIM_ADD, &data) != FALSE || FShown;
}

void TNativeTray::Remove() {
  FLater = false;
  if (FShown) {
    NOTIFYICONDATAW data = Data();
    Shell_NotifyIconW(NIM_DELETE, &data);
    FShown = false;
  }
  if (FIcon != nullptr) DestroyIcon(FIcon);
  FIcon = nullptr;
}

// A task bar that did not lose the icon refuses to add it twice but takes a change to it.
void TNativeTray::AddAgain() {
  if (!FShown) return;
  NOTIFYICONDATAW data = Data();
  FShown =
      Shell_NotifyIconW(NIM_ADD, &data) != FALSE || Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
  if (!FShown && OnLost) OnLost();
}

void TNativeStatusText::SetText(const std::string& Text) {
  FText = Text;
  SendMessageW(FBar, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(Utf16(Text).c_str()));
}

// ---- Shared helpers ---------------------------------------------------------------------------

void SetGuiReady(bool Ready) { gGuiReady = Ready; }

void RequireGui(const char* ClassName) {
  if (!gGuiReady)
    throw EComponentError(std::string("A ") + ClassName +
                          " needs the GUI front end: create TWidgetsFrontEnd first");
}

COLORREF ResolveColor(TColor Color) {
  if ((Color & clSystemColor) == clSystemColor)
    return GetSysColor(static_cast<int>(static_cast<unsigned>(Color) & 0xFFu));
  return static_cast<COLORREF>(static_cast<unsigned>(Color) & 0xFFFFFFu);
}

namespace {

// Whether the system gave Font the face asked for (it substitutes another for an unknown name).
bool FaceIs(HFONT Font, const std::string& Name) {
  HDC dc = GetDC(nullptr);
  HGDIOBJ previous = SelectObject(dc, Font);
  wchar_t face[LF_FACESIZE] = {};
  GetTextFaceW(dc, LF_FACESIZE, face);
  SelectObject(dc, previous);
  ReleaseDC(nullptr, dc);
  return lstrcmpiW(face, Utf16(Name).c_str()) == 0;
}

// The desktop's GUI font at the designed height and style.
HFONT GuiFontLike(int Height, unsigned char Style) {
  LOGFONTW font = {};
  GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof font, &font);
  if (Height != 0) font.lfHeight = Height;
  font.lfWeight = ((Style >> fsBold) & 1u) != 0 ? FW_BOLD : FW_NORMAL;
  font.lfItalic = (Style >> fsItalic) & 1u;
  font.lfUnderline = (Style >> fsUnderline) & 1u;
  font.lfStrikeOut = (Style >> fsStrikeOut) & 1u;
  HFONT made = CreateFontIndirectW(&font);
  return made != nullptr ? made : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

}  // namespace

HFONT FontFor(const std::string& Name, int Height, unsigned char Style) {
  static std::map<std::tuple<std::string, int, unsigned char>, HFONT> fonts;
  const auto key = std::make_tuple(Name, Height, Style);
  if (auto it = fonts.find(key); it != fonts.end()) return it->second;
  HFONT font = nullptr;
  if (!Name.empty()) {
    font = CreateFontW(Height, 0, 0, 0, ((Style >> fsBold) & 1u) != 0 ? FW_BOLD : FW_NORMAL,
                       (Style >> fsItalic) & 1u, (Style >> fsUnderline) & 1u,
                       (Style >> fsStrikeOut) & 1u, 1 /* DEFAULT_CHARSET */, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                       Utf16(Name).c_str());
  }
  if (font != nullptr && !FaceIs(font, Name)) {
    DeleteObject(font);
    font = nullptr;
  }
  if (font == nullptr) font = GuiFontLike(Height, Style);
  fonts[key] = font;
  return font;
}

}  // namespace winwidgets

void* widgets_native::WindowHandle(const TControl& Control) { return Control.Widget()->Handle(); }
