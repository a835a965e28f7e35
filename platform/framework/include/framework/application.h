// The application object core: title, termination, message boxes, the standard error report
// and the main-thread wake-up. Message boxes and error reports go through replaceable
// presenters: the GUI installs real dialogs, tests record and answer them; the default presenter
// writes to standard error and answers OK (Yes for a Yes/No box).
#pragma once

#include <framework/classes.h>
#include <framework/sysutils.h>
#include <win32/win32.h>

#include <functional>
#include <mutex>
#include <string>

using TMessageBoxPresenter =
    std::function<int(const std::string& Text, const std::string& Caption, unsigned Flags)>;
using TErrorReportPresenter =
    std::function<void(const std::string& Message, const std::string& Caption)>;

class TApplication : public TComponent {
 public:
  explicit TApplication(TComponent* AOwner);
  ~TApplication() override;

  static const TClassInfo& ClassInfo();
  const TClassInfo& GetClassInfo() const override { return ClassInfo(); }

  void Initialize() {}
  std::string GetTitle() const;
  void SetTitle(const std::string& Value);

  // Asks the message loop to end; Terminated() then reads true.
  void Terminate();
  bool Terminated() const;
  void ResetTerminated();  // for a new run of the loop (tests)

  // A modal message box; returns the button pressed (IDOK, IDCANCEL, IDYES, IDNO).
  int MessageBox(const char* Text, const char* Caption, int Flags = MB_OK);
  // The standard error report: a box with E.Message, captioned with the title.
  void ShowException(const Exception& E);
  // Reports the exception being handled (call inside a catch block): a framework Exception as
  // it is, a std::exception with its what() text, anything else with an empty message.
  void HandleException(TObject* Sender = nullptr);

  // Replace the presenters; each returns the previous one. An empty function restores the
  // default. The default error report shows a message box (MB_OK | MB_ICONERROR) through the
  // message-box presenter.
  TMessageBoxPresenter SetMessageBoxPresenter(TMessageBoxPresenter Presenter);
  TErrorReportPresenter SetErrorReportPresenter(TErrorReportPresenter Presenter);

  // Main-thread wake-up: Handler runs whenever a call is queued for the main thread (see
  // CheckSynchronize). Returns the previous handler.
  std::function<void()> SetWakeMainThreadHandler(std::function<void()> Handler);
  void WakeMainThread();

 private:
  mutable std::mutex FLock;
  std::string FTitle;
  bool FTerminated = false;
  TMessageBoxPresenter FMessageBoxPresenter;
  TErrorReportPresenter FErrorReportPresenter;
  std::function<void()> FWakeHandler;
};

// The application object, created when the library is loaded and never destroyed.
extern TApplication* Application;

// The operating system's message box; same presenter as Application->MessageBox. The owner
// window is ignored.
int MessageBoxA(HWND Owner, const char* Text, const char* Caption, unsigned Flags);
