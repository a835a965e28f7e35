// SPDX-License-Identifier: MIT
// Standard controls: label, button, one-line edit, check box, multi-line memo, group box.
// Each is a small adapter over one toolkit control (Qt: QLabel, QPushButton, QLineEdit,
// QCheckBox, QPlainTextEdit, QGroupBox; Win32: STATIC, BUTTON and EDIT windows). Texts are UTF-8.
//
// A label with AutoSize (the default) takes the width and height of its caption in the font it
// is drawn with, whenever the caption or that font changes and once its form has been read; its
// left and top stay. With AutoSize false it keeps the size it is given.
//
// A check box's OnClick runs whenever its checked state changes, by the user's click or by
// SetChecked, except while its form is being read. A button's OnClick runs on the user's click
// or Click().
//
// Threads: main thread only; handlers run on the main thread.
#pragma once

#include <widgets/controls.h>
#include <widgets/export.h>

#include <string>
#include <utility>

class COMM_WIDGETS_API TLabel : public TControl {
 public:
  explicit TLabel(TComponent* AOwner);
  static const TClassInfo& ClassInfo();
  const TClassInfo& GetClassInfo() const override { return ClassInfo(); }
  std::string GetCaption() const;
  void SetCaption(const std::string& Value);
  bool GetAutoSize() const { return FAutoSize; }
  void SetAutoSize(bool Value);

 protected:
  void AdjustBounds() override;
  void Loaded() override;

 private:
  // The caption's width and height in the label's font (each front end measures its own).
  std::pair<int, int> TextExtent() const;
  bool FAutoSize = true;
};

class COMM_WIDGETS_API TButton : public TWinControl {
 public:
  explicit TButton(TComponent* AOwner);
  static const TClassInfo& ClassInfo();
  const TClassInfo& GetClassInfo() const override { return ClassInfo(); }
  std::string GetCaption() const;
  void SetCaption(const std::string& Value);
  // Acts as a click of the user's (when the button is enabled).
  void Click();
  TNotifyEvent OnClick;
};

class COMM_WIDGETS_API TEdit : public TWinControl {
 public:
  explicit TEdit(TComponent* AOwner);
  static const TClassInfo& ClassInfo();
  const TClassInfo& GetClassInfo() const override { return ClassInfo(); }
  std::string GetText() const;
  void SetText(const std::string& Value);
  bool GetReadOnly() const;
  void SetReadOnly(bool Value);

 protected:
  bool ColorIsFieldBackground() const override { return true; }
};

class COMM_WIDGETS_API TCheckBox : public TWinControl {
 public:
  explicit TCheckBox(TComponent* AOwner);
  static const TClassInfo& ClassInfo();
  const TClassInfo& GetClassInfo() const override { return ClassInfo(); }
  std::string GetCaption() const;
  void SetCaption(const std::string& Value);
  bool GetChecked() const;
  void SetChecked(bool Value);
  TNotifyEvent OnClick;
};

enum TBorderStyle : unsigned char { bsNone, bsSingle };

class COMM_WIDGETS_API TMemo : public TWinControl {
 public:
  explicit TMemo(TComponent* AOwner);
  static const TClassInfo& ClassInfo();
  const TClassInfo& GetClassInfo() const override { return ClassInfo(); }
  // One string per line.
  TStringItems GetLines() const;
  void SetLines(const TStringItems& Value);
  bool GetReadOnly() const;
  void SetReadOnly(bool Value);
  TBorderStyle GetBorderStyle() const { return FBorderStyle; }
  void SetBorderStyle(TBorderStyle Value);

 protected:
  bool ColorIsFieldBackground() const override { return true; }

 private:
  TBorderStyle FBorderStyle = bsSingle;
};

class COMM_WIDGETS_API TGroupBox : public TWinControl {
 public:
  explicit TGroupBox(TComponent* AOwner);
  static const TClassInfo& ClassInfo();
  const TClassInfo& GetClassInfo() const override { return ClassInfo(); }
  std::string GetCaption() const;
  void SetCaption(const std::string& Value);
};
