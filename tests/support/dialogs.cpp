// SPDX-License-Identifier: MIT
#include "dialogs.h"

namespace testsupport {

DialogRecorder::DialogRecorder(int BoxAnswer) {
  previousBox_ = Application->SetMessageBoxPresenter(
      [this, BoxAnswer](const std::string& text, const std::string& caption, unsigned flags) {
        const Dialog box{Dialog::Box, text, caption, flags, ""};
        Record(box);
        std::function<int(const Dialog&)> handler;
        {
          std::lock_guard<std::mutex> lock(mutex_);
          handler = onBox_;
        }
        return handler ? handler(box) : BoxAnswer;
      });
  previousError_ = Application->SetErrorReportPresenter(
      [this](const std::string& message, const std::string& caption) {
        Record({Dialog::Error, message, caption, 0, ""});
      });
  previousInput_ = Application->SetInputBoxPresenter(
      [this](const std::string& caption, const std::string& prompt,
             const std::string& defaultText) -> std::optional<std::string> {
        const Dialog input{Dialog::Input, prompt, caption, 0, defaultText};
        Record(input);
        std::function<void(const Dialog&)> hook;
        {
          std::lock_guard<std::mutex> lock(mutex_);
          hook = onInput_;
        }
        if (hook) hook(input);
        std::lock_guard<std::mutex> lock(mutex_);
        if (inputAnswers_.empty()) return defaultText;
        std::optional<std::string> answer = inputAnswers_.front();
        inputAnswers_.pop_front();
        return answer;
      });
}

DialogRecorder::~DialogRecorder() {
  Application->SetInputBoxPresenter(previousInput_);
  Application->SetErrorReportPresenter(previousError_);
  Application->SetMessageBoxPresenter(previousBox_);
}

void DialogRecorder::AnswerInput(std::optional<std::string> answer) {
  std::lock_guard<std::mutex> lock(mutex_);
  inputAnswers_.push_back(std::move(answer));
}

void DialogRecorder::OnBox(std::function<int(const Dialog&)> handler) {
  std::lock_guard<std::mutex> lock(mutex_);
  onBox_ = std::move(handler);
}

void DialogRecorder::OnInput(std::function<void(const Dialog&)> hook) {
  std::lock_guard<std::mutex> lock(mutex_);
  onInput_ = std::move(hook);
}

std::vector<Dialog> DialogRecorder::Dialogs() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return dialogs_;
}

std::vector<Dialog> DialogRecorder::OfKind(Dialog::Kind kind) const {
  std::vector<Dialog> out;
  for (const Dialog& d : Dialogs())
    if (d.kind == kind) out.push_back(d);
  return out;
}

std::vector<std::string> DialogRecorder::Texts() const {
  std::vector<std::string> texts;
  for (const Dialog& d : Dialogs()) texts.push_back(d.text);
  return texts;
}

std::size_t DialogRecorder::Count() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return dialogs_.size();
}

void DialogRecorder::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  dialogs_.clear();
}

void DialogRecorder::Record(const Dialog& dialog) {
  std::lock_guard<std::mutex> lock(mutex_);
  dialogs_.push_back(dialog);
}

}  // namespace testsupport
