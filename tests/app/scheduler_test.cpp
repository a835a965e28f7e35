// SPDX-License-Identifier: MIT
// The one-shot scheduler against the board simulator, with the clock set by the test: it fires in
// its minute with the chosen loads in order, never for a time that does not exist, at the next
// tick when armed within its minute, and a box that holds no number disarms it with one report.
#include "gui.h"
#include "main_window_fixture.h"

using testsupport::Dialog;

namespace {

TTimeOfDay gNow{0, 0};
TTimeOfDay FakeClock() { return gNow; }

class SchedulerTest : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    savedClock = LocalTimeOfDay;
    LocalTimeOfDay = FakeClock;
    StartBoard();
    Start();
  }
  void TearDown() override {
    LocalTimeOfDay = savedClock;
    MainWindowTest::TearDown();
  }
  void Arm(const std::string& hour, const std::string& minute) {
    form->SchedHourBox->SetText(hour);
    form->SchedMinBox->SetText(minute);
    form->ActiveCheck->SetChecked(true);
  }
  TTimeOfDay (*savedClock)() = nullptr;
};

}  // namespace

TEST_F(SchedulerTest, FiresInItsMinuteWithTheChosenLoadsThenDisarms) {
  gNow = {14, 29};
  form->Load2Check->SetChecked(true);
  form->Load4Check->SetChecked(true);
  Arm("14", "30");
  EXPECT_EQ(form->StatBar->GetSimpleText(), "Планировщик активирован!");
  EXPECT_TRUE(form->SchedTimer->Active());

  bool boxesEmptyAtBox = false, timerOffAtBox = false;
  dialogs.OnBox([&](const Dialog&) {
    boxesEmptyAtBox = form->SchedHourBox->GetText().empty() && form->SchedMinBox->GetText().empty();
    timerOffAtBox = !form->SchedTimer->Active();
    return IDOK;
  });
  Run(&TMainForm::SchedTimerTimer);  // 14:29: not yet
  EXPECT_TRUE(BoardCommands().empty());
  gNow = {14, 30};
  ASSERT_TRUE(testsupport::ProcessEventsUntil([&] { return dialogs.Count() > 0; }));

  EXPECT_EQ(BoardCommands(), (std::vector<std::string>{"AB", "AD"}));
  EXPECT_EQ(form->Load2Btn->GetCaption(), "ВКЛ");
  EXPECT_EQ(form->Load4Btn->GetCaption(), "ВКЛ");
  const auto boxes = dialogs.OfKind(Dialog::Box);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Задача запущена!");
  EXPECT_EQ(boxes[0].caption, "");
  EXPECT_EQ(boxes[0].flags, static_cast<unsigned>(MB_OK));
  EXPECT_TRUE(boxesEmptyAtBox);
  EXPECT_TRUE(timerOffAtBox);
  EXPECT_EQ(form->StatBar->GetSimpleText(), "Задача планировщика выполнена!");
  EXPECT_FALSE(form->ActiveCheck->GetChecked());
  EXPECT_FALSE(form->SchedTimer->Active());
}

TEST_F(SchedulerTest, NeverFiresForATimeThatDoesNotExistButAtOnceWithinItsMinute) {
  Arm("24", "60");
  for (TTimeOfDay t : {TTimeOfDay{0, 0}, TTimeOfDay{23, 59}, TTimeOfDay{0, 60 % 60}}) {
    gNow = t;
    Run(&TMainForm::SchedTimerTimer);
  }
  EXPECT_TRUE(dialogs.Dialogs().empty());
  EXPECT_TRUE(form->ActiveCheck->GetChecked()) << "stays armed";

  // Unchecking stops the ticks and leaves boxes and status as they are.
  form->StatBar->SetSimpleText("что было");
  form->ActiveCheck->SetChecked(false);
  EXPECT_FALSE(form->SchedTimer->Active());
  EXPECT_EQ(form->SchedHourBox->GetText(), "24");
  EXPECT_EQ(form->StatBar->GetSimpleText(), "что было");

  // Armed during its minute with no load chosen: fires at the next tick, sends nothing.
  gNow = {7, 5};
  Arm("07", "05");
  ASSERT_TRUE(testsupport::ProcessEventsUntil([&] { return dialogs.Count() > 0; },
                                              std::chrono::milliseconds(3000)));
  EXPECT_TRUE(BoardCommands().empty());
  EXPECT_EQ(form->SchedHourBox->GetText(), "");
  EXPECT_FALSE(form->ActiveCheck->GetChecked());
}

TEST_F(SchedulerTest, ABoxWithoutANumberDisarmsWithOneReport) {
  gNow = {10, 0};
  Arm("десять", "0");
  ASSERT_TRUE(testsupport::ProcessEventsUntil([&] { return dialogs.Count() > 0; }));
  EXPECT_FALSE(form->ActiveCheck->GetChecked());
  EXPECT_FALSE(form->SchedTimer->Active());
  // Three more ticks' time: no second report.
  testsupport::ProcessEventsUntil([] { return false; }, std::chrono::milliseconds(1600));
  const auto errors = dialogs.OfKind(Dialog::Error);
  ASSERT_EQ(dialogs.Count(), 1u);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].text, "'десять' is not a valid integer value");
  EXPECT_EQ(form->SchedHourBox->GetText(), "десять") << "nothing is cleared";
}
