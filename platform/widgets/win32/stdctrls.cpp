// SPDX-License-Identifier: MIT
// clang-format off
#include "win_bridge.h"  // first: win32/win32.h before any other Windows header
// clang-format on

#include <widgets/stdctrls.h>

#include <algorithm>

using winwidgets::CallHandler;
using winwidgets::NewNative;
using winwidgets::TNativeWindow;

namespace {

TNativeWindow* NewControlWindow(const char* ClassName, const wchar_t* WindowClass, DWORD Style,
                                DWORD ExStyle = 0) {
  return NewNative<TNativeWindow>(ClassName, WindowClass, Style, ExStyle);
}

HWND H(const TControl& Control) { return Control.Widget()->Handle(); }

// A window not made yet is made read-only; a made one is told so.
void SetEditReadOnly(winwidgets::TNativeWindow& Edit, bool Value) {
  if (Edit.HandleAllocated())
    SendMessageW(Edit.Handle(), EM_SETREADONLY, Value, 0);
  else
    Edit.SetStyleBits(ES_READONLY, Value);
}

}  // namespace

// ---- TLabel -----------------------------------------------------------------------------------

TLabel::TLabel(TComponent* AOwner)
    : TControl(AOwner, NewControlWindow("TLabel", L"STATIC", SS_LEFTNOWORDWRAP | SS_NOPREFIX)) {}

std::string TLabel::GetCaption() const { return Widget()->Text(); }

void TLabel::SetCaption(const std::string& Value) {
  Widget()->SetText(Value);
  if (!Reading()) AdjustBounds();
}

namespace {

// How far the ink of Text reaches when drawn in Font from the left edge, as the static control
// draws it (DrawText), in pixels; Width and Height bound the drawing.
int InkWidth(HFONT Font, const std::wstring& Text, int Width, int Height) {
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = Width;
  info.bmiHeader.biHeight = -Height;  // top-down rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bitmap == nullptr) {
    DeleteDC(dc);
    return 0;
  }
  HGDIOBJ previousBitmap = SelectObject(dc, bitmap);
  HGDIOBJ previousFont = SelectObject(dc, Font);
  RECT all = {0, 0, Width, Height};
  FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  SetTextColor(dc, RGB(0, 0, 0));
  DrawTextW(dc, Text.c_str(), static_cast<int>(Text.size()), &all,
            DT_LEFT | DT_SINGLELINE | DT_NOPREFIX);
  GdiFlush();
  const auto* pixels = static_cast<const DWORD*>(bits);
  int reach = 0;
  for (int y = 0; y < Height; ++y)
    for (int x = Width - 1; x >= reach; --x)
      if ((pixels[y * Width + x] & 0xFFFFFFu) != 0xFFFFFFu) {
        reach = x + 1;
        break;
      }
  SelectObject(dc, previousFont);
  SelectObject(dc, previousBitmap);
  DeleteObject(bitmap);
  DeleteDC(dc);
  return reach;
}

}  // namespace

// In the font the static control draws with (the one it was given), one line high when the
// caption is empty; measured on the screen, so a label not yet made is not made for it. Wine
// draws some captions a few pixels wider than its own text metrics say ("Активировать в:" at 11
// pixels: 87 drawn, 82 measured), so the width is the wider of the measured extent and the ink
// of the caption drawn.
std::pair<int, int> TLabel::TextExtent() const {
  const std::wstring text = winwidgets::Utf16(GetCaption());
  HFONT font = Widget()->Font();
  if (font == nullptr) font = static_cast<HFONT>(GetStockObject(SYSTEM_FONT));
  HDC dc = GetDC(nullptr);
  HGDIOBJ previous = SelectObject(dc, font);
  SIZE size = {};
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
  TEXTMETRICW metrics = {};
  GetTextMetricsW(dc, &metrics);
  SelectObject(dc, previous);
  ReleaseDC(nullptr, dc);
  const int width = static_cast<int>(size.cx), height = static_cast<int>(metrics.tmHeight);
  if (text.empty()) return {0, height};
  return {std::max(width, InkWidth(font, text, width * 2 + height, height)), height};
}

// ---- TButton ----------------------------------------------------------------------------------

TButton::TButton(TComponent* AOwner)
    : TWinControl(AOwner, NewControlWindow("TButton", L"BUTTON", BS_PUSHBUTTON | WS_TABSTOP)) {
  Widget()->OnCommand = [this](WORD Code) {
    if (Code == BN_CLICKED) CallHandler(OnClick, this);
  };
}

std::string TButton::GetCaption() const { return Widget()->Text(); }

void TButton::SetCaption(const std::string& Value) { Widget()->SetText(Value); }

void TButton::Click() {
  if (Widget()->IsEnabled()) CallHandler(OnClick, this);
}

// ---- TEdit ------------------------------------------------------------------------------------

TEdit::TEdit(TComponent* AOwner)
    : TWinControl(AOwner, NewControlWindow("TEdit", L"EDIT", ES_AUTOHSCROLL | ES_LEFT | WS_TABSTOP,
                                           WS_EX_CLIENTEDGE)) {
  SetColor(clWindow);
}

std::string TEdit::GetText() const { return Widget()->Text(); }

void TEdit::SetText(const std::string& Value) { Widget()->SetText(Value); }

bool TEdit::GetReadOnly() const {
  return (GetWindowLongPtrW(H(*this), GWL_STYLE) & ES_READONLY) != 0;
}

void TEdit::SetReadOnly(bool Value) { SetEditReadOnly(*Widget(), Value); }

// ---- TCheckBox --------------------------------------------------------------------------------

// OnClick follows every change of the checked state, the user's clicks and SetChecked alike.
TCheckBox::TCheckBox(TComponent* AOwner)
    : TWinControl(AOwner, NewControlWindow("TCheckBox", L"BUTTON", BS_AUTOCHECKBOX | WS_TABSTOP)) {
  Widget()->OnCommand = [this](WORD Code) {
    if (Code == BN_CLICKED && (ComponentState() & csLoading) == 0) CallHandler(OnClick, this);
  };
}

std::string TCheckBox::GetCaption() const { return Widget()->Text(); }

void TCheckBox::SetCaption(const std::string& Value) { Widget()->SetText(Value); }

bool TCheckBox::GetChecked() const {
  return SendMessageW(H(*this), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void TCheckBox::SetChecked(bool Value) {
  if (Value == GetChecked()) return;
  SendMessageW(H(*this), BM_SETCHECK, Value ? BST_CHECKED : BST_UNCHECKED, 0);
  if ((ComponentState() & csLoading) == 0) CallHandler(OnClick, this);
}

// ---- TMemo ------------------------------------------------------------------------------------

TMemo::TMemo(TComponent* AOwner)
    : TWinControl(AOwner, NewControlWindow("TMemo", L"EDIT",
                                           ES_MULTILINE | ES_AUTOVSCROLL | ES_LEFT | WS_TABSTOP,
                                           WS_EX_CLIENTEDGE)) {
  SetColor(clWindow);
}

TStringItems TMemo::GetLines() const {
  TStringItems lines;
  const std::string text = Widget()->Text();
  if (text.empty()) return lines;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find("\r\n", start);
    lines.push_back(text.substr(start, end == std::string::npos ? end : end - start));
    if (end == std::string::npos) break;
    start = end + 2;
  }
  return lines;
}

void TMemo::SetLines(const TStringItems& Value) {
  std::string text;
  for (std::size_t i = 0; i < Value.size(); ++i) text += (i > 0 ? "\r\n" : "") + Value[i];
  Widget()->SetText(text);
}

bool TMemo::GetReadOnly() const {
  return (GetWindowLongPtrW(H(*this), GWL_STYLE) & ES_READONLY) != 0;
}

void TMemo::SetReadOnly(bool Value) { SetEditReadOnly(*Widget(), Value); }

void TMemo::SetBorderStyle(TBorderStyle Value) {
  FBorderStyle = Value;
  Widget()->SetExStyleBits(WS_EX_CLIENTEDGE, Value != bsNone);
}

// ---- TGroupBox --------------------------------------------------------------------------------

// The group box is the parent of its controls; WS_EX_CONTROLPARENT lets Tab reach them.
TGroupBox::TGroupBox(TComponent* AOwner)
    : TWinControl(AOwner, NewControlWindow("TGroupBox", L"BUTTON",
                                           BS_GROUPBOX | WS_CLIPSIBLINGS | WS_CLIPCHILDREN,
                                           WS_EX_CONTROLPARENT)) {
  // A group box is transparent to the mouse and leaves its background to its parent; as the
  // parent of its controls it is neither.
  Widget()->OnMessage = [this](UINT Message, WPARAM W, LPARAM, LRESULT& Result) {
    if (Message == WM_NCHITTEST) {
      Result = HTCLIENT;
      return true;
    }
    if (Message == WM_ERASEBKGND) {
      RECT client = {};
      GetClientRect(H(*this), &client);
      HBRUSH own = GetColor() != clBtnFace ? CreateSolidBrush(winwidgets::ResolveColor(GetColor()))
                                           : nullptr;
      FillRect(reinterpret_cast<HDC>(W), &client,
               own != nullptr ? own : GetSysColorBrush(COLOR_BTNFACE));
      if (own != nullptr) DeleteObject(own);
      Result = 1;
      return true;
    }
    return false;
  };
}

std::string TGroupBox::GetCaption() const { return Widget()->Text(); }

void TGroupBox::SetCaption(const std::string& Value) { Widget()->SetText(Value); }
