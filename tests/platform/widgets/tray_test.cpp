// SPDX-License-Identifier: MIT
// The tray on a real X display with a tray host (run by with_tray.sh): the icon shows, minimising
// hides the window, and a double-click on the icon brings it back.
#include <gtest/gtest.h>
#include <widgets/forms.h>
#include <widgets/imglist.h>
#include <widgets/trayicon.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include "gui.h"

using testsupport::ProcessEventsUntil;

namespace {

const char* const kPicture[] = {"2 2 1 1", "x c #008000", "xx", "xx"};

// The centre of this program's tray icon on the screen once the tray host has taken it in: its
// window nested in another client's, as the X server lists them
// ("           0x400006 "name": ("name" "name")  22x22+0+0  +777+1"); {0, 0} before.
std::pair<int, int> IconCentre() {
  const std::string me = '"' + std::string(program_invocation_short_name) + "\": (";
  FILE* tree = popen("xwininfo -root -tree", "r");
  std::pair<int, int> best{0, 0};
  int bestArea = 0;
  char line[512];
  while (tree != nullptr && std::fgets(line, sizeof line, tree) != nullptr) {
    int w = 0, h = 0, x = 0, y = 0;
    const char* size = std::strstr(line, ")  ");
    const bool nested = std::strspn(line, " ") > 5;  // the root's own children are indented 5
    if (!nested || std::strstr(line, me.c_str()) == nullptr || size == nullptr ||
        std::sscanf(size + 3, "%dx%d%*[-+0-9] +%d+%d", &w, &h, &x, &y) != 4 || w * h <= 1)
      continue;
    if (bestArea == 0 || w * h < bestArea) bestArea = w * h, best = {x + w / 2, y + h / 2};
  }
  if (tree != nullptr) pclose(tree);
  return best;
}

}  // namespace

TEST(TrayTest, MinimisingHidesTheWindowAndADoubleClickOnTheIconRestoresIt) {
  ASSERT_TRUE(ProcessEventsUntil([] { return TTrayIcon::TrayAvailable(); }))
      << "no tray host on DISPLAY " << std::getenv("DISPLAY");
  RegisterPicture("TESTTRAY", kPicture);
  TComponent owner(nullptr);
  auto* form = TForm::Create<TForm>(&owner);
  form->SetBounds(100, 100, 300, 200);
  auto* images = new TImageList(form);
  images->SetPictures({"TESTTRAY"});
  auto* tray = new TTrayIcon(form);
  tray->SetIcons(images);
  tray->SetHide(true);
  tray->SetRestoreOn(imDoubleClick);
  tray->SetVisible(true);
  form->Show();
  ASSERT_TRUE(ProcessEventsUntil([&] { return tray->IconShown() && form->Widget()->isVisible(); }));

  form->SetWindowState(wsMinimized);
  ASSERT_TRUE(ProcessEventsUntil([&] { return !form->Showing(); })) << "hidden into the tray";

  std::pair<int, int> centre;
  ASSERT_TRUE(ProcessEventsUntil([&] {
    const auto now = IconCentre();
    const bool settled = now.first > 0 && now == centre;  // the same place twice running
    centre = now;
    return settled;
  })) << "the tray host did not take the icon in";
  const auto [x, y] = centre;
  const std::string click = "xdotool mousemove " + std::to_string(x) + " " + std::to_string(y) +
                            " click --repeat 2 --delay 60 1";
  ASSERT_EQ(std::system(click.c_str()), 0) << click;
  EXPECT_TRUE(ProcessEventsUntil([&] { return form->Showing(); })) << "restored by the icon";
  EXPECT_EQ(form->GetWindowState(), wsNormal);

  tray->SetVisible(false);
  EXPECT_FALSE(tray->IconShown());
  owner.DestroyComponents();
}
