// SPDX-License-Identifier: MIT
// The paint box: a control that shows what its OnPaint handler draws on its canvas
// (widgets/canvas.h). It paints whenever the window system asks (shown, uncovered, resized) and
// after Invalidate; it draws nothing of its own, so what OnPaint leaves undrawn shows the parent.
// The canvas starts each paint with the paint box's font, a black solid one-pixel pen and a white
// solid brush. An exception from OnPaint goes to the standard error report.
//
// Threads: main thread only.
#pragma once

#include <widgets/canvas.h>
#include <widgets/controls.h>
#include <widgets/export.h>

class COMM_WIDGETS_API TPaintBox : public TControl {
 public:
  explicit TPaintBox(TComponent* AOwner);
  ~TPaintBox() override;
  static const TClassInfo& ClassInfo();
  const TClassInfo& GetClassInfo() const override { return ClassInfo(); }

  // The canvas of the paint under way; EComponentError outside OnPaint.
  TCanvas& GetCanvas() const;
  // Asks for a paint soon, from the event loop (Repaint paints at once).
  void Invalidate();
  TNotifyEvent OnPaint;

  // Called by the front end when the control paints: runs OnPaint on Canvas.
  void Paint(TCanvas& Canvas);

 private:
  TCanvas* FCanvas = nullptr;
};
