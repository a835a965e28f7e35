// SPDX-License-Identifier: MIT
// Common controls: the status bar and the page control with its tab sheets.
//
// TStatusBar (a status bar) shows one text, SimpleText, across its width; it is usually
// docked at the bottom of its form (Align = alBottom). TPageControl (a tab control) shows one
// of its TTabSheet pages at a time; a tab sheet becomes a page by being given the page control
// as its parent, in that order, and its Caption is the page's tab text.
//
// Threads: main thread only.
#pragma once

#include <widgets/controls.h>
#include <widgets/export.h>

#include <string>
#include <vector>

class COMM_WIDGETS_API TStatusBar : public TWinControl {
 public:
  explicit TStatusBar(TComponent* AOwner);
  static const TClassInfo& ClassInfo();
  const TClassInfo& GetClassInfo() const override { return ClassInfo(); }
  bool GetSimplePanel() const { return FSimplePanel; }
  void SetSimplePanel(bool Value) { FSimplePanel = Value; }
  std::string GetSimpleText() const;
  void SetSimpleText(const std::string& Value);

 private:
  widgets_native::StatusText* FText;
  bool FSimplePanel = false;
};

class TTabSheet;

class COMM_WIDGETS_API TPageControl : public TWinControl {
 public:
  explicit TPageControl(TComponent* AOwner);
  ~TPageControl() override;
  static const TClassInfo& ClassInfo();
  const TClassInfo& GetClassInfo() const override { return ClassInfo(); }
  TTabSheet* GetActivePage() const;
  void SetActivePage(TTabSheet* Page);
  int PageCount() const { return static_cast<int>(FPages.size()); }
  TTabSheet* Pages(int Index) const;

 private:
  friend class TTabSheet;
  void InsertPage(TTabSheet* Page);
  void RemovePage(TTabSheet* Page);
  std::vector<TTabSheet*> FPages;
};

class COMM_WIDGETS_API TTabSheet : public TWinControl {
 public:
  explicit TTabSheet(TComponent* AOwner);
  ~TTabSheet() override;
  static const TClassInfo& ClassInfo();
  const TClassInfo& GetClassInfo() const override { return ClassInfo(); }
  std::string GetCaption() const { return FCaption; }
  void SetCaption(const std::string& Value);
  // Its page control (also its parent), or null.
  TPageControl* PageControl() const { return FPageControl; }
  int PageIndex() const;
  void SetParent(TWinControl* AParent) override;

 protected:
  void ApplyBounds() override {}  // the page control places its pages

 private:
  friend class TPageControl;
  std::string FCaption;
  TPageControl* FPageControl = nullptr;
};
