// SPDX-License-Identifier: MIT
// The main window under test: a settings store of its own in a scratch folder, recorded boxes,
// the board simulator on a pseudo-terminal as COM5, and a way to read what the board received.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "Unit1.h"
#include "board_process.h"
#include "dialogs.h"
#include "environment.h"

class MainWindowTest : public testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Stores "PortNum" as a first run would have.
  void StorePort(int Number);
  // Creates the main window as the entry point does (its FormCreate runs).
  TMainForm* Start();
  // Starts the board simulator with Options, routes COM5 to it and stores port 5. With a Link,
  // COM5 names that symlink, which the board points at its line while it runs (a board that is
  // unplugged and plugged in again: start another one with the same Link).
  void StartBoard(const std::vector<std::string>& Options = {}, const std::string& Link = "");
  // Kills the board, as pulling its cable would (a link it made stays behind, dangling).
  void StopBoard() { board.reset(); }
  // The commands the board has received, in order ("BA", "AB", ...), and its whole log.
  std::vector<std::string> BoardCommands() const;
  std::string BoardLog() const;
  // Calls a handler as the window's event loop would (an error goes to the error report), then
  // handles events until the exchanges it asked for have ended.
  void Run(void (TMainForm::*Handler)(TObject*));
  static bool ReplyBufferIsClear();

  std::string dir;
  testsupport::DialogRecorder dialogs;
  TMainForm* form = nullptr;

 private:
  TRegistry* savedSettings = nullptr;
  std::filesystem::path (*savedLogFolder)() = nullptr;
  std::unique_ptr<board_test::BoardProcess> board;
  std::unique_ptr<testsupport::ScopedPortEnv> route;
};
