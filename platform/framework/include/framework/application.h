// SPDX-License-Identifier: MIT
/// @file
/// The application object core: title, forms and the message loop, termination, message boxes,
/// the input box, the standard error report and the main-thread wake-up. Message boxes, input
/// boxes and error reports go through replaceable presenters: the GUI installs real dialogs,
/// tests record and answer them; the default presenters write to standard error and answer OK
/// (Yes for a Yes/No box, the default text for an input box). The message loop is installed by
/// the GUI front end (platform/widgets); without one, Run delivers synchronised calls until
/// Terminate.
///
/// Threads: everything here belongs to the main thread, except Terminate, Terminated and
/// WakeMainThread, which any thread may call.
#pragma once

#include <framework/classes.h>
#include <framework/export.h>
#include <framework/sysutils.h>
#include <win32/win32.h>

#include <functional>
#include <mutex>
#include <optional>
#include <string>

/// Shows a message box (Text, Caption, MB_ flags) and returns the button pressed (IDOK,
/// IDCANCEL, IDYES, IDNO). Installed with TApplication::SetMessageBoxPresenter.
using TMessageBoxPresenter =
    std::function<int(const std::string& Text, const std::string& Caption, unsigned Flags)>;
/// Shows the standard error report (the error's Message, the application's title as Caption).
/// Installed with TApplication::SetErrorReportPresenter.
using TErrorReportPresenter =
    std::function<void(const std::string& Message, const std::string& Caption)>;
/// Returns the text entered, or nothing when the box was cancelled.
using TInputBoxPresenter = std::function<std::optional<std::string>(
    const std::string& Caption, const std::string& Prompt, const std::string& Default)>;

/// The GUI front end's message loop.
class COMM_FRAMEWORK_API TMessageLoop {
 public:
  virtual ~TMessageLoop() = default;
  /// Shows MainForm (may be null) and handles messages until the application is terminated.
  virtual void Run(TComponent* MainForm) = 0;
  /// Handles the messages waiting now, then returns.
  virtual void ProcessMessages() = 0;
};

/// The application object (one, Application): see the file's description.
class COMM_FRAMEWORK_API TApplication : public TComponent {
 public:
  /// An application object with no title, no form, no loop and the default presenters. The
  /// library makes the one a program uses (Application); tests may make their own.
  explicit TApplication(TComponent* AOwner);
  /// Destroys the owned forms.
  ~TApplication() override;

  /// The class description (no published properties of its own).
  static const TClassInfo& ClassInfo();
  /// ClassInfo().
  const TClassInfo& GetClassInfo() const override { return ClassInfo(); }

  /// Does nothing; kept for programs written as `Application->Initialize(); ... Run();`.
  void Initialize() {}
  /// The title: the caption of the standard error report. Any thread.
  std::string GetTitle() const;
  /// Sets the title (empty unless set).
  void SetTitle(const std::string& Value);

  /// Creates a form of class T owned by the application, sets Reference to it, then runs its
  /// AfterConstruction (a form reads its description there and calls its OnCreate). The first
  /// form created becomes the main form; closing it ends the application. When the form cannot
  /// be built the error propagates and nothing is left behind.
  template <class T>
  void CreateForm(T*& Reference) {
    T* form = new T(this);
    Reference = form;
    if (FMainForm == nullptr) FMainForm = form;
    try {
      form->AfterConstruction();
    } catch (...) {
      Reference = nullptr;
      delete form;
      throw;
    }
  }
  /// The first form CreateForm made, or null.
  TComponent* GetMainForm() const { return FMainForm; }

  /// Shows the main form and runs the message loop until Terminate. A terminate asked for before
  /// Run ends it at its first turn: Run then returns at once.
  void Run();
  /// Handles the messages waiting now (runs synchronised calls when no loop is installed).
  void ProcessMessages();
  /// Installs the GUI front end's loop (null: none); returns the previous one. Not owned.
  TMessageLoop* SetMessageLoop(TMessageLoop* Loop);

  /// Asks the message loop to end; Terminated() then reads true.
  void Terminate();
  /// True once Terminate has been called (until ResetTerminated). Any thread.
  bool Terminated() const;

  void ResetTerminated();  ///< Terminated() reads false again, for a new run of the loop (tests).

  /// A modal message box; returns the button pressed (IDOK, IDCANCEL, IDYES, IDNO).
  int MessageBox(const char* Text, const char* Caption, int Flags = MB_OK);
  /// The standard error report: a box with E.Message, captioned with the title.
  void ShowException(const Exception& E);
  /// Reports the exception being handled (call inside a catch block): a framework Exception as
  /// it is, a std::exception with its what() text, anything else with an empty message.
  void HandleException(TObject* Sender = nullptr);

  /// A box with a caption, a prompt and one edit holding Default, with OK and Cancel: returns the
  /// edit's text after OK and Default after Cancel.
  std::string InputBox(const std::string& ACaption, const std::string& APrompt,
                       const std::string& ADefault);

  /// Replace the presenters; each returns the previous one. An empty function restores the
  /// default. The default error report shows a message box (MB_OK | MB_ICONERROR) through the
  /// message-box presenter.
  TMessageBoxPresenter SetMessageBoxPresenter(TMessageBoxPresenter Presenter);
  /// Replaces the error-report presenter (ShowException); returns the previous one.
  TErrorReportPresenter SetErrorReportPresenter(TErrorReportPresenter Presenter);
  /// Replaces the input-box presenter (InputBox); returns the previous one.
  TInputBoxPresenter SetInputBoxPresenter(TInputBoxPresenter Presenter);

  /// Main-thread wake-up: Handler runs whenever a call is queued for the main thread (see
  /// CheckSynchronize). Returns the previous handler.
  std::function<void()> SetWakeMainThreadHandler(std::function<void()> Handler);
  /// Calls the wake-up handler, if any, on the calling thread. Any thread.
  void WakeMainThread();

 private:
  mutable std::mutex FLock;
  std::string FTitle;
  bool FTerminated = false;
  TMessageBoxPresenter FMessageBoxPresenter;
  TErrorReportPresenter FErrorReportPresenter;
  TInputBoxPresenter FInputBoxPresenter;
  std::function<void()> FWakeHandler;
  TComponent* FMainForm = nullptr;
  TMessageLoop* FLoop = nullptr;

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;
};

/// The application object, created when the library is loaded and never destroyed.
extern COMM_FRAMEWORK_API TApplication* Application;

/// The operating system's message box; same presenter as Application->MessageBox. The owner
/// window is ignored.
COMM_FRAMEWORK_API int MessageBoxA(HWND Owner, const char* Text, const char* Caption,
                                   unsigned Flags);

/// Application->InputBox.
COMM_FRAMEWORK_API std::string InputBox(const std::string& ACaption, const std::string& APrompt,
                                        const std::string& ADefault);
