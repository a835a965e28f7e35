// SPDX-License-Identifier: MIT
// TImageList: a list of same-sized pictures, named in form descriptions by the pictures built
// into the program (RegisterPicture in widgets/graphics.h). Other components show them by index
// (a tray icon shows the first).
//
// Threads: main thread only.
#pragma once

#include <framework/classes.h>
#include <widgets/export.h>

#include <string>

class COMM_WIDGETS_API TImageList : public TComponent {
 public:
  explicit TImageList(TComponent* AOwner);
  static const TClassInfo& ClassInfo();
  const TClassInfo& GetClassInfo() const override { return ClassInfo(); }

  int GetWidth() const { return FWidth; }
  void SetWidth(int Value) { FWidth = Value; }
  int GetHeight() const { return FHeight; }
  void SetHeight(int Value) { FHeight = Value; }
  // The names of the pictures, in order; each must be a registered picture.
  TStringItems GetPictures() const { return FPictures; }
  void SetPictures(const TStringItems& Value);

  int Count() const { return static_cast<int>(FPictures.size()); }
  // XPM data of picture Index, or null when there is none.
  const char* const* Picture(int Index) const;

 private:
  int FWidth = 16;
  int FHeight = 16;
  TStringItems FPictures;
};
