// SPDX-License-Identifier: MIT
#include <widgets/forms.h>
#include <widgets/imglist.h>
#include <widgets/trayicon.h>

#include <QEvent>
#include <QIcon>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>

#include "qt_bridge.h"

// Watches the owner form's window for being minimised.
class TTrayWatcher : public QObject {
 public:
  explicit TTrayWatcher(TTrayIcon* Tray) : FTray(Tray) {}
  bool eventFilter(QObject* Watched, QEvent* Event) override {
    if (Event->type() == QEvent::WindowStateChange &&
        (static_cast<QWidget*>(Watched)->windowState() & Qt::WindowMinimized))
      FTray->OwnerMinimised();
    return QObject::eventFilter(Watched, Event);
  }

 private:
  TTrayIcon* FTray;
};

namespace {

TTrayIconMessage MessageOf(QSystemTrayIcon::ActivationReason Reason) {
  switch (Reason) {
    case QSystemTrayIcon::Trigger:
      return imClick;
    case QSystemTrayIcon::DoubleClick:
      return imDoubleClick;
    case QSystemTrayIcon::Context:
      return imRightClick;
    case QSystemTrayIcon::MiddleClick:
      return imMiddleClick;
    default:
      return imNone;
  }
}

QWidget* OwnerWindow(const TComponent* Tray) {
  const auto* form = dynamic_cast<const TForm*>(Tray->Owner());
  return form != nullptr ? form->Widget() : nullptr;
}

}  // namespace

TTrayIcon::TTrayIcon(TComponent* AOwner)
    : TComponent(AOwner), FTray(widgets_detail::NewWidget<QSystemTrayIcon>("TTrayIcon")) {
  QObject::connect(
      FTray, &QSystemTrayIcon::activated, FTray,
      [this](QSystemTrayIcon::ActivationReason Reason) { Clicked(MessageOf(Reason)); });
}

TTrayIcon::~TTrayIcon() {
  QObject::disconnect(FTray, nullptr, nullptr, nullptr);
  delete FTray;  // takes the icon away
  delete FWatcher;
}

bool TTrayIcon::TrayAvailable() { return QSystemTrayIcon::isSystemTrayAvailable(); }

bool TTrayIcon::IconShown() const { return FTray->isVisible(); }

// Shows the icon only where a tray exists: elsewhere Qt would only complain.
void TTrayIcon::UpdateIcon() {
  if ((ComponentState() & csLoading) != 0) return;
  if (QWidget* window = OwnerWindow(this); window != nullptr && FWatcher == nullptr) {
    FWatcher = new TTrayWatcher(this);
    window->installEventFilter(FWatcher);
  }
  const char* const* picture = FIcons != nullptr ? FIcons->Picture(FIconIndex) : nullptr;
  FTray->setIcon(picture != nullptr ? QIcon(QPixmap(picture)) : QIcon());
  FTray->setToolTip(QApplication::applicationDisplayName());
  FTray->setVisible(FVisible && TrayAvailable() && picture != nullptr);
}

void TTrayIcon::HideOwner() {
  QWidget* window = OwnerWindow(this);
  QTimer::singleShot(0, window, [window] { window->hide(); });
}

void TTrayIcon::Restore() {
  QWidget* window = OwnerWindow(this);
  if (window == nullptr) return;
  window->showNormal();
  window->raise();
  window->activateWindow();
}
