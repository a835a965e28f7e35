// SPDX-License-Identifier: MIT
// The GUI front end of the framework's Application: Qt Widgets (platform/widgets/qt) on Linux,
// the native Win32 controls (platform/widgets/win32) on Windows; a program links one of them.
//
// While a TWidgetsFrontEnd exists:
//  - the toolkit runs the program's events (Qt: a QApplication, made here unless the program
//    made one; Win32: the thread's message queue);
//  - the control classes are registered, so form descriptions can create them;
//  - Application->Run shows the main form and runs the event loop until Application->Terminate
//    (callable from any thread); a terminate asked for before Run makes Run return at once;
//  - calls that workers hand to the main thread (TThread::Synchronize, Queue) run from the event
//    loop, also from the local loops of boxes and dialogs;
//  - message boxes (Application->MessageBox, MessageBoxA) and the standard error report are real
//    boxes with the icon their flags ask for. A box has no owner window: the other windows stay
//    usable and their timers keep ticking while it waits; the call returns once it is closed.
//    A box with an empty caption has an empty title. InputBox is a modal dialog. Tests may still
//    replace these presenters (framework/application.h);
//  - SIGINT, SIGTERM and SIGHUP (on Windows, the console's Ctrl+C, Ctrl+Break and close) end
//    the application as closing its main form does.
// Its destructor destroys the application's forms (each form's OnDestroy runs first), then
// restores what it replaced. One per process, made and destroyed on the main thread.
#pragma once

#include <widgets/export.h>

#include <memory>
#include <string>

// Who the program is to the desktop: its name (settings and caches), version, the name of its
// menu entry (the .desktop file, without the extension), which gives its icon, and the language
// of its own texts ("ru"), which the standard dialogs' buttons then speak whatever the user's
// locale (empty: the locale's language).
struct COMM_WIDGETS_API TProgramIdentity {
  std::string Name;
  std::string Version;
  std::string DesktopFileName;
  std::string Language;
};

class COMM_WIDGETS_API TWidgetsFrontEnd {
 public:
  TWidgetsFrontEnd(int& argc, char** argv, const TProgramIdentity& Program = {});
  ~TWidgetsFrontEnd();
  TWidgetsFrontEnd(const TWidgetsFrontEnd&) = delete;
  TWidgetsFrontEnd& operator=(const TWidgetsFrontEnd&) = delete;

  // Registers every control class for creation by name (idempotent).
  static void RegisterControls();

 private:
  struct TImpl;
  std::unique_ptr<TImpl> FImpl;
};
