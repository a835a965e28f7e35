// SPDX-License-Identifier: MIT
// GUI tests: the test program's main makes the Qt front end (offscreen unless QT_QPA_PLATFORM
// says otherwise) before any test runs and destroys it after the last; link
// zelvane_gui_test_support (which provides main) instead of gtest_main. Main thread only.
#pragma once

#include <QApplication>
#include <QWidget>
#include <chrono>
#include <functional>

namespace testsupport {

// Handles Qt events (and with them the calls workers queue for the main thread) until `done`
// holds or `timeout` passes; returns its last value.
bool ProcessEventsUntil(const std::function<bool()>& done,
                        std::chrono::milliseconds timeout = std::chrono::seconds(10));

// The visible top-level widget of class W, or null.
template <class W>
W* VisibleTopLevel() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* typed = qobject_cast<W*>(w); typed != nullptr && typed->isVisible()) return typed;
  return nullptr;
}

}  // namespace testsupport
