// SPDX-License-Identifier: MIT
#include <framework/application.h>
#include <framework/thread.h>

#include <cstdio>
#include <exception>

namespace {

int DefaultMessageBox(const std::string& text, const std::string& caption, unsigned flags) {
  std::fprintf(stderr, "[%s] %s\n", caption.c_str(), text.c_str());
  std::fflush(stderr);
  const unsigned buttons = flags & 0x0Fu;
  return (buttons == MB_YESNOCANCEL || buttons == MB_YESNO) ? IDYES : IDOK;
}

std::optional<std::string> DefaultInputBox(const std::string& caption, const std::string& prompt,
                                           const std::string& defaultText) {
  std::fprintf(stderr, "[%s] %s [%s]\n", caption.c_str(), prompt.c_str(), defaultText.c_str());
  std::fflush(stderr);
  return defaultText;
}

TApplication* CreateApplicationObject() {
  auto* app = new TApplication(nullptr);
  SetWakeMainThread([] {
    if (Application != nullptr) Application->WakeMainThread();
  });
  return app;
}

}  // namespace

TApplication* Application = CreateApplicationObject();

TApplication::TApplication(TComponent* AOwner) : TComponent(AOwner) {}

TApplication::~TApplication() = default;

const TClassInfo& TApplication::ClassInfo() {
  static const TClassInfo info = TClassInfo::Derived<TApplication, TComponent>("TApplication");
  return info;
}

std::string TApplication::GetTitle() const {
  std::lock_guard<std::mutex> guard(FLock);
  return FTitle;
}

void TApplication::SetTitle(const std::string& Value) {
  std::lock_guard<std::mutex> guard(FLock);
  FTitle = Value;
}

void TApplication::Run() {
  if (Terminated()) return;
  if (FLoop != nullptr) {
    FLoop->Run(FMainForm);
    return;
  }
  while (!Terminated()) CheckSynchronize(100);
}

void TApplication::ProcessMessages() {
  if (FLoop != nullptr)
    FLoop->ProcessMessages();
  else
    CheckSynchronize();
}

TMessageLoop* TApplication::SetMessageLoop(TMessageLoop* Loop) {
  std::swap(FLoop, Loop);
  return Loop;
}

void TApplication::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FMainForm) FMainForm = nullptr;
}

void TApplication::Terminate() {
  {
    std::lock_guard<std::mutex> guard(FLock);
    FTerminated = true;
  }
  WakeMainThread();
}

bool TApplication::Terminated() const {
  std::lock_guard<std::mutex> guard(FLock);
  return FTerminated;
}

void TApplication::ResetTerminated() {
  std::lock_guard<std::mutex> guard(FLock);
  FTerminated = false;
}

int TApplication::MessageBox(const char* Text, const char* Caption, int Flags) {
  TMessageBoxPresenter presenter;
  {
    std::lock_guard<std::mutex> guard(FLock);
    presenter = FMessageBoxPresenter;
  }
  const std::string text = Text != nullptr ? Text : "";
  const std::string caption = Caption != nullptr ? Caption : "";
  const auto flags = static_cast<unsigned>(Flags);
  return presenter ? presenter(text, caption, flags) : DefaultMessageBox(text, caption, flags);
}

void TApplication::ShowException(const Exception& E) {
  TErrorReportPresenter presenter;
  std::string title;
  {
    std::lock_guard<std::mutex> guard(FLock);
    presenter = FErrorReportPresenter;
    title = FTitle;
  }
  if (presenter) {
    presenter(E.Message, title);
  } else {
    MessageBox(E.Message.c_str(), title.c_str(), static_cast<int>(MB_OK | MB_ICONERROR));
  }
}

void TApplication::HandleException(TObject* /*Sender*/) {
  if (!std::current_exception()) return;  // not inside a handler: nothing to report
  try {
    throw;
  } catch (const Exception& e) {
    ShowException(e);
  } catch (const std::exception& e) {
    ShowException(Exception(e.what()));
  } catch (...) {
    ShowException(Exception());
  }
}

std::string TApplication::InputBox(const std::string& ACaption, const std::string& APrompt,
                                   const std::string& ADefault) {
  TInputBoxPresenter presenter;
  {
    std::lock_guard<std::mutex> guard(FLock);
    presenter = FInputBoxPresenter;
  }
  std::optional<std::string> answer = presenter ? presenter(ACaption, APrompt, ADefault)
                                                : DefaultInputBox(ACaption, APrompt, ADefault);
  return answer ? *answer : ADefault;
}

TInputBoxPresenter TApplication::SetInputBoxPresenter(TInputBoxPresenter Presenter) {
  std::lock_guard<std::mutex> guard(FLock);
  std::swap(FInputBoxPresenter, Presenter);
  return Presenter;
}

TMessageBoxPresenter TApplication::SetMessageBoxPresenter(TMessageBoxPresenter Presenter) {
  std::lock_guard<std::mutex> guard(FLock);
  std::swap(FMessageBoxPresenter, Presenter);
  return Presenter;
}

TErrorReportPresenter TApplication::SetErrorReportPresenter(TErrorReportPresenter Presenter) {
  std::lock_guard<std::mutex> guard(FLock);
  std::swap(FErrorReportPresenter, Presenter);
  return Presenter;
}

std::function<void()> TApplication::SetWakeMainThreadHandler(std::function<void()> Handler) {
  std::lock_guard<std::mutex> guard(FLock);
  std::swap(FWakeHandler, Handler);
  return Handler;
}

void TApplication::WakeMainThread() {
  std::function<void()> handler;
  {
    std::lock_guard<std::mutex> guard(FLock);
    handler = FWakeHandler;
  }
  if (handler) handler();
}

int MessageBoxA(HWND /*Owner*/, const char* Text, const char* Caption, unsigned Flags) {
  return Application->MessageBox(Text, Caption, static_cast<int>(Flags));
}

std::string InputBox(const std::string& ACaption, const std::string& APrompt,
                     const std::string& ADefault) {
  return Application->InputBox(ACaption, APrompt, ADefault);
}
