// SPDX-License-Identifier: MIT
// TComponent: ownership, destruction order, names, class registry and virtual constructor.
#include <framework/classes.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sample_component.h"

namespace {

std::vector<std::string> gDestroyed;

class TTracked : public TComponent {
 public:
  TTracked(TComponent* AOwner, std::string Label) : TComponent(AOwner), label_(std::move(Label)) {}
  ~TTracked() override { gDestroyed.push_back(label_ + (Owner() == nullptr ? "" : "(owned!)")); }

 private:
  std::string label_;
};

}  // namespace

TEST(ComponentTest, OwnerDestroysOwnedComponentsLastFirst) {
  gDestroyed.clear();
  auto* root = new TTracked(nullptr, "root");
  auto* a = new TTracked(root, "a");
  new TTracked(root, "b");
  new TTracked(a, "a1");
  EXPECT_EQ(root->ComponentCount(), 2);
  EXPECT_EQ(root->Components(0), a);
  EXPECT_EQ(a->Owner(), root);
  delete root;
  // The owner's own destructor body runs first, then its components (each already removed
  // from the owner's list), the last inserted first, each with its own components.
  EXPECT_EQ(gDestroyed, (std::vector<std::string>{"root", "b", "a", "a1"}));
}

TEST(ComponentTest, DestroyingAnOwnedComponentRemovesItFromItsOwner) {
  TComponent root(nullptr);
  auto* a = new TComponent(&root);
  auto* b = new TComponent(&root);
  delete a;
  ASSERT_EQ(root.ComponentCount(), 1);
  EXPECT_EQ(root.Components(0), b);
  EXPECT_THROW(root.Components(1), EComponentError);
}

TEST(ComponentTest, InsertComponentMovesBetweenOwners) {
  TComponent first(nullptr), second(nullptr);
  auto* c = new TComponent(&first);
  second.InsertComponent(c);
  EXPECT_EQ(first.ComponentCount(), 0);
  EXPECT_EQ(second.ComponentCount(), 1);
  EXPECT_EQ(c->Owner(), &second);
}

TEST(ComponentTest, NamesAreIdentifiersUniqueAmongSiblings) {
  TComponent root(nullptr);
  auto* a = new TComponent(&root);
  auto* b = new TComponent(&root);
  a->SetName("IOPort");
  EXPECT_EQ(root.FindComponent("ioport"), a);
  EXPECT_THROW(b->SetName("IOPORT"), EComponentError);
  EXPECT_THROW(b->SetName("1abc"), EComponentError);
  EXPECT_THROW(b->SetName("a b"), EComponentError);
  b->SetName("_Timer2");
  EXPECT_EQ(b->GetName(), "_Timer2");
  a->SetName("");
  EXPECT_EQ(root.FindComponent("IOPort"), nullptr);
}

TEST(ComponentTest, ClassInfoListsInheritedPropertiesFirstInDeclarationOrder) {
  const auto& props = TSampleChild::ClassInfo().Properties();
  std::vector<std::string> names;
  for (const auto& p : props) names.push_back(p.Name);
  const std::vector<std::string> expected = {
      "Name",  "Tag",   "Count", "Active",      "InSize",  "Free",   "Line",
      "Small", "Byte",  "Shade", "AtomicShade", "Options", "Flags8", "Letter",
      "Text",  "Limit", "Lines", "OnClick",     "OnData",  "Extra"};
  EXPECT_EQ(names, expected);
  EXPECT_TRUE(TSampleChild::ClassInfo().FindProperty("free")->ReadOnly());
  EXPECT_TRUE(TSampleChild::ClassInfo().FindProperty("Line")->ReadOnly());
  EXPECT_FALSE(TSampleChild::ClassInfo().FindProperty("Options")->ReadOnly());
  EXPECT_TRUE(TSampleChild::ClassInfo().InheritsFrom(TComponent::ClassInfo()));
  EXPECT_FALSE(TSample::ClassInfo().InheritsFrom(TSampleChild::ClassInfo()));
}

// A redeclared property keeps its place, and Default/Idents after it apply to it, not to the
// property declared last.
TEST(ComponentTest, RedeclaredPropertyKeepsItsPlaceAndTakesItsDefault) {
  struct TRedeclared : TSampleChild {
    using TSampleChild::TSampleChild;
  };
  const TClassInfo info = TClassInfo::Derived<TRedeclared, TSampleChild>("TRedeclared")
                              .Property("Count", &TSample::GetCount, &TSample::SetCount)
                              .Default(5)
                              .Idents({{"cnFive", 5}});
  EXPECT_EQ(info.Properties().size(), TSampleChild::ClassInfo().Properties().size());
  EXPECT_EQ(info.Properties()[2].Name, "Count");
  EXPECT_EQ(info.FindProperty("Count")->Default, 5);
  EXPECT_EQ(info.FindProperty("Count")->Idents.size(), 1u);
  EXPECT_EQ(info.FindProperty("Extra")->Default, 0);
  EXPECT_TRUE(info.FindProperty("Extra")->Idents.empty());
}

TEST(ComponentTest, PropertyAccessorsReachGettersSettersAndFields) {
  TSample s(nullptr);
  const TClassInfo& info = s.GetClassInfo();
  info.FindProperty("Count")->SetOrd(s, 5);
  EXPECT_EQ(s.GetCount(), 5);
  EXPECT_EQ(s.Log.back(), "Count=5");
  s.FLine = true;
  EXPECT_EQ(info.FindProperty("Line")->GetOrd(s), 1);
  info.FindProperty("AtomicShade")->SetOrd(s, 2);
  EXPECT_EQ(s.FAtomicShade.load(), shBlue);
  s.FLetter = static_cast<char>(0xE9);
  EXPECT_EQ(info.FindProperty("Letter")->GetOrd(s), 0xE9);
  const TPropInfo* small = info.FindProperty("Small");
  EXPECT_EQ(small->MinValue, -128);
  EXPECT_EQ(small->MaxValue, 127);
  EXPECT_EQ(info.FindProperty("Options")->SetBits, 16);
  EXPECT_EQ(info.FindProperty("InSize")->MaxValue, 4294967295LL);
}

TEST(ComponentTest, VirtualConstructorCreatesByRegisteredName) {
  RegisterClass<TSample>();
  RegisterClass<TSample>();  // harmless twice
  const TClassInfo* cls = FindClass("TSample");
  ASSERT_NE(cls, nullptr);
  TComponent owner(nullptr);
  TComponent* made = cls->Create(&owner);
  EXPECT_EQ(made->Owner(), &owner);
  EXPECT_EQ(made->ClassName(), "TSample");
  EXPECT_NE(dynamic_cast<TSample*>(made), nullptr);
  EXPECT_EQ(FindClass("TMissing"), nullptr);
}

TEST(ComponentTest, BoundHandlersCallOnlyWhenAssigned) {
  TSample s(nullptr);
  TNotifyEvent h;
  EXPECT_FALSE(h.Assigned());
  h(&s);  // empty: nothing happens
  h = TNotifyEvent(&s, &TSample::Clicked);
  ASSERT_TRUE(h.Assigned());
  h(&s);
  EXPECT_EQ(s.Clicks, 1);
  EXPECT_EQ(s.LastSender, &s);
  EXPECT_EQ(h.Target(), &s);
  int lambdaCalls = 0;
  h = [&](TObject*) { ++lambdaCalls; };
  h(nullptr);
  EXPECT_EQ(lambdaCalls, 1);
  EXPECT_TRUE(h.MethodName().empty());
  h.Clear();
  EXPECT_FALSE(h);
}
