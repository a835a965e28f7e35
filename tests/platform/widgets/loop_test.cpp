// SPDX-License-Identifier: MIT
// The front end's loop and dialogs: Run and Terminate (also from a worker and from a signal),
// synchronised calls from the loop, an owner-less box that leaves the window usable and its
// timers ticking, the input box, and minimising without a tray.
#include <framework/thread.h>
#include <gtest/gtest.h>
#include <widgets/extctrls.h>
#include <widgets/forms.h>
#include <widgets/stdctrls.h>
#include <widgets/trayicon.h>

#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <csignal>
#include <thread>

#include "gui.h"

using namespace testsupport;

namespace {

// A form built in code: a button and a fast timer.
struct LoopFixture : testing::Test {
  void SetUp() override {
    Application->ResetTerminated();
    Application->CreateForm(form);
    button = new TButton(form);
    button->SetParent(form);
    button->SetBounds(8, 8, 75, 25);
    button->OnClick = [this](TObject*) { ++clicks; };
    timer = new TTimer(form);
    timer->SetInterval(10);
    timer->OnTimer = [this](TObject*) { ++ticks; };
  }
  void TearDown() override {
    Application->DestroyComponents();
    Application->ResetTerminated();
  }
  TForm* form = nullptr;
  TButton* button = nullptr;
  TTimer* timer = nullptr;
  int clicks = 0, ticks = 0;
};

// Runs Action from the event loop once the current call has started waiting.
void Soon(std::function<void()> Action) { QTimer::singleShot(0, std::move(Action)); }

}  // namespace

TEST_F(LoopFixture, RunShowsTheMainFormAndEndsOnTerminateFromAnotherThread) {
  bool delivered = false;
  std::thread worker;
  Soon([&] {
    worker = std::thread([&] {  // the call runs before the loop ends
      TThread::Queue(nullptr, [&] { delivered = form->Showing(); });
      Application->Terminate();
    });
  });
  Application->Run();
  worker.join();
  EXPECT_TRUE(delivered) << "a synchronised call ran from the loop while the form was shown";

  Application->ResetTerminated();
  Soon([&] { form->Close(); });  // closing the main form ends the application
  Application->Run();
  EXPECT_TRUE(Application->Terminated());

  Application->Run();  // terminated before: returns at once
}

TEST_F(LoopFixture, ATerminatingSignalEndsTheApplication) {
  Soon([] { std::raise(SIGTERM); });
  Application->Run();
  EXPECT_TRUE(Application->Terminated());
}

TEST_F(LoopFixture, AnOwnerlessBoxLeavesTheWindowUsableAndItsTimersTicking) {
  form->Show();
  QString text, caption;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  int ticksBefore = 0;
  Soon([&] {
    ticksBefore = ticks;
    ASSERT_TRUE(ProcessEventsUntil([&] { return VisibleTopLevel<QMessageBox>() != nullptr; }));
    ASSERT_TRUE(ProcessEventsUntil([&] { return ticks >= ticksBefore + 3; }));
    QTest::mouseClick(button->Widget(), Qt::LeftButton);
    QMessageBox* box = VisibleTopLevel<QMessageBox>();
    text = box->text(), caption = box->windowTitle(), icon = box->icon();
    box->button(QMessageBox::Ok)->click();
  });
  EXPECT_EQ(MessageBoxA(nullptr, "Порт не выбран!", "АХТУНГ!", MB_OK | MB_ICONERROR), IDOK);
  EXPECT_EQ(clicks, 1) << "the window took a click while the box was open";
  EXPECT_EQ(text, "Порт не выбран!");
  EXPECT_EQ(caption, "АХТУНГ!");
  EXPECT_EQ(icon, QMessageBox::Critical);
  EXPECT_EQ(VisibleTopLevel<QMessageBox>(), nullptr);

  // A Yes/No box answers the button pressed.
  Soon([&] {
    ASSERT_TRUE(ProcessEventsUntil([&] { return VisibleTopLevel<QMessageBox>() != nullptr; }));
    VisibleTopLevel<QMessageBox>()->button(QMessageBox::No)->click();
  });
  EXPECT_EQ(MessageBoxA(nullptr, "?", "", MB_YESNO | MB_ICONQUESTION), IDNO);

  // A Yes/No/Cancel box offers the three and answers Cancel when closed without a button.
  QMessageBox::StandardButtons offered;
  Soon([&] {
    ASSERT_TRUE(ProcessEventsUntil([&] { return VisibleTopLevel<QMessageBox>() != nullptr; }));
    offered = VisibleTopLevel<QMessageBox>()->standardButtons();
    VisibleTopLevel<QMessageBox>()->close();
  });
  EXPECT_EQ(MessageBoxA(nullptr, "?", "", MB_YESNOCANCEL), IDCANCEL);
  EXPECT_EQ(offered, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
}

// The buttons speak the program's language whatever the locale (the tests run in the C locale).
TEST_F(LoopFixture, InputBoxReturnsTheTextOrOnCancelTheDefault) {
  QString label, shown;
  QStringList buttons;
  const auto answer = [&](bool accept) {
    Soon([&, accept] {
      ASSERT_TRUE(ProcessEventsUntil([&] { return VisibleTopLevel<QInputDialog>() != nullptr; }));
      QInputDialog* dialog = VisibleTopLevel<QInputDialog>();
      label = dialog->labelText(), shown = dialog->textValue();
      for (const QPushButton* button : dialog->findChildren<QPushButton*>())
        buttons << button->text();
      dialog->setTextValue("07");
      accept ? dialog->accept() : dialog->reject();
    });
  };
  answer(true);
  EXPECT_EQ(InputBox("Zelvane 0.1", "Введите номер порта", "1"), "07");
  EXPECT_EQ(label, "Введите номер порта");
  EXPECT_EQ(shown, "1");
  EXPECT_EQ(buttons.join(",").toStdString(), "OK,Отмена") << "Qt's Russian keeps OK as it is";
  answer(false);
  EXPECT_EQ(InputBox("Zelvane 0.1", "Введите номер порта", "1"), "1");
}

TEST_F(LoopFixture, WithoutATrayMinimisingNeverHidesTheWindow) {
  ASSERT_FALSE(TTrayIcon::TrayAvailable()) << "offscreen there is no tray";
  auto* tray = new TTrayIcon(form);
  tray->SetHide(true);
  tray->SetRestoreOn(imDoubleClick);
  tray->SetVisible(true);
  form->Show();
  form->SetWindowState(wsMinimized);
  QCoreApplication::processEvents();
  EXPECT_FALSE(tray->IconShown());
  EXPECT_TRUE(form->Showing()) << "the user could not get the window back otherwise";
}
