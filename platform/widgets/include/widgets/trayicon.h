// SPDX-License-Identifier: MIT
// TTrayIcon: the program's icon in the desktop's notification area (system tray).
//
// While Visible, the first picture of Icons (or picture IconIndex) is shown in the tray. With
// Hide, minimising the owner form hides it from the desktop; the tray action RestoreOn (a
// double-click, say) brings it back. Where the desktop has no tray (no tray host running, or no
// display), nothing is shown and a minimised form stays on the task bar as usual, so the user can
// always get it back. The icon has no menu: PopupMenuOn is kept for the form description only.
//
// Threads: main thread only.
#pragma once

#include <framework/classes.h>
#include <widgets/export.h>
#include <widgets/native.h>

class TImageList;
class TTrayWatcher;

// Tray actions, as the desktop reports them.
enum TTrayIconMessage : unsigned char {
  imNone,
  imClick,
  imDoubleClick,
  imRightClick,
  imMiddleClick
};

class COMM_WIDGETS_API TTrayIcon : public TComponent {
 public:
  explicit TTrayIcon(TComponent* AOwner);
  ~TTrayIcon() override;
  static const TClassInfo& ClassInfo();
  const TClassInfo& GetClassInfo() const override { return ClassInfo(); }

  // Shows the icon in the tray (true) or takes it away (false).
  virtual void SetVisible(bool Value);
  bool GetVisible() const { return FVisible; }
  bool GetHide() const { return FHide; }
  void SetHide(bool Value) { FHide = Value; }
  TTrayIconMessage GetRestoreOn() const { return FRestoreOn; }
  void SetRestoreOn(TTrayIconMessage Value) { FRestoreOn = Value; }
  TTrayIconMessage GetPopupMenuOn() const { return FPopupMenuOn; }
  void SetPopupMenuOn(TTrayIconMessage Value) { FPopupMenuOn = Value; }
  TImageList* GetIcons() const { return FIcons; }
  void SetIcons(TImageList* Value);
  int GetIconIndex() const { return FIconIndex; }
  void SetIconIndex(int Value);

  // Whether the desktop has a tray to show icons in.
  static bool TrayAvailable();
  // Whether the icon is in the tray now.
  bool IconShown() const;
  // Brings the owner form back from the tray or from being minimised.
  void Restore();

 protected:
  void Loaded() override;
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  friend class TTrayWatcher;
  void UpdateIcon();
  // A click on the icon: a click of the kind RestoreOn names restores the owner form.
  void Clicked(TTrayIconMessage Message);
  // The owner form was minimised: with Hide, and while the icon is in the tray, it is hidden.
  void OwnerMinimised();
  // The front end's half of OwnerMinimised: takes the owner form's window off the desktop.
  void HideOwner();

  widgets_native::Tray* FTray;
  TTrayWatcher* FWatcher = nullptr;
  bool FVisible = false;
  bool FHide = false;
  TTrayIconMessage FRestoreOn = imNone;
  TTrayIconMessage FPopupMenuOn = imRightClick;
  TImageList* FIcons = nullptr;
  int FIconIndex = 0;
};
