// SPDX-License-Identifier: MIT
#include "sample_component.h"

const TClassInfo& TSample::ClassInfo() {
  static const TClassInfo info =
      TClassInfo::Derived<TSample, TComponent>("TSample")
          .Property("Count", &TSample::GetCount, &TSample::SetCount)
          .Property("Active", &TSample::GetActive, &TSample::SetActive)
          .Property("InSize", &TSample::GetInSize, &TSample::SetInSize)
          .Property("Free", &TSample::GetFree)
          .Property("Line", &TSample::FLine)
          .Property("Small", &TSample::FSmall, &TSample::FSmall)
          .Property("Byte", &TSample::FByte, &TSample::FByte)
          .Enum("Shade", &TSample::GetShade, &TSample::SetShade, {"shRed", "shGreen", "shBlue"})
          .Enum("AtomicShade", &TSample::FAtomicShade, &TSample::FAtomicShade,
                {"shRed", "shGreen", "shBlue"})
          .Set("Options", &TSample::FOptions, &TSample::FOptions,
               {"opBold", "opItalic", "opUnder", "opStrike", "opBlink", "opDim", "opWide", "opTall",
                "opLast"})
          .Set("Flags8", &TSample::FFlags8, &TSample::FFlags8, {"f0", "f1", "f2"})
          .Property("Letter", &TSample::FLetter, &TSample::FLetter)
          .Property("Text", &TSample::FText, &TSample::SetText)
          .Property("Limit", &TSample::FLimit, &TSample::SetLimit)
          .Idents({{"lmNone", 0}, {"lmMax", 65535}})
          .Property("Lines", &TSample::FLines, &TSample::FLines)
          .Event("OnClick", &TSample::OnClick)
          .Event("OnData", &TSample::OnData)
          .Method("Clicked", &TSample::Clicked)
          .Method("Received", &TSample::Received);
  return info;
}

const TClassInfo& TSampleChild::ClassInfo() {
  static const TClassInfo info =
      TClassInfo::Derived<TSampleChild, TSample>("TSampleChild")
          .Property("Extra", &TSampleChild::FExtra, &TSampleChild::FExtra);
  return info;
}
