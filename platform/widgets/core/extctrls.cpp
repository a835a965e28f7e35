// SPDX-License-Identifier: MIT
// The bevel's and the timer's published properties and the timer's settings, the same in every
// front end; each front end's UpdateTimer (re)starts its own timer.
#include <widgets/extctrls.h>

const TClassInfo& TBevel::ClassInfo() {
  static const TClassInfo info =
      TClassInfo::Derived<TBevel, TControl>("TBevel")
          .Enum("Shape", &TBevel::GetShape, &TBevel::SetShape,
                {"bsBox", "bsFrame", "bsTopLine", "bsBottomLine", "bsLeftLine", "bsRightLine",
                 "bsSpacer"})
          .Enum("Style", &TBevel::GetStyle, &TBevel::SetStyle, {"bsLowered", "bsRaised"});
  return info;
}

const TClassInfo& TTimer::ClassInfo() {
  static const TClassInfo info =
      TClassInfo::Derived<TTimer, TComponent>("TTimer")
          .Property("Enabled", &TTimer::GetEnabled, &TTimer::SetEnabled)
          .Default(1)
          .Property("Interval", &TTimer::GetInterval, &TTimer::SetInterval)
          .Default(1000)
          .Event("OnTimer", &TTimer::OnTimer);
  return info;
}

void TTimer::SetEnabled(bool Value) {
  FEnabled = Value;
  UpdateTimer();
}

void TTimer::SetInterval(unsigned Value) {
  FInterval = Value;
  UpdateTimer();
}

void TTimer::Loaded() {
  TComponent::Loaded();
  UpdateTimer();
}
