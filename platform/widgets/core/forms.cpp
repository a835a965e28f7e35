// SPDX-License-Identifier: MIT
// What a form does the same way in every front end: its published properties, reading its
// description after construction, OnCreate and OnDestroy.
#include <framework/streaming.h>
#include <widgets/forms.h>

#include <map>

#include "handler_call.h"
#include "scale.h"

using widgets_detail::CallHandler;
using widgets_detail::ScaleValue;

namespace {

struct FormResource {
  std::string Text;
  std::string SourceName;
};

std::map<std::string, FormResource>& FormResources() {
  static std::map<std::string, FormResource> resources;
  return resources;
}

}  // namespace

void RegisterFormResource(const std::string& ClassName, std::string Text, std::string SourceName) {
  FormResources()[ClassName] = {std::move(Text), std::move(SourceName)};
}

const TClassInfo& TForm::ClassInfo() {
  static const TClassInfo info =
      TClassInfo::Derived<TForm, TWinControl>("TForm")
          .Set("BorderIcons", &TForm::GetBorderIcons, &TForm::SetBorderIcons,
               {"biSystemMenu", "biMinimize", "biMaximize", "biHelp"})
          .Default((1u << biSystemMenu) | (1u << biMinimize) | (1u << biMaximize))
          .Property("Caption", &TForm::GetCaption, &TForm::SetCaption)
          .Property("ParentFont", &TForm::GetParentFont, &TForm::SetParentFont)
          .Property("Icon", &TForm::GetIcon, &TForm::SetIcon)
          .Property("PixelsPerInch", &TForm::GetPixelsPerInch, &TForm::SetPixelsPerInch)
          .Default(96)
          .Property("Scaled", &TForm::GetScaled, &TForm::SetScaled)
          .Default(1)
          .Enum("WindowState", &TForm::GetWindowState, &TForm::SetWindowState,
                {"wsNormal", "wsMinimized", "wsMaximized"})
          .Event("OnCreate", &TForm::OnCreate)
          .Event("OnDestroy", &TForm::OnDestroy);
  return info;
}

void TForm::AfterConstruction() {
  TWinControl::AfterConstruction();
  auto it = FormResources().find(ClassName());
  if (it != FormResources().end())
    ReadComponentTextInto(*this, it->second.Text, it->second.SourceName);
  FCreated = true;
  CallHandler(OnCreate, this);
}

void TForm::BeforeDestruction() {
  if (FCreated) CallHandler(OnDestroy, this);
  TWinControl::BeforeDestruction();
}

// The form is scaled to the screen before any widget takes its geometry or font: everything
// read waits for Loaded (TControl::Reading), so the window is placed once.
void TForm::Loaded() {
  ChangeDpi(ScreenPixelsPerInch());
  TWinControl::Loaded();
  UpdateTabOrder();
}

void TForm::SetActiveControl(TWinControl* Control) {
  if (Control != nullptr) Control->SetFocus();
}

void TForm::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  TWinControl::SetBounds(ALeft, ATop, AWidth, AHeight);
  if (!Reading()) AlignControls();
}

void TForm::SetPixelsPerInch(int Value) {
  if (Value <= 0)
    throw EComponentError("PixelsPerInch must be positive, not " + std::to_string(Value));
  FPixelsPerInch = Value;
}

void TForm::ChangeDpi(int Dpi) {
  if (!FScaled || Dpi <= 0 || Dpi == FPixelsPerInch) return;
  const int from = FPixelsPerInch;
  FPixelsPerInch = Dpi;
  ChangeScale(Dpi, from);
}

void TForm::ChangeScale(int M, int D) {
  SetBounds(GetLeft(), GetTop(),
            ScaleValue(GetWidth() - kDesignFrameWidth, M, D) + kDesignFrameWidth,
            ScaleValue(GetHeight() - kDesignFrameHeight, M, D) + kDesignFrameHeight);
  ScaleChildren(M, D);
  ScaleFont(M, D);
}
