// SPDX-License-Identifier: MIT
// zelvane: the desktop program. The Qt front end lives as long as the program runs; the entry
// point does the rest.
#include <widgets/frontend.h>

#include "Zelvane.h"

int main(int argc, char* argv[]) {
  TWidgetsFrontEnd FrontEnd(argc, argv, {"zelvane", "0.1.0.0", "zelvane", "ru"});
  return ZelvaneMain();
}
