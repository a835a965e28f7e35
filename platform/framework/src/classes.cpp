// SPDX-License-Identifier: MIT
#include <framework/classes.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "text_util.h"

// ---- TPropInfo / TClassInfo ---------------------------------------------------------------

bool TPropInfo::ReadOnly() const {
  switch (Kind) {
    case tkString:
      return !SetStr;
    case tkStringList:
      return !SetList;
    case tkMethod:
      return !SetHandler;
    case tkComponent:
      return !SetComp;
    default:
      return !SetOrd;
  }
}

namespace {

// The entry of Items named Name (case-insensitive), or null.
template <class Info>
const Info* FindByName(const std::vector<Info>& Items, const std::string& Name) {
  for (const Info& Item : Items)
    if (SameText(Item.Name, Name)) return &Item;
  return nullptr;
}

// Puts Item in place of the entry of the same name (which keeps its position), or appends it;
// returns its index.
template <class Info>
std::size_t ReplaceOrAppend(std::vector<Info>& Items, Info Item) {
  for (std::size_t i = 0; i < Items.size(); ++i) {
    if (SameText(Items[i].Name, Item.Name)) {
      Items[i] = std::move(Item);
      return i;
    }
  }
  Items.push_back(std::move(Item));
  return Items.size() - 1;
}

}  // namespace

const TPropInfo* TClassInfo::FindProperty(const std::string& Name) const {
  return FindByName(FProperties, Name);
}

const TMethodInfo* TClassInfo::FindMethod(const std::string& Name) const {
  return FindByName(FMethods, Name);
}

const TFieldInfo* TClassInfo::FindField(const std::string& Name) const {
  return FindByName(FFields, Name);
}

bool TClassInfo::InheritsFrom(const TClassInfo& Other) const {
  for (const TClassInfo* c = this; c != nullptr; c = c->FParent)
    if (c == &Other) return true;
  return false;
}

TComponent* TClassInfo::Create(TComponent* AOwner) const {
  if (!FFactory) throw EComponentError("Cannot create an instance of class " + FName);
  return FFactory(AOwner);
}

// A redeclared property, method or field replaces the inherited one in place.
void TClassInfo::AddProperty(TPropInfo Prop) {
  FLastProperty = ReplaceOrAppend(FProperties, std::move(Prop));
}

void TClassInfo::AddMethod(TMethodInfo Method) { ReplaceOrAppend(FMethods, std::move(Method)); }

void TClassInfo::AddField(TFieldInfo Field) { ReplaceOrAppend(FFields, std::move(Field)); }

TPropInfo& TClassInfo::LastProperty() {
  if (FProperties.empty()) throw EComponentError("Default/Idents need a property before them");
  return FProperties[FLastProperty];
}

// ---- TComponent ---------------------------------------------------------------------------

TComponent::TComponent(TComponent* AOwner) {
  if (AOwner != nullptr) AOwner->InsertComponent(this);
}

TComponent::~TComponent() {
  SetState(csDestroying, true);
  DestroyComponents();
  if (FOwner != nullptr) FOwner->RemoveComponent(this);
}

void TComponent::DestroyComponents() {
  // Last inserted first; each leaves the list before it is destroyed.
  while (!FComponents.empty()) {
    TComponent* child = FComponents.back();
    child->SetState(csDestroying, true);
    child->BeforeDestruction();
    RemoveComponent(child);
    delete child;
  }
}

const TClassInfo& TComponent::ClassInfo() {
  static const TClassInfo info = TClassInfo::Root<TComponent>("TComponent")
                                     .Property("Name", &TComponent::GetName, &TComponent::SetName)
                                     .Property("Tag", &TComponent::GetTag, &TComponent::SetTag);
  return info;
}

void TComponent::SetName(const std::string& NewName) {
  if (NewName == FName) return;
  if (!NewName.empty() && !IsIdentifier(NewName))
    throw EComponentError("Component name \"" + NewName + "\" is not a valid identifier");
  if (!NewName.empty() && FOwner != nullptr) {
    TComponent* other = FOwner->FindComponent(NewName);
    if (other != nullptr && other != this)
      throw EComponentError("A component named " + NewName + " already exists");
  }
  FName = NewName;
}

TComponent* TComponent::Components(int Index) const {
  if (Index < 0 || Index >= ComponentCount())
    throw EComponentError("Component index out of range (" + std::to_string(Index) + ")");
  return FComponents[static_cast<std::size_t>(Index)];
}

TComponent* TComponent::FindComponent(const std::string& AName) const {
  if (AName.empty()) return nullptr;
  for (TComponent* c : FComponents)
    if (SameText(c->FName, AName)) return c;
  return nullptr;
}

void TComponent::InsertComponent(TComponent* AComponent) {
  if (AComponent == nullptr || AComponent->FOwner == this) return;
  if (!AComponent->FName.empty()) {
    TComponent* other = FindComponent(AComponent->FName);
    if (other != nullptr)
      throw EComponentError("A component named " + AComponent->FName + " already exists");
  }
  if (AComponent->FOwner != nullptr) AComponent->FOwner->RemoveComponent(AComponent);
  FComponents.push_back(AComponent);
  AComponent->FOwner = this;
  Notification(AComponent, opInsert);
}

void TComponent::RemoveComponent(TComponent* AComponent) {
  auto it = std::find(FComponents.begin(), FComponents.end(), AComponent);
  if (it == FComponents.end()) return;
  Notification(AComponent, opRemove);
  FComponents.erase(it);
  AComponent->FOwner = nullptr;
  // A published field that pointed at the component no longer does.
  if (const TFieldInfo* field = GetClassInfo().FindField(AComponent->FName))
    if (field->Get(*this) == AComponent) field->Assign(*this, nullptr);
}

void TComponent::Loaded() { SetState(csLoading, false); }

void TComponent::Notification(TComponent* AComponent, TOperation Operation) {
  if (Operation != opRemove) return;
  for (TComponent* c : FComponents)
    if (c != AComponent) c->Notification(AComponent, Operation);
}

// ---- Class registry -------------------------------------------------------------------------

namespace {

struct ClassRegistry {
  std::mutex lock;
  std::map<std::string, const TClassInfo*> classes;  // key: upper-cased name
};

ClassRegistry& Registry() {
  static ClassRegistry* registry = new ClassRegistry;  // lives until the process ends
  return *registry;
}

}  // namespace

void RegisterClass(const TClassInfo& Info) {
  ClassRegistry& r = Registry();
  std::lock_guard<std::mutex> guard(r.lock);
  auto [it, inserted] = r.classes.emplace(UpperCase(Info.Name()), &Info);
  if (!inserted && it->second != &Info)
    throw EComponentError("A class named " + Info.Name() + " is already registered");
}

const TClassInfo* FindClass(const std::string& Name) {
  ClassRegistry& r = Registry();
  std::lock_guard<std::mutex> guard(r.lock);
  auto it = r.classes.find(UpperCase(Name));
  return it == r.classes.end() ? nullptr : it->second;
}
