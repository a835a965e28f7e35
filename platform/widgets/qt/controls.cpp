// SPDX-License-Identifier: MIT
#include <widgets/controls.h>

#include <QEvent>
#include <QFont>
#include <QWidget>
#include <algorithm>

#include "qt_bridge.h"

using widgets_detail::ResolveColor;
using widgets_detail::ToQt;

// Re-aligns a windowed control's children whenever its client widget changes size.
class TAlignWatcher : public QObject {
 public:
  explicit TAlignWatcher(TWinControl* Control) : FControl(Control) {}
  bool eventFilter(QObject* Watched, QEvent* Event) override {
    if (Event->type() == QEvent::Resize) FControl->AlignControls();
    return QObject::eventFilter(Watched, Event);
  }

 private:
  TWinControl* FControl;
};

// ---- TControl ---------------------------------------------------------------------------------

TControl::TControl(TComponent* AOwner, QWidget* AWidget)
    : TComponent(AOwner), FWidget(AWidget), FColor(clBtnFace) {}

TControl::~TControl() {
  if (FParent != nullptr) FParent->RemoveControl(this);
  QObject::disconnect(FWidget, nullptr, nullptr, nullptr);
  delete FWidget;
}

void TControl::ApplyParent() {
  if (FParent != nullptr) {
    FWidget->setParent(FParent->ClientWidget());
    FParent->InsertControl(this);
    if (!Reading()) ApplyBounds();
    FWidget->setVisible(FVisible);
  } else {
    FWidget->setParent(nullptr);
  }
}

void TControl::ApplyBounds() { FWidget->setGeometry(FLeft, FTop, FWidth, FHeight); }

void TControl::Repaint() { FWidget->repaint(); }

void TControl::SetEnabled(bool Value) {
  FEnabled = Value;
  FWidget->setEnabled(Value);
}

void TControl::SetVisible(bool Value) {
  FVisible = Value;
  // A top-level form shows through Show(); a child follows its parent.
  if (FParent != nullptr) FWidget->setVisible(Value);
}

void TControl::ApplyColor() {
  QPalette palette = FWidget->palette();
  const QColor color = ResolveColor(FColor, QApplication::palette());
  if (ColorIsFieldBackground()) {
    palette.setColor(QPalette::Base, color);
  } else {
    palette.setColor(QPalette::Window, color);
    FWidget->setAutoFillBackground(FColor != clBtnFace);
  }
  FWidget->setPalette(palette);
}

void TControl::ApplyFont() {
  if (FParentFont && FParent != nullptr) {
    FWidget->setFont(QFont());  // inherit the parent's again
    return;
  }
  QFont font =
      FWidget->parentWidget() != nullptr ? FWidget->parentWidget()->font() : QApplication::font();
  if (!FFontName.empty()) font.setFamily(ToQt(SubstituteFontName(FFontName)));
  // A negative height is the character height in pixels, a positive one the cell height.
  if (FFontHeight < 0) font.setPixelSize(-FFontHeight);
  if (FFontHeight > 0) font.setPixelSize(std::max(1, FFontHeight * 4 / 5));
  font.setBold((FFontStyle >> fsBold) & 1u);
  font.setItalic((FFontStyle >> fsItalic) & 1u);
  font.setUnderline((FFontStyle >> fsUnderline) & 1u);
  font.setStrikeOut((FFontStyle >> fsStrikeOut) & 1u);
  FWidget->setFont(font);
  QPalette palette = FWidget->palette();
  const QColor text = ResolveColor(FFontColor, QApplication::palette());
  for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
    palette.setColor(QPalette::Active, role, text),
        palette.setColor(QPalette::Inactive, role, text);
  FWidget->setPalette(palette);
}

// ---- TWinControl ------------------------------------------------------------------------------

TWinControl::TWinControl(TComponent* AOwner, QWidget* AWidget) : TControl(AOwner, AWidget) {}

TWinControl::~TWinControl() {
  // No handler of the half-destroyed control may run while its children go.
  QObject::disconnect(Widget(), nullptr, nullptr, nullptr);
  while (!FControls.empty()) delete FControls.back();  // each leaves the list itself
  delete FAlignWatcher;
}

QWidget* TWinControl::ClientWidget() const { return Widget(); }

std::pair<int, int> TWinControl::WatchClientSize() {
  if (FAlignWatcher == nullptr) {
    FAlignWatcher = new TAlignWatcher(this);
    ClientWidget()->installEventFilter(FAlignWatcher);
  }
  return {ClientWidget()->width(), ClientWidget()->height()};
}

void TWinControl::SetFocus() { Widget()->setFocus(Qt::OtherFocusReason); }

bool TWinControl::Focused() const { return Widget()->hasFocus(); }
