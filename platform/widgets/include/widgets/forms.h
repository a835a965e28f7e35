// SPDX-License-Identifier: MIT
// Forms: top-level windows built from a stored form description.
//
// A form class registers its description under its class name (RegisterFormResource). A form
// made by TForm::Create<T> or Application->CreateForm reads that description right after its
// constructor (every component it describes is created, its properties applied through their
// setters, the form's published fields set), then runs OnCreate. OnDestroy runs when the form's
// owner destroys it, before any of its components goes. An error inside OnCreate or OnDestroy
// goes to the standard error report and the program carries on; a description that cannot be
// read raises EReadError from the creation and leaves nothing behind.
//
// Width and Height are the outer size on the desktop the form was designed on, whose frame makes
// a window 8 pixels wider and 27 taller than its client area; controls sit in the client area at
// their designed positions. Closing the application's main form terminates the application.
//
// A description is laid out at PixelsPerInch (96 unless it says otherwise). When Scaled (the
// default), the form read from it is scaled at load by the screen's DPI / PixelsPerInch: the
// client area's size (not the window's place on the desktop), every control's position and size,
// and the fonts' heights; PixelsPerInch is then the screen's. The front end gives the screen's
// DPI: the Win32 one the window's (per-monitor) DPI, where the program declares itself aware of
// it, and it scales the form again when the window moves to a screen of another DPI; the Qt one
// 96, since Qt itself scales the whole window, fonts included, by the screen's device pixel ratio.
//
// Threads: main thread only.
#pragma once

#include <framework/application.h>
#include <widgets/controls.h>
#include <widgets/export.h>

#include <string>

// Title-bar buttons, bits of BorderIcons.
enum TBorderIcon : unsigned char { biSystemMenu, biMinimize, biMaximize, biHelp };
enum TWindowState : unsigned char { wsNormal, wsMinimized, wsMaximized };

class COMM_WIDGETS_API TForm : public TWinControl {
 public:
  explicit TForm(TComponent* AOwner);
  ~TForm() override;

  static const TClassInfo& ClassInfo();
  const TClassInfo& GetClassInfo() const override { return ClassInfo(); }

  // Constructs T, then reads its description and runs OnCreate (AfterConstruction).
  template <class T>
  static T* Create(TComponent* AOwner) {
    T* form = new T(AOwner);
    try {
      form->AfterConstruction();
    } catch (...) {
      delete form;
      throw;
    }
    return form;
  }
  void AfterConstruction() override;
  void BeforeDestruction() override;

  std::string GetCaption() const;
  void SetCaption(const std::string& Value);
  unsigned char GetBorderIcons() const { return FBorderIcons; }
  void SetBorderIcons(unsigned char Value);
  // Name of a registered picture (widgets/graphics.h) shown as the window's icon.
  std::string GetIcon() const { return FIcon; }
  void SetIcon(const std::string& Value);
  TWindowState GetWindowState() const;
  void SetWindowState(TWindowState Value);

  void Show();
  void Hide();
  // Closes the window; for the main form this terminates the application.
  void Close();
  bool Showing() const;

  // The control that has the keyboard focus within the window (also while another window is
  // active), or null; setting it moves the focus there.
  TWinControl* GetActiveControl() const;
  void SetActiveControl(TWinControl* Control);

  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;

  int GetPixelsPerInch() const { return FPixelsPerInch; }
  void SetPixelsPerInch(int Value);
  bool GetScaled() const { return FScaled; }
  void SetScaled(bool Value) { FScaled = Value; }
  // Scales the form from PixelsPerInch to Dpi (its screen's DPI changed); nothing when it is not
  // Scaled.
  void ChangeDpi(int Dpi);

  TNotifyEvent OnCreate;
  TNotifyEvent OnDestroy;

 protected:
  void ApplyBounds() override;
  void Loaded() override;
  // The client area's size, the controls and the font; the window stays where it is.
  void ChangeScale(int M, int D) override;

 private:
  void ApplyWindowFlags();
  void UpdateTabOrder();
  // The DPI of the screen the window is on, as the front end reckons it (see above).
  int ScreenPixelsPerInch() const;

  unsigned char FBorderIcons = (1u << biSystemMenu) | (1u << biMinimize) | (1u << biMaximize);
  std::string FIcon;
  bool FCreated = false;
  int FPixelsPerInch = 96;
  bool FScaled = true;
};

// The frame of the design desktop: outer size minus client size.
constexpr int kDesignFrameWidth = 8;
constexpr int kDesignFrameHeight = 27;

// Registers the description of the form class ClassName; SourceName appears in read errors.
COMM_WIDGETS_API void RegisterFormResource(const std::string& ClassName, std::string Text,
                                           std::string SourceName);
