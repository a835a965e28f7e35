// SPDX-License-Identifier: MIT
// A second baseline for Zelvane's start-up and memory under Wine (bench_program_wine.sh): the
// window of Zelvane's first page written directly in Win32, with Zelvane's manifest (common
// controls 6): a status bar, a tab control with three tabs, and on the first page two group
// boxes with their labels, buttons and edits, all in the form's font. What Zelvane takes beyond
// this is what its framework, its libraries and its port cost; what this takes beyond the
// minimal window is the common controls' and the controls' own cost.
#include <windows.h>
// after windows.h, which it needs
#include <commctrl.h>

namespace {

struct TControlLine {
  int Parent;  // index in kControls of the parent; -1 for the page
  const wchar_t* Class;
  DWORD Style;
  const wchar_t* Text;
  int Left, Top, Width, Height;
};

constexpr DWORD kLabel = SS_LEFTNOWORDWRAP | SS_NOPREFIX;
constexpr DWORD kButton = BS_PUSHBUTTON | WS_TABSTOP;
constexpr DWORD kEdit = ES_AUTOHSCROLL | ES_READONLY | WS_BORDER | WS_TABSTOP;
constexpr TControlLine kControls[] = {
    {-1, L"BUTTON", BS_GROUPBOX, L"Нагрузки", 8, 8, 201, 145},
    {0, L"STATIC", kLabel, L"Нагрузка №1:", 8, 24, 71, 13},
    {0, L"STATIC", kLabel, L"Нагрузка №2:", 8, 56, 71, 13},
    {0, L"STATIC", kLabel, L"Нагрузка №3:", 8, 88, 71, 13},
    {0, L"STATIC", kLabel, L"Нагрузка №4:", 8, 120, 71, 13},
    {0, L"BUTTON", kButton, L"OFF", 104, 16, 75, 25},
    {0, L"BUTTON", kButton, L"OFF", 104, 48, 75, 25},
    {-1, L"BUTTON", kButton, L"OFF", 112, 88, 75, 25},
    {-1, L"BUTTON", kButton, L"OFF", 112, 120, 75, 25},
    {-1, L"BUTTON", BS_GROUPBOX, L"Термометры", 216, 8, 177, 145},
    {9, L"STATIC", kLabel, L"Термометр №1:", 8, 16, 81, 13},
    {9, L"STATIC", kLabel, L"Термометр №2:", 8, 40, 81, 13},
    {9, L"STATIC", kLabel, L"Термометр №3:", 8, 64, 81, 13},
    {9, L"STATIC", kLabel, L"Термометр №4:", 8, 88, 81, 13},
    {9, L"EDIT", kEdit, L"Нет данных", 96, 16, 65, 21},
    {9, L"EDIT", kEdit, L"Нет данных", 96, 40, 65, 21},
    {9, L"EDIT", kEdit, L"Нет данных", 96, 64, 65, 21},
    {9, L"EDIT", kEdit, L"Нет данных", 96, 88, 65, 21},
    {9, L"BUTTON", kButton, L"Поиск датчиков", 8, 112, 153, 25},
};
constexpr int kControlCount = sizeof kControls / sizeof kControls[0];

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

HWND Child(HWND Parent, const wchar_t* Class, DWORD Style, const wchar_t* Text, RECT Place,
           HFONT Font) {
  HWND child = CreateWindowExW(0, Class, Text, WS_CHILD | WS_VISIBLE | Style, Place.left, Place.top,
                               Place.right - Place.left, Place.bottom - Place.top, Parent, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
  SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(Font), FALSE);
  return child;
}

// The tab control with its three tabs and the first page's controls on a page window.
void MakePages(HWND Window, HFONT Font) {
  HWND tabs = Child(Window, WC_TABCONTROLW, WS_CLIPSIBLINGS, L"", {0, 8, 409, 193}, Font);
  const wchar_t* captions[] = {L"Управление", L"Планировщик", L"История"};
  for (int i = 0; i < 3; ++i) {
    TCITEMW item = {};
    item.mask = TCIF_TEXT;
    item.pszText = const_cast<wchar_t*>(captions[i]);
    SendMessageW(tabs, TCM_INSERTITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
  }
  RECT page = {0, 0, 409, 185};
  SendMessageW(tabs, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&page));
  HWND pageWindow = Child(tabs, L"STATIC", 0, L"", page, Font);
  HWND made[kControlCount] = {};
  for (int i = 0; i < kControlCount; ++i) {
    const TControlLine& c = kControls[i];
    made[i] = Child(c.Parent < 0 ? pageWindow : made[c.Parent], c.Class, c.Style, c.Text,
                    {c.Left, c.Top, c.Left + c.Width, c.Top + c.Height}, Font);
  }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  INITCOMMONCONTROLSEX classes = {sizeof classes, ICC_TAB_CLASSES | ICC_BAR_CLASSES};
  InitCommonControlsEx(&classes);
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = L"ControlsWindow";
  RegisterClassW(&windowClass);
  HWND window = CreateWindowExW(0, L"ControlsWindow", L"Controls window",
                                WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, 388, 116,
                                419, 246, nullptr, nullptr, instance, nullptr);
  HFONT font = CreateFontW(-11, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                           CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                           L"MS Sans Serif");
  Child(window, STATUSCLASSNAMEW, 0, L"", {0, 200, 411, 219}, font);
  MakePages(window, font);
  ShowWindow(window, show);
  UpdateWindow(window);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return static_cast<int>(message.wParam);
}
