#include "test_support.h"

ReportRecorder::ReportRecorder(int Answer) {
  previousBox_ = Application->SetMessageBoxPresenter(
      [this, Answer](const std::string& text, const std::string& caption, unsigned flags) {
        boxes.push_back({text, caption, flags});
        return Answer;
      });
  previousError_ = Application->SetErrorReportPresenter(
      [this](const std::string& message, const std::string& caption) {
        errors.emplace_back(message, caption);
      });
}

ReportRecorder::~ReportRecorder() {
  Application->SetMessageBoxPresenter(previousBox_);
  Application->SetErrorReportPresenter(previousError_);
}
