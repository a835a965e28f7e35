// SPDX-License-Identifier: MIT
// The program on Windows, under Wine on a display, with the native front end and the real (Wine)
// registry: the first run's boxes and input dialog, answered from another thread as a user
// would; and the exchanges with the board simulator on COM7 (uart_peer starts it on the Linux
// side): clicks on the load buttons, the thermometer poll of the real timer, the sensor search;
// and Ctrl+C on the console ending the program with its port closed.
#include <gtest/gtest.h>
#include <widgets/frontend.h>
#include <widgets/native_handle.h>

#include <atomic>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "Unit1.h"
#include "Zelvane.h"
#include "peer_client.h"
#include "win_dialogs.h"

using namespace std::chrono_literals;
using testsupport::AwaitDialog;
using testsupport::ClickDialogButton;
using testsupport::MessageBoxText;
using testsupport::ProcessMessagesUntil;
using testsupport::WindowText;

namespace {

constexpr int kCom = 7;  // the port the test runner maps (tests/support/wine/CMakeLists.txt)
constexpr int kInputEditId = 101;
const wchar_t kSettingsKey[] = L"Software\\Brennwick\\Zelvane";

HWND H(const TControl* control) {
  return static_cast<HWND>(widgets_native::WindowHandle(*control));
}

// What a user saw in a dialog, and did.
struct Seen {
  std::string title;
  std::string text;
};

// Answers the dialogs `main` shows, in order, from a thread of its own; each step finds the
// dialog by its title, records its text and answers it.
class DialogAnswerer {
 public:
  struct Step {
    std::string title;
    std::function<std::string(HWND)> read;  // what to record
    std::function<void(HWND)> answer;
  };
  DialogAnswerer(DWORD main, std::vector<Step> steps)
      : thread_([this, main, steps = std::move(steps)] {
          for (const Step& step : steps) {
            const HWND dialog = AwaitDialog(main, step.title);
            if (dialog == nullptr) return;
            seen_.push_back({step.title, step.read(dialog)});
            step.answer(dialog);
          }
          done_ = true;
        }) {}
  ~DialogAnswerer() {
    if (thread_.joinable()) thread_.join();
  }
  bool Done() const { return done_; }
  std::vector<Seen> Finish() {
    thread_.join();
    return seen_;
  }

 private:
  std::vector<Seen> seen_;
  std::atomic<bool> done_{false};
  std::thread thread_;
};

DialogAnswerer::Step ClickOk(const std::string& title) {
  return {title, MessageBoxText, [](HWND box) { ClickDialogButton(box, IDOK); }};
}

bool operator==(const Seen& a, const Seen& b) { return a.title == b.title && a.text == b.text; }
std::ostream& operator<<(std::ostream& out, const Seen& s) {
  return out << "{" << s.title << ": " << s.text << "}";
}

class ProgramUnderWine : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char arg0[] = "app_wine_tests";
    static char* argv[] = {arg0, nullptr};
    FrontEnd = new TWidgetsFrontEnd(argc, argv, {"zelvane", "0.1.0.0", "zelvane", "ru"});
  }
  static void TearDownTestSuite() {
    delete FrontEnd;
    FrontEnd = nullptr;
  }
  void SetUp() override {
    Application->SetTitle("Zelvane 0.1");
    Application->ResetTerminated();
    RegDeleteTreeW(HKEY_CURRENT_USER, kSettingsKey);
  }
  void TearDown() override {
    Application->DestroyComponents();
    Application->ResetTerminated();
    MainForm = nullptr;
    if (peer) peer->StopBoard(kCom);
    RegDeleteTreeW(HKEY_CURRENT_USER, kSettingsKey);
  }

  // The board on COM7 with these options, and its port stored as a first run leaves it.
  void StartBoard(const std::vector<std::string>& options) {
    ASSERT_TRUE(testsupport::PeerClient::Available()) << "run under uart_peer (ctest does)";
    peer = std::make_unique<testsupport::PeerClient>();
    boardLog = peer->StartBoard(kCom, options);
    const DWORD port = kCom;
    ASSERT_EQ(
        RegSetKeyValueW(HKEY_CURRENT_USER, kSettingsKey, L"PortNum", REG_DWORD, &port, sizeof port),
        ERROR_SUCCESS);
  }

  // The commands the board received, in order, from its log ("<time> <- 41 42 |AB|").
  std::vector<std::string> BoardCommands() const {
    std::ifstream file(boardLog);
    std::vector<std::string> commands;
    for (std::string line; std::getline(file, line);) {
      const auto bar = line.find('|');
      if (line.find(" <- ") != std::string::npos && bar != std::string::npos)
        commands.push_back(line.substr(bar + 1, line.rfind('|') - bar - 1));
    }
    return commands;
  }

  // Clicks the button as a user would and waits until the exchanges it asked for have ended.
  void Click(TButton* button) {
    SendMessageW(H(button), BM_CLICK, 0, 0);
    EXPECT_TRUE(ProcessMessagesUntil([&] { return !MainForm->ExchangesPending(); }, 15s))
        << "the exchanges of " << button->GetName() << " did not end";
  }

  static inline TWidgetsFrontEnd* FrontEnd = nullptr;
  std::unique_ptr<testsupport::PeerClient> peer;
  std::string boardLog;
};

// Without a stored port: the error box, the input dialog (its default answered with 7), the
// box asking for a restart; the number is then in the registry and the program ends.
TEST_F(ProgramUnderWine, FirstRunAsksForThePortInTheSystemsDialogsAndStoresIt) {
  std::string defaultAnswer;
  DialogAnswerer user(GetCurrentThreadId(), {ClickOk("АХТУНГ!"),
                                             {"Zelvane 0.1",
                                              [&](HWND dialog) {
                                                defaultAnswer =
                                                    WindowText(GetDlgItem(dialog, kInputEditId));
                                                return std::string("(input)");
                                              },
                                              [](HWND dialog) {
                                                SetDlgItemTextW(dialog, kInputEditId, L"7");
                                                ClickDialogButton(dialog, IDOK);
                                              }},
                                             ClickOk("АХТУНГ!")});
  Application->CreateForm(MainForm);
  const std::vector<Seen> seen = user.Finish();

  EXPECT_EQ(seen,
            (std::vector<Seen>{{"АХТУНГ!", "Порт не выбран!"},
                               {"Zelvane 0.1", "(input)"},
                               {"АХТУНГ!", "Для применения настроек запустите программу снова"}}));
  EXPECT_EQ(defaultAnswer, "1");
  EXPECT_TRUE(Application->Terminated());
  DWORD stored = 0;
  DWORD size = sizeof stored;
  ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, kSettingsKey, L"PortNum", RRF_RT_REG_DWORD, nullptr,
                         &stored, &size),
            ERROR_SUCCESS);
  EXPECT_EQ(stored, 7u);
}

// With the port stored: clicks on the load buttons switch the board's loads and show its replies
// on the buttons, the timer's first poll fills the four fields, and the search shows the count in
// a box of the system.
TEST_F(ProgramUnderWine, ExchangesWithTheBoardShowInTheWindow) {
  StartBoard(
      {"--loads-on", "3", "--temps", "23.5,-4,20,21.5", "--drift", "0", "--sensors", "1,2,4"});
  Application->CreateForm(MainForm);
  TMainForm* form = MainForm;
  ASSERT_NE(form, nullptr);
  ASSERT_TRUE(form->IOPort->GetOpen());
  form->Show();

  const struct {
    TButton* button;
    const char* reply;
    const char* status;
  } loads[] = {{form->Load1Btn, "ВКЛ", "Нагрузка № 1 переключена."},
               {form->Load2Btn, "ВКЛ", "Нагрузка № 2 переключена."},
               {form->Load3Btn, "ВЫКЛ", "Нагрузка № 3 переключена."},
               {form->Load4Btn, "ВКЛ", "Нагрузка № 4 переключена."}};
  for (const auto& load : loads) {
    Click(load.button);
    EXPECT_EQ(WindowText(H(load.button)), load.reply);
    EXPECT_EQ(WindowText(H(form->StatBar)), load.status);
  }

  // The timer's first tick, ten seconds after the window opened.
  ASSERT_TRUE(ProcessMessagesUntil(
      [&] { return WindowText(H(form->StatBar)) == "Опрос термометров завершен."; }, 30s))
      << WindowText(H(form->StatBar));
  EXPECT_EQ(WindowText(H(form->Temp1)), "+23.5");
  EXPECT_EQ(WindowText(H(form->Temp2)), "-4.0");
  EXPECT_EQ(WindowText(H(form->Temp3)), "Нет") << "the board's own text for a missing sensor";
  EXPECT_EQ(WindowText(H(form->Temp4)), "+21.5");

  // The box comes once the exchange has ended; the window goes on meanwhile.
  DialogAnswerer user(GetCurrentThreadId(), {ClickOk("Поиск датчиков")});
  Click(form->SearchBtn);
  EXPECT_TRUE(ProcessMessagesUntil([&] { return user.Done(); }, 40s));
  EXPECT_EQ(user.Finish(), (std::vector<Seen>{{"Поиск датчиков", "3"}}));

  EXPECT_EQ(BoardCommands(),
            (std::vector<std::string>{"AA", "AB", "AC", "AD", "BA", "BB", "BC", "BD", "BZ"}));
}

// Ctrl+C on the program's console ends it as closing its window does: the message loop ends,
// the entry point returns 0, and once the front end has destroyed the form (as it does when the
// program leaves main) the port is free again. The event is sent once the window shows and
// the port is seen held; should the loop not end, a quit message ends it and the test fails.
TEST_F(ProgramUnderWine, CtrlCOnTheConsoleEndsTheProgramWithItsPortClosed) {
  StartBoard({"--drift", "0"});
  const std::wstring com = L"\\\\.\\COM" + std::to_wstring(kCom);
  const auto tryOpen = [&] {
    const HANDLE port = CreateFileW(com.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    const DWORD error = port == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
    if (port != INVALID_HANDLE_VALUE) CloseHandle(port);
    return error;
  };
  // A console of the test's own (Wine runs it with none when its output is not a terminal);
  // the output already open keeps going where it went.
  FreeConsole();
  ASSERT_TRUE(AllocConsole()) << GetLastError();
  SetConsoleCtrlHandler(nullptr, FALSE);  // Ctrl+C is delivered, not ignored

  const DWORD main = GetCurrentThreadId();
  std::atomic<bool> loopEnded{false};
  std::atomic<DWORD> whileHeld{0};
  std::atomic<DWORD> sendError{ERROR_SUCCESS};
  std::atomic<bool> forced{false};
  std::thread user([&] {
    const auto shown = [] {
      const HWND window = FindWindowW(nullptr, L"Zelvane 0.1");
      DWORD process = 0;
      if (window != nullptr) GetWindowThreadProcessId(window, &process);
      return window != nullptr && IsWindowVisible(window) && process == GetCurrentProcessId();
    };
    for (int i = 0; i < 3000 && !shown(); ++i) std::this_thread::sleep_for(10ms);
    whileHeld = tryOpen();
    if (!GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0)) sendError = GetLastError();
    for (int i = 0; i < 3000 && !loopEnded; ++i) std::this_thread::sleep_for(10ms);
    if (!loopEnded) {
      forced = true;
      PostThreadMessageW(main, WM_QUIT, 0, 0);
    }
  });
  const int status = ZelvaneMain();
  loopEnded = true;
  user.join();

  EXPECT_EQ(sendError, static_cast<DWORD>(ERROR_SUCCESS)) << "GenerateConsoleCtrlEvent failed";
  EXPECT_FALSE(forced) << "Ctrl+C did not end the message loop";
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(Application->Terminated());
  EXPECT_EQ(whileHeld, static_cast<DWORD>(ERROR_ACCESS_DENIED)) << "the program held its port";
  Application->DestroyComponents();
  EXPECT_EQ(tryOpen(), static_cast<DWORD>(ERROR_SUCCESS)) << "the port was left open";
}

}  // namespace
