// SPDX-License-Identifier: MIT
// The settings store: keys and typed values, the file format, several processes, a damaged
// file, and a writer killed in the middle of a write.
#include <framework/registry.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "environment.h"

namespace fs = std::filesystem;

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

using testsupport::ScopedEnv;

class RegistryTest : public testing::Test {
 protected:
  void SetUp() override {
    dir_ =
        fs::temp_directory_path() / ("zelvane-reg-" + std::to_string(::getpid()) + "-" +
                                     testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    file_ = (dir_ / "sub" / "user.reg").string();
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Runs Body in a child process; returns its exit status.
  template <class F>
  static pid_t Spawn(F body) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      int code = 0;
      try {
        body();
      } catch (...) {
        code = 3;
      }
      ::_exit(code);
    }
    return pid;
  }
  static int Join(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
  }

  fs::path dir_;
  std::string file_;
};

}  // namespace

TEST_F(RegistryTest, WritesTheProgramsSettingInRegeditFormat) {
  TRegistry reg(file_);
  EXPECT_EQ(reg.GetRootKey(), HKEY_CURRENT_USER);
  EXPECT_FALSE(reg.OpenKey("\\Software\\Brennwick\\Zelvane", false));
  ASSERT_TRUE(reg.OpenKey("\\Software\\Brennwick\\Zelvane", true));
  EXPECT_EQ(reg.CurrentPath(), "Software\\Brennwick\\Zelvane");
  EXPECT_FALSE(reg.ValueExists("PortNum"));
  EXPECT_THROW(reg.ReadInteger("PortNum"), ERegistryException);  // missing
  reg.WriteInteger("PortNum", 5);
  EXPECT_EQ(reg.ReadInteger("portnum"), 5);
  reg.WriteString("Name", "say \"hi\" \\ Привет");
  EXPECT_THROW(reg.ReadInteger("Name"), ERegistryException);  // not a double-word
  EXPECT_THROW(reg.ReadString("PortNum"), ERegistryException);
  EXPECT_EQ(ReadFile(file_),
            "REGEDIT4\n\n"
            "[HKEY_CURRENT_USER\\Software\\Brennwick\\Zelvane]\n"
            "\"PortNum\"=dword:00000005\n"
            "\"Name\"=\"say \\\"hi\\\" \\\\ Привет\"\n");
  TRegistry again(file_);
  ASSERT_TRUE(again.OpenKey("\\Software\\Brennwick\\Zelvane", false));
  EXPECT_EQ(again.ReadString("Name"), "say \"hi\" \\ Привет");
  EXPECT_EQ(again.GetDataType("PortNum"), rdInteger);
  again.WriteInteger("PortNum", -1);
  EXPECT_EQ(reg.ReadInteger("PortNum"), -1);  // re-read before each operation
  EXPECT_NE(ReadFile(file_).find("dword:ffffffff"), std::string::npos);
}

// Without an open key there are no values to read or write: the root is not used instead.
TEST_F(RegistryTest, ValuesNeedAnOpenKey) {
  TRegistry reg(file_);
  EXPECT_THROW(reg.WriteInteger("PortNum", 1), ERegistryException);
  EXPECT_THROW(reg.WriteString("Name", "x"), ERegistryException);
  EXPECT_FALSE(fs::exists(file_));
  ASSERT_TRUE(reg.OpenKey("\\", true));  // the root itself, opened on purpose
  reg.WriteInteger("AtRoot", 2);
  EXPECT_EQ(reg.ReadInteger("AtRoot"), 2);
  reg.CloseKey();
  EXPECT_THROW(reg.ReadInteger("AtRoot"), ERegistryException);
  EXPECT_THROW(reg.ReadString("AtRoot"), ERegistryException);
  EXPECT_FALSE(reg.ValueExists("AtRoot"));
  EXPECT_EQ(reg.GetDataType("AtRoot"), rdUnknown);
  EXPECT_FALSE(reg.DeleteValue("AtRoot"));
  EXPECT_EQ(ReadFile(file_), "REGEDIT4\n\n[HKEY_CURRENT_USER]\n\"AtRoot\"=dword:00000002\n");
}

TEST_F(RegistryTest, RelativeAndAbsolutePathsAndCreateKey) {
  TRegistry reg(file_);
  ASSERT_TRUE(reg.OpenKey("\\Software", true));
  ASSERT_TRUE(reg.OpenKey("Brennwick", true));  // relative to the current key
  EXPECT_EQ(reg.CurrentPath(), "Software\\Brennwick");
  EXPECT_TRUE(reg.CreateKey("Zelvane\\Ports"));
  EXPECT_EQ(reg.CurrentPath(), "Software\\Brennwick");           // CreateKey does not open
  EXPECT_TRUE(reg.KeyExists("\\software\\brennwick\\zelvane"));  // parent of a created key
  EXPECT_TRUE(reg.OpenKey("\\Software\\Brennwick\\Zelvane\\Ports", false));
  EXPECT_FALSE(reg.OpenKey("\\Bad\\\\Path", true));
  reg.CloseKey();
  EXPECT_EQ(reg.CurrentPath(), "");
}

TEST_F(RegistryTest, DefaultFileFollowsAnAbsoluteXdgConfigHomeOnly) {
  const ScopedEnv xdg("XDG_CONFIG_HOME", dir_.string());
  const ScopedEnv home("HOME", (dir_ / "home").string());
  EXPECT_EQ(TRegistry::DefaultFileName(), (dir_ / "zelvane" / "user.reg").string());
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey("\\Software\\Brennwick\\Zelvane", true));
  reg.WriteInteger("PortNum", 3);
  EXPECT_TRUE(fs::exists(dir_ / "zelvane" / "user.reg"));
  const std::string underHome = (dir_ / "home" / ".config" / "zelvane" / "user.reg").string();
  for (const char* ignored : {"", "relative/config", "./config"}) {
    ::setenv("XDG_CONFIG_HOME", ignored, 1);
    EXPECT_EQ(TRegistry::DefaultFileName(), underHome) << "XDG_CONFIG_HOME=" << ignored;
  }
  ::unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(TRegistry::DefaultFileName(), underHome);
}

TEST_F(RegistryTest, ValuesWrittenByAnotherProcessAreSeen) {
  const int status = Join(Spawn([&] {
    TRegistry reg(file_);
    reg.OpenKey("\\Software\\Brennwick\\Zelvane", true);
    reg.WriteInteger("PortNum", 7);
  }));
  ASSERT_EQ(status, 0);
  TRegistry reg(file_);
  ASSERT_TRUE(reg.OpenKey("\\Software\\Brennwick\\Zelvane", false));
  EXPECT_EQ(reg.ReadInteger("PortNum"), 7);
}

// Two processes write different values at the same time: the lock and the re-read before each
// change keep every value.
TEST_F(RegistryTest, TwoProcessesWritingAtOnceLoseNothing) {
  constexpr int kWrites = 60;
  auto writer = [this](const std::string& prefix) {
    return [this, prefix] {
      TRegistry reg(file_);
      reg.OpenKey("\\Software\\Test", true);
      for (int i = 0; i < kWrites; ++i) reg.WriteInteger(prefix + std::to_string(i), i);
    };
  };
  const pid_t a = Spawn(writer("A"));
  const pid_t b = Spawn(writer("B"));
  ASSERT_EQ(Join(a), 0);
  ASSERT_EQ(Join(b), 0);
  TRegistry reg(file_);
  ASSERT_TRUE(reg.OpenKey("\\Software\\Test", false));
  for (int i = 0; i < kWrites; ++i) {
    EXPECT_EQ(reg.ReadInteger("A" + std::to_string(i)), i);
    EXPECT_EQ(reg.ReadInteger("B" + std::to_string(i)), i);
  }
}

TEST_F(RegistryTest, DamagedFileIsReportedWithLineAndNeverOverwritten) {
  fs::create_directories(fs::path(file_).parent_path());
  const std::string damaged =
      "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Brennwick\\Zelvane]\n\"PortNum\"=dword:5\n";
  WriteFile(file_, damaged);
  TRegistry reg(file_);
  try {
    reg.OpenKey("\\Software\\Brennwick\\Zelvane", true);
    FAIL() << "no error";
  } catch (const ERegistryException& e) {
    EXPECT_NE(e.Message.find(file_), std::string::npos) << e.Message;
    EXPECT_NE(e.Message.find("line 4"), std::string::npos) << e.Message;
  }
  EXPECT_THROW(reg.WriteInteger("PortNum", 1), ERegistryException);
  EXPECT_THROW(reg.ReadInteger("PortNum"), ERegistryException);
  EXPECT_EQ(ReadFile(file_), damaged);

  const std::pair<const char*, const char*> others[] = {
      {"[HKEY_CURRENT_USER\\X]\n", "line 1"},                       // no header
      {"REGEDIT4\n\"a\"=dword:00000001\n", "line 2"},               // value outside a key
      {"REGEDIT4\n[HKEY_CURRENT_USER\\X\n", "line 2"},              // unterminated key
      {"REGEDIT4\n[HKEY_CURRENT_USER\\X]\n\"a=\"b\"\n", "line 3"},  // bad quoting
      {"REGEDIT4\n[HKEY_CURRENT_USER\\X]\n\"a\"=\"b\n", "line 3"},  // unterminated string
      {"REGEDIT4\n[HKEY_CURRENT_USER\\X]\n\"a\"=dword:0000000g\n", "line 3"},
      {"REGEDIT4\n[NOT_A_ROOT\\X]\n", "line 2"},
  };
  for (const auto& [text, where] : others) {
    WriteFile(file_, text);
    try {
      TRegistry(file_).OpenKey("\\X", true);
      ADD_FAILURE() << "no error for " << text;
    } catch (const ERegistryException& e) {
      EXPECT_NE(e.Message.find(where), std::string::npos) << text << " -> " << e.Message;
    }
    EXPECT_EQ(ReadFile(file_), text);
  }
}

TEST_F(RegistryTest, OtherValueTypesSurviveARewrite) {
  fs::create_directories(fs::path(file_).parent_path());
  WriteFile(file_,
            "REGEDIT4\r\n\r\n; a "
            "comment\r\n[HKEY_CURRENT_USER\\X]\r\n\"bin\"=hex:01,02,ff\r\n@=\"dflt\"\r\n");
  TRegistry reg(file_);
  ASSERT_TRUE(reg.OpenKey("\\X", false));
  EXPECT_EQ(reg.ReadString(""), "dflt");
  EXPECT_TRUE(reg.ValueExists("bin"));
  EXPECT_EQ(reg.GetDataType("bin"), rdUnknown);
  reg.WriteInteger("n", 1);
  EXPECT_TRUE(reg.DeleteValue("n"));
  EXPECT_FALSE(reg.DeleteValue("n"));
  EXPECT_EQ(ReadFile(file_),
            "REGEDIT4\n\n[HKEY_CURRENT_USER\\X]\n\"bin\"=hex:01,02,ff\n@=\"dflt\"\n");
  EXPECT_THROW(reg.WriteString("s", "two\nlines"), ERegistryException);
}

// As regedit and text editors write them: a byte-order mark, CR LF, blanks at line ends, binary
// and other typed values continued over several lines. They read, and a rewrite keeps them.
TEST_F(RegistryTest, FilesWrittenByCommonToolsAreReadAndKept) {
  fs::create_directories(fs::path(file_).parent_path());
  const std::string binary =
      "\"bin\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,\\\n"
      "  17,18,19\n";
  const std::string multi = "\"multi\"=hex(7):61,00,00,00,\\\n  00,00\n";
  WriteFile(file_,
            "\xEF\xBB\xBFREGEDIT4 \r\n\r\n[HKEY_CURRENT_USER\\Software\\Brennwick\\Zelvane]  \r\n"
            "\"PortNum\"=dword:00000004\t\r\n\"bin\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,"
            "0d,0e,0f,10,11,12,13,14,15,16,\\\r\n  17,18,19 \r\n"
            "\"multi\"=hex(7):61,00,00,00,\\\r\n  00,00\r\n\"Name\"=\"a b \"  \r\n");
  TRegistry reg(file_);
  ASSERT_TRUE(reg.OpenKey("\\Software\\Brennwick\\Zelvane", false));
  EXPECT_EQ(reg.ReadInteger("PortNum"), 4);
  EXPECT_EQ(reg.ReadString("Name"), "a b ");
  EXPECT_EQ(reg.GetDataType("multi"), rdUnknown);
  reg.WriteInteger("PortNum", 5);
  EXPECT_EQ(ReadFile(file_),
            "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Brennwick\\Zelvane]\n"
            "\"PortNum\"=dword:00000005\n" +
                binary + multi + "\"Name\"=\"a b \"\n");

  // A continuation that never ends, or a value type that is no hex type, is damage.
  for (const char* damaged : {"REGEDIT4\n[HKEY_CURRENT_USER\\X]\n\"b\"=hex:01,\\\n",
                              "REGEDIT4\n[HKEY_CURRENT_USER\\X]\n\"b\"=hexes:01\n"}) {
    WriteFile(file_, damaged);
    EXPECT_THROW(TRegistry(file_).OpenKey("\\X", true), ERegistryException) << damaged;
    EXPECT_EQ(ReadFile(file_), damaged);
  }
}

// A settings file kept elsewhere behind a symbolic link stays there, with its permissions.
TEST_F(RegistryTest, SymlinkedFileIsWrittenThroughKeepingItsMode) {
  const fs::path kept = dir_ / "kept";
  fs::create_directories(kept);
  fs::create_directories(fs::path(file_).parent_path());
  WriteFile((kept / "real.reg").string(), "REGEDIT4\n\n[HKEY_CURRENT_USER\\X]\n");
  ::chmod((kept / "real.reg").c_str(), 0644);
  fs::create_symlink("../kept/real.reg", file_);
  TRegistry reg(file_);
  ASSERT_TRUE(reg.OpenKey("\\X", false));
  reg.WriteInteger("n", 7);
  reg.WriteString("s", "text");
  EXPECT_TRUE(fs::is_symlink(file_));
  EXPECT_EQ(ReadFile((kept / "real.reg").string()),
            "REGEDIT4\n\n[HKEY_CURRENT_USER\\X]\n\"n\"=dword:00000007\n\"s\"=\"text\"\n");
  struct stat st {};
  ASSERT_EQ(::stat((kept / "real.reg").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0644u);
  EXPECT_EQ(TRegistry(file_).OpenKey("\\X", false), true);
}

// A writer killed at any moment leaves a file that parses and holds the old or the new value.
TEST_F(RegistryTest, KillDuringWriteLeavesOldOrNewValue) {
  {
    TRegistry reg(file_);
    reg.OpenKey("\\Software\\Kill", true);
    for (int i = 0; i < 300; ++i) reg.WriteString("pad" + std::to_string(i), std::string(60, 'x'));
    reg.WriteInteger("Value", 0);
  }
  for (int round = 0; round < 15; ++round) {
    const pid_t child = Spawn([&] {
      TRegistry reg(file_);
      reg.OpenKey("\\Software\\Kill", false);
      for (int i = 1;; ++i) reg.WriteInteger("Value", i);
    });
    // Let the child get into its write loop, then kill it wherever it is.
    TRegistry watch(file_);
    ASSERT_TRUE(watch.OpenKey("\\Software\\Kill", false));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (watch.ReadInteger("Value") == 0 && std::chrono::steady_clock::now() < deadline) {
    }
    ::usleep(static_cast<useconds_t>(round * 700));
    ::kill(child, SIGKILL);
    ASSERT_EQ(Join(child), 100 + SIGKILL);
    TRegistry after(file_);
    ASSERT_TRUE(after.OpenKey("\\Software\\Kill", false)) << "round " << round;
    EXPECT_GE(after.ReadInteger("Value"), 0);
    EXPECT_EQ(after.ReadString("pad299"), std::string(60, 'x'));
    after.WriteInteger("Value", 0);  // the store is still writable (the lock died with the child)
  }
}
