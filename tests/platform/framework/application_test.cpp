// SPDX-License-Identifier: MIT
// Application object, message boxes and error reports, StrToInt/IntToStr, palette pages.
#include <framework/application.h>
#include <framework/registration.h>
#include <framework/sysutils.h>
#include <framework/thread.h>
#include <gtest/gtest.h>

#include <climits>
#include <optional>
#include <stdexcept>
#include <thread>
#include <vector>

#include "dialogs.h"
#include "sample_component.h"

TEST(SysUtilsTest, StrToIntAcceptsWholeNumbersOnly) {
  EXPECT_EQ(StrToInt("07"), 7);
  EXPECT_EQ(StrToInt("-3"), -3);
  EXPECT_EQ(StrToInt("+12"), 12);
  EXPECT_EQ(StrToInt("2147483647"), INT_MAX);
  EXPECT_EQ(StrToInt("-2147483648"), INT_MIN);
  for (const char* bad : {"", "abc", "99999999999", "2147483648", "-2147483649", "-", "+", " 5",
                          "5 ", "1.5", "0x10", "12a"}) {
    EXPECT_THROW(StrToInt(bad), EConvertError) << '"' << bad << '"';
  }
  try {
    StrToInt("abc");
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message, "'abc' is not a valid integer value");
  }
  EXPECT_EQ(StrToIntDef("x", 9), 9);
  EXPECT_EQ(IntToStr(-42), "-42");
  EXPECT_EQ(IntToStr(0), "0");
}

TEST(ApplicationTest, MessageBoxesGoThroughThePresenter) {
  testsupport::DialogRecorder recorder(IDCANCEL);
  EXPECT_EQ(Application->MessageBox("Can't open COM port", "COM port error", 16), IDCANCEL);
  EXPECT_EQ(MessageBoxA(nullptr, "hello", "cap", MB_OKCANCEL), IDCANCEL);
  const auto boxes = recorder.Dialogs();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].text, "Can't open COM port");
  EXPECT_EQ(boxes[0].caption, "COM port error");
  EXPECT_EQ(boxes[0].flags, 16u);
  EXPECT_EQ(boxes[1].text, "hello");
}

TEST(ApplicationTest, DefaultPresenterWritesToStderrAndAnswersOk) {
  testing::internal::CaptureStderr();
  const int answer = Application->MessageBox("text here", "caption here", MB_OK);
  const int yes = MessageBoxA(nullptr, "q", "c", MB_YESNO);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(answer, IDOK);
  EXPECT_EQ(yes, IDYES);
  EXPECT_NE(err.find("text here"), std::string::npos);
  EXPECT_NE(err.find("caption here"), std::string::npos);
}

TEST(ApplicationTest, StandardErrorReportUsesTitleAndFallsBackToMessageBox) {
  Application->SetTitle("Zelvane 0.1");
  {
    testsupport::DialogRecorder recorder;
    try {
      StrToInt("abc");
    } catch (...) {
      Application->HandleException();
    }
    try {
      throw 5;
    } catch (...) {
      Application->HandleException();
    }
    const auto errors = recorder.OfKind(testsupport::Dialog::Error);
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[0].text, "'abc' is not a valid integer value");
    EXPECT_EQ(errors[0].caption, "Zelvane 0.1");
    EXPECT_EQ(errors[1].text, "");
  }
  // Without an error presenter the report is a message box with an error icon.
  testsupport::DialogRecorder recorder;
  auto previous = Application->SetErrorReportPresenter(nullptr);
  Application->ShowException(Exception("Bad thing"));
  Application->SetErrorReportPresenter(previous);
  const auto boxes = recorder.OfKind(testsupport::Dialog::Box);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Bad thing");
  EXPECT_EQ(boxes[0].caption, "Zelvane 0.1");
  EXPECT_EQ(boxes[0].flags, MB_OK | MB_ICONERROR);
}

TEST(ApplicationTest, TerminateSetsTheFlagAndWakesTheLoop) {
  int wakes = 0;
  auto previous = Application->SetWakeMainThreadHandler([&] { ++wakes; });
  Application->ResetTerminated();
  EXPECT_FALSE(Application->Terminated());
  Application->Terminate();
  EXPECT_TRUE(Application->Terminated());
  EXPECT_EQ(wakes, 1);
  Application->ResetTerminated();
  Application->SetWakeMainThreadHandler(previous);
}

namespace {

// A form stand-in: records whether AfterConstruction saw the finished object.
class TProbeForm : public TSample {
 public:
  explicit TProbeForm(TComponent* AOwner) : TSample(AOwner) {}
  void AfterConstruction() override { Ready = Constructed; }
  bool Constructed = true;  // set by the most-derived constructor's member initialisers
  bool Ready = false;
};

class RecordingLoop : public TMessageLoop {
 public:
  void Run(TComponent* MainForm) override { Shown.push_back(MainForm); }
  void ProcessMessages() override { ++Processed; }
  std::vector<TComponent*> Shown;
  int Processed = 0;
};

}  // namespace

TEST(ApplicationTest, CreateFormRunAndInputBox) {
  RecordingLoop loop;
  TMessageLoop* previous = Application->SetMessageLoop(&loop);
  Application->ResetTerminated();

  TProbeForm* first = nullptr;
  TProbeForm* second = nullptr;
  Application->CreateForm(first);
  Application->CreateForm(second);
  EXPECT_TRUE(first->Ready);
  EXPECT_EQ(first->Owner(), Application);
  EXPECT_EQ(Application->GetMainForm(), first);  // the first form created is the main form

  Application->Run();
  Application->ProcessMessages();
  EXPECT_EQ(loop.Shown, (std::vector<TComponent*>{first}));
  EXPECT_EQ(loop.Processed, 1);
  Application->Terminate();  // asked for before the loop runs: Run returns at once
  Application->Run();
  EXPECT_EQ(loop.Shown.size(), 1u);
  Application->ResetTerminated();

  delete first;  // the main form leaves with its removal
  EXPECT_EQ(Application->GetMainForm(), nullptr);
  delete second;
  Application->SetMessageLoop(previous);

  std::vector<std::string> asked;
  auto previousInput =
      Application->SetInputBoxPresenter([&](const std::string& caption, const std::string& prompt,
                                            const std::string& text) -> std::optional<std::string> {
        asked.push_back(caption + "|" + prompt + "|" + text);
        if (asked.size() == 1) return "07";
        return std::nullopt;  // cancelled
      });
  EXPECT_EQ(InputBox("Zelvane 0.1", "Enter", "1"), "07");
  EXPECT_EQ(InputBox("Zelvane 0.1", "Enter", "1"), "1");
  EXPECT_EQ(asked.front(), "Zelvane 0.1|Enter|1");
  Application->SetInputBoxPresenter(previousInput);
}

// Without a GUI loop, Run delivers synchronised calls until a worker terminates the application.
TEST(ApplicationTest, RunWithoutLoopDeliversCallsUntilTerminated) {
  Application->ResetTerminated();
  bool delivered = false;
  std::thread worker([&] {
    TThread::ForceQueue(nullptr, [&] { delivered = true; });
    Application->Terminate();
  });
  Application->Run();
  worker.join();
  CheckSynchronize();
  EXPECT_TRUE(delivered);
  Application->ResetTerminated();
}

TEST(RegistrationTest, PalettePagesListTheirClassesOnce) {
  RegisterComponents("Samples", {&TSample::ClassInfo()});
  RegisterComponents("Samples", {&TSample::ClassInfo(), &TSampleChild::ClassInfo()});
  RegisterComponents("Other", {&TSampleChild::ClassInfo()});
  auto pages = PalettePages();
  ASSERT_GE(pages.size(), 2u);
  EXPECT_NE(std::find(pages.begin(), pages.end(), "Samples"), pages.end());
  auto classes = PaletteClasses("Samples");
  ASSERT_EQ(classes.size(), 2u);
  EXPECT_EQ(classes[0]->Name(), "TSample");
  EXPECT_EQ(classes[1]->Name(), "TSampleChild");
  EXPECT_TRUE(PaletteClasses("Nope").empty());
  EXPECT_EQ(FindClass("tsample"), &TSample::ClassInfo());  // registered for creation too
}
