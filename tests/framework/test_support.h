// Helpers of the framework tests (the helpers of every suite are in tests/support).
#pragma once

#include <framework/application.h>

#include <string>
#include <utility>
#include <vector>

// Records the error reports and message boxes shown while it lives; boxes answer Answer.
class ReportRecorder {
 public:
  struct Box {
    std::string text, caption;
    unsigned flags;
  };
  explicit ReportRecorder(int Answer = IDOK);
  ~ReportRecorder();
  std::vector<std::pair<std::string, std::string>> errors;  // message, caption
  std::vector<Box> boxes;

 private:
  TMessageBoxPresenter previousBox_;
  TErrorReportPresenter previousError_;
};
