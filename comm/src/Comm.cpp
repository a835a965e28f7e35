// SPDX-License-Identifier: MIT
// The Comm library's resources.
#include <comm/Comm.h>

// Generated at build time from comm/res/TCOMMPORT.bmp.
extern const unsigned char CommPaletteImage[];
extern const std::size_t CommPaletteImageSize;

TCommResource FindCommResource(const std::string& Name) {
  if (Name == "TCOMMPORT") return {CommPaletteImage, CommPaletteImageSize};
  return {nullptr, 0};
}

const char* CommDescription() { return "Marnock COM port"; }
