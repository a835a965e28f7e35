// SPDX-License-Identifier: MIT
#include <widgets/forms.h>

#include <QCloseEvent>
#include <QIcon>
#include <QPixmap>
#include <QWidget>

#include "qt_bridge.h"

using widgets_detail::CallHandler;
using widgets_detail::FromQt;
using widgets_detail::ToQt;

namespace {

// The window of a form: closing the main form ends the application.
class TFormWindow : public QWidget {
 public:
  TForm* Form = nullptr;

 protected:
  void closeEvent(QCloseEvent* Event) override {
    if (Form != nullptr && Application->GetMainForm() == Form) Application->Terminate();
    Event->accept();
  }
};

TFormWindow* NewFormWindow() { return widgets_detail::NewWidget<TFormWindow>("TForm"); }

// The windowed controls of Parent and of its children, depth first, in tab order.
void CollectTabChain(const TWinControl& Parent, std::vector<QWidget*>& Chain) {
  for (const TWinControl* c : Parent.TabList()) {
    if ((c->Widget()->focusPolicy() & Qt::TabFocus) != 0) Chain.push_back(c->Widget());
    CollectTabChain(*c, Chain);
  }
}

}  // namespace

TForm::TForm(TComponent* AOwner) : TWinControl(AOwner, NewFormWindow()) {
  static_cast<TFormWindow*>(Widget())->Form = this;
  SetParentFont(false);  // a form has no parent: its font is its own
  ApplyWindowFlags();
}

TForm::~TForm() { static_cast<TFormWindow*>(Widget())->Form = nullptr; }

void TForm::UpdateTabOrder() {
  FixupTabOrders();
  std::vector<QWidget*> chain;
  CollectTabChain(*this, chain);
  for (std::size_t i = 1; i < chain.size(); ++i) QWidget::setTabOrder(chain[i - 1], chain[i]);
}

std::string TForm::GetCaption() const { return FromQt(Widget()->windowTitle()); }

// The caption names the window in its title bar and, as the icon name a taskbar or pager shows
// (_NET_WM_ICON_NAME under X, which Qt otherwise sets empty), wherever it is listed.
void TForm::SetCaption(const std::string& Value) {
  Widget()->setWindowTitle(ToQt(Value));
  Widget()->setWindowIconText(ToQt(Value));
}

void TForm::SetBorderIcons(unsigned char Value) {
  FBorderIcons = Value;
  ApplyWindowFlags();
}

void TForm::ApplyWindowFlags() {
  Qt::WindowFlags flags = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
  if ((FBorderIcons >> biSystemMenu) & 1u)
    flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
  if ((FBorderIcons >> biMinimize) & 1u) flags |= Qt::WindowMinimizeButtonHint;
  if ((FBorderIcons >> biMaximize) & 1u) flags |= Qt::WindowMaximizeButtonHint;
  if ((FBorderIcons >> biHelp) & 1u) flags |= Qt::WindowContextHelpButtonHint;
  const bool shown = Widget()->isVisible();
  Widget()->setWindowFlags(flags);
  if (shown) Widget()->show();
}

void TForm::SetIcon(const std::string& Value) {
  const char* const* xpm = Value.empty() ? nullptr : FindPicture(Value);
  if (!Value.empty() && xpm == nullptr)
    throw EComponentError("No picture named \"" + Value + "\" is built into the program");
  FIcon = Value;
  Widget()->setWindowIcon(xpm != nullptr ? QIcon(QPixmap(xpm)) : QIcon());
}

TWindowState TForm::GetWindowState() const {
  const Qt::WindowStates state = Widget()->windowState();
  if (state & Qt::WindowMinimized) return wsMinimized;
  if (state & Qt::WindowMaximized) return wsMaximized;
  return wsNormal;
}

void TForm::SetWindowState(TWindowState Value) {
  static const Qt::WindowState kStates[] = {Qt::WindowNoState, Qt::WindowMinimized,
                                            Qt::WindowMaximized};
  Widget()->setWindowState(kStates[Value]);
}

void TForm::Show() {
  Widget()->show();
  Widget()->raise();
  Widget()->activateWindow();
}

void TForm::Hide() { Widget()->hide(); }

void TForm::Close() { Widget()->close(); }

bool TForm::Showing() const { return Widget()->isVisible(); }

TWinControl* TForm::GetActiveControl() const {
  const QWidget* focused = Widget()->focusWidget();
  for (int i = 0; focused != nullptr && i < ComponentCount(); ++i) {
    auto* control = dynamic_cast<TWinControl*>(Components(i));
    if (control != nullptr && control->Widget() == focused) return control;
  }
  return nullptr;
}

// Qt lays windows out in device-independent pixels and scales them, fonts included, by the
// screen's device pixel ratio: a 96-dpi description needs no scaling of its own here.
int TForm::ScreenPixelsPerInch() const { return 96; }

void TForm::ApplyBounds() {
  Widget()->move(GetLeft(), GetTop());
  Widget()->resize(std::max(0, GetWidth() - kDesignFrameWidth),
                   std::max(0, GetHeight() - kDesignFrameHeight));
}
