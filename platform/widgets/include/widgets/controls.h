// SPDX-License-Identifier: MIT
// Visual controls: the base classes of everything a form shows.
//
// A TControl is a component with a parent control, a position and size in pixels relative to
// its parent's client area, a colour, a font and an enabled and a visible state. A form read
// from a description designed at one DPI is scaled to the screen's at load (widgets/forms.h). A
// TWinControl can hold other controls and take the keyboard focus; its children are visited by the
// Tab key in their TabOrder. Each concrete control is a small adapter over one object of the front
// end's toolkit (Qt widgets, or Win32 windows), which widgets/native.h names; this header does not
// expose the toolkit.
//
// Handlers of every control run on the main thread. An exception a handler throws is reported
// through Application's standard error report where the control calls the handler; it never
// reaches the event loop.
//
// Threads: main thread only. A control can be created only once the GUI front end
// (widgets/frontend.h) exists; before that its constructor raises EComponentError.
#pragma once

#include <framework/classes.h>
#include <widgets/export.h>
#include <widgets/graphics.h>
#include <widgets/native.h>

#include <string>
#include <utility>
#include <vector>

class TWinControl;
class TAlignWatcher;

// Docking of a control inside its parent's client area; aligned controls follow its size.
enum TAlign : unsigned char { alNone, alTop, alBottom, alLeft, alRight, alClient };

class COMM_WIDGETS_API TControl : public TComponent {
 public:
  ~TControl() override;

  static const TClassInfo& ClassInfo();
  const TClassInfo& GetClassInfo() const override { return ClassInfo(); }

  TWinControl* GetParent() const { return FParent; }
  virtual void SetParent(TWinControl* AParent);
  TComponent* GetParentComponent() const override;
  // The form reader's parent: a TWinControl, or EComponentError.
  void SetParentComponent(TComponent* AParent) override;

  int GetLeft() const { return FLeft; }
  int GetTop() const { return FTop; }
  int GetWidth() const { return FWidth; }
  int GetHeight() const { return FHeight; }
  void SetLeft(int Value) { SetBounds(Value, FTop, FWidth, FHeight); }
  void SetTop(int Value) { SetBounds(FLeft, Value, FWidth, FHeight); }
  void SetWidth(int Value) { SetBounds(FLeft, FTop, Value, FHeight); }
  void SetHeight(int Value) { SetBounds(FLeft, FTop, FWidth, Value); }
  virtual void SetBounds(int ALeft, int ATop, int AWidth, int AHeight);
  TAlign GetAlign() const { return FAlign; }
  void SetAlign(TAlign Value);

  bool GetEnabled() const { return FEnabled; }
  void SetEnabled(bool Value);
  bool GetVisible() const { return FVisible; }
  void SetVisible(bool Value);

  TColor GetColor() const { return FColor; }
  void SetColor(TColor Value);
  std::string GetFontName() const { return FFontName; }
  void SetFontName(const std::string& Value);
  int GetFontHeight() const { return FFontHeight; }
  void SetFontHeight(int Value);
  TColor GetFontColor() const { return FFontColor; }
  void SetFontColor(TColor Value);
  int GetFontCharset() const { return FFontCharset; }
  void SetFontCharset(int Value);
  unsigned char GetFontStyle() const { return FFontStyle; }
  void SetFontStyle(unsigned char Value);
  // True: the control shows its parent's font; setting any Font property makes it false.
  bool GetParentFont() const { return FParentFont; }
  void SetParentFont(bool Value);

  // Paints the control now, without handling other messages (feedback during a long handler).
  void Repaint();

  // Scales the control by M / D: its position and size (its right and bottom edges scaled, so
  // that controls that touch keep touching), its own font's height and all its children.
  void ScaleBy(int M, int D);

  // The toolkit object behind the control (for the front end and its tests).
  widgets_native::Widget* Widget() const { return FWidget; }

 protected:
  // Adapters pass the widget they wrap; the control owns it.
  TControl(TComponent* AOwner, widgets_native::Widget* AWidget);
  // Which part of the widget's palette Color paints: the window or the text field background.
  virtual bool ColorIsFieldBackground() const { return false; }
  void ApplyColor();
  void ApplyFont();
  // Places the widget at the control's bounds within its parent's client widget.
  virtual void ApplyBounds();
  // Scales the bounds and the own font's height by M / D (ScaleBy).
  virtual void ChangeScale(int M, int D);
  void ScaleBounds(int M, int D);
  void ScaleFont(int M, int D);
  // Fits the control to what it shows (a label sized to its caption); nothing by default.
  virtual void AdjustBounds() {}
  // The font the control shows has changed: it and the children showing it fit themselves anew.
  void FontChanged();
  // While a description is read, the widget's geometry and font wait for Loaded, which applies
  // them once.
  bool Reading() const { return (ComponentState() & csLoading) != 0; }
  void Loaded() override;

 private:
  friend class TWinControl;
  // The front end's half of SetParent: the widget into the new parent's client widget, placed
  // and shown as the control says (the parent's InsertControl included), or out of any parent.
  void ApplyParent();

  // AdjustBounds of this control and of the children, and theirs, that show its font.
  void FitToFont();
  widgets_native::Widget* FWidget;
  TWinControl* FParent = nullptr;
  int FLeft = 0, FTop = 0, FWidth = 0, FHeight = 0;
  TAlign FAlign = alNone;
  bool FEnabled = true;
  bool FVisible = true;
  TColor FColor;
  std::string FFontName;
  int FFontHeight = 0;
  TColor FFontColor = clWindowText;
  int FFontCharset = DEFAULT_CHARSET;
  unsigned char FFontStyle = 0;
  bool FParentFont = true;
};

class COMM_WIDGETS_API TWinControl : public TControl {
 public:
  // Destroys the controls it holds, then itself.
  ~TWinControl() override;

  static const TClassInfo& ClassInfo();
  const TClassInfo& GetClassInfo() const override { return ClassInfo(); }

  // Position among the parent's windowed controls for the Tab key; setting it moves the control
  // there (the others shift). -1 without a parent. While a form is read the positions asked for
  // are kept and taken once the whole form exists (FixupTabOrders), so that a description lists
  // its controls in any order.
  int GetTabOrder() const;
  void SetTabOrder(int Value);
  // Puts the children, and theirs, at the tab positions asked for while reading.
  void FixupTabOrders();

  int ControlCount() const { return static_cast<int>(FControls.size()); }
  TControl* Controls(int Index) const;  // in the order they were given this parent
  // The windowed controls it holds, in tab order.
  const std::vector<TWinControl*>& TabList() const { return FTabList; }

  // Gives the control the keyboard focus (when it can take it).
  void SetFocus();
  bool Focused() const;

  // Where children are placed (the widget itself for most controls).
  virtual widgets_native::Widget* ClientWidget() const;
  // Places the aligned children within the client area.
  void AlignControls();

 protected:
  TWinControl(TComponent* AOwner, widgets_native::Widget* AWidget);
  void Loaded() override;
  void ChangeScale(int M, int D) override;
  void ScaleChildren(int M, int D);

 private:
  friend class TControl;
  void InsertControl(TControl* AControl);
  void RemoveControl(TControl* AControl);
  // The client area's width and height; from the first call on, the front end re-aligns the
  // children whenever that size changes.
  std::pair<int, int> WatchClientSize();

  std::vector<TControl*> FControls;
  std::vector<TWinControl*> FTabList;
  int FTabOrderAsked = -1;  // while reading
  TAlignWatcher* FAlignWatcher = nullptr;
};
