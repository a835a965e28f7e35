// Helpers shared by the framework tests.
#pragma once

#include <framework/application.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

// Polls Predicate (running main-thread calls meanwhile) until it holds or TimeoutMs passes.
bool WaitUntil(const std::function<bool()>& Predicate, int TimeoutMs = 10000);

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
