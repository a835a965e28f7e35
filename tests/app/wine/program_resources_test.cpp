// SPDX-License-Identifier: MIT
// The resources of zelvane.exe as Windows reads them (under Wine): the version record through
// the version API, the MAINICON icon group loaded from the file as a 32 x 32 icon, and the
// application manifest as the loader takes it (an activation context made from resource 1). The
// program is looked for beside this test (the build's bin folder), or at the path in argv[1].
#include <windows.h>
//
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::wstring ProgramPath;

std::wstring FolderOfThisTest() {
  std::wstring path(MAX_PATH, L'\0');
  path.resize(GetModuleFileNameW(nullptr, path.data(), MAX_PATH));
  return path.substr(0, path.find_last_of(L"\\/") + 1);
}

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

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

// The activation context the loader makes from the program's manifest when it starts it.
class Manifest : public ::testing::Test {
 protected:
  void SetUp() override {
    ACTCTXW request = {};
    request.cbSize = sizeof request;
    request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    request.lpSource = ProgramPath.c_str();
    request.lpResourceName = MAKEINTRESOURCEW(1);  // CREATEPROCESS_MANIFEST_RESOURCE_ID
    context = CreateActCtxW(&request);
    ASSERT_NE(context, INVALID_HANDLE_VALUE) << "no manifest, error " << GetLastError();
  }
  void TearDown() override {
    if (context != INVALID_HANDLE_VALUE) ReleaseActCtx(context);
  }

  // A setting of the manifest's windowsSettings in the schema Space (null: the first one, of 2005).
  std::wstring Setting(const wchar_t* name, const wchar_t* space = nullptr) const {
    std::array<wchar_t, 128> value = {};
    SIZE_T written = 0;
    if (!QueryActCtxSettingsW(0, context, space, name, value.data(), value.size(), &written))
      return L"<missing>";
    return value.data();
  }

  HANDLE context = INVALID_HANDLE_VALUE;
};

// The form scales itself by its screen's DPI (and again on a change of it), so the program
// declares per-monitor awareness, version 2 first, and "true/pm" for the systems before it.
TEST_F(Manifest, DeclaresPerMonitorDpiAwareness) {
  EXPECT_EQ(Setting(L"dpiAware"), L"true/pm");
  EXPECT_EQ(Setting(L"dpiAwareness", L"http://schemas.microsoft.com/SMI/2016/WindowsSettings"),
            L"PerMonitorV2,PerMonitor");
}

TEST_F(Manifest, NamesWindows7To11AsSupported) {
  std::vector<BYTE> info(4096);
  SIZE_T needed = 0;
  ASSERT_TRUE(QueryActCtxW(0, context, nullptr, CompatibilityInformationInActivationContext,
                           info.data(), info.size(), &needed))
      << "error " << GetLastError();
  DWORD count = 0;
  std::memcpy(&count, info.data(), sizeof count);
  EXPECT_EQ(count, 4u);
  // Each system's GUID is somewhere among the elements (whose size differs between versions).
  const auto holds = [&](const GUID& system) {
    for (std::size_t at = 0; at + sizeof system <= needed; ++at)
      if (std::memcmp(info.data() + at, &system, sizeof system) == 0) return true;
    return false;
  };
  EXPECT_TRUE(holds({0x35138b9a, 0x5d96, 0x4fbd, {0x8e, 0x2d, 0xa2, 0x44, 0x02, 0x25, 0xf9, 0x3a}}))
      << "Windows 7";
  EXPECT_TRUE(holds({0x4a2f28e3, 0x53b9, 0x4441, {0xba, 0x9c, 0xd6, 0x9d, 0x4a, 0x4a, 0x6e, 0x38}}))
      << "Windows 8";
  EXPECT_TRUE(holds({0x1f676c76, 0x80e1, 0x4239, {0x95, 0xbb, 0x83, 0xd0, 0xf6, 0xd0, 0xda, 0x78}}))
      << "Windows 8.1";
  EXPECT_TRUE(holds({0x8e0f7a12, 0xbfb3, 0x4fe8, {0xb9, 0xa5, 0x48, 0xfd, 0x50, 0xa1, 0x5a, 0x9a}}))
      << "Windows 10 and 11";
}

// Inside the program's context comctl32 is the side-by-side assembly of the common controls,
// version 6 (themed), not the system folder's older one that this test, without a manifest of
// its own, gets elsewhere.
TEST_F(Manifest, BringsVersionSixOfTheCommonControls) {
  ULONG_PTR cookie = 0;
  ASSERT_TRUE(ActivateActCtx(context, &cookie));
  HMODULE controls = LoadLibraryW(L"comctl32.dll");
  ASSERT_TRUE(DeactivateActCtx(0, cookie));
  ASSERT_NE(controls, nullptr);
  std::wstring path(MAX_PATH, L'\0');
  path.resize(GetModuleFileNameW(controls, path.data(), MAX_PATH));
  FreeLibrary(controls);
  CharLowerW(path.data());
  EXPECT_NE(path.find(L"\\winsxs\\"), std::wstring::npos) << Narrow(path);
  EXPECT_NE(path.find(L"microsoft.windows.common-controls_6595b64144ccf1df_6."), std::wstring::npos)
      << Narrow(path);
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
