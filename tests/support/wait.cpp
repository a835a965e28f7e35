// SPDX-License-Identifier: MIT
#include "wait.h"

#include <framework/thread.h>

#include <thread>

namespace testsupport {

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return done();
    std::this_thread::sleep_for(200us);
  }
  return true;
}

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return done();
    CheckSynchronize(5);
  }
  return true;
}

}  // namespace testsupport
