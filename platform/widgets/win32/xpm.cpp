// SPDX-License-Identifier: MIT
// A small XPM reader for the pictures built into the program: "w h ncolors cpp", colour lines
// "<key> c #RRGGBB" or "c None", then h rows of w keys. Enough for the program's own pictures;
// other colour names than None read as black.
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "win_bridge.h"

namespace winwidgets {

namespace {

struct TPixels {
  int Width = 0;
  int Height = 0;
  std::vector<std::uint32_t> Argb;  // top row first; alpha 0 is transparent
};

std::uint32_t ParseColor(const std::string& ColorText) {
  if (ColorText == "None" || ColorText == "none") return 0;
  unsigned rgb = 0;
  if (ColorText.size() == 7 && ColorText[0] == '#' &&
      std::sscanf(ColorText.c_str() + 1, "%6x", &rgb) == 1)
    return 0xFF000000u | rgb;
  return 0xFF000000u;
}

// The value after the "c" key of a colour line (the visual colour).
std::string ColorTextOf(const char* Line, int Cpp) {
  std::string rest = Line + Cpp;
  std::size_t at = 0;
  std::vector<std::string> words;
  while (at < rest.size()) {
    const std::size_t start = rest.find_first_not_of(" \t", at);
    if (start == std::string::npos) break;
    const std::size_t end = rest.find_first_of(" \t", start);
    words.push_back(rest.substr(start, end == std::string::npos ? end : end - start));
    at = end == std::string::npos ? rest.size() : end;
  }
  for (std::size_t i = 0; i + 1 < words.size(); i += 2)
    if (words[i] == "c") return words[i + 1];
  return words.size() >= 2 ? words[1] : "None";
}

bool Decode(const char* const* Xpm, TPixels& Out) {
  int colors = 0, cpp = 0;
  if (Xpm == nullptr ||
      std::sscanf(Xpm[0], "%d %d %d %d", &Out.Width, &Out.Height, &colors, &cpp) != 4 ||
      Out.Width <= 0 || Out.Height <= 0 || colors <= 0 || cpp <= 0 || Out.Width > 1024 ||
      Out.Height > 1024)
    return false;
  std::map<std::string, std::uint32_t> palette;
  for (int i = 0; i < colors; ++i) {
    const char* line = Xpm[1 + i];
    if (std::strlen(line) < static_cast<std::size_t>(cpp)) return false;
    palette[std::string(line, static_cast<std::size_t>(cpp))] = ParseColor(ColorTextOf(line, cpp));
  }
  Out.Argb.assign(static_cast<std::size_t>(Out.Width * Out.Height), 0);
  for (int y = 0; y < Out.Height; ++y) {
    const char* row = Xpm[1 + colors + y];
    if (std::strlen(row) < static_cast<std::size_t>(Out.Width * cpp)) return false;
    for (int x = 0; x < Out.Width; ++x) {
      auto it = palette.find(std::string(row + x * cpp, static_cast<std::size_t>(cpp)));
      Out.Argb[static_cast<std::size_t>(y * Out.Width + x)] = it != palette.end() ? it->second : 0;
    }
  }
  return true;
}

// A top-down 32-bit DIB section holding the pixels (premultiplied alpha: 0 or 255 only here).
HBITMAP ColorBitmap(const TPixels& P) {
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = P.Width;
  info.bmiHeader.biHeight = -P.Height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bitmap == nullptr) return nullptr;
  std::memcpy(bits, P.Argb.data(), P.Argb.size() * sizeof(std::uint32_t));
  return bitmap;
}

// The AND mask: 1 where the picture is transparent.
HBITMAP MaskBitmap(const TPixels& P) {
  const int stride = ((P.Width + 15) / 16) * 2;  // monochrome rows are WORD-aligned
  std::vector<BYTE> mask(static_cast<std::size_t>(stride * P.Height), 0);
  for (int y = 0; y < P.Height; ++y)
    for (int x = 0; x < P.Width; ++x)
      if ((P.Argb[static_cast<std::size_t>(y * P.Width + x)] >> 24) == 0)
        mask[static_cast<std::size_t>(y * stride + x / 8)] |= static_cast<BYTE>(0x80u >> (x % 8));
  return CreateBitmap(P.Width, P.Height, 1, 1, mask.data());
}

}  // namespace

HBITMAP BitmapFromXpm(const char* const* Xpm) {
  TPixels pixels;
  return Decode(Xpm, pixels) ? ColorBitmap(pixels) : nullptr;
}

HICON IconFromXpm(const char* const* Xpm) {
  TPixels pixels;
  if (!Decode(Xpm, pixels)) return nullptr;
  ICONINFO info = {};
  info.fIcon = TRUE;
  info.hbmColor = ColorBitmap(pixels);
  info.hbmMask = MaskBitmap(pixels);
  HICON icon =
      info.hbmColor != nullptr && info.hbmMask != nullptr ? CreateIconIndirect(&info) : nullptr;
  if (info.hbmColor != nullptr) DeleteObject(info.hbmColor);
  if (info.hbmMask != nullptr) DeleteObject(info.hbmMask);
  return icon;
}

}  // namespace winwidgets
