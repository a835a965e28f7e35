// SPDX-License-Identifier: MIT
// What both front ends do alike when they start: make every control class known by name, so
// that form descriptions can create them.
#include <framework/classes.h>
#include <widgets/comctrls.h>
#include <widgets/extctrls.h>
#include <widgets/forms.h>
#include <widgets/frontend.h>
#include <widgets/imglist.h>
#include <widgets/paintbox.h>
#include <widgets/stdctrls.h>
#include <widgets/trayicon.h>

void TWidgetsFrontEnd::RegisterControls() {
  RegisterClass<TForm>();
  RegisterClass<TStatusBar>();
  RegisterClass<TPageControl>();
  RegisterClass<TTabSheet>();
  RegisterClass<TGroupBox>();
  RegisterClass<TLabel>();
  RegisterClass<TButton>();
  RegisterClass<TEdit>();
  RegisterClass<TCheckBox>();
  RegisterClass<TMemo>();
  RegisterClass<TBevel>();
  RegisterClass<TPaintBox>();
  RegisterClass<TTimer>();
  RegisterClass<TImageList>();
  RegisterClass<TTrayIcon>();
}
