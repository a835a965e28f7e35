// SPDX-License-Identifier: MIT
#include "Zelvane.h"

#include "Unit1.h"

int ZelvaneMain() {
  try {
    Application->Initialize();
    Application->SetTitle("Zelvane 0.1");
    Application->CreateForm(MainForm);
    Application->Run();
  } catch (const Exception& E) {
    Application->ShowException(E);
  } catch (...) {
    Application->ShowException(Exception());
  }
  return 0;
}
