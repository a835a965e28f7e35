// SPDX-License-Identifier: MIT
// What the Win32 control adapters share: the window object behind every control (its messages,
// colours and font), the timer, tray and status-text objects, text conversion, colour and font
// mapping, handler calls, and the check that the front end exists before a window is made.
// Threads: main thread only (the thread that made the front end owns every window).
#pragma once

// clang-format off
#include <win32/utf16.h>  // includes win32/win32.h, which comes before any other Windows header
// clang-format on
#include <commctrl.h>
#include <framework/application.h>
#include <shellapi.h>
#include <widgets/graphics.h>
#include <widgets/native.h>

#include <functional>
#include <string>
#include <vector>

#include "handler_call.h"

namespace winwidgets {

using win32::Utf16;
using win32::Utf8;

// Private messages of the front end's own windows.
constexpr UINT WM_WAKE_MAIN = WM_APP + 1;       // runs the calls queued for the main thread
constexpr UINT WM_TRAY_NOTIFY = WM_APP + 2;     // the tray icon's mouse messages (lParam)
constexpr UINT WM_HIDE_MINIMISED = WM_APP + 3;  // hides a form minimised to the tray
constexpr UINT WM_FORM_TAB = WM_APP + 4;        // moves a form's focus (WPARAM: backwards)
constexpr UINT WM_TRAY_ADD = WM_APP + 5;        // adds a tray icon shown later (WPARAM: its id)

// One window behind one control: a child of its parent's window, or a top-level form. The
// window forwards what its children report (WM_COMMAND, WM_NOTIFY, WM_CTLCOLOR*) to the child's
// object, so a control's adapter hears of its own clicks whatever window its parent is.
//
// A child's window is made once it has a parent and a place (SetGeometry), right there, with
// the text, font, styles and visibility it was given before; or earlier, when its handle is
// first needed, under its parent or hidden under the service window. A form read from its
// description places its controls when the reading ends, so each window is made once, where it
// stays, and is neither moved nor restyled: under Wine each such call costs about a millisecond
// of start-up.
class TNativeWindow {
 public:
  // A top-level window (Parent of HWND_DESKTOP), made at once, when TopLevel; else a child.
  TNativeWindow(const wchar_t* ClassName, DWORD Style, DWORD ExStyle, bool TopLevel = false);
  virtual ~TNativeWindow();
  TNativeWindow(const TNativeWindow&) = delete;
  TNativeWindow& operator=(const TNativeWindow&) = delete;

  // The window, made now if it does not exist yet (EComponentError if it cannot be).
  HWND Handle() const;
  bool HandleAllocated() const { return FHandle != nullptr; }
  static TNativeWindow* FromHandle(HWND Window);

  // Null parks the window out of sight.
  void SetParent(TNativeWindow* Parent);
  // A child's window is made once it has its place, unless an ancestor holds its children.
  void SetGeometry(int X, int Y, int Width, int Height);
  // The windows of the children (and of theirs) are made only by MakeHeldChildren, or when one
  // of them is asked for its handle: a page not yet looked at costs no windows.
  void HoldChildren() { FHoldChildren = true; }
  void MakeHeldChildren();
  int ClientWidth() const;
  int ClientHeight() const;
  void SetVisible(bool Visible);
  bool IsVisible() const;
  void SetEnabled(bool Enabled);
  bool IsEnabled() const;
  void SetText(const std::string& Text);
  std::string Text() const;
  void SetStyleBits(DWORD Bits, bool On);
  void SetExStyleBits(DWORD Bits, bool On);

  // Colours: the background (CLR_INVALID: the class's own), the text colour.
  void SetColors(COLORREF Background, COLORREF Text);
  void SetFont(HFONT Font);
  HFONT Font() const { return FFont; }  // null: the window class's own
  // Asks for a repaint; a window not made yet has nothing to repaint.
  void Invalidate(bool Erase);

  // Handlers set by the adapter.
  std::function<void(WORD Code)> OnCommand;                 // a notification of this control
  std::function<LRESULT(const NMHDR& Header)> OnNotify;     // WM_NOTIFY of this control
  std::function<void(HDC Dc, const RECT& Client)> OnPaint;  // owner-painted windows
  std::function<void()> OnResized;
  std::function<void()> OnAlign;      // after OnResized: the control re-aligns its children
  std::function<void()> OnMinimised;  // a top-level window minimised by the user or the program
  // Any message, before the default handling; true when handled (Result is returned).
  std::function<bool(UINT Message, WPARAM W, LPARAM L, LRESULT& Result)> OnMessage;

  // The last control of this top-level window that had the focus.
  HWND LastFocus() const { return FLastFocus; }

 private:
  static LRESULT CALLBACK Subclass(HWND Window, UINT Message, WPARAM W, LPARAM L, UINT_PTR Id,
                                   DWORD_PTR Data);
  LRESULT Dispatch(UINT Message, WPARAM W, LPARAM L);
  LRESULT ColorChild(HWND Child, HDC Dc, UINT Message, WPARAM W, LPARAM L);
  bool EraseBackground(HDC Dc);

  void CreateHandle(HWND Parent);
  HWND CreationParent() const;
  bool ChildrenHeld() const;
  void MakePlacedChildren();

  std::wstring FClassName;
  DWORD FStyle;
  DWORD FExStyle;
  HWND FHandle = nullptr;
  // What a window not made yet is given; it is made with them.
  TNativeWindow* FParent = nullptr;
  std::vector<TNativeWindow*> FChildren;
  bool FPlaced = false;
  bool FHoldChildren = false;
  RECT FBounds = {};
  std::wstring FText;
  HFONT FFont = nullptr;
  HBRUSH FBrush = nullptr;
  COLORREF FBackground = CLR_INVALID;
  COLORREF FTextColor = CLR_INVALID;
  HWND FLastFocus = nullptr;
};

// The window classes of the front end's own windows (registered once).
const wchar_t* FormClass();
const wchar_t* PanelClass();  // tab sheets, bevels: plain child windows
void RegisterWindowClasses();

// The hidden window that parks windows without a parent and receives the front end's private
// messages (wake-up, timers, tray).
HWND ServiceWindow();

// Calls F for each message of the service window's kind (timers, tray) by id.
void SetServiceHandler(UINT Message, std::function<void(WPARAM, LPARAM)> Handler);

class TNativeTimer {
 public:
  TNativeTimer();
  ~TNativeTimer();
  TNativeTimer(const TNativeTimer&) = delete;
  TNativeTimer& operator=(const TNativeTimer&) = delete;
  void Start(unsigned Interval);
  void Stop();
  bool Active() const { return FActive; }
  std::function<void()> OnTick;

 private:
  UINT_PTR FId;
  bool FActive = false;
};

// One icon in the notification area. A restarted task bar (Explorer broadcasts "TaskbarCreated")
// has forgotten every icon: a shown icon is then added again, and OnLost is called when that
// fails, so that a window hidden to the tray can be put back on the task bar.
class TNativeTray {
 public:
  TNativeTray();
  ~TNativeTray();
  TNativeTray(const TNativeTray&) = delete;
  TNativeTray& operator=(const TNativeTray&) = delete;
  // Shows Icon (owned from now on) with Tip; null takes the icon away.
  void Show(HICON Icon, const std::string& Tip);
  // As Show, once the thread's message loop next runs: adding an icon waits for the task bar's
  // process, tens of milliseconds on a desktop that has just started, which a window about to
  // show first should not wait for. Shown() stays false until then.
  void ShowLater(HICON Icon, const std::string& Tip);
  // Adds the icon ShowLater kept, unless it has been shown or removed since (WM_TRAY_ADD).
  void AddKept();
  void Remove();
  bool Shown() const { return FShown; }
  // Adds the shown icon to a task bar that has (re)started; calls OnLost when it cannot.
  void AddAgain();
  std::function<void(UINT MouseMessage)> OnMouse;
  std::function<void()> OnLost;

 private:
  NOTIFYICONDATAW Data() const;

  void Keep(HICON Icon, const std::string& Tip);
  void Add();

  UINT FId;
  bool FShown = false;
  bool FLater = false;  // ShowLater's add is still to come
  HICON FIcon = nullptr;
  std::wstring FTip;
};

class TNativeStatusText {
 public:
  explicit TNativeStatusText(HWND Bar) : FBar(Bar) {}
  void SetText(const std::string& Text);
  const std::string& Text() const { return FText; }

 private:
  HWND FBar;
  std::string FText;
};

// Raises EComponentError when the front end does not exist (no window can be made then).
void RequireGui(const char* ClassName);
void SetGuiReady(bool Ready);

// The colour Color stands for: a desktop colour (GetSysColor), or the plain colour.
COLORREF ResolveColor(TColor Color);

// A font of the designed name, height and style (cached for the process); the desktop's GUI
// font when none of that name exists.
HFONT FontFor(const std::string& Name, int Height, unsigned char Style);

// An icon (or 32-bit bitmap) from XPM data; null when the data cannot be read.
HICON IconFromXpm(const char* const* Xpm);
HBITMAP BitmapFromXpm(const char* const* Xpm);

using widgets_detail::CallHandler;

// Creates the native object of class W once the front end exists.
template <class W, class... Args>
W* NewNative(const char* ClassName, Args&&... A) {
  RequireGui(ClassName);
  return new W(std::forward<Args>(A)...);
}

}  // namespace winwidgets
