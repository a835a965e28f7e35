// SPDX-License-Identifier: MIT
// Colours, fonts and built-in pictures of the visual controls.
//
// TColor is an integer as form descriptions store it: 0x00BBGGRR for a plain colour, or
// clSystemColor | n for the desktop colour n (clBtnFace, clWindowText, ...), which the controls
// take from the running desktop's palette. Every colour below reads and writes by name in form
// descriptions (Color = clInfoBk). Font names of the desktops forms were designed on map to
// metric-compatible installed fonts (MS Sans Serif and Arial to Liberation Sans, ...).
//
// Pictures are built into the program as XPM data and registered by name; forms (Icon) and
// image lists (Pictures) name them. Register before the first form is built, for instance from
// a static initialiser of the program's unit.
//
// Threads: the tables are constant; RegisterPicture and FindPicture belong to the main thread.
#pragma once

#include <widgets/export.h>

#include <string>
#include <utility>
#include <vector>

using TColor = int;

constexpr TColor clSystemColor = static_cast<TColor>(0xFF000000u);
// Desktop colours (Win32 colour indexes).
constexpr TColor clScrollBar = clSystemColor | 0;
constexpr TColor clBackground = clSystemColor | 1;
constexpr TColor clActiveCaption = clSystemColor | 2;
constexpr TColor clInactiveCaption = clSystemColor | 3;
constexpr TColor clMenu = clSystemColor | 4;
constexpr TColor clWindow = clSystemColor | 5;
constexpr TColor clWindowFrame = clSystemColor | 6;
constexpr TColor clMenuText = clSystemColor | 7;
constexpr TColor clWindowText = clSystemColor | 8;
constexpr TColor clCaptionText = clSystemColor | 9;
constexpr TColor clActiveBorder = clSystemColor | 10;
constexpr TColor clInactiveBorder = clSystemColor | 11;
constexpr TColor clAppWorkSpace = clSystemColor | 12;
constexpr TColor clHighlight = clSystemColor | 13;
constexpr TColor clHighlightText = clSystemColor | 14;
constexpr TColor clBtnFace = clSystemColor | 15;
constexpr TColor clBtnShadow = clSystemColor | 16;
constexpr TColor clGrayText = clSystemColor | 17;
constexpr TColor clBtnText = clSystemColor | 18;
constexpr TColor clInactiveCaptionText = clSystemColor | 19;
constexpr TColor clBtnHighlight = clSystemColor | 20;
constexpr TColor cl3DDkShadow = clSystemColor | 21;
constexpr TColor cl3DLight = clSystemColor | 22;
constexpr TColor clInfoText = clSystemColor | 23;
constexpr TColor clInfoBk = clSystemColor | 24;
// Plain colours.
constexpr TColor clBlack = 0x000000;
constexpr TColor clMaroon = 0x000080;
constexpr TColor clGreen = 0x008000;
constexpr TColor clOlive = 0x008080;
constexpr TColor clNavy = 0x800000;
constexpr TColor clPurple = 0x800080;
constexpr TColor clTeal = 0x808000;
constexpr TColor clGray = 0x808080;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clYellow = 0x00FFFF;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clFuchsia = 0xFF00FF;
constexpr TColor clAqua = 0xFFFF00;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clMoneyGreen = 0xC0DCC0;
constexpr TColor clSkyBlue = 0xF0CAA6;
constexpr TColor clCream = 0xF0FBFF;
constexpr TColor clMedGray = 0xA4A0A0;

// Every colour above by name, for the Color and Font.Color properties.
COMM_WIDGETS_API const std::vector<std::pair<std::string, long long>>& ColorIdents();

// Character sets of a font, by name (Font.Charset). Informational: text is UTF-8 throughout.
constexpr int DEFAULT_CHARSET = 1;
constexpr int RUSSIAN_CHARSET = 204;
COMM_WIDGETS_API const std::vector<std::pair<std::string, long long>>& CharsetIdents();

// Font styles, bits of Font.Style.
enum TFontStyle : unsigned char { fsBold, fsItalic, fsUnderline, fsStrikeOut };

// The installed font family that stands in for a designed one (the name itself when none does).
COMM_WIDGETS_API std::string SubstituteFontName(const std::string& DesignedName);

// Registers a picture: Xpm is XPM data (the array an .xpm file declares), kept, not copied.
COMM_WIDGETS_API void RegisterPicture(const std::string& Name, const char* const* Xpm);
// The registered XPM data of that name, or null.
COMM_WIDGETS_API const char* const* FindPicture(const std::string& Name);
