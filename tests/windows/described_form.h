// SPDX-License-Identifier: MIT
// The program's main window as its description (app/Unit1.dfm) builds it, for the native front
// end's tests and screenshots: a form class registered under the program's name whose published
// handlers only count their calls, the description's pictures, and its port class.
// Main thread only.
#pragma once

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

}  // namespace testsupport
