// SPDX-License-Identifier: MIT
// Drives the real zelvane-board binary over its pseudo-terminal from the client side.
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "board_process.h"

namespace {

using namespace board_test;
namespace fs = std::filesystem;

// "+dd.d" or "-dd.d": a two-digit temperature as the board writes it.
bool isTemperature(const std::string& reply) {
  auto digit = [&](std::size_t i) { return reply[i] >= '0' && reply[i] <= '9'; };
  return reply.size() == 5 && (reply[0] == '+' || reply[0] == '-') && digit(1) && digit(2) &&
         reply[3] == '.' && digit(4);
}

// Windows-1251 bytes of the board's texts.
const std::string kOn = "\xC2\xCA\xCB";       // "ВКЛ"
const std::string kOff = "\xC2\xDB\xCA\xCB";  // "ВЫКЛ"
const std::string kAbsent = "\xCD\xE5\xF2";   // "Нет"
const std::vector<std::string> kFixedTemperatures = {"--temps", "23.5,-4,20,21.5", "--drift", "0"};

class BoardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/board-test-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    dir_ = name;
  }
  void TearDown() override { fs::remove_all(dir_); }

  // A board serving a pty, its log in the test folder; line_ is its slave path.
  std::unique_ptr<BoardProcess> start(std::vector<std::string> args) {
    args.insert(args.end(), {"--log", logPath()});
    auto board = run(args);
    line_ = board->firstLine();
    EXPECT_EQ(line_.rfind("/dev/pts/", 0), 0u) << board->errorText();
    return board;
  }

  std::unique_ptr<BoardProcess> run(const std::vector<std::string>& args,
                                    std::optional<uid_t> runAs = std::nullopt) {
    return std::make_unique<BoardProcess>(ZELVANE_BOARD_BINARY, args, (dir_ / "stderr").string(),
                                          runAs);
  }

  std::string logPath() const { return (dir_ / "board.log").string(); }
  std::string logText() const {
    std::ifstream file(logPath());
    return {std::istreambuf_iterator<char>(file), {}};
  }
  bool logShows(const std::string& text) const {
    const auto deadline = Clock::now() + kPatience;
    while (logText().find(text) == std::string::npos) {
      if (Clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
  }

  // Runs the board to its end with args; its exit status and what it said.
  std::pair<int, std::string> failure(const std::vector<std::string>& args,
                                      std::optional<uid_t> runAs = std::nullopt) {
    auto board = run(args, runAs);
    const int status = board->exitStatus();
    return {status, board->errorText()};
  }

  fs::path dir_;
  std::string line_;
};

TEST_F(BoardTest, AnswersEveryCommandTogglesLoadsAndResynchronises) {
  auto args = kFixedTemperatures;
  args.insert(args.end(), {"--loads-on", "2", "--sensors", "1,2,4", "--byte-timeout", "100"});
  auto board = start(args);
  Client client(line_);

  EXPECT_EQ(client.exchange("AA", 3), kOn);
  EXPECT_EQ(client.exchange("AA", 4), kOff);
  EXPECT_EQ(client.exchange("AB", 4), kOff);  // load 2 started on
  EXPECT_EQ(client.exchange("AC", 3), kOn);
  EXPECT_EQ(client.exchange("AD", 3), kOn);
  EXPECT_EQ(client.exchange("BA", 5), "+23.5");
  EXPECT_EQ(client.exchange("BB", 4), "-4.0");
  EXPECT_EQ(client.exchange("BC", 3), kAbsent);
  EXPECT_EQ(client.exchange("BD", 5), "+21.5");
  EXPECT_EQ(client.exchange("BZ", 1), "3");

  // Bytes that cannot start a command, and a first letter without a valid second, are dropped.
  EXPECT_EQ(client.exchange(std::string("x\0\xFF"
                                        "AB",
                                        5),
                            3),
            kOn);
  EXPECT_EQ(client.exchange("AEBZ", 1), "3");
  // A lone first letter is forgotten after the byte time-out, so it cannot pair with the next.
  EXPECT_EQ(client.exchange("BBA", 4), "-4.0");
  ASSERT_TRUE(logShows("dropped lone byte |A|"));
  EXPECT_EQ(client.exchange("BD", 5), "+21.5");
  EXPECT_EQ(client.exchange("AD", 4), kOff);  // nothing else was sent in between

  const std::string log = logText();
  EXPECT_NE(log.find("<- 41 41 "), std::string::npos);
  EXPECT_NE(log.find("-> C2 CA CB "), std::string::npos);
  EXPECT_NE(log.find("|ВКЛ|"), std::string::npos);
  EXPECT_NE(log.find("|Нет|"), std::string::npos);
  EXPECT_NE(log.find("dropped stray byte |\\x00|"), std::string::npos);
  EXPECT_NE(log.find("unknown command |AE|"), std::string::npos);
}

TEST_F(BoardTest, SeedMakesRepliesRepeatable) {
  // Temperatures start between 18.0 and 26.0 and wander at most 5.0 from there, so each reply,
  // a temperature or the 5 garbage bytes chosen for some 30% of the readings, has 5 bytes.
  auto readings = [&](const std::string& seed) {
    auto board = start({"--seed", seed, "--garbage", "5@30%"});
    Client client(line_);
    std::vector<std::string> replies;
    for (int round = 0; round < 10; ++round) {
      for (const char* command : {"BA", "BB", "BC", "BD"}) {
        replies.push_back(client.exchange(command, 5));
      }
    }
    return replies;
  };
  const auto first = readings("42");
  EXPECT_EQ(readings("42"), first);
  const auto other = readings("43");

  int temperatures = 0;
  bool sameFaults = true;
  bool sameTemperatures = true;
  for (std::size_t i = 0; i < first.size(); ++i) {
    ASSERT_EQ(first[i].size(), 5u);
    sameFaults = sameFaults && isTemperature(first[i]) == isTemperature(other[i]);
    if (!isTemperature(first[i])) continue;
    ++temperatures;
    if (isTemperature(other[i])) sameTemperatures = sameTemperatures && first[i] == other[i];
    if (i >= 4 && isTemperature(first[i - 4])) {  // the same sensor, one round on
      EXPECT_LE(std::abs(std::stod(first[i]) - std::stod(first[i - 4])), 0.2001) << i;
    }
  }
  EXPECT_GT(temperatures, 20);
  EXPECT_LT(temperatures, 40);     // some readings were garbage
  EXPECT_FALSE(sameFaults);        // another seed draws other faults
  EXPECT_FALSE(sameTemperatures);  // and other temperatures
}

TEST_F(BoardTest, EachFaultDoesWhatItSays) {
  auto args = kFixedTemperatures;
  args.insert(args.end(), {"--reply", "ОК\\x00!@1", "--long-reply", "7@BA:1", "--zero-byte", "0@3",
                           "--garbage", "6@4", "--silent", "5", "--delay", "300@7", "--split",
                           "1:150@8", "--unasked", "Сбой:200@9"});
  auto board = start(args);
  Client client(line_);

  EXPECT_EQ(client.exchange("AA", 4), std::string("\xCE\xCA\0!", 4));
  EXPECT_EQ(client.exchange("BA", 7), "+23.5##");
  EXPECT_EQ(client.exchange("BA", 5), std::string("\0"
                                                  "23.5",
                                                  5));
  EXPECT_EQ(client.exchange("AB", 6).size(), 6u);
  client.send("BB");  // silent: the next bytes are the reply to "BD"
  EXPECT_EQ(client.exchange("BD", 5), "+21.5");

  auto started = Clock::now();
  EXPECT_EQ(client.exchange("BZ", 1), "4");
  EXPECT_GE(Clock::now() - started, std::chrono::milliseconds(300));

  started = Clock::now();
  EXPECT_EQ(client.exchange("AC", 3), kOn);
  EXPECT_GE(Clock::now() - started, std::chrono::milliseconds(300));  // two gaps of 150 ms

  EXPECT_EQ(client.exchange("AD", 3), kOn);
  EXPECT_EQ(client.receive(4), "\xD1\xE1\xEE\xE9");  // "Сбой", unasked
  EXPECT_EQ(client.exchange("BA", 5), "+23.5");      // nothing more came

  const std::string log = logText();
  for (const char* piece : {"-> C2 ", "-> CA ", "-> CB ", "-> D1 E1 EE E9 "}) {
    EXPECT_NE(log.find(piece), std::string::npos) << piece;  // each piece written on its own
  }
  EXPECT_NE(log.find("BB (command 5): thermometer 2 reads -4.0 [silent]"), std::string::npos);
}

// Through a USB adapter's latency timer a reply comes in the pieces that crossed the wire by each
// tick: 1200 bytes take 625 ms at 19200 bit/s, so a 250 ms timer hands them on in three or four
// pieces of at most 481 bytes (250 ms of the wire), whole and in order.
TEST_F(BoardTest, AUsbLatencyTimerDeliversRepliesInTickSizedPieces) {
  auto args = kFixedTemperatures;
  args.insert(args.end(), {"--usb-latency", "250", "--long-reply", "1200@BA"});
  auto board = start(args);
  Client client(line_);
  EXPECT_EQ(client.exchange("BA", 1200), "+23.5" + std::string(1195, '#'));
  EXPECT_EQ(client.exchange("BD", 5), "+21.5");

  // Bytes per write: the log's lines of one write share its time stamp.
  std::vector<std::size_t> pieces;
  std::string lastTime;
  std::istringstream lines(logText());
  for (std::string line; std::getline(lines, line);) {
    if (line.find(" <- 42 44") != std::string::npos) break;  // "BD": the long reply is over
    const auto arrow = line.find(" -> ");
    if (arrow == std::string::npos) continue;
    const std::string hex = line.substr(arrow + 4, line.find('|') - arrow - 4);
    const auto bytes =
        static_cast<std::size_t>(hex.size() - std::count(hex.begin(), hex.end(), ' ')) / 2;
    if (line.substr(0, arrow) != lastTime) pieces.push_back(0);
    pieces.back() += bytes;
    lastTime = line.substr(0, arrow);
  }
  // The log may not yet hold the reply to "BD" when the client has it, so only the long
  // reply's pieces are counted: those written before "BD" came.
  ASSERT_GE(pieces.size(), 3u) << logText();
  EXPECT_LE(pieces.size(), 4u);
  EXPECT_LE(*std::max_element(pieces.begin(), pieces.end()), 481u);
}

TEST_F(BoardTest, HangsUpAfterTheAskedNumberOfCommands) {
  const std::string link = (dir_ / "board").string();
  auto board = start({"--hangup-after", "2", "--link", link});
  Client client(link);
  EXPECT_EQ(client.exchange("AA", 3), kOn);
  client.send("ABAC");  // the third command comes before the hang-up and is not answered
  EXPECT_EQ(client.receive(3), kOn);
  EXPECT_TRUE(client.hangsUp());
  EXPECT_EQ(board->exitStatus(), 0);
  EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
}

TEST_F(BoardTest, LinkSignalsAndErrors) {
  // The link points at the slave while the board runs and goes with SIGTERM or SIGINT; an old
  // pty link is replaced, anything else is left alone.
  const fs::path link = dir_ / "board";
  fs::create_symlink("/dev/pts/4242", link);
  auto board = start({"--link", link.string()});
  EXPECT_EQ(fs::read_symlink(link), line_);
  EXPECT_EQ(Client(link.string()).exchange("BZ", 1), "4");
  board->signal(SIGTERM);
  EXPECT_EQ(board->exitStatus(), 0);
  EXPECT_FALSE(fs::exists(fs::symlink_status(link)));

  // Each signal that stops the board ends it cleanly, and the help names every one of them.
  std::string help;
  if (FILE* out = popen(ZELVANE_BOARD_BINARY " --help", "r")) {
    char chunk[512];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, out)) > 0;) help.append(chunk, n);
    EXPECT_EQ(pclose(out), 0);
  }
  for (const auto& [number, name] :
       std::vector<std::pair<int, std::string>>{{SIGINT, "SIGINT"}, {SIGHUP, "SIGHUP"}}) {
    board = start({});
    board->signal(number);
    EXPECT_EQ(board->exitStatus(), 0) << name;
  }
  const std::string opening = help.substr(0, help.find("\n\n"));
  const std::string exitStatus = help.substr(std::min(help.find("Exit status:"), help.size()));
  for (const char* name : {"SIGINT", "SIGTERM", "SIGHUP"}) {
    EXPECT_NE(opening.find(name), std::string::npos) << name << " in: " << opening;
    EXPECT_NE(exitStatus.find(name), std::string::npos) << name << " in: " << exitStatus;
  }

  const fs::path file = dir_ / "notes";
  std::ofstream(file) << "mine";
  auto [status, message] = failure({"--link", file.string()});
  EXPECT_EQ(status, 1);
  EXPECT_NE(message.find(file.string() + ": refusing to replace it"), std::string::npos);
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(file)));

  // Bad options: status 2 and the option named.
  for (const auto& [args, expected] : std::vector<std::pair<std::vector<std::string>, std::string>>{
           {{"--bogus"}, "unknown option \"--bogus\""},
           {{"--loads-on", "5"}, "option --loads-on: 5 is out of range"},
           {{"--split", "0:10"}, "option --split: 0 is out of range"},
           {{"--delay", "10@BA:x"}, "option --delay: \"x\" is not a whole number"},
           {{"--temps", "1,2,3"}, "option --temps: give four temperatures"},
           {{"--device", "/dev/null", "--pty"}, "--pty and --device exclude each other"},
           {{"--seed"}, "option --seed: needs a value"}}) {
    std::tie(status, message) = failure(args);
    EXPECT_EQ(status, 2) << expected;
    EXPECT_NE(message.find(expected), std::string::npos) << message;
  }
}

TEST_F(BoardTest, ServesADeviceAndExplainsWhyOneCannotBeOpened) {
  auto expectDeviceError = [&](const std::string& path, const std::string& reason,
                               std::optional<uid_t> runAs = std::nullopt) {
    auto [status, message] = failure({"--device", path}, runAs);
    if (runAs && status == 127) return;  // the binary is out of that user's reach
    EXPECT_EQ(status, 1) << message;
    EXPECT_NE(message.find("cannot open device " + path + ": " + reason), std::string::npos)
        << message;
    EXPECT_NE(message.find("dialout"), std::string::npos) << message;
  };
  expectDeviceError((dir_ / "ttyUSB9").string(), "no such device");
  const fs::path plain = dir_ / "plain";
  std::ofstream(plain) << "";
  expectDeviceError(plain.string(), "not a terminal");
  fs::permissions(plain, fs::perms::none);
  expectDeviceError(plain.string(), "permission denied",
                    geteuid() == 0 ? std::optional<uid_t>(65534) : std::nullopt);

  // A pty slave stands in for a real device; the test holds the master.
  Client master(posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK));
  ASSERT_EQ(grantpt(master.fd()), 0);
  ASSERT_EQ(unlockpt(master.fd()), 0);
  const std::string slave = ptsname(master.fd());
  {
    const int holder = open(slave.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
    expectDeviceError(slave, "busy");
    close(holder);
  }
  auto board = run({"--device", slave});
  EXPECT_EQ(board->firstLine(), slave);
  EXPECT_EQ(master.exchange("BZ", 1), "4");
  EXPECT_EQ(master.exchange("AD", 3), kOn);
  board->signal(SIGTERM);
  EXPECT_EQ(board->exitStatus(), 0);
}

}  // namespace
