#include "comm_test_support.h"

#include <framework/application.h>

namespace commtest {

MessageBoxRecorder::MessageBoxRecorder() {
  Previous = Application->SetMessageBoxPresenter(
      [this](const std::string& Text, const std::string& Caption, unsigned Flags) {
        Box Shown{Text, Caption, Flags};
        std::function<void(const Box&)> Call;
        {
          std::lock_guard<std::mutex> Lock(Mutex);
          Recorded.push_back(Shown);
          Call = Callback;
        }
        if (Call) Call(Shown);
        return IDOK;
      });
}

MessageBoxRecorder::~MessageBoxRecorder() { Application->SetMessageBoxPresenter(Previous); }

std::vector<MessageBoxRecorder::Box> MessageBoxRecorder::Boxes() const {
  std::lock_guard<std::mutex> Lock(Mutex);
  return Recorded;
}

std::vector<std::string> MessageBoxRecorder::Texts() const {
  std::vector<std::string> Result;
  for (const Box& Shown : Boxes()) Result.push_back(Shown.Text);
  return Result;
}

std::size_t MessageBoxRecorder::Count() const {
  std::lock_guard<std::mutex> Lock(Mutex);
  return Recorded.size();
}

void MessageBoxRecorder::Clear() {
  std::lock_guard<std::mutex> Lock(Mutex);
  Recorded.clear();
}

void MessageBoxRecorder::OnBox(std::function<void(const Box&)> NewCallback) {
  std::lock_guard<std::mutex> Lock(Mutex);
  Callback = std::move(NewCallback);
}

}  // namespace commtest
