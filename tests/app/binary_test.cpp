// SPDX-License-Identifier: MIT
// The real zelvane program, offscreen: with a settings folder holding "PortNum" and COM5 routed
// to a pseudo-terminal, it opens the pty at 19200 8N1 in raw mode, stays up, and on SIGTERM
// exits 0 with the pty released; a signal during an exchange ends it at once.
#include <framework/registry.h>
#include <gtest/gtest.h>
#include <sys/file.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "board_process.h"
#include "environment.h"
#include "pty_pair.h"
#include "wait.h"

TEST(ZelvaneProgram, OpensTheStoredPortAndEndsCleanlyOnSigterm) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / testsupport::UniqueName("zelvane-bin");
  fs::create_directories(dir / "zelvane");
  {
    TRegistry store((dir / "zelvane" / "user.reg").string());
    store.OpenKey("\\Software\\Brennwick\\Zelvane", true);
    store.WriteInteger("PortNum", 5);
  }
  testsupport::PtyPair pty;
  testsupport::ScopedEnv config("XDG_CONFIG_HOME", dir.string());
  testsupport::ScopedEnv platform("QT_QPA_PLATFORM", "offscreen");
  testsupport::ScopedPortEnv route(5, pty.SlavePath());
  board_test::BoardProcess zelvane(ZELVANE_BINARY, {}, (dir / "zelvane.err").string());

  EXPECT_TRUE(testsupport::WaitUntil([&] {
    const termios mode = pty.SlaveTermios();
    return cfgetospeed(&mode) == B19200 && (mode.c_cflag & CSIZE) == CS8 &&
           !(mode.c_cflag & (PARENB | CSTOPB)) && !(mode.c_lflag & (ICANON | ECHO | ISIG));
  })) << zelvane.errorText();
  // The port is held: an exclusive lock on the slave is refused.
  const int probe = open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(probe, 0);
  EXPECT_NE(flock(probe, LOCK_EX | LOCK_NB), 0);

  zelvane.signal(SIGTERM);
  EXPECT_EQ(zelvane.exitStatus(), 0) << zelvane.errorText();
  EXPECT_EQ(flock(probe, LOCK_EX | LOCK_NB), 0) << "the port was released";
  close(probe);
  fs::remove_all(dir);
}

// Ending the program while a reply is awaited takes no longer than the signal's own way through
// the event loop: the exchange does not hold the loop (a board answering in 1.5 s kept a whole
// poll, about 6 s, between a signal and the end).
TEST(ZelvaneProgram, EndsPromptlyOnSignalsDuringAnExchange) {
  namespace fs = std::filesystem;
  using Clock = std::chrono::steady_clock;
  const fs::path dir = fs::temp_directory_path() / testsupport::UniqueName("zelvane-bin");
  fs::create_directories(dir / "zelvane");
  {
    TRegistry store((dir / "zelvane" / "user.reg").string());
    store.OpenKey("\\Software\\Brennwick\\Zelvane", true);
    store.WriteInteger("PortNum", 5);
  }
  const std::string boardLog = (dir / "board.log").string();
  board_test::BoardProcess board(ZELVANE_BOARD_BINARY,
                                 {"--pty", "--delay", "1500", "--log", boardLog},
                                 (dir / "board.err").string());
  const std::string slave = board.firstLine();
  ASSERT_FALSE(slave.empty()) << board.errorText();
  testsupport::ScopedEnv config("XDG_CONFIG_HOME", dir.string());
  testsupport::ScopedEnv platform("QT_QPA_PLATFORM", "offscreen");
  testsupport::ScopedPortEnv route(5, slave);

  {
    board_test::BoardProcess zelvane(ZELVANE_BINARY, {}, (dir / "zelvane.err").string());
    // The first poll starts ten seconds after the window opens.
    ASSERT_TRUE(testsupport::WaitUntil(
        [&] {
          std::ifstream log(boardLog);
          return std::string(std::istreambuf_iterator<char>(log), {}).find("|BA|") !=
                 std::string::npos;
        },
        std::chrono::seconds(30)))
        << zelvane.errorText();
    const auto signalled = Clock::now();
    zelvane.signal(SIGINT);
    EXPECT_EQ(zelvane.exitStatus(), 0) << zelvane.errorText();
    EXPECT_LT(Clock::now() - signalled, std::chrono::seconds(3)) << "a whole poll took 6 s";
  }
  fs::remove_all(dir);
}
