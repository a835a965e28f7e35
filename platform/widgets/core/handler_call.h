// SPDX-License-Identifier: MIT
// Calling a program's handler from a front end's event loop. Internal to the front ends.
// Threads: main thread.
#pragma once

#include <framework/application.h>

namespace widgets_detail {

// Calls Handler(Sender, Args...); an exception goes to the standard error report. Nothing
// escapes into the toolkit's event loop, which cannot unwind: a report that throws in turn is
// dropped.
template <class Handler, class... Args>
void CallHandler(const Handler& H, TObject* Sender, Args... A) {
  try {
    H(Sender, A...);
  } catch (...) {
    try {
      Application->HandleException(Sender);
    } catch (...) {
      // A failing error report must not unwind through the event loop.
    }
  }
}

}  // namespace widgets_detail
