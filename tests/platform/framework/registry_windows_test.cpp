// SPDX-License-Identifier: MIT
// The settings store on Windows: TRegistry() round trip through the system registry (checked
// with the registry API itself), and the REGEDIT4 file store with its Windows lock and
// replacement, changed by two threads at once.
#include <framework/registry.h>
#include <gtest/gtest.h>
#include <win32/win32.h>

#include <filesystem>
#include <string>
#include <thread>

#include "environment.h"

namespace {

const std::string kCyrillic = "\xD0\x9F\xD0\xBE\xD1\x80\xD1\x82 \xE2\x84\x96";  // Порт №

// The test's own key below HKEY_CURRENT_USER\Software, deleted with everything in it at the end.
class SystemRegistryTest : public ::testing::Test {
 protected:
  void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, Wide(path_).c_str()); }
  static std::wstring Wide(const std::string& text) {
    return std::wstring(text.begin(), text.end());  // the key's name is ASCII
  }
  const std::string path_ = "Software\\Brennwick\\" + testsupport::UniqueName("ZelvaneTest");
};

}  // namespace

TEST_F(SystemRegistryTest, ValuesGoToTheCurrentUsersRegistryAndComeBack) {
  {
    TRegistry reg;
    EXPECT_EQ(reg.FileName(), "");
    EXPECT_EQ(reg.GetRootKey(), HKEY_CURRENT_USER);
    EXPECT_FALSE(reg.KeyExists("\\" + path_));
    EXPECT_FALSE(reg.OpenKey("\\" + path_, false));
    ASSERT_TRUE(reg.OpenKey("\\" + path_, true));
    EXPECT_EQ(reg.CurrentPath(), path_);
    reg.WriteInteger("PortNum", 5);
    reg.WriteInteger("Negative", -2);
    reg.WriteString("Name", kCyrillic);
    reg.WriteString("", "default value");
    EXPECT_TRUE(reg.CreateKey("Sub"));
    EXPECT_TRUE(reg.KeyExists("Sub"));
  }

  // Really in the registry, with the registry's own types.
  DWORD type = 0;
  DWORD dword = 0;
  DWORD size = sizeof dword;
  ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, Wide(path_).c_str(), L"PortNum", RRF_RT_ANY, &type,
                         &dword, &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(dword, 5u);
  wchar_t text[64] = {};
  size = sizeof text;
  ASSERT_EQ(
      RegGetValueW(HKEY_CURRENT_USER, Wide(path_).c_str(), L"Name", RRF_RT_ANY, &type, text, &size),
      ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(std::wstring(text), L"\x041F\x043E\x0440\x0442 \x2116");

  // A new object reads them back; names ignore case, as the registry's do.
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey("\\" + path_, false));
  EXPECT_EQ(reg.ReadInteger("portnum"), 5);
  EXPECT_EQ(reg.ReadInteger("Negative"), -2);
  EXPECT_EQ(reg.ReadString("Name"), kCyrillic);
  EXPECT_EQ(reg.ReadString(""), "default value");
  EXPECT_EQ(reg.GetDataType("PortNum"), rdInteger);
  EXPECT_EQ(reg.GetDataType("Name"), rdString);
  EXPECT_EQ(reg.GetDataType("Missing"), rdUnknown);
  EXPECT_THROW(reg.ReadInteger("Name"), ERegistryException);
  EXPECT_THROW(reg.ReadString("Missing"), ERegistryException);
  EXPECT_THROW(reg.WriteString("Name", "two\nlines"), ERegistryException);

  EXPECT_TRUE(reg.DeleteValue("PortNum"));
  EXPECT_FALSE(reg.DeleteValue("PortNum"));
  EXPECT_FALSE(reg.ValueExists("PortNum"));
  reg.CloseKey();
  EXPECT_FALSE(reg.ValueExists("Name"));
  EXPECT_THROW(reg.ReadString("Name"), ERegistryException);
}

TEST(FileStoreOnWindows, TwoWritersAtOnceKeepEveryValue) {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / testsupport::UniqueName("zelvane-store");
  const std::string file = (folder / "sub" / "user.reg").string();
  constexpr int kValues = 40;
  auto writer = [&](const std::string& prefix) {
    TRegistry reg(file);
    ASSERT_TRUE(reg.OpenKey("\\Software\\Brennwick\\Zelvane", true));
    for (int i = 0; i < kValues; ++i) reg.WriteInteger(prefix + std::to_string(i), i);
  };
  std::thread a(writer, "A");
  std::thread b(writer, "B");
  a.join();
  b.join();

  TRegistry reg(file);
  ASSERT_TRUE(reg.OpenKey("\\Software\\Brennwick\\Zelvane", false));
  for (int i = 0; i < kValues; ++i) {
    EXPECT_EQ(reg.ReadInteger("A" + std::to_string(i)), i);
    EXPECT_EQ(reg.ReadInteger("B" + std::to_string(i)), i);
  }
  int leftovers = 0;  // no temporary file stays behind
  for (const auto& entry : std::filesystem::directory_iterator(folder / "sub"))
    leftovers += entry.path().extension() == ".tmp";
  EXPECT_EQ(leftovers, 0);
  std::filesystem::remove_all(folder);
}
