// SPDX-License-Identifier: MIT
// The bevel (a drawn frame or line) and the timer.
//
// TTimer calls OnTimer every Interval milliseconds while Enabled and Interval > 0, from the
// moment its form has been read (or at once for a timer made in code); changing either setting
// starts the interval anew. Ticks
// run on the main thread from the event loop, also from the local loops of boxes and dialogs, so
// a tick can come while an earlier tick's handler still waits in a box. An exception from
// OnTimer goes to the standard error report; the timer keeps ticking.
//
// Threads: main thread only.
#pragma once

#include <widgets/controls.h>
#include <widgets/export.h>

enum TBevelShape : unsigned char {
  bsBox,
  bsFrame,
  bsTopLine,
  bsBottomLine,
  bsLeftLine,
  bsRightLine,
  bsSpacer
};
enum TBevelStyle : unsigned char { bsLowered, bsRaised };

class COMM_WIDGETS_API TBevel : public TControl {
 public:
  explicit TBevel(TComponent* AOwner);
  static const TClassInfo& ClassInfo();
  const TClassInfo& GetClassInfo() const override { return ClassInfo(); }
  TBevelShape GetShape() const { return FShape; }
  void SetShape(TBevelShape Value);
  TBevelStyle GetStyle() const { return FStyle; }
  void SetStyle(TBevelStyle Value);

 private:
  TBevelShape FShape = bsBox;
  TBevelStyle FStyle = bsLowered;
};

class COMM_WIDGETS_API TTimer : public TComponent {
 public:
  explicit TTimer(TComponent* AOwner);
  ~TTimer() override;
  static const TClassInfo& ClassInfo();
  const TClassInfo& GetClassInfo() const override { return ClassInfo(); }
  bool GetEnabled() const { return FEnabled; }
  void SetEnabled(bool Value);
  unsigned GetInterval() const { return FInterval; }
  void SetInterval(unsigned Value);
  // Whether the timer is counting now.
  bool Active() const;
  TNotifyEvent OnTimer;

 protected:
  void Loaded() override;

 private:
  void UpdateTimer();
  widgets_native::Timer* FTimer;
  bool FEnabled = true;
  unsigned FInterval = 1000;
};
