// SPDX-License-Identifier: MIT
#include "win_dialogs.h"

#include <framework/application.h>

#include "wait.h"

namespace testsupport {

namespace {

constexpr int kMessageBoxTextId = 0xFFFF;  // the message's static control in a message box

std::string Utf8(const wchar_t* text, int length) {
  if (length <= 0) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), size, nullptr, nullptr);
  return out;
}

std::string ClassName(HWND window) {
  wchar_t name[64] = {};
  return Utf8(name, GetClassNameW(window, name, 64));
}

struct DialogSearch {
  std::string title;
  HWND found = nullptr;
};

BOOL CALLBACK MatchDialog(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<DialogSearch*>(data);
  if (ClassName(window) != "#32770" || !IsWindowVisible(window) ||
      WindowText(window) != search->title)
    return TRUE;
  search->found = window;
  return FALSE;
}

}  // namespace

bool ProcessMessagesUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    Application->ProcessMessages();
    if (done()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  }
}

std::string WindowText(HWND window) {
  wchar_t text[1024] = {};
  return Utf8(text, GetWindowTextW(window, text, 1024));
}

HWND AwaitDialog(DWORD thread, const std::string& title, std::chrono::milliseconds timeout) {
  DialogSearch search{title};
  WaitUntil(
      [&] {
        EnumThreadWindows(thread, MatchDialog, reinterpret_cast<LPARAM>(&search));
        return search.found != nullptr;
      },
      timeout);
  return search.found;
}

std::string MessageBoxText(HWND box) {
  const HWND text = GetDlgItem(box, kMessageBoxTextId);
  return text == nullptr ? std::string("<no text>") : WindowText(text);
}

bool ClickDialogButton(HWND dialog, int id) {
  const HWND button = GetDlgItem(dialog, id);
  if (button == nullptr) return false;
  SendMessageW(button, BM_CLICK, 0, 0);
  return true;
}

}  // namespace testsupport
