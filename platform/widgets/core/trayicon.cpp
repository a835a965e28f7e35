// SPDX-License-Identifier: MIT
// The tray icon's published properties and settings, the same in every front end; each front
// end's UpdateIcon shows the icon its own way.
#include <widgets/imglist.h>
#include <widgets/trayicon.h>

const TClassInfo& TTrayIcon::ClassInfo() {
  static const std::initializer_list<const char*> kMessages = {"imNone", "imClick", "imDoubleClick",
                                                               "imRightClick", "imMiddleClick"};
  static const TClassInfo info =
      TClassInfo::Derived<TTrayIcon, TComponent>("TTrayIcon")
          .Property("Visible", &TTrayIcon::GetVisible, &TTrayIcon::SetVisible)
          .Property("Hide", &TTrayIcon::GetHide, &TTrayIcon::SetHide)
          .Enum("RestoreOn", &TTrayIcon::GetRestoreOn, &TTrayIcon::SetRestoreOn, kMessages)
          .Enum("PopupMenuOn", &TTrayIcon::GetPopupMenuOn, &TTrayIcon::SetPopupMenuOn, kMessages)
          .Default(imRightClick)
          .Property("Icons", &TTrayIcon::GetIcons, &TTrayIcon::SetIcons)
          .Property("IconIndex", &TTrayIcon::GetIconIndex, &TTrayIcon::SetIconIndex);
  return info;
}

void TTrayIcon::SetVisible(bool Value) {
  FVisible = Value;
  UpdateIcon();
}

void TTrayIcon::SetIcons(TImageList* Value) {
  FIcons = Value;
  UpdateIcon();
}

void TTrayIcon::SetIconIndex(int Value) {
  FIconIndex = Value;
  UpdateIcon();
}

void TTrayIcon::Clicked(TTrayIconMessage Message) {
  if (FRestoreOn != imNone && Message == FRestoreOn) Restore();
}

// Without a tray icon the window must stay reachable: it is hidden only while the icon shows.
void TTrayIcon::OwnerMinimised() {
  if (FHide && IconShown()) HideOwner();
}

void TTrayIcon::Loaded() {
  TComponent::Loaded();
  UpdateIcon();
}

void TTrayIcon::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FIcons) {
    FIcons = nullptr;
    UpdateIcon();
  }
}
