// SPDX-License-Identifier: MIT
#include "main_window_fixture.h"

#include <framework/thread.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "gui.h"

namespace fs = std::filesystem;

namespace {
fs::path gLogFolder;
}  // namespace

void MainWindowTest::SetUp() {
  dir = (fs::temp_directory_path() / testsupport::UniqueName("zelvane-app")).string();
  fs::create_directories(dir);
  savedSettings = Settings;
  Settings = new TRegistry(dir + "/user.reg");
  Application->SetTitle("Zelvane 0.1");
  Application->ResetTerminated();
  std::memset(ReplyBuffer, 0, sizeof ReplyBuffer);
  // The temperature log goes to the scratch folder, never to the user's data folder.
  gLogFolder = fs::path(dir) / "data";
  savedLogFolder = TemperatureLogFolder;
  TemperatureLogFolder = [] { return gLogFolder; };
}

void MainWindowTest::TearDown() {
  Application->DestroyComponents();
  Application->ResetTerminated();
  MainForm = nullptr;
  delete Settings;
  Settings = savedSettings;
  TemperatureLogFolder = savedLogFolder;
  route.reset();
  board.reset();
  fs::remove_all(dir);
}

void MainWindowTest::StorePort(int Number) {
  TRegistry store(dir + "/user.reg");
  store.OpenKey("\\Software\\Brennwick\\Zelvane", true);
  store.WriteInteger("PortNum", Number);
}

TMainForm* MainWindowTest::Start() {
  Application->CreateForm(MainForm);
  form = MainForm;
  return form;
}

void MainWindowTest::StartBoard(const std::vector<std::string>& Options, const std::string& Link) {
  std::vector<std::string> args = {"--pty", "--log", dir + "/board.log"};
  if (!Link.empty()) args.insert(args.end(), {"--link", Link});
  args.insert(args.end(), Options.begin(), Options.end());
  board.reset();
  board =
      std::make_unique<board_test::BoardProcess>(ZELVANE_BOARD_BINARY, args, dir + "/board.err");
  const std::string slave = board->firstLine();
  ASSERT_FALSE(slave.empty()) << board->errorText();
  route.reset();
  route = std::make_unique<testsupport::ScopedPortEnv>(5, Link.empty() ? slave : Link);
  StorePort(5);
}

std::string MainWindowTest::BoardLog() const {
  std::ifstream file(dir + "/board.log");
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

// Log lines of received bytes read "<time> <- 41 42 ... |AB|".
std::vector<std::string> MainWindowTest::BoardCommands() const {
  std::vector<std::string> commands;
  std::istringstream lines(BoardLog());
  for (std::string line; std::getline(lines, line);) {
    const auto arrow = line.find(" <- ");
    const auto bar = line.find('|');
    if (arrow != std::string::npos && bar != std::string::npos)
      commands.push_back(line.substr(bar + 1, line.rfind('|') - bar - 1));
  }
  return commands;
}

void MainWindowTest::Run(void (TMainForm::*Handler)(TObject*)) {
  try {
    (form->*Handler)(form);
  } catch (...) {
    Application->HandleException(form);
  }
  EXPECT_TRUE(testsupport::ProcessEventsUntil([&] { return !form->ExchangesPending(); },
                                              std::chrono::seconds(30)))
      << "the exchanges it asked for did not end";
}

bool MainWindowTest::ReplyBufferIsClear() {
  for (char c : ReplyBuffer)
    if (c != 0) return false;
  return true;
}
