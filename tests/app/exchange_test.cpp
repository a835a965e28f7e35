// SPDX-License-Identifier: MIT
// The exchanges with the board, end to end: the window offscreen, the real board simulator on a
// pseudo-terminal. Load buttons, the thermometer poll, the sensor search, replies that are split,
// too long, unasked or cut by a zero byte, a silent board and a closed port.
#include <QEvent>
#include <QPushButton>
#include <chrono>
#include <sstream>

#include "gui.h"
#include "main_window_fixture.h"

using testsupport::Dialog;
using Clock = std::chrono::steady_clock;

namespace {

// Records each change of the five poll buttons' enabled state with the status text of the moment.
class EnabledWatcher : public QObject {
 public:
  explicit EnabledWatcher(TMainForm* form) : form_(form) {
    for (TButton* b : Buttons()) b->Widget()->installEventFilter(this);
  }
  std::vector<TButton*> Buttons() const {
    return {form_->Load1Btn, form_->Load2Btn, form_->Load3Btn, form_->Load4Btn, form_->SearchBtn};
  }
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::EnabledChange) {
      const auto* w = static_cast<QWidget*>(watched);
      changes.push_back((w->isEnabled() ? "+" : "-") + w->objectName().toStdString() + " " +
                        form_->StatBar->GetSimpleText());
    }
    return false;
  }
  std::vector<std::string> changes;

 private:
  TMainForm* form_;
};

std::vector<std::string> Expected(const char* sign, const std::string& status) {
  std::vector<std::string> out;
  for (const char* name : {"Load1Btn", "Load2Btn", "Load3Btn", "Load4Btn", "SearchBtn"})
    out.push_back(sign + std::string(name) + " " + status);
  return out;
}

}  // namespace

TEST_F(MainWindowTest, LoadButtonsSwitchTheBoardsLoadsAndShowItsReplies) {
  StartBoard({"--loads-on", "3"});
  Start();
  ASSERT_TRUE(form->IOPort->GetOpen()) << BoardLog();
  const struct {
    TButton* button;
    void (TMainForm::*click)(TObject*);
    const char* status;
    const char* reply;
  } loads[] = {{form->Load1Btn, &TMainForm::Load1BtnClick, "Нагрузка № 1 переключена.", "ВКЛ"},
               {form->Load2Btn, &TMainForm::Load2BtnClick, "Нагрузка № 2 переключена.", "ВКЛ"},
               {form->Load3Btn, &TMainForm::Load3BtnClick, "Нагрузка № 3 переключена.", "ВЫКЛ"},
               {form->Load4Btn, &TMainForm::Load4BtnClick, "Нагрузка № 4 переключена.", "ВКЛ"}};
  for (const auto& load : loads) {
    Run(load.click);
    EXPECT_EQ(load.button->GetCaption(), load.reply);
    EXPECT_EQ(form->StatBar->GetSimpleText(), load.status);
    EXPECT_TRUE(ReplyBufferIsClear());
  }
  // A real click switches load 2 back.
  static_cast<QPushButton*>(form->Load2Btn->Widget())->click();
  ASSERT_TRUE(testsupport::ProcessEventsUntil([&] { return !form->ExchangesPending(); }));
  EXPECT_EQ(form->Load2Btn->GetCaption(), "ВЫКЛ");
  EXPECT_EQ(BoardCommands(), (std::vector<std::string>{"AA", "AB", "AC", "AD", "AB"}));
  EXPECT_TRUE(dialogs.Dialogs().empty());
}

// The four thermometers in order, each command only after the previous reply; the five buttons
// are off meanwhile and the status tells the poll's start and end.
TEST_F(MainWindowTest, ThermometerPollReadsTheFourInTurn) {
  StartBoard({"--temps", "23.5,-4,20,21.5", "--drift", "0", "--delay", "20", "--sensors", "1,2,4"});
  Start();
  for (TButton* b :
       {form->Load1Btn, form->Load2Btn, form->Load3Btn, form->Load4Btn, form->SearchBtn})
    b->Widget()->setObjectName(QString::fromStdString(b->GetName()));
  EnabledWatcher watcher(form);
  form->ActiveCheck->SetEnabled(true);
  Run(&TMainForm::TempTimerTimer);

  EXPECT_EQ(form->Temp1->GetText(), "+23.5");
  EXPECT_EQ(form->Temp2->GetText(), "-4.0");
  EXPECT_EQ(form->Temp3->GetText(), "Нет") << "the board's own text for a missing sensor";
  EXPECT_EQ(form->Temp4->GetText(), "+21.5");
  EXPECT_EQ(form->StatBar->GetSimpleText(), "Опрос термометров завершен.");
  auto expected = Expected("-", "Идет опрос термометров...");
  const auto enabled = Expected("+", "Опрос термометров завершен.");
  expected.insert(expected.end(), enabled.begin(), enabled.end());
  EXPECT_EQ(watcher.changes, expected);
  EXPECT_TRUE(ReplyBufferIsClear());

  // Received and answered strictly in turn: "<-" (command) and "->" (reply) alternate.
  EXPECT_EQ(BoardCommands(), (std::vector<std::string>{"BA", "BB", "BC", "BD"}));
  std::string directions;
  std::istringstream lines(BoardLog());
  for (std::string line; std::getline(lines, line);) {
    if (line.find(" <- ") != std::string::npos) directions += '<';
    if (line.find(" -> ") != std::string::npos) directions += '>';
  }
  EXPECT_EQ(directions, "<><><><>");
}

// The search's box shows the reply and leaves the window usable: a poll runs while it is open.
TEST_F(MainWindowTest, SensorSearchShowsTheCountWhileThePollGoesOn) {
  StartBoard({"--sensors", "1,3,4", "--temps", "20,21,22,23", "--drift", "0"});
  Start();
  std::string polledDuringBox;
  dialogs.OnBox([&](const Dialog&) {
    EXPECT_TRUE(ReplyBufferIsClear()) << "the reply was taken before the box";
    Run(&TMainForm::TempTimerTimer);
    polledDuringBox = form->Temp4->GetText();
    return IDOK;
  });
  Run(&TMainForm::SearchBtnClick);
  const auto boxes = dialogs.OfKind(Dialog::Box);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "3");
  EXPECT_EQ(boxes[0].caption, "Поиск датчиков");
  EXPECT_EQ(boxes[0].flags, static_cast<unsigned>(MB_OK));
  EXPECT_EQ(polledDuringBox, "+23.0");
  EXPECT_EQ(form->StatBar->GetSimpleText(), "Опрос термометров завершен.")
      << "the search itself writes no status";
}

// Every reply whole and in its own field, whatever the board and its USB adapter do to it:
// replies in pieces (a latency timer's, and pieces far apart), over-long replies, unasked bytes,
// and on the next poll with a clean board; a zero byte still ends a reply's text.
TEST_F(MainWindowTest, EveryReplyIsShownWholeInItsOwnField) {
  StartBoard({"--usb-latency", "16",
              "--temps",       "23.5,20,21,22",
              "--drift",       "0",
              "--split",       "2:20@BA:1",
              "--long-reply",  "8@BB:1",
              "--split",       "1:60@BC:1",
              "--unasked",     "Сбой:300@BD:1",
              "--split",       "1:150@AA:1",
              "--long-reply",  "25@AB:1",
              "--zero-byte",   "1@AC:1"});
  Start();
  form->TempTimer->SetEnabled(false);
  DWORD arrived = 0;  // bytes the port held as it told the window that bytes had come
  const TCommDataEvent received = form->IOPort->OnDataReceived;
  form->IOPort->OnDataReceived = [&](TObject* Sender, DWORD Count) {
    arrived += form->IOPort->GetInBuffUsed();
    received(Sender, Count);
  };
  const auto expectTemperatures = [&](const char* when) {
    SCOPED_TRACE(when);
    EXPECT_EQ(form->Temp1->GetText(), "+23.5");
    EXPECT_EQ(form->Temp2->GetText(), "+20.0");
    EXPECT_EQ(form->Temp3->GetText(), "+21.0");
    EXPECT_EQ(form->Temp4->GetText(), "+22.0");
    EXPECT_EQ(form->StatBar->GetSimpleText(), "Опрос термометров завершен.");
  };

  Run(&TMainForm::TempTimerTimer);
  expectTemperatures("faulty poll");
  // The unasked bytes come 300 ms later, while nothing is asked: they are dropped, not kept for
  // the next reply.
  arrived = 0;
  ASSERT_TRUE(testsupport::ProcessEventsUntil([&] { return arrived >= 4; })) << BoardLog();
  EXPECT_EQ(form->IOPort->GetInBuffUsed(), 0u);

  Run(&TMainForm::Load1BtnClick);
  EXPECT_EQ(form->Load1Btn->GetCaption(), "ВКЛ") << "one byte every 150 ms";
  // A reply that fills the whole buffer with no zero byte shows its 20 characters, no more; the
  // 5 bytes beyond them are nobody's reply.
  Run(&TMainForm::Load2BtnClick);
  EXPECT_EQ(form->Load2Btn->GetCaption(), "ВКЛ" + std::string(17, '#'));
  Run(&TMainForm::Load3BtnClick);
  EXPECT_EQ(form->Load3Btn->GetCaption(), "В") << "cut at the zero byte";
  EXPECT_TRUE(ReplyBufferIsClear());
  Run(&TMainForm::Load4BtnClick);
  EXPECT_EQ(form->Load4Btn->GetCaption(), "ВКЛ");

  Run(&TMainForm::TempTimerTimer);
  expectTemperatures("clean poll");
  EXPECT_EQ(BoardCommands(), (std::vector<std::string>{"BA", "BB", "BC", "BD", "AA", "AB", "AC",
                                                       "AD", "BA", "BB", "BC", "BD"}));
}

// A silent board: the exchange gives up after its bound and says so; a silent thermometer costs
// only its own field; the window keeps working.
TEST_F(MainWindowTest, SilentBoardOrClosedPortLeaveTheWindowResponsive) {
  StartBoard({"--silent", "AA", "--silent", "BB", "--temps", "20,21,22,23", "--drift", "0"});
  Start();
  auto started = Clock::now();
  Run(&TMainForm::Load1BtnClick);
  auto waited = Clock::now() - started;
  EXPECT_EQ(form->StatBar->GetSimpleText(), "Нет ответа от контроллера.");
  EXPECT_EQ(form->Load1Btn->GetCaption(), "OFF");
  EXPECT_GE(waited, std::chrono::milliseconds(ReplyTimeoutMs - 1)) << "to the timer's 1 ms grain";
  EXPECT_LT(waited, std::chrono::milliseconds(ReplyTimeoutMs + 1500));

  Run(&TMainForm::TempTimerTimer);
  EXPECT_EQ(form->Temp1->GetText(), "+20.0");
  EXPECT_EQ(form->Temp2->GetText(), "Нет данных");
  EXPECT_EQ(form->Temp3->GetText(), "+22.0");
  EXPECT_EQ(form->Temp4->GetText(), "+23.0");
  EXPECT_EQ(form->StatBar->GetSimpleText(), "Нет ответа от контроллера.");
  EXPECT_EQ(BoardCommands(), (std::vector<std::string>{"AA", "BA", "BB", "BC", "BD"}));
  for (TButton* b :
       {form->Load1Btn, form->Load2Btn, form->Load3Btn, form->Load4Btn, form->SearchBtn})
    EXPECT_TRUE(b->GetEnabled());
  EXPECT_TRUE(dialogs.OfKind(Dialog::Error).empty());
  Application->DestroyComponents();

  // A port that did not open: nothing is sent, nothing waited for.
  testsupport::ScopedPortEnv nowhere(5, dir + "/no-such-device");
  dialogs.Clear();
  Start();
  ASSERT_FALSE(form->IOPort->GetOpen());
  EXPECT_EQ(dialogs.OfKind(Dialog::Box).at(0).text, "Can't open COM port");
  started = Clock::now();
  Run(&TMainForm::TempTimerTimer);
  Run(&TMainForm::Load4BtnClick);
  Run(&TMainForm::SearchBtnClick);
  EXPECT_LT(Clock::now() - started, std::chrono::milliseconds(500));
  EXPECT_EQ(form->StatBar->GetSimpleText(), "Порт не открыт.");
  EXPECT_EQ(form->Temp1->GetText(), "Нет данных");
  EXPECT_TRUE(form->SearchBtn->GetEnabled());
}
