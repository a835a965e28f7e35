// SPDX-License-Identifier: MIT
#include "gui.h"

#include <gtest/gtest.h>
#include <widgets/frontend.h>

#include <QElapsedTimer>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace testsupport {

bool ProcessEventsUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  QElapsedTimer clock;
  clock.start();
  QTimer recheck;  // wakes the wait below now and then, events or not
  recheck.start(5);
  while (!done()) {
    if (clock.elapsed() >= timeout.count()) return done();
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  }
  return true;
}

}  // namespace testsupport

namespace {

QtMessageHandler gNextHandler = nullptr;

// The offscreen platform says so for every window operation it leaves out; nothing else is lost.
void QuietPlatformNotes(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (text.startsWith("This plugin does not support")) return;
  if (gNextHandler != nullptr)
    gNextHandler(type, context, text);
  else
    std::fprintf(stderr, "%s\n", qPrintable(text));
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  gNextHandler = qInstallMessageHandler(QuietPlatformNotes);
  testing::InitGoogleTest(&argc, argv);
  // The program's texts are Russian, and so are the standard dialogs' buttons.
  auto frontEnd =
      std::make_unique<TWidgetsFrontEnd>(argc, argv, TProgramIdentity{.Language = "ru"});
  const int result = RUN_ALL_TESTS();
  frontEnd.reset();
  return result;
}
