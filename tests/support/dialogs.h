// SPDX-License-Identifier: MIT
// Answers the application's dialogs in tests and records them: message boxes (MessageBoxA,
// Application->MessageBox), standard error reports and input boxes, while a DialogRecorder lives.
// Boxes are answered with IDOK (or what OnBox returns), input boxes with the queued answers
// (nullopt is Cancel; with none queued, OK on the default text). The presenters it replaced come
// back at scope end. Main thread; a dialog shown on another thread is recorded as well.
#pragma once

#include <framework/application.h>

#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

struct Dialog {
  enum Kind { Box, Error, Input };
  Kind kind;
  std::string text;         // box text, error message, or input prompt
  std::string caption;      // caption (the title for an error report)
  unsigned flags = 0;       // box flags
  std::string defaultText;  // input box
};

class DialogRecorder {
 public:
  // Boxes are answered BoxAnswer unless OnBox says otherwise.
  explicit DialogRecorder(int BoxAnswer = IDOK);
  ~DialogRecorder();
  DialogRecorder(const DialogRecorder&) = delete;
  DialogRecorder& operator=(const DialogRecorder&) = delete;

  // The next input box answers this (nullopt: Cancel).
  void AnswerInput(std::optional<std::string> answer);
  // Runs for each box as it is shown (on the thread showing it); returns the answer.
  void OnBox(std::function<int(const Dialog&)> handler);
  // Runs for each input box as it is shown, before it is answered.
  void OnInput(std::function<void(const Dialog&)> hook);

  std::vector<Dialog> Dialogs() const;
  std::vector<Dialog> OfKind(Dialog::Kind kind) const;
  std::vector<std::string> Texts() const;  // of every dialog, in order
  std::size_t Count() const;
  void Clear();

 private:
  void Record(const Dialog& dialog);

  mutable std::mutex mutex_;
  std::vector<Dialog> dialogs_;
  std::deque<std::optional<std::string>> inputAnswers_;
  std::function<int(const Dialog&)> onBox_;
  std::function<void(const Dialog&)> onInput_;
  TMessageBoxPresenter previousBox_;
  TErrorReportPresenter previousError_;
  TInputBoxPresenter previousInput_;
};

}  // namespace testsupport
