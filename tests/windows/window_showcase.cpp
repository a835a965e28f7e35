// SPDX-License-Identifier: MIT
// Shows the program's window from its description with the native front end, one page after
// the other, for screenshots (scripts/winshot.sh): for page n it creates <dir>\pagen.ready once
// the page is painted, and goes on when <dir>\pagen.shot exists. Usage: window_showcase <dir>.
// clang-format off
#include <win32/utf16.h>  // first: win32/win32.h comes before any other Windows header
// clang-format on

#include <widgets/comctrls.h>
#include <widgets/frontend.h>

#include <cstdio>
#include <string>

#include "described_form.h"

namespace {

bool Exists(const std::wstring& Path) {
  return GetFileAttributesW(Path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void Touch(const std::wstring& Path) {
  HANDLE file = CreateFileW(Path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
}

// Handles messages until Path exists (or a minute has passed).
void ShowUntil(const std::wstring& Path) {
  for (int i = 0; i < 1200 && !Exists(Path); ++i) {
    Application->ProcessMessages();
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: window_showcase <folder>\n");
    return 2;
  }
  const std::wstring folder = win32::Utf16(argv[1]);
  testsupport::BecomeDpiAware();  // as the program is, by its manifest
  testsupport::RegisterDescribedForm();
  TWidgetsFrontEnd frontEnd(argc, argv);
  testsupport::TDescribedForm* form = nullptr;
  Application->CreateForm(form);
  form->Show();
  auto* pages = dynamic_cast<TPageControl*>(form->FindComponent("PageControl1"));
  for (int i = 0; pages != nullptr && i < pages->PageCount(); ++i) {
    pages->SetActivePage(pages->Pages(i));
    form->Repaint();
    Application->ProcessMessages();
    const std::wstring page = folder + L"\\page" + std::to_wstring(i + 1);
    Touch(page + L".ready");
    ShowUntil(page + L".shot");
  }
  return 0;
}
