// SPDX-License-Identifier: MIT
// The main window as its description builds it, and start-up: the first run that asks for the
// port, a later start that opens it, a damaged or incomplete store, and closing the window.
#include <dirent.h>
#include <serial/virtual_cable.h>

#include <QApplication>
#include <QFontMetrics>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTest>
#include <fstream>
#include <mutex>
#include <thread>

#include "Zelvane.h"
#include "gui.h"
#include "main_window_fixture.h"

using testsupport::Dialog;

namespace {

struct ControlRow {
  const char* name;
  const char* className;
  const char* parent;
  QRect rect;  // empty: placed by its parent
  const char* text;
};

const ControlRow kControls[] = {
    {"StatBar", "TStatusBar", "MainForm", {0, 200, 411, 19}, ""},
    {"PageControl1", "TPageControl", "MainForm", {0, 8, 409, 185}, nullptr},
    {"MainSheet", "TTabSheet", "PageControl1", {}, "Управление"},
    {"LoadGroup", "TGroupBox", "MainSheet", {8, 8, 201, 145}, "Нагрузки"},
    {"Label1", "TLabel", "LoadGroup", {8, 24, 71, 13}, "Нагрузка №1:"},
    {"Label2", "TLabel", "LoadGroup", {8, 56, 71, 13}, "Нагрузка №2:"},
    {"Label3", "TLabel", "LoadGroup", {8, 88, 71, 13}, "Нагрузка №3:"},
    {"Label4", "TLabel", "LoadGroup", {8, 120, 71, 13}, "Нагрузка №4:"},
    {"Load1Btn", "TButton", "LoadGroup", {104, 16, 75, 25}, "OFF"},
    {"Load2Btn", "TButton", "LoadGroup", {104, 48, 75, 25}, "OFF"},
    {"Load3Btn", "TButton", "MainSheet", {112, 88, 75, 25}, "OFF"},
    {"Load4Btn", "TButton", "MainSheet", {112, 120, 75, 25}, "OFF"},
    {"TempGroup", "TGroupBox", "MainSheet", {216, 8, 177, 145}, "Термометры"},
    {"Label6", "TLabel", "TempGroup", {8, 16, 81, 13}, "Термометр №1:"},
    {"Label7", "TLabel", "TempGroup", {8, 40, 81, 13}, "Термометр №2:"},
    {"Label8", "TLabel", "TempGroup", {8, 64, 81, 13}, "Термометр №3:"},
    {"Label9", "TLabel", "TempGroup", {8, 88, 81, 13}, "Термометр №4:"},
    {"Temp1", "TEdit", "TempGroup", {96, 16, 65, 21}, "Нет данных"},
    {"Temp2", "TEdit", "TempGroup", {96, 40, 65, 21}, "Нет данных"},
    {"Temp3", "TEdit", "TempGroup", {96, 64, 65, 21}, "Нет данных"},
    {"Temp4", "TEdit", "TempGroup", {96, 88, 65, 21}, "Нет данных"},
    {"SearchBtn", "TButton", "TempGroup", {8, 112, 153, 25}, "Поиск датчиков"},
    {"SheduleSheet", "TTabSheet", "PageControl1", {}, "Планировщик"},
    {"Bevel1", "TBevel", "SheduleSheet", {249, 8, 7, 145}, nullptr},
    {"GroupBox1", "TGroupBox", "SheduleSheet", {0, 0, 241, 153}, "Установка задачи"},
    {"Label14", "TLabel", "GroupBox1", {200, 32, 30, 13}, "минут"},
    {"Label13", "TLabel", "GroupBox1", {132, 32, 29, 13}, "часов"},
    {"Label12", "TLabel", "GroupBox1", {8, 32, 83, 13}, "Активировать в:"},
    {"ActiveCheck", "TCheckBox", "GroupBox1", {8, 56, 145, 17}, "Планировщик включен"},
    {"SchedMinBox", "TEdit", "GroupBox1", {168, 24, 25, 21}, ""},
    {"SchedHourBox", "TEdit", "GroupBox1", {100, 24, 25, 21}, ""},
    {"Load1Check", "TCheckBox", "GroupBox1", {8, 88, 97, 17}, "Нагрузка 1"},
    {"Load2Check", "TCheckBox", "GroupBox1", {8, 112, 97, 17}, "Нагрузка 2"},
    {"Load3Check", "TCheckBox", "GroupBox1", {112, 88, 97, 17}, "Нагрузка 3"},
    {"Load4Check", "TCheckBox", "GroupBox1", {112, 112, 97, 17}, "Нагрузка 4"},
    {"Memo1", "TMemo", "SheduleSheet", {256, 8, 137, 145}, nullptr},
};

std::string TextOf(TComponent& c) {
  const TPropInfo* p = c.GetClassInfo().FindProperty("Caption");
  if (p == nullptr) p = c.GetClassInfo().FindProperty("Text");
  if (p == nullptr) p = c.GetClassInfo().FindProperty("SimpleText");
  return p != nullptr ? p->GetStr(c) : "";
}

// The threads of the process. One thread is started and joined first: ThreadSanitizer starts its
// own lasting helper thread with the first thread a program makes, and that one must not count
// as a worker left running.
int ThreadCount() {
  static std::once_flag firstThread;
  std::call_once(firstThread, [] { std::thread([] {}).join(); });
  int n = 0;
  if (DIR* d = opendir("/proc/self/task")) {
    while (dirent* e = readdir(d)) n += e->d_name[0] != '.';
    closedir(d);
  }
  return n;
}

// The focus sequence that Tab visits from `first` on, `count` widgets long.
std::vector<QWidget*> TabSequence(TWinControl* first, int count) {
  first->SetFocus();
  std::vector<QWidget*> seen{QApplication::focusWidget()};
  for (int i = 1; i < count; ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    seen.push_back(QApplication::focusWidget());
  }
  return seen;
}

}  // namespace

TEST_F(MainWindowTest, WindowIsBuiltFromItsDescription) {
  serial::VirtualCable cable(testsupport::UniqueName("window"));
  testsupport::ScopedPortEnv route(5, cable.NearPath());
  StorePort(5);
  Start();

  QWidget* window = form->Widget();
  EXPECT_EQ(form->GetCaption(), "Zelvane 0.1");
  EXPECT_EQ(window->pos(), QPoint(388, 116));
  EXPECT_EQ(window->size(), QSize(411, 219)) << "419 x 246 less the design desktop's frame";
  EXPECT_FALSE(window->windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(window->windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(window->windowIcon().isNull());
  EXPECT_EQ(window->font().family(), "Liberation Sans");
  EXPECT_EQ(window->font().pixelSize(), 11);

  for (const ControlRow& row : kControls) {
    SCOPED_TRACE(row.name);
    auto* control = dynamic_cast<TControl*>(form->FindComponent(row.name));
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->ClassName(), row.className);
    ASSERT_NE(control->GetParent(), nullptr);
    EXPECT_EQ(control->GetParent()->GetName(), row.parent);
    if (dynamic_cast<TLabel*>(control) != nullptr) {  // sized to its caption (AutoSize)
      const QString caption = QString::fromStdString(TextOf(*control));
      EXPECT_EQ(
          control->Widget()->geometry(),
          QRect(row.rect.topLeft(), QFontMetrics(control->Widget()->font()).size(0, caption)));
    } else if (!row.rect.isEmpty()) {
      EXPECT_EQ(control->Widget()->geometry(), row.rect);
    }
    if (row.text != nullptr) {
      EXPECT_EQ(TextOf(*control), row.text);
    }
    EXPECT_TRUE(control->GetEnabled());
  }
  // Published fields point at the components of their names.
  for (const TFieldInfo& field : TMainForm::ClassInfo().Fields())
    EXPECT_EQ(field.Get(*form), form->FindComponent(field.Name)) << field.Name;

  const QColor infoBk = QApplication::palette().color(QPalette::ToolTipBase);
  for (TEdit* temp : {form->Temp1, form->Temp2, form->Temp3, form->Temp4}) {
    EXPECT_TRUE(temp->GetReadOnly());
    EXPECT_EQ(temp->Widget()->palette().color(QPalette::Base), infoBk);
  }
  for (TEdit* box : {form->SchedHourBox, form->SchedMinBox}) {
    EXPECT_FALSE(box->GetReadOnly());
    EXPECT_EQ(box->Widget()->palette().color(QPalette::Base), QColor(192, 220, 192));
  }
  for (TCheckBox* box :
       {form->ActiveCheck, form->Load1Check, form->Load2Check, form->Load3Check, form->Load4Check})
    EXPECT_FALSE(box->GetChecked());
  auto* memo = static_cast<QPlainTextEdit*>(form->Memo1->Widget());
  EXPECT_TRUE(memo->isReadOnly());
  EXPECT_EQ(memo->frameShape(), QFrame::NoFrame);
  EXPECT_EQ(memo->palette().color(QPalette::Base), QApplication::palette().color(QPalette::Window));
  EXPECT_EQ(form->Memo1->GetLines(),
            (TStringItems{"Вы можете назначить ", "время переключения ", "одной, или нескольких ",
                          "нагрузок. Для этого ", "введите нужное время, ", "выберите нужные ",
                          "нагрузки и активируйте ", "планировщик."}));
  EXPECT_EQ(form->PageControl1->GetActivePage(), form->MainSheet);
  EXPECT_EQ(form->StatBar->GetAlign(), alBottom);

  EXPECT_EQ(form->TempTimer->GetInterval(), 10000u);
  EXPECT_TRUE(form->TempTimer->Active());
  EXPECT_EQ(form->SchedTimer->GetInterval(), 500u);
  EXPECT_FALSE(form->SchedTimer->Active());
  EXPECT_TRUE(form->Tray->GetVisible());
  EXPECT_TRUE(form->Tray->GetHide());
  EXPECT_EQ(form->Tray->GetRestoreOn(), imDoubleClick);
  EXPECT_EQ(form->Tray->GetPopupMenuOn(), imNone);
  EXPECT_EQ(form->Tray->GetIcons(), form->ImageList1);
  EXPECT_NE(form->ImageList1->Picture(0), nullptr);

  EXPECT_EQ(form->IOPort->GetInSize(), 2048u);
  EXPECT_EQ(form->IOPort->GetOutSize(), 4096u);
  EXPECT_EQ(form->IOPort->GetXoffLim(), 1024);
  EXPECT_EQ(form->IOPort->GetXonChar(), 17);
  EXPECT_EQ(form->IOPort->GetXoffChar(), 19);
  EXPECT_EQ(form->IOPort->GetMonitorEvents(), 0x1FD) << "every event but evRxEventChar";
  EXPECT_TRUE(dialogs.Dialogs().empty());
}

TEST_F(MainWindowTest, TabVisitsEachPageInItsDesignedOrder) {
  Start();  // first run: the boxes are answered, the window is built all the same
  form->Show();
  QApplication::setActiveWindow(form->Widget());
  ASSERT_TRUE(testsupport::ProcessEventsUntil([&] { return form->Widget()->isActiveWindow(); }));

  EXPECT_EQ(TabSequence(form->Load1Btn, 9),
            (std::vector<QWidget*>{
                form->Load1Btn->Widget(), form->Load2Btn->Widget(), form->Load3Btn->Widget(),
                form->Load4Btn->Widget(), form->Temp1->Widget(), form->Temp2->Widget(),
                form->Temp3->Widget(), form->Temp4->Widget(), form->SearchBtn->Widget()}));
  form->PageControl1->SetActivePage(form->SheduleSheet);
  EXPECT_EQ(TabSequence(form->ActiveCheck, 8),
            (std::vector<QWidget*>{form->ActiveCheck->Widget(), form->SchedMinBox->Widget(),
                                   form->SchedHourBox->Widget(), form->Load1Check->Widget(),
                                   form->Load2Check->Widget(), form->Load3Check->Widget(),
                                   form->Load4Check->Widget(), form->Memo1->Widget()}))
      << "the minute box comes before the hour box";
}

// With no key stored, the program asks for the port, stores a whole number and ends; any other
// answer is reported and nothing is stored. Cancel stores the default.
TEST_F(MainWindowTest, FirstRunAsksForThePortAndStoresIt) {
  const struct {
    std::optional<std::string> answer;
    std::optional<int> stored;
  } cases[] = {{"07", 7}, {std::nullopt, 1}, {"abc", std::nullopt}, {"", std::nullopt}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.answer.value_or("(Cancel)"));
    std::filesystem::remove(dir + "/user.reg");
    dialogs.Clear();
    dialogs.AnswerInput(c.answer);
    Application->ResetTerminated();
    if (c.stored) {
      EXPECT_EQ(ZelvaneMain(), 0);  // the whole entry point: it ends at its loop's first turn
    } else {
      Start();
    }
    const auto shown = dialogs.Dialogs();
    ASSERT_GE(shown.size(), 3u);
    EXPECT_EQ(shown[0].kind, Dialog::Box);
    EXPECT_EQ(shown[0].text, "Порт не выбран!");
    EXPECT_EQ(shown[0].caption, "АХТУНГ!");
    EXPECT_EQ(shown[0].flags, MB_OK | MB_ICONERROR);
    EXPECT_EQ(shown[1].kind, Dialog::Input);
    EXPECT_EQ(shown[1].caption, "Zelvane 0.1");
    EXPECT_EQ(shown[1].text, "Введите номер порта");
    EXPECT_EQ(shown[1].defaultText, "1");
    TRegistry store(dir + "/user.reg");
    if (c.stored) {
      ASSERT_EQ(shown.size(), 3u);
      EXPECT_EQ(shown[2].text, "Для применения настроек запустите программу снова");
      EXPECT_EQ(shown[2].caption, "АХТУНГ!");
      EXPECT_EQ(shown[2].flags, MB_OK | MB_ICONINFORMATION);
      EXPECT_TRUE(Application->Terminated());
      ASSERT_TRUE(store.OpenKey("\\Software\\Brennwick\\Zelvane", false));
      EXPECT_EQ(store.ReadInteger("PortNum"), *c.stored);
    } else {
      ASSERT_EQ(shown.size(), 3u);
      EXPECT_EQ(shown[2].kind, Dialog::Error);
      EXPECT_EQ(shown[2].text, "'" + *c.answer + "' is not a valid integer value");
      EXPECT_FALSE(Application->Terminated()) << "the window runs on";
      EXPECT_FALSE(form->IOPort->GetOpen());
      EXPECT_FALSE(store.KeyExists("\\Software\\Brennwick\\Zelvane"));
    }
    Application->DestroyComponents();
  }
}

// A later start opens the stored port at 19200 8N1 without a box; closing the window stops the
// port's workers and closes the device before the window is freed.
TEST_F(MainWindowTest, SecondStartOpensTheStoredPortAndClosingStopsIt) {
  serial::VirtualCable cable(testsupport::UniqueName("second"));
  testsupport::ScopedPortEnv route(5, cable.NearPath());
  StorePort(5);
  const int threadsBefore = ThreadCount();
  Start();
  EXPECT_TRUE(dialogs.Dialogs().empty());
  EXPECT_EQ(form->IOPort->GetComNumber(), 5);
  ASSERT_TRUE(form->IOPort->GetOpen());
  ASSERT_TRUE(cable.NearIsOpen());
  const DCB line = cable.NearState();
  EXPECT_EQ(line.BaudRate, 19200u);
  EXPECT_EQ(line.ByteSize, 8);
  EXPECT_EQ(line.Parity, NOPARITY);
  EXPECT_EQ(line.StopBits, ONESTOPBIT);
  EXPECT_GT(ThreadCount(), threadsBefore) << "the port's workers run";

  // Owned last, so freed first of all the window's components.
  struct TFreedFirst : TComponent {
    using TComponent::TComponent;
    ~TFreedFirst() override { OnFree(); }
    std::function<void()> OnFree;
  };
  bool closedFirst = false;
  int threadsAtWindowEnd = 0;
  (new TFreedFirst(form))->OnFree = [&] {
    closedFirst = !cable.NearIsOpen();
    threadsAtWindowEnd = ThreadCount();
  };
  form->Close();
  EXPECT_TRUE(Application->Terminated()) << "closing the main window ends the program";
  Application->DestroyComponents();
  EXPECT_TRUE(closedFirst);
  EXPECT_EQ(threadsAtWindowEnd, threadsBefore) << "the workers were joined";
}

// What cannot be read is reported; the window comes up with the port closed and the store as it
// was.
TEST_F(MainWindowTest, DamagedOrIncompleteStoreIsReportedAndTheWindowComesUp) {
  const std::string damaged =
      "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Brennwick\\Zelvane]\n"
      "\"PortNum\"=dword:zz\n";
  std::ofstream(dir + "/user.reg") << damaged;
  Start();
  auto errors = dialogs.OfKind(Dialog::Error);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].text.find(dir + "/user.reg"), std::string::npos) << errors[0].text;
  EXPECT_FALSE(form->IOPort->GetOpen());
  std::ifstream file(dir + "/user.reg");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}), damaged);
  Application->DestroyComponents();

  std::ofstream(dir + "/user.reg", std::ios::trunc)
      << "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Brennwick\\Zelvane]\n";
  dialogs.Clear();
  Start();
  errors = dialogs.OfKind(Dialog::Error);
  ASSERT_EQ(errors.size(), 1u) << "PortNum is missing";
  EXPECT_EQ(form->IOPort->GetComNumber(), 3) << "the stored value of the description";
  EXPECT_FALSE(form->IOPort->GetOpen());
}
