// SPDX-License-Identifier: MIT
#include <widgets/graphics.h>
#include <widgets/imglist.h>

TImageList::TImageList(TComponent* AOwner) : TComponent(AOwner) {}

const TClassInfo& TImageList::ClassInfo() {
  static const TClassInfo info =
      TClassInfo::Derived<TImageList, TComponent>("TImageList")
          .Property("Height", &TImageList::GetHeight, &TImageList::SetHeight)
          .Default(16)
          .Property("Pictures", &TImageList::GetPictures, &TImageList::SetPictures)
          .Property("Width", &TImageList::GetWidth, &TImageList::SetWidth)
          .Default(16);
  return info;
}

void TImageList::SetPictures(const TStringItems& Value) {
  for (const std::string& name : Value)
    if (FindPicture(name) == nullptr)
      throw EComponentError("No picture named \"" + name + "\" is built into the program");
  FPictures = Value;
}

const char* const* TImageList::Picture(int Index) const {
  if (Index < 0 || Index >= Count()) return nullptr;
  return FindPicture(FPictures[static_cast<std::size_t>(Index)]);
}
