// SPDX-License-Identifier: MIT
// The resources of zelvane.exe as Windows reads them (under Wine): the version record through
// the version API, and the MAINICON icon group loaded from the file as a 32 x 32 icon. The
// program is looked for beside this test (the build's bin folder), or at the path in argv[1].
#include <windows.h>
//
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::wstring ProgramPath;

std::wstring FolderOfThisTest() {
  std::wstring path(MAX_PATH, L'\0');
  path.resize(GetModuleFileNameW(nullptr, path.data(), MAX_PATH));
  return path.substr(0, path.find_last_of(L"\\/") + 1);
}

class VersionRecord : public ::testing::Test {
 protected:
  void SetUp() override {
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(ProgramPath.c_str(), &handle);
    ASSERT_NE(size, 0u) << "no version record, error " << GetLastError();
    record.resize(size);
    ASSERT_TRUE(GetFileVersionInfoW(ProgramPath.c_str(), 0, size, record.data()));
  }

  // The value at `path` in the record, with its length in the record's units.
  const void* Value(const wchar_t* path, UINT& length) {
    void* value = nullptr;
    length = 0;
    if (!VerQueryValueW(record.data(), path, &value, &length)) return nullptr;
    return value;
  }

  std::wstring Text(const wchar_t* name) {
    const std::wstring path = std::wstring(L"\\StringFileInfo\\041904E3\\") + name;
    UINT length = 0;
    const auto* text = static_cast<const wchar_t*>(Value(path.c_str(), length));
    if (text == nullptr) return L"<missing>";
    return std::wstring(text, wcsnlen(text, length));
  }

  std::vector<BYTE> record;
};

TEST_F(VersionRecord, IsRussianWithTheProgramsNumbersAndDescription) {
  UINT length = 0;
  const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(Value(L"\\", length));
  ASSERT_NE(fixed, nullptr);
  ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00000001u);     // 0.1
  EXPECT_EQ(fixed->dwFileVersionLS, 0u);              // .0.0
  EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);  // 1.0
  EXPECT_EQ(fixed->dwProductVersionLS, 0u);
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));

  const auto* translation = static_cast<const WORD*>(Value(L"\\VarFileInfo\\Translation", length));
  ASSERT_NE(translation, nullptr);
  ASSERT_EQ(length, 2 * sizeof(WORD));
  EXPECT_EQ(translation[0], 0x0419);  // Russian
  EXPECT_EQ(translation[1], 1251);

  EXPECT_EQ(Text(L"FileDescription"), L"Zelvane 0.1");
  EXPECT_EQ(Text(L"FileVersion"), L"0.1.0.0");
  EXPECT_EQ(Text(L"ProductVersion"), L"1.0.0.0");
}

TEST(MainIcon, IsAThirtyTwoPixelIconOfTheProgram) {
  HMODULE program = LoadLibraryExW(ProgramPath.c_str(), nullptr,
                                   LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(program, nullptr) << "error " << GetLastError();
  EXPECT_NE(FindResourceW(program, L"MAINICON", MAKEINTRESOURCEW(14)), nullptr);  // RT_GROUP_ICON

  auto* icon = static_cast<HICON>(LoadImageW(program, L"MAINICON", IMAGE_ICON, 32, 32, 0));
  ASSERT_NE(icon, nullptr) << "error " << GetLastError();
  ICONINFO info{};
  ASSERT_TRUE(GetIconInfo(icon, &info));
  BITMAP colour{};
  ASSERT_NE(info.hbmColor, nullptr);
  ASSERT_TRUE(GetObjectW(info.hbmColor, sizeof colour, &colour));
  EXPECT_EQ(colour.bmWidth, 32);
  EXPECT_EQ(colour.bmHeight, 32);
  DeleteObject(info.hbmColor);
  DeleteObject(info.hbmMask);
  DestroyIcon(icon);
  FreeLibrary(program);
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (argc > 1) {
    const std::string given = argv[1];
    ProgramPath.assign(given.begin(), given.end());
  } else {
    ProgramPath = FolderOfThisTest() + L"zelvane.exe";
  }
  return RUN_ALL_TESTS();
}
