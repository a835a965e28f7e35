// SPDX-License-Identifier: MIT
// What a form does the same way in every front end: its published properties, reading its
// description after construction, OnCreate and OnDestroy.
#include <framework/streaming.h>
#include <widgets/forms.h>

#include <map>

#include "handler_call.h"

using widgets_detail::CallHandler;

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

void TForm::Loaded() {
  TWinControl::Loaded();
  UpdateTabOrder();
}

void TForm::SetActiveControl(TWinControl* Control) {
  if (Control != nullptr) Control->SetFocus();
}

void TForm::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  TWinControl::SetBounds(ALeft, ATop, AWidth, AHeight);
  AlignControls();
}
