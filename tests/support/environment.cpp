// SPDX-License-Identifier: MIT
#include "environment.h"

#include <stdlib.h>

#include <atomic>

#if defined(_WIN32)
#include <process.h>
#else
#include <unistd.h>
#endif

namespace testsupport {

namespace {

#if defined(_WIN32)
// The C runtime's environment, which getenv reads; an empty value removes the variable.
void setenv(const char* name, const char* value, int) { _putenv_s(name, value); }
void unsetenv(const char* name) { _putenv_s(name, ""); }
int getpid() { return _getpid(); }
#endif

}  // namespace

ScopedEnv::ScopedEnv(std::string name, const std::optional<std::string>& value)
    : name_(std::move(name)) {
  if (const char* old = getenv(name_.c_str())) old_ = old;
  if (value)
    setenv(name_.c_str(), value->c_str(), 1);
  else
    unsetenv(name_.c_str());
}

ScopedEnv::~ScopedEnv() {
  if (old_)
    setenv(name_.c_str(), old_->c_str(), 1);
  else
    unsetenv(name_.c_str());
}

std::string UniqueName(const std::string& prefix) {
  static std::atomic<int> counter{0};
  return prefix + "-" + std::to_string(getpid()) + "-" + std::to_string(++counter);
}

}  // namespace testsupport
