// SPDX-License-Identifier: MIT
// The program's main window as its description (app/Unit1.dfm) builds it, for the native front
// end's tests and screenshots: a form class registered under the program's name whose published
// handlers only count their calls, the description's pictures, and its port class; and the
// per-monitor DPI awareness the program's manifest declares.
// Main thread only.
#pragma once

// clang-format off
#include <win32/utf16.h>  // first: win32/win32.h comes before any other Windows header
// clang-format on

#include <comm/Commport.h>
#include <widgets/forms.h>
#include <widgets/graphics.h>

#include <map>
#include <string>

#include "res/tray.xpm"
#include "res/zelvane.xpm"

extern const unsigned char MainFormDescription[];  // generated from the program's Unit1.dfm

namespace testsupport {

class TDescribedForm : public TForm {
 public:
  explicit TDescribedForm(TComponent* AOwner) : TForm(AOwner) {}
  static const TClassInfo& ClassInfo() {
    static const TClassInfo info = TClassInfo::Derived<TDescribedForm, TForm>("TMainForm")
                                       .Method("Load1BtnClick", &TDescribedForm::Count)
                                       .Method("Load2BtnClick", &TDescribedForm::Count)
                                       .Method("Load3BtnClick", &TDescribedForm::Count)
                                       .Method("Load4BtnClick", &TDescribedForm::Count)
                                       .Method("SearchBtnClick", &TDescribedForm::Count)
                                       .Method("FormCreate", &TDescribedForm::Ignore)
                                       .Method("FormDestroy", &TDescribedForm::Ignore)
                                       .Method("TempTimerTimer", &TDescribedForm::Ignore)
                                       .Method("SchedTimerTimer", &TDescribedForm::Ignore)
                                       .Method("ActiveCheckClick", &TDescribedForm::Count)
                                       .Method("HistoryBoxPaint", &TDescribedForm::Ignore)
                                       .Method("HistorySpanClick", &TDescribedForm::Count);
    return info;
  }
  const TClassInfo& GetClassInfo() const override { return ClassInfo(); }
  void Count(TObject* Sender) { ++Clicks[static_cast<TComponent*>(Sender)->GetName()]; }
  void Ignore(TObject*) {}
  std::map<std::string, int> Clicks;  // by the name of the control clicked
};

// Registers the description, its pictures and classes (once).
inline void RegisterDescribedForm() {
  static const bool registered = [] {
    RegisterPicture("MAINICON", zelvane_xpm);
    RegisterPicture("TRAYICON", tray_xpm);
    RegisterFormResource("TMainForm", reinterpret_cast<const char*>(MainFormDescription),
                         "Unit1.dfm");
    RegisterClass<TDescribedForm>();
    RegisterClass<TCommPort>();  // the description's port
    return true;
  }();
  (void)registered;
}

// What the program's manifest declares, asked for in code by a program without it: per-monitor
// DPI awareness, version 2 where the system has it. Call before the first window is made.
inline void BecomeDpiAware() {
  using TSetContext = BOOL(WINAPI*)(DPI_AWARENESS_CONTEXT);
  const auto setContext = reinterpret_cast<TSetContext>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetProcessDpiAwarenessContext")));
  if (setContext == nullptr || !setContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2))
    SetProcessDPIAware();
}

}  // namespace testsupport
