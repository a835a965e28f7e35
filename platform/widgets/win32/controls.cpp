// SPDX-License-Identifier: MIT
// clang-format off
#include "win_bridge.h"  // first: win32/win32.h before any other Windows header
// clang-format on

#include <widgets/controls.h>

#include <algorithm>

using winwidgets::ResolveColor;
using winwidgets::TNativeWindow;

// Re-aligns a windowed control's children whenever its client window changes size.
class TAlignWatcher {
 public:
  explicit TAlignWatcher(TWinControl* Control) : FWindow(Control->ClientWidget()) {
    FWindow->OnAlign = [Control] { Control->AlignControls(); };
  }
  ~TAlignWatcher() { FWindow->OnAlign = nullptr; }
  TAlignWatcher(const TAlignWatcher&) = delete;
  TAlignWatcher& operator=(const TAlignWatcher&) = delete;

 private:
  TNativeWindow* FWindow;
};

// ---- TControl ---------------------------------------------------------------------------------

TControl::TControl(TComponent* AOwner, TNativeWindow* AWidget)
    : TComponent(AOwner), FWidget(AWidget), FColor(clBtnFace) {}

TControl::~TControl() {
  if (FParent != nullptr) FParent->RemoveControl(this);
  FWidget->OnCommand = nullptr;
  FWidget->OnNotify = nullptr;
  FWidget->OnMessage = nullptr;
  delete FWidget;
}

void TControl::ApplyParent() {
  if (FParent != nullptr) {
    FWidget->SetParent(FParent->ClientWidget());
    FParent->InsertControl(this);
    if (!Reading()) ApplyBounds();
    FWidget->SetVisible(FVisible);
  } else {
    FWidget->SetVisible(false);
    FWidget->SetParent(nullptr);
  }
}

void TControl::ApplyBounds() { FWidget->SetGeometry(FLeft, FTop, FWidth, FHeight); }

void TControl::Repaint() {
  RedrawWindow(FWidget->Handle(), nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
}

void TControl::SetEnabled(bool Value) {
  FEnabled = Value;
  FWidget->SetEnabled(Value);
}

void TControl::SetVisible(bool Value) {
  FVisible = Value;
  // A top-level form shows through Show(); a child follows its parent.
  if (FParent != nullptr) FWidget->SetVisible(Value);
}

// The desktop's face colour is every window's own; other colours are painted by the window.
void TControl::ApplyColor() {
  const bool own = ColorIsFieldBackground() || FColor != clBtnFace;
  const COLORREF text = FFontColor != clWindowText ? ResolveColor(FFontColor) : CLR_INVALID;
  FWidget->SetColors(own ? ResolveColor(FColor) : CLR_INVALID, text);
}

// The font of the nearest control up the parents that has its own (ParentFont false), given
// to this window and to the children that show their parent's font.
void TControl::ApplyFont() {
  const TControl* source = this;
  while (source->FParentFont && source->FParent != nullptr) source = source->FParent;
  FWidget->SetFont(winwidgets::FontFor(source->FFontName, source->FFontHeight, source->FFontStyle));
  ApplyColor();
  if (auto* windowed = dynamic_cast<TWinControl*>(this))
    for (TControl* child : windowed->FControls)
      if (child->FParentFont) child->ApplyFont();
}

// ---- TWinControl ------------------------------------------------------------------------------

TWinControl::TWinControl(TComponent* AOwner, TNativeWindow* AWidget) : TControl(AOwner, AWidget) {}

TWinControl::~TWinControl() {
  // No handler of the half-destroyed control may run while its children go.
  Widget()->OnCommand = nullptr;
  Widget()->OnNotify = nullptr;
  Widget()->OnResized = nullptr;
  while (!FControls.empty()) delete FControls.back();  // each leaves the list itself
  delete FAlignWatcher;
}

TNativeWindow* TWinControl::ClientWidget() const { return Widget(); }

std::pair<int, int> TWinControl::WatchClientSize() {
  if (FAlignWatcher == nullptr) FAlignWatcher = new TAlignWatcher(this);
  return {ClientWidget()->ClientWidth(), ClientWidget()->ClientHeight()};
}

void TWinControl::SetFocus() { ::SetFocus(Widget()->Handle()); }

bool TWinControl::Focused() const { return GetFocus() == Widget()->Handle(); }
