// SPDX-License-Identifier: MIT
// Links between the components of one form: published fields set by the reader, references to
// components described further down, the owner's removal notice, and destruction in two steps.
#include <framework/streaming.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "sample_component.h"

namespace {

std::vector<std::string> Events;  // what the components below did, in order

// Refers to a TSample of the same form and lets go of it when the sample is removed.
class TLinkUser : public TComponent {
 public:
  explicit TLinkUser(TComponent* AOwner) : TComponent(AOwner) {}
  static const TClassInfo& ClassInfo() {
    static const TClassInfo info =
        TClassInfo::Derived<TLinkUser, TComponent>("TLinkUser")
            .Property("Target", &TLinkUser::FTarget, &TLinkUser::FTarget);
    return info;
  }
  const TClassInfo& GetClassInfo() const override { return ClassInfo(); }
  void BeforeDestruction() override {
    Events.push_back(GetName() + " sees " + (FTarget ? FTarget->GetName() : "nothing"));
  }
  TSample* FTarget = nullptr;

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override {
    TComponent::Notification(AComponent, Operation);
    if (Operation == opRemove && AComponent == FTarget) FTarget = nullptr;
  }
};

// A root with published fields for two of its components.
class TLinkRoot : public TComponent {
 public:
  explicit TLinkRoot(TComponent* AOwner) : TComponent(AOwner) {}
  static const TClassInfo& ClassInfo() {
    static const TClassInfo info = TClassInfo::Derived<TLinkRoot, TComponent>("TLinkRoot")
                                       .Field("User", &TLinkRoot::User)
                                       .Field("Lamp", &TLinkRoot::Lamp);
    return info;
  }
  const TClassInfo& GetClassInfo() const override { return ClassInfo(); }
  TLinkUser* User = nullptr;
  TSample* Lamp = nullptr;
};

class FormLinksTest : public testing::Test {
 protected:
  void SetUp() override {
    RegisterClass<TSample>();
    RegisterClass<TLinkUser>();
    RegisterClass<TLinkRoot>();
    Events.clear();
  }
  static std::unique_ptr<TLinkRoot> Read(const std::string& text) {
    return std::unique_ptr<TLinkRoot>(
        dynamic_cast<TLinkRoot*>(ReadComponentText(text, nullptr, "links.dfm")));
  }
};

const char* const kForm =
    "object Root: TLinkRoot\n"
    "  object User: TLinkUser\n"
    "    Target = Lamp\n"  // described below
    "  end\n"
    "  object Lamp: TSample\n"
    "  end\n"
    "  object Other: TSample\n"
    "  end\n"
    "end\n";

}  // namespace

TEST_F(FormLinksTest, ReaderSetsFieldsAndForwardReferencesAndWriterWritesThemBack) {
  auto root = Read(kForm);
  ASSERT_NE(root, nullptr);
  ASSERT_NE(root->User, nullptr);
  ASSERT_NE(root->Lamp, nullptr);
  EXPECT_EQ(root->Lamp->GetName(), "Lamp");
  EXPECT_EQ(root->User->FTarget, root->Lamp);
  EXPECT_EQ(WriteComponentText(*root), kForm);

  // Removing the referenced component clears the sibling's reference and the root's field.
  delete root->Lamp;
  EXPECT_EQ(root->Lamp, nullptr);
  EXPECT_EQ(root->User->FTarget, nullptr);
}

TEST_F(FormLinksTest, BadReferencesAndFieldsFailAtTheirPlace) {
  const struct {
    std::string text, expected;
  } cases[] = {
      {"object Root: TLinkRoot\n  object User: TLinkUser\n    Target = Nowhere\n  end\nend\n",
       "links.dfm(3:14): a component of Root (unknown component Nowhere)"},
      {"object Root: TLinkRoot\n  object User: TLinkUser\n    Target = User\n  end\nend\n",
       "links.dfm(3:14): a value User.Target accepts (Target needs a TSample, not the TLinkUser "
       "User)"},
      {"object Root: TLinkRoot\n  object Lamp: TLinkUser\n  end\nend\n",
       "links.dfm(2:10): a value Root.Lamp accepts (Lamp needs a TSample, not the TLinkUser Lamp)"},
      {"object Root: TLinkRoot\n  object User: TLinkUser\n    Target = 'Lamp'\n  end\nend\n",
       "links.dfm(3:14): a component name for Target, found a string"},
  };
  for (const auto& c : cases) {
    try {
      Read(c.text);
      ADD_FAILURE() << "accepted: " << c.text;
    } catch (const EReadError& e) {
      EXPECT_EQ(e.Message, c.expected);
    }
  }
}

TEST_F(FormLinksTest, OwnerRunsEachBeforeDestructionWhileItsSiblingsStillExist) {
  auto root = Read(
      "object Root: TLinkRoot\n  object Lamp: TSample\n  end\n"
      "  object User: TLinkUser\n    Target = Lamp\n  end\nend\n");
  ASSERT_NE(root, nullptr);
  root->DestroyComponents();  // User first: it was inserted last
  EXPECT_EQ(root->ComponentCount(), 0);
  EXPECT_EQ(root->User, nullptr);
  EXPECT_EQ(root->Lamp, nullptr);

  root = Read(kForm);
  root.reset();  // Other, Lamp (User lets go of it), then User
  EXPECT_EQ(Events, (std::vector<std::string>{"User sees Lamp", "User sees nothing"}));
}
