// SPDX-License-Identifier: MIT
// Windows GUI tests (under Wine): the program's events handled while waiting, and the system's
// dialogs (message boxes, the input dialog) found, read and answered as a user would, from a
// thread other than the one showing them. Windows only.
#pragma once

#include <win32/win32.h>

#include <chrono>
#include <functional>
#include <string>

namespace testsupport {

// Handles the thread's window messages and synchronised calls (Application->ProcessMessages)
// until `done` holds or `timeout` passes; returns its last value. Main thread.
bool ProcessMessagesUntil(const std::function<bool()>& done,
                          std::chrono::milliseconds timeout = std::chrono::seconds(10));

// The window's text (UTF-8).
std::string WindowText(HWND window);

// The visible dialog (class #32770) titled `title` that thread `thread` shows, once it shows one
// within `timeout`; null if none did. Any thread.
HWND AwaitDialog(DWORD thread, const std::string& title,
                 std::chrono::milliseconds timeout = std::chrono::seconds(30));

// The text of a message box (its message, not its title or buttons).
std::string MessageBoxText(HWND box);

// Clicks the dialog's button with that identifier (IDOK, IDCANCEL, ...); false if it has none.
// Any thread: the dialog's own loop handles the click.
bool ClickDialogButton(HWND dialog, int id);

}  // namespace testsupport
