// SPDX-License-Identifier: MIT
// The window against a board with real timing: exchanges run one at a time in the order asked
// while the message loop goes on, a click on a disabled button is never acted on later, a reply
// that comes after its exchange gave up is never shown as another command's, an unplugged board
// is found again, and a program told to end while it asks for its port stores nothing.
#include <QMouseEvent>
#include <QTimer>
#include <sstream>

#include "gui.h"
#include "main_window_fixture.h"

using testsupport::Dialog;
using testsupport::ProcessEventsUntil;

namespace {

// "<" for each command the board received and ">" for each reply it sent, in log order.
std::string Directions(const std::string& log) {
  std::string directions;
  std::istringstream lines(log);
  for (std::string line; std::getline(lines, line);) {
    if (line.find(" <- ") != std::string::npos) directions += '<';
    if (line.find(" -> ") != std::string::npos) directions += '>';
  }
  return directions;
}

void PostClick(QWidget* widget) {
  const QPointF at = QRectF(widget->rect()).center();
  const QPointF global = widget->mapToGlobal(at);
  for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
    QCoreApplication::postEvent(
        widget, new QMouseEvent(type, at, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
}

}  // namespace

TEST_F(MainWindowTest, ExchangesRunInTurnWhileTheMessageLoopGoesOn) {
  StartBoard({"--delay", "300", "--temps", "20,21,22,23", "--drift", "0"});
  Start();
  form->TempTimer->SetEnabled(false);  // the test ticks it itself
  form->Show();
  form->Load4Btn->SetFocus();

  // Each handler returns at once; what it asks for runs in turn, a poll that falls due twice
  // during an exchange runs once after it.
  form->Load1BtnClick(form);
  EXPECT_TRUE(form->ExchangesPending());
  form->TempTimerTimer(form);
  form->TempTimerTimer(form);
  form->Load2BtnClick(form);
  form->Load3BtnClick(form);
  EXPECT_EQ(form->Load1Btn->GetCaption(), "OFF") << "nothing waited for the reply";

  // The poll is under way: its buttons are off, and a click on one is dropped, not kept.
  ASSERT_TRUE(ProcessEventsUntil([&] { return BoardCommands().size() >= 2; })) << BoardLog();
  ASSERT_FALSE(form->Load1Btn->GetEnabled());
  PostClick(form->Load1Btn->Widget());
  bool servedDuringPoll = false;
  QTimer::singleShot(0, [&] { servedDuringPoll = form->ExchangesPending(); });

  ASSERT_TRUE(ProcessEventsUntil([&] { return !form->ExchangesPending(); }));
  EXPECT_TRUE(servedDuringPoll);
  EXPECT_EQ(BoardCommands(), (std::vector<std::string>{"AA", "BA", "BB", "BC", "BD", "AB", "AC"}));
  EXPECT_EQ(Directions(BoardLog()), "<><><><><><><>") << "one exchange at a time";
  EXPECT_EQ(form->Load1Btn->GetCaption(), "ВКЛ");
  EXPECT_EQ(form->Load3Btn->GetCaption(), "ВКЛ");
  EXPECT_EQ(form->Temp4->GetText(), "+23.0");
  EXPECT_EQ(form->StatBar->GetSimpleText(), "Нагрузка № 3 переключена.");
  EXPECT_EQ(form->GetActiveControl(), form->Load4Btn) << "focus is back where it was";
}

TEST_F(MainWindowTest, AReplyThatCameTooLateIsNeverShownAsAnothers) {
  // Late, but within the wait for a late reply.
  StartBoard({"--delay", std::to_string(ReplyTimeoutMs + LateReplyWaitMs / 2) + "@AA", "--loads-on",
              "2", "--temps", "20,21,22,23", "--drift", "0"});
  Start();
  form->TempTimer->SetEnabled(false);
  Run(&TMainForm::Load1BtnClick);
  EXPECT_EQ(form->StatBar->GetSimpleText(), "Нет ответа от контроллера.");
  EXPECT_EQ(form->Load1Btn->GetCaption(), "OFF");

  // Asked before load 1's late reply has come: "AB" goes out only after it.
  Run(&TMainForm::Load2BtnClick);
  EXPECT_EQ(form->Load2Btn->GetCaption(), "ВЫКЛ");
  EXPECT_EQ(form->StatBar->GetSimpleText(), "Нагрузка № 2 переключена.");

  // Asked after the late reply has come: it is dropped before the command goes out.
  Run(&TMainForm::Load1BtnClick);
  ASSERT_TRUE(ProcessEventsUntil([&] { return Directions(BoardLog()) == "<><><>"; })) << BoardLog();
  Run(&TMainForm::TempTimerTimer);
  EXPECT_EQ(form->Temp1->GetText(), "+20.0");
  EXPECT_EQ(form->Temp4->GetText(), "+23.0");
  EXPECT_EQ(BoardCommands(), (std::vector<std::string>{"AA", "AB", "AA", "BA", "BB", "BC", "BD"}));
}

TEST_F(MainWindowTest, AnUnpluggedBoardIsReportedAndFoundAgain) {
  const std::string link = dir + "/board-line";
  const std::vector<std::string> steady = {"--temps", "20,21,22,23", "--drift", "0"};
  StartBoard({"--hangup-after", "1"}, link);
  Start();
  form->TempTimer->SetEnabled(false);
  Run(&TMainForm::Load1BtnClick);
  EXPECT_EQ(form->Load1Btn->GetCaption(), "ВКЛ");
  ASSERT_TRUE(ProcessEventsUntil([&] { return !form->IOPort->GetOpen(); })) << "the hang-up";
  EXPECT_EQ(form->StatBar->GetSimpleText(), "Связь с контроллером потеряна.");
  Run(&TMainForm::TempTimerTimer);  // nothing to open yet
  EXPECT_FALSE(form->IOPort->GetOpen());
  EXPECT_EQ(form->StatBar->GetSimpleText(), "Связь с контроллером потеряна.");

  // Plugged in again: found at the next tick. Then unplugged and plugged in again before it.
  for (const char* hangup : {"5", ""}) {
    std::vector<std::string> options = steady;
    if (*hangup) options.insert(options.end(), {"--hangup-after", hangup});
    StartBoard(options, link);
    Run(&TMainForm::TempTimerTimer);
    EXPECT_TRUE(form->IOPort->GetOpen());
    EXPECT_EQ(form->Temp1->GetText(), "+20.0");
    EXPECT_EQ(form->StatBar->GetSimpleText(), "Опрос термометров завершен.");
    form->Temp1->SetText("");
    if (*hangup) {
      Run(&TMainForm::Load1BtnClick);
      ASSERT_TRUE(ProcessEventsUntil([&] { return !form->IOPort->GetOpen(); }));
    }
  }
  EXPECT_TRUE(dialogs.Dialogs().empty()) << "the outage raised no box";
  Application->DestroyComponents();

  // Started while the board is absent: told once, then looked for silently at each tick.
  StopBoard();
  Start();
  EXPECT_FALSE(form->IOPort->GetOpen());
  Run(&TMainForm::TempTimerTimer);
  Run(&TMainForm::TempTimerTimer);
  EXPECT_EQ(dialogs.Texts(), std::vector<std::string>{"Can't open COM port"});
  StartBoard(steady, link);
  Run(&TMainForm::TempTimerTimer);
  EXPECT_EQ(form->Temp4->GetText(), "+23.0");
}

TEST_F(MainWindowTest, EndingTheProgramWhileItAsksForThePortStoresNothing) {
  for (const bool duringInput : {false, true}) {
    SCOPED_TRACE(duringInput ? "during the input dialog" : "during the first box");
    dialogs.Clear();
    dialogs.OnBox([&](const Dialog&) {
      if (!duringInput) Application->Terminate();
      return IDOK;
    });
    dialogs.OnInput([&](const Dialog&) {
      if (duringInput) Application->Terminate();
    });
    Start();
    EXPECT_EQ(dialogs.Count(), duringInput ? 2u : 1u) << "nothing after the signal";
    TRegistry store(dir + "/user.reg");
    EXPECT_FALSE(store.OpenKey("\\Software\\Brennwick\\Zelvane", false));
    Application->DestroyComponents();
    Application->ResetTerminated();
  }
}
