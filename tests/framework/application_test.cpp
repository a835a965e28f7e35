// Application object, message boxes and error reports, StrToInt/IntToStr, palette pages.
#include <framework/application.h>
#include <framework/registration.h>
#include <framework/sysutils.h>
#include <gtest/gtest.h>

#include <climits>
#include <stdexcept>

#include "sample_component.h"
#include "test_support.h"

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
  ReportRecorder recorder(IDCANCEL);
  EXPECT_EQ(Application->MessageBox("Can't open COM port", "COM port error", 16), IDCANCEL);
  EXPECT_EQ(MessageBoxA(nullptr, "hello", "cap", MB_OKCANCEL), IDCANCEL);
  ASSERT_EQ(recorder.boxes.size(), 2u);
  EXPECT_EQ(recorder.boxes[0].text, "Can't open COM port");
  EXPECT_EQ(recorder.boxes[0].caption, "COM port error");
  EXPECT_EQ(recorder.boxes[0].flags, 16u);
  EXPECT_EQ(recorder.boxes[1].text, "hello");
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
    ReportRecorder recorder;
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
    ASSERT_EQ(recorder.errors.size(), 2u);
    EXPECT_EQ(recorder.errors[0].first, "'abc' is not a valid integer value");
    EXPECT_EQ(recorder.errors[0].second, "Zelvane 0.1");
    EXPECT_EQ(recorder.errors[1].first, "");
  }
  // Without an error presenter the report is a message box with an error icon.
  ReportRecorder boxes;
  auto previous = Application->SetErrorReportPresenter(nullptr);
  Application->ShowException(Exception("Bad thing"));
  Application->SetErrorReportPresenter(previous);
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_EQ(boxes.boxes[0].text, "Bad thing");
  EXPECT_EQ(boxes.boxes[0].caption, "Zelvane 0.1");
  EXPECT_EQ(boxes.boxes[0].flags, MB_OK | MB_ICONERROR);
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
