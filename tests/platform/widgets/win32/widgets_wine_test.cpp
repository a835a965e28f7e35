// SPDX-License-Identifier: MIT
// The native Win32 front end under Wine: the program's window built from its description (every
// control's window class, parent, geometry and text, its font and colours, the pages and the
// clicks), the system's boxes and the input dialog answered from another thread while calls
// synchronised from workers keep running, the message loop's wake-up and termination, and the
// tray icon that hides the minimised window, comes back when the task bar restarts and restores
// the window on a double-click. The window is laid out for the screen's DPI: at 96 as designed,
// at 144 (a new process of this program, with Wine's LogPixels set to 144) one and a half times
// as large, every caption fitting, and scaled again on a DPI change.
// clang-format off
#include <win32/utf16.h>  // first: win32/win32.h comes before any other Windows header
// clang-format on

#include <commctrl.h>
#include <framework/thread.h>
#include <gtest/gtest.h>
#include <shellapi.h>
#include <widgets/comctrls.h>
#include <widgets/extctrls.h>
#include <widgets/forms.h>
#include <widgets/frontend.h>
#include <widgets/imglist.h>
#include <widgets/native_handle.h>
#include <widgets/paintbox.h>
#include <widgets/stdctrls.h>
#include <widgets/trayicon.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>

#include "described_form.h"
#include "wait.h"

using testsupport::PumpUntil;
using testsupport::WaitUntil;
using namespace std::chrono_literals;

namespace {

using TMainForm = testsupport::TDescribedForm;

HWND H(const TControl* Control) {
  return static_cast<HWND>(widgets_native::WindowHandle(*Control));
}

// The form's component of that name and class.
template <class T>
T* Child(TComponent* Form, const char* Name) {
  auto* part = dynamic_cast<T*>(Form->FindComponent(Name));
  if (part == nullptr) throw std::runtime_error(std::string("no component ") + Name);
  return part;
}

std::string ClassOf(HWND Window) {
  wchar_t name[64] = {};
  GetClassNameW(Window, name, 64);
  return win32::Utf8(name, wcslen(name));
}

std::string TextOf(HWND Window) {
  wchar_t text[512] = {};
  const int length = GetWindowTextW(Window, text, 512);
  return win32::Utf8(text, static_cast<std::size_t>(length));
}

// The window's rectangle in its parent's client coordinates.
RECT PlaceOf(HWND Window) {
  RECT r = {};
  GetWindowRect(Window, &r);
  MapWindowPoints(nullptr, GetParent(Window), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

// The window class and text each control of the description must have.
std::pair<std::string, std::string> Expected(const TControl* C) {
  if (auto* c = dynamic_cast<const TLabel*>(C)) return {"Static", c->GetCaption()};
  if (auto* c = dynamic_cast<const TButton*>(C)) return {"Button", c->GetCaption()};
  if (auto* c = dynamic_cast<const TCheckBox*>(C)) return {"Button", c->GetCaption()};
  if (auto* c = dynamic_cast<const TGroupBox*>(C)) return {"Button", c->GetCaption()};
  if (auto* c = dynamic_cast<const TEdit*>(C)) return {"Edit", c->GetText()};
  if (auto* c = dynamic_cast<const TMemo*>(C)) {
    std::string text;
    for (const std::string& line : c->GetLines()) text += (text.empty() ? "" : "\r\n") + line;
    return {"Edit", text};
  }
  if (auto* c = dynamic_cast<const TStatusBar*>(C))
    return {"msctls_statusbar32", c->GetSimpleText()};
  if (dynamic_cast<const TPageControl*>(C) != nullptr) return {"SysTabControl32", ""};
  if (dynamic_cast<const TTabSheet*>(C) != nullptr) return {"TPanelWindow", ""};
  if (dynamic_cast<const TBevel*>(C) != nullptr) return {"TPanelWindow", ""};
  if (dynamic_cast<const TPaintBox*>(C) != nullptr) return {"TPanelWindow", ""};
  return {"?", ""};
}

// A worker running Body, which may Synchronize with the main thread.
class TWorker : public TThread {
 public:
  explicit TWorker(std::function<void(TWorker&)> Body) : TThread(false), FBody(std::move(Body)) {}

 protected:
  void Execute() override { FBody(*this); }

 private:
  std::function<void(TWorker&)> FBody;
};

// The first dialog of the standard class (#32770) of Thread titled Title.
HWND FindDialog(DWORD Thread, const std::string& Title) {
  struct Search {
    std::string Title;
    HWND Found;
  } search{Title, nullptr};
  EnumThreadWindows(
      Thread,
      [](HWND Window, LPARAM Data) -> BOOL {
        auto* s = reinterpret_cast<Search*>(Data);
        if (ClassOf(Window) != "#32770" || TextOf(Window) != s->Title || !IsWindowVisible(Window))
          return TRUE;
        s->Found = Window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.Found;
}

// Each look is a round trip to the wineserver: looking every few milliseconds leaves it free to
// serve the thread that opens the dialog.
HWND AwaitDialog(DWORD Thread, const std::string& Title) {
  HWND dialog = nullptr;
  for (int i = 0; i < 3000 && (dialog = FindDialog(Thread, Title)) == nullptr; ++i) Sleep(10);
  return dialog;
}

// The window of the (one) icon Wine's tray shows: Wine's own tray draws each icon in a window
// of its explorer process.
HWND TrayIconWindow() {
  HWND found = nullptr;
  EnumWindows(
      [](HWND Top, LPARAM Data) -> BOOL {
        auto* result = reinterpret_cast<HWND*>(Data);
        if (ClassOf(Top) == "__winex11_tray_icon") *result = Top;
        if (*result == nullptr)
          *result = FindWindowExW(Top, nullptr, L"__winex11_tray_icon", nullptr);
        return *result == nullptr;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

// An icon as the shell knows it: the window it reports to and its id there.
struct TShellIcon {
  HWND Window;
  UINT Id;
};

// Whether the shell holds the icon: only an icon it holds can be changed.
bool ShellHolds(const TShellIcon& Icon) {
  NOTIFYICONDATAW data = {};
  data.cbSize = sizeof data;
  data.hWnd = Icon.Window;
  data.uID = Icon.Id;
  return Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
}

// The icon the front end shows, among the ids its service window hands out.
std::optional<TShellIcon> FrontEndIcon() {
  const HWND service = FindWindowW(L"TServiceWindow", nullptr);
  for (UINT id = 1; service != nullptr && id < 1000; ++id)
    if (ShellHolds({service, id})) return TShellIcon{service, id};
  return std::nullopt;
}

UINT TaskbarCreated() { return RegisterWindowMessageW(L"TaskbarCreated"); }

// What a restarted task bar does: it has forgotten every icon and tells every top-level window.
void RestartTaskBar(const TShellIcon& Icon) {
  NOTIFYICONDATAW data = {};
  data.cbSize = sizeof data;
  data.hWnd = Icon.Window;
  data.uID = Icon.Id;
  Shell_NotifyIconW(NIM_DELETE, &data);
  PostMessageW(HWND_BROADCAST, TaskbarCreated(), 0, 0);
}

// The screen's DPI as the front end's per-monitor aware windows take it.
int ScreenDpi() {
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi;
}

// A designed rectangle scaled by M / D as the form scales it: its right and bottom edges scaled.
RECT ScaledPlace(int Left, int Top, int Width, int Height, int M, int D) {
  return {MulDiv(Left, M, D), MulDiv(Top, M, D), MulDiv(Left + Width, M, D),
          MulDiv(Top + Height, M, D)};
}

void ExpectPlace(HWND Window, const RECT& Expected) {
  const RECT r = PlaceOf(Window);
  EXPECT_EQ(r.left, Expected.left);
  EXPECT_EQ(r.top, Expected.top);
  EXPECT_EQ(r.right, Expected.right);
  EXPECT_EQ(r.bottom, Expected.bottom);
}

int FontHeightOf(HWND Window) {
  LOGFONTW font = {};
  GetObjectW(reinterpret_cast<HFONT>(SendMessageW(Window, WM_GETFONT, 0, 0)), sizeof font, &font);
  return font.lfHeight;
}

// How far the ink of Text reaches, drawn in Font as a static control draws it.
int InkReach(HFONT Font, const std::wstring& Text) {
  constexpr int kWidth = 400, kHeight = 60;
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, kWidth, kHeight);
  ReleaseDC(nullptr, screen);
  HGDIOBJ previousBitmap = SelectObject(dc, bitmap);
  HGDIOBJ previousFont = SelectObject(dc, Font);
  RECT all = {0, 0, kWidth, kHeight};
  FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  DrawTextW(dc, Text.c_str(), -1, &all, DT_LEFT | DT_SINGLELINE | DT_NOPREFIX);
  int reach = 0;
  for (int x = kWidth - 1; x >= 0 && reach == 0; --x)
    for (int y = 0; y < kHeight; ++y)
      if (GetPixel(dc, x, y) != RGB(255, 255, 255)) {
        reach = x + 1;
        break;
      }
  SelectObject(dc, previousFont);
  SelectObject(dc, previousBitmap);
  DeleteObject(bitmap);
  DeleteDC(dc);
  return reach;
}

// Every label's caption, measured in the label's own font and drawn in it, fits its window, and
// the label runs into none of the controls beside it.
void ExpectCaptionsFit(TForm* Form) {
  for (int i = 0; i < Form->ComponentCount(); ++i) {
    auto* label = dynamic_cast<TLabel*>(Form->Components(i));
    if (label == nullptr) continue;
    SCOPED_TRACE(label->GetCaption());
    const HWND window = H(label);
    const auto font = reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0));
    HDC dc = GetDC(window);
    HGDIOBJ previous = SelectObject(dc, font);
    const std::wstring text = win32::Utf16(label->GetCaption());
    SIZE extent = {};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
    SelectObject(dc, previous);
    ReleaseDC(window, dc);
    RECT client = {};
    GetClientRect(window, &client);
    EXPECT_GE(client.right, extent.cx);
    EXPECT_GE(client.right, InkReach(font, text)) << "the caption as drawn";
    EXPECT_GE(client.bottom, extent.cy);
    const RECT place = PlaceOf(window);
    TWinControl* parent = label->GetParent();
    for (int c = 0; c < parent->ControlCount(); ++c) {
      if (parent->Controls(c) == label) continue;
      RECT other = PlaceOf(H(parent->Controls(c))), overlap = {};
      EXPECT_FALSE(IntersectRect(&overlap, &place, &other)) << parent->Controls(c)->GetName();
    }
  }
}

// Sets a LogPixels value of the Wine prefix for as long as it lives; the old one comes back (or
// none, when there was none).
class TLogPixels {
 public:
  TLogPixels(HKEY Root, const wchar_t* Path, DWORD Dpi) {
    if (RegCreateKeyExW(Root, Path, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &FKey, nullptr) !=
        ERROR_SUCCESS) {
      FKey = nullptr;
      return;
    }
    DWORD size = sizeof FOld;
    FHadOld = RegQueryValueExW(FKey, L"LogPixels", nullptr, nullptr, reinterpret_cast<BYTE*>(&FOld),
                               &size) == ERROR_SUCCESS;
    RegSetValueExW(FKey, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&Dpi),
                   sizeof Dpi);
  }
  ~TLogPixels() {
    if (FKey == nullptr) return;
    if (FHadOld)
      RegSetValueExW(FKey, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&FOld),
                     sizeof FOld);
    else
      RegDeleteValueW(FKey, L"LogPixels");
    RegCloseKey(FKey);
  }
  TLogPixels(const TLogPixels&) = delete;
  TLogPixels& operator=(const TLogPixels&) = delete;
  bool Set() const { return FKey != nullptr; }

 private:
  HKEY FKey = nullptr;
  DWORD FOld = 0;
  bool FHadOld = false;
};

// Runs one test of this program in a new process with Variable=Value in its environment; its
// exit code (0: passed).
DWORD RunThisTestAlone(const char* Filter, const wchar_t* Variable, const wchar_t* Value) {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring command = L"\"" + std::wstring(self) + L"\" --gtest_filter=" + win32::Utf16(Filter);
  SetEnvironmentVariableW(Variable, Value);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  const BOOL started = CreateProcessW(self, command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                      nullptr, &startup, &process);
  SetEnvironmentVariableW(Variable, nullptr);
  if (!started) return GetLastError() | 0x80000000u;
  DWORD code = STILL_ACTIVE;
  if (WaitForSingleObject(process.hProcess, 240000) == WAIT_OBJECT_0)
    GetExitCodeProcess(process.hProcess, &code);
  else
    TerminateProcess(process.hProcess, 3);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return code;
}

class WinWidgets : public ::testing::Test {
 protected:
  void SetUp() override { Application->ResetTerminated(); }
  void TearDown() override { Application->DestroyComponents(); }
  static void SetUpTestSuite() {
    testsupport::BecomeDpiAware();
    testsupport::RegisterDescribedForm();
    FrontEnd = new TWidgetsFrontEnd(Argc, Argv);
  }
  static void TearDownTestSuite() {
    delete FrontEnd;
    FrontEnd = nullptr;
  }
  TMainForm* MakeForm() {
    TMainForm* form = nullptr;
    Application->CreateForm(form);
    return form;
  }
  static inline int Argc = 1;
  static inline char Arg0[] = "widgets_wine_tests";
  static inline char* Argv[] = {Arg0, nullptr};
  static inline TWidgetsFrontEnd* FrontEnd = nullptr;
};

TEST_F(WinWidgets, WindowFollowsItsDescription) {
  TMainForm* form = MakeForm();
  form->Show();
  const HWND window = H(form);
  ASSERT_TRUE(IsWindowVisible(window));
  EXPECT_EQ(TextOf(window), "Zelvane 0.1");
  RECT client = {};
  GetClientRect(window, &client);
  EXPECT_EQ(client.right, 419 - kDesignFrameWidth);  // the designed outer size less its frame
  EXPECT_EQ(client.bottom, 246 - kDesignFrameHeight);
  const auto style = GetWindowLongPtrW(window, GWL_STYLE);
  EXPECT_NE(style & WS_MINIMIZEBOX, 0);
  EXPECT_EQ(style & WS_MAXIMIZEBOX, 0);
  // The icon is the registered picture: transparent where it has no colour, its colours elsewhere.
  const auto icon = reinterpret_cast<HICON>(SendMessageW(window, WM_GETICON, ICON_BIG, 0));
  ICONINFO picture = {};
  ASSERT_TRUE(GetIconInfo(icon, &picture));
  HDC memory = CreateCompatibleDC(nullptr);
  HGDIOBJ previous = SelectObject(memory, picture.hbmMask);
  EXPECT_EQ(GetPixel(memory, 0, 0), RGB(255, 255, 255));  // "  c None"
  EXPECT_EQ(GetPixel(memory, 3, 1), RGB(0, 0, 0));
  SelectObject(memory, picture.hbmColor);
  EXPECT_EQ(GetPixel(memory, 3, 1), RGB(0xC0, 0xC0, 0xC0));    // "s c #C0C0C0"
  EXPECT_EQ(GetPixel(memory, 8, 16), RGB(0xFF, 0x00, 0x00));   // "r c #FF0000"
  EXPECT_EQ(GetPixel(memory, 20, 18), RGB(0x00, 0x00, 0x80));  // "b c #000080"
  SelectObject(memory, previous);
  DeleteDC(memory);
  DeleteObject(picture.hbmMask);
  DeleteObject(picture.hbmColor);

  int checked = 0;
  for (int i = 0; i < form->ComponentCount(); ++i) {
    auto* control = dynamic_cast<TControl*>(form->Components(i));
    if (control == nullptr) continue;
    SCOPED_TRACE(control->GetName());
    const HWND w = H(control);
    const auto [cls, text] = Expected(control);
    EXPECT_EQ(ClassOf(w), cls);
    EXPECT_EQ(GetParent(w), H(control->GetParent()));
    if (!text.empty()) {
      EXPECT_EQ(TextOf(w), text);
    }
    if (dynamic_cast<TTabSheet*>(control) == nullptr) {
      const RECT r = PlaceOf(w);
      EXPECT_EQ(r.left, control->GetLeft());
      EXPECT_EQ(r.top, control->GetTop());
      EXPECT_EQ(r.right - r.left, control->GetWidth());
      EXPECT_EQ(r.bottom - r.top, control->GetHeight());
    }
    ++checked;
  }
  EXPECT_EQ(checked, 41);  // every control of the description

  // Spot checks that the description itself was read (Cyrillic included).
  const RECT button = PlaceOf(H(Child<TButton>(form, "Load1Btn")));
  EXPECT_EQ(button.left, 104);
  EXPECT_EQ(button.top, 16);
  EXPECT_EQ(GetParent(H(Child<TButton>(form, "Load1Btn"))), H(Child<TGroupBox>(form, "LoadGroup")));
  EXPECT_EQ(TextOf(H(Child<TGroupBox>(form, "LoadGroup"))), "Нагрузки");
  EXPECT_EQ(TextOf(H(Child<TEdit>(form, "Temp1"))), "Нет данных");
  const RECT bar =
      PlaceOf(H(Child<TStatusBar>(form, "StatBar")));  // docked at the bottom, across the width
  EXPECT_EQ(bar.top, client.bottom - 19);
  EXPECT_EQ(bar.right - bar.left, client.right);

  // The designed font, and the colours: the info colour on the thermometers' read-only edits.
  LOGFONTW font = {};
  GetObjectW(
      reinterpret_cast<HFONT>(SendMessageW(H(Child<TLabel>(form, "Label1")), WM_GETFONT, 0, 0)),
      sizeof font, &font);
  EXPECT_EQ(font.lfHeight, -11);
  // The designed face where the system has it, else the desktop's GUI font, which it stands for.
  LOGFONTW gui = {};
  GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof gui, &gui);
  const std::wstring face = font.lfFaceName;
  EXPECT_TRUE(face == L"MS Sans Serif" || face == gui.lfFaceName);
  // The background a child is painted on, as its parent answers it.
  const auto background = [](TControl* Child) {
    HDC dc = GetDC(H(Child));
    auto brush = reinterpret_cast<HBRUSH>(SendMessageW(H(Child->GetParent()), WM_CTLCOLORSTATIC,
                                                       reinterpret_cast<WPARAM>(dc),
                                                       reinterpret_cast<LPARAM>(H(Child))));
    ReleaseDC(H(Child), dc);
    LOGBRUSH colour = {};
    return GetObjectW(brush, sizeof colour, &colour) != 0 ? colour.lbColor : CLR_INVALID;
  };
  EXPECT_EQ(background(Child<TEdit>(form, "Temp1")), GetSysColor(COLOR_INFOBK));
  EXPECT_EQ(background(Child<TEdit>(form, "SchedMinBox")), static_cast<COLORREF>(clMoneyGreen));
  Child<TGroupBox>(form, "LoadGroup")->SetColor(clWhite);  // a label shows its parent's colour
  EXPECT_EQ(background(Child<TLabel>(form, "Label1")), RGB(255, 255, 255));

  // The Tab key follows the tab order, into and out of the group boxes.
  const auto tab = [] {
    PostMessageW(GetFocus(), WM_KEYDOWN, VK_TAB, 0);
    Application->ProcessMessages();
    return GetFocus();
  };
  SetFocus(H(Child<TButton>(form, "Load1Btn")));
  EXPECT_EQ(tab(), H(Child<TButton>(form, "Load2Btn")));
  EXPECT_EQ(tab(), H(Child<TButton>(form, "Load3Btn")));
  EXPECT_EQ(Child<TButton>(form, "Load3Btn"), form->GetActiveControl());

  // The first page shows; a click on the second tab shows the second page.
  EXPECT_TRUE(IsWindowVisible(H(Child<TTabSheet>(form, "MainSheet"))));
  EXPECT_FALSE(IsWindowVisible(H(Child<TTabSheet>(form, "SheduleSheet"))));
  RECT second = {};
  SendMessageW(H(Child<TPageControl>(form, "PageControl1")), TCM_GETITEMRECT, 1,
               reinterpret_cast<LPARAM>(&second));
  const LPARAM at = MAKELPARAM((second.left + second.right) / 2, (second.top + second.bottom) / 2);
  SendMessageW(H(Child<TPageControl>(form, "PageControl1")), WM_LBUTTONDOWN, MK_LBUTTON, at);
  SendMessageW(H(Child<TPageControl>(form, "PageControl1")), WM_LBUTTONUP, 0, at);
  EXPECT_EQ(Child<TPageControl>(form, "PageControl1")->GetActivePage(),
            Child<TTabSheet>(form, "SheduleSheet"));
  EXPECT_TRUE(IsWindowVisible(H(Child<TTabSheet>(form, "SheduleSheet"))));
  EXPECT_FALSE(IsWindowVisible(H(Child<TTabSheet>(form, "MainSheet"))));

  // Clicks reach the handlers through the group box and the page they sit on.
  SendMessageW(H(Child<TButton>(form, "Load1Btn")), BM_CLICK, 0, 0);
  SendMessageW(H(Child<TCheckBox>(form, "ActiveCheck")), BM_CLICK, 0, 0);
  EXPECT_EQ(form->Clicks["Load1Btn"], 1);
  EXPECT_EQ(form->Clicks["ActiveCheck"], 1);
  EXPECT_TRUE(Child<TCheckBox>(form, "ActiveCheck")->GetChecked());
  Child<TCheckBox>(form, "ActiveCheck")
      ->SetChecked(false);  // a change by the program is a click too
  EXPECT_EQ(form->Clicks["ActiveCheck"], 2);
}

// The window and every control are the designed size times the screen's DPI / 96, the font's
// height too, and each label fits its caption. Run at the prefix's DPI (96) and, by the next
// test, at 144; ZELVANE_SCREEN_DPI names the DPI the screen must have.
TEST_F(WinWidgets, LaidOutForTheScreensDpi) {
  const int dpi = ScreenDpi();
  if (const char* asked = std::getenv("ZELVANE_SCREEN_DPI")) {
    ASSERT_EQ(dpi, std::atoi(asked));
  }
  TMainForm* form = MakeForm();
  form->Show();
  EXPECT_EQ(form->GetPixelsPerInch(), dpi);
  RECT client = {};
  GetClientRect(H(form), &client);
  EXPECT_EQ(client.right, MulDiv(419 - kDesignFrameWidth, dpi, 96));
  EXPECT_EQ(client.bottom, MulDiv(246 - kDesignFrameHeight, dpi, 96));
  ExpectPlace(H(Child<TPageControl>(form, "PageControl1")), ScaledPlace(0, 8, 409, 185, dpi, 96));
  ExpectPlace(H(Child<TGroupBox>(form, "TempGroup")), ScaledPlace(216, 8, 177, 145, dpi, 96));
  ExpectPlace(H(Child<TButton>(form, "Load1Btn")), ScaledPlace(104, 16, 75, 25, dpi, 96));
  ExpectPlace(H(Child<TEdit>(form, "Temp1")), ScaledPlace(96, 16, 65, 21, dpi, 96));
  ExpectPlace(H(Child<TCheckBox>(form, "ActiveCheck")), ScaledPlace(8, 56, 145, 17, dpi, 96));
  const RECT bar = PlaceOf(H(Child<TStatusBar>(form, "StatBar")));  // docked at the bottom
  EXPECT_EQ(bar.bottom, client.bottom);
  EXPECT_EQ(bar.bottom - bar.top, MulDiv(219, dpi, 96) - MulDiv(200, dpi, 96));
  EXPECT_EQ(bar.right, client.right);
  // A label keeps its designed place and fits its caption in the font it shows.
  const RECT label = PlaceOf(H(Child<TLabel>(form, "Label6")));
  EXPECT_EQ(label.left, MulDiv(8, dpi, 96));
  EXPECT_EQ(label.top, MulDiv(16, dpi, 96));
  EXPECT_EQ(FontHeightOf(H(Child<TLabel>(form, "Label6"))), MulDiv(-11, dpi, 96));
  EXPECT_EQ(FontHeightOf(H(Child<TButton>(form, "SearchBtn"))), MulDiv(-11, dpi, 96));
  ExpectCaptionsFit(form);
}

// Wine takes the DPI from the prefix's registry when a process starts.
TEST_F(WinWidgets, LaidOutForADenserScreen) {
  const TLogPixels user(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 144);
  const TLogPixels machine(
      HKEY_LOCAL_MACHINE, L"System\\CurrentControlSet\\Hardware Profiles\\Current\\Software\\Fonts",
      144);
  ASSERT_TRUE(user.Set() && machine.Set());
  EXPECT_EQ(RunThisTestAlone("WinWidgets.LaidOutForTheScreensDpi", L"ZELVANE_SCREEN_DPI", L"144"),
            0u);
}

// A per-monitor aware window moved to a screen of another DPI is told so (WM_DPICHANGED with
// the place the system suggests): it takes that place and scales its controls and fonts again.
TEST_F(WinWidgets, ADpiChangeScalesTheFormAgain) {
  TMainForm* form = MakeForm();
  form->Show();
  const int from = form->GetPixelsPerInch(), to = from * 3 / 2;
  const HWND button = H(Child<TButton>(form, "Load1Btn"));
  const RECT before = PlaceOf(button);
  const int fontBefore = FontHeightOf(button);
  RECT window = {};
  GetWindowRect(H(form), &window);
  RECT suggested = {window.left + 10, window.top + 20,
                    window.left + 10 + MulDiv(window.right - window.left, to, from),
                    window.top + 20 + MulDiv(window.bottom - window.top, to, from)};
  SendMessageW(H(form), WM_DPICHANGED, MAKEWPARAM(to, to), reinterpret_cast<LPARAM>(&suggested));
  RECT after = {};
  GetWindowRect(H(form), &after);
  EXPECT_TRUE(EqualRect(&after, &suggested));
  EXPECT_EQ(form->GetLeft(), suggested.left);
  EXPECT_EQ(form->GetPixelsPerInch(), to);
  ExpectPlace(button, ScaledPlace(before.left, before.top, before.right - before.left,
                                  before.bottom - before.top, to, from));
  EXPECT_EQ(FontHeightOf(button), MulDiv(fontBefore, to, from));
  const RECT bar = PlaceOf(H(Child<TStatusBar>(form, "StatBar")));
  RECT client = {};
  GetClientRect(H(form), &client);
  EXPECT_EQ(bar.bottom, client.bottom);
  ExpectCaptionsFit(form);
}

// While its description is read the form's window waits for its geometry, which it takes once,
// and each control's window is made where it stays: only the tab control's pages follow it. The
// controls of a page not shown yet get their windows when it is first shown.
TEST_F(WinWidgets, TheWindowIsPlacedOnceItsDescriptionIsRead) {
  static int formMoves = 0, moves = 0, made = 0;
  formMoves = moves = made = 0;
  HHOOK hook = SetWindowsHookExW(
      WH_CALLWNDPROC,
      [](int Code, WPARAM W, LPARAM L) -> LRESULT {
        const auto* message = reinterpret_cast<const CWPSTRUCT*>(L);
        if (Code == HC_ACTION && message->message == WM_WINDOWPOSCHANGING) {
          ++moves;
          if (ClassOf(message->hwnd) == "TFormWindow") ++formMoves;
        }
        if (Code == HC_ACTION && message->message == WM_CREATE) ++made;
        return CallNextHookEx(nullptr, Code, W, L);
      },
      nullptr, GetCurrentThreadId());
  ASSERT_NE(hook, nullptr);
  TMainForm* form = MakeForm();
  UnhookWindowsHookEx(hook);
  ASSERT_NE(form, nullptr);
  EXPECT_LE(formMoves, 2) << "made, then placed as read";
  EXPECT_LE(moves, 36) << "fewer than one per window of the form";
  EXPECT_LE(made, 30) << "the form has 42 windows, 17 of them on the pages not shown";
  std::printf("while the form was made: %d window moves (%d of the form's), %d windows made\n",
              moves, formMoves, made);

  auto* page = Child<TTabSheet>(form, "SheduleSheet");
  auto* hourBox = Child<TEdit>(form, "SchedHourBox");
  hourBox->SetText("07");
  EXPECT_EQ(GetWindow(H(page), GW_CHILD), nullptr);
  Child<TPageControl>(form, "PageControl1")->SetActivePage(page);
  ASSERT_NE(GetWindow(H(page), GW_CHILD), nullptr) << "shown, the page has its controls";
  ExpectPlace(H(hourBox), ScaledPlace(100, 24, 25, 21, ScreenDpi(), 96));
  EXPECT_EQ(TextOf(H(hourBox)), "07") << "what it was given before";
}

// Boxes and the input dialog are the system's, answered here from a worker that first has a
// call synchronised with the main thread while the box waits: the box's own loop runs it.
TEST_F(WinWidgets, BoxesAnsweredWhileWorkersSynchronise) {
  const DWORD main = GetCurrentThreadId();
  std::atomic<int> ranWhileOpen{0};
  auto answer = [&](const std::string& Title, std::function<void(HWND)> Click) {
    return TThread::Create<TWorker>([=, &ranWhileOpen](TWorker& Self) {
      HWND dialog = AwaitDialog(main, Title);
      if (dialog == nullptr) return;
      Self.Synchronize([&] {
        if (IsWindow(dialog)) ++ranWhileOpen;
      });
      Click(dialog);
    });
  };

  // Terminating the application ends an open box; the boxes after it wait as usual.
  TWorker* worker = answer("Конец", [](HWND) { Application->Terminate(); });
  Application->MessageBox("Ждём", "Конец", MB_OK);
  EXPECT_TRUE(Application->Terminated());
  delete worker;
  Application->ResetTerminated();

  worker =
      answer("Вопрос", [](HWND Dialog) { SendMessageW(GetDlgItem(Dialog, IDNO), BM_CLICK, 0, 0); });
  EXPECT_EQ(Application->MessageBox("Продолжить?", "Вопрос", MB_YESNO | MB_ICONQUESTION), IDNO);
  delete worker;

  worker = answer("", [](HWND Dialog) { PostMessageW(Dialog, WM_COMMAND, IDOK, 0); });
  EXPECT_EQ(Application->MessageBox("Без заголовка", "", MB_OK), IDOK);  // an empty title
  delete worker;

  worker = answer("Порт", [](HWND Dialog) {
    SetDlgItemTextW(Dialog, 101, L"COM7");
    SendMessageW(GetDlgItem(Dialog, IDOK), BM_CLICK, 0, 0);
  });
  EXPECT_EQ(InputBox("Порт", "Номер порта:", "COM3"), "COM7");
  delete worker;

  worker = answer("Порт", [](HWND Dialog) {
    SetDlgItemTextW(Dialog, 101, L"COM9");
    SendMessageW(GetDlgItem(Dialog, IDCANCEL), BM_CLICK, 0, 0);
  });
  EXPECT_EQ(InputBox("Порт", "Номер порта:", "COM3"), "COM3");  // cancelled: the default
  delete worker;
  EXPECT_EQ(ranWhileOpen, 5);
}

// Run waits in the message loop; a timer ticks there, a worker's Synchronize runs promptly, and
// a Terminate from the worker ends Run. Closing the main form ends it too.
TEST_F(WinWidgets, MessageLoopRunsTimersCallsAndEnds) {
  TMainForm* form = MakeForm();
  int ticks = 0;
  Child<TTimer>(form, "SchedTimer")->OnTimer = [&](TObject*) { ++ticks; };
  Child<TTimer>(form, "SchedTimer")->SetInterval(20);
  Child<TTimer>(form, "SchedTimer")->SetEnabled(true);
  std::atomic<int> calls{0};
  TWorker* worker = TThread::Create<TWorker>([&](TWorker& Self) {
    for (int i = 0; i < 50; ++i) Self.Synchronize([&] { ++calls; });
    WaitUntil([&] { return ticks >= 3; }, 30s);  // read racily: only a hint to go on
    Application->Terminate();
  });
  Application->Run();
  EXPECT_EQ(calls, 50);
  EXPECT_GE(ticks, 3);
  delete worker;

  Application->ResetTerminated();
  TThread::ForceQueue(nullptr, [form] { form->Close(); });
  Application->Run();
  EXPECT_TRUE(Application->Terminated());
  EXPECT_FALSE(form->Showing());
}

// Where Wine's desktop has a tray: the icon shows, minimising hides the window, the icon is
// added again when the task bar restarts (and kept when a "TaskbarCreated" finds it still
// there), and a double-click on it restores the window. Without a tray the minimised window
// stays reachable.
TEST_F(WinWidgets, TrayHidesTheMinimisedWindowAndRestoresIt) {
  TMainForm* form = MakeForm();
  form->Show();
  const HWND window = H(form);
  if (!TTrayIcon::TrayAvailable()) {
    EXPECT_FALSE(Child<TTrayIcon>(form, "Tray")->IconShown());
    form->SetWindowState(wsMinimized);
    Application->ProcessMessages();  // a hiding would have been posted by the minimising
    EXPECT_TRUE(IsWindowVisible(window));
    GTEST_SKIP() << "no tray on this desktop";
  }
  // Read with the form before it showed, the icon is added once the message loop runs.
  ASSERT_TRUE(PumpUntil(
      [&] {
        Application->ProcessMessages();
        return Child<TTrayIcon>(form, "Tray")->IconShown();
      },
      30s));
  form->SetWindowState(wsMinimized);
  ASSERT_TRUE(PumpUntil(
      [&] {
        Application->ProcessMessages();
        return !IsWindowVisible(window);
      },
      30s));
  EXPECT_EQ(form->GetWindowState(), wsMinimized);

  const std::optional<TShellIcon> shellIcon = FrontEndIcon();
  ASSERT_TRUE(shellIcon.has_value());
  SendMessageW(shellIcon->Window, TaskbarCreated(), 0, 0);  // the icon is still there
  EXPECT_TRUE(Child<TTrayIcon>(form, "Tray")->IconShown());
  EXPECT_TRUE(ShellHolds(*shellIcon));
  RestartTaskBar(*shellIcon);
  ASSERT_FALSE(ShellHolds(*shellIcon));
  EXPECT_TRUE(PumpUntil(
      [&] {
        Application->ProcessMessages();
        return ShellHolds(*shellIcon);
      },
      30s));
  EXPECT_TRUE(Child<TTrayIcon>(form, "Tray")->IconShown());
  EXPECT_FALSE(IsWindowVisible(window));

  // A double-click on the icon in Wine's tray, which tells the icon's owner.
  const HWND icon = TrayIconWindow();
  ASSERT_NE(icon, nullptr);
  PostMessageW(icon, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(8, 8));
  PostMessageW(icon, WM_LBUTTONUP, 0, MAKELPARAM(8, 8));
  EXPECT_TRUE(PumpUntil(
      [&] {
        Application->ProcessMessages();
        return IsWindowVisible(window) != 0;
      },
      30s));
  EXPECT_EQ(form->GetWindowState(), wsNormal);
}

}  // namespace

// The paint box draws its handler's canvas through GDI: a red square outlined in blue, right and
// bottom edges outside it, a line three pixels wide, and the extent of a letter in its font.
TEST_F(WinWidgets, PaintBoxDrawsWithItsCanvas) {
  TMainForm* form = MakeForm();
  auto* box = Child<TPaintBox>(form, "HistoryBox");
  TSize extent;
  box->OnPaint = [&](TObject*) {
    TCanvas& c = box->GetCanvas();
    c.Brush.Color = clRed;
    c.Pen.Color = clBlue;
    c.Rectangle(10, 10, 30, 30);
    c.Pen = {clLime, 3, psSolid};
    c.MoveTo(40, 5);
    c.LineTo(40, 35);
    extent = c.TextExtent("Ж");
  };
  form->Show();
  Child<TPageControl>(form, "PageControl1")->SetActivePage(Child<TTabSheet>(form, "HistorySheet"));
  ASSERT_TRUE(IsWindowVisible(H(box)));
  RedrawWindow(H(box), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  const HDC dc = GetDC(H(box));
  EXPECT_EQ(GetPixel(dc, 20, 20), RGB(255, 0, 0)) << "the brush fills";
  EXPECT_EQ(GetPixel(dc, 10, 20), RGB(0, 0, 255)) << "the pen outlines";
  EXPECT_EQ(GetPixel(dc, 29, 20), RGB(0, 0, 255)) << "the right edge is the last pixel inside";
  EXPECT_NE(GetPixel(dc, 30, 20), RGB(0, 0, 255));
  EXPECT_EQ(GetPixel(dc, 40, 20), RGB(0, 255, 0)) << "the line";
  ReleaseDC(H(box), dc);
  EXPECT_GE(extent.cy, 11);
  EXPECT_GE(extent.cx, 6);
  EXPECT_THROW(box->GetCanvas(), EComponentError) << "only while painting";
}
