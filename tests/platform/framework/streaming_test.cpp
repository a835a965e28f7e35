// SPDX-License-Identifier: MIT
// Form descriptions: the writer's default rule and order, round trips, setters applied in file
// order, handlers by published method name, nesting, and every kind of malformed description.
#include <framework/streaming.h>
#include <gtest/gtest.h>

#include <memory>

#include "sample_component.h"

namespace {

class StreamingTest : public testing::Test {
 protected:
  void SetUp() override {
    RegisterClass<TSample>();
    RegisterClass<TSampleChild>();
  }
};

std::unique_ptr<TSample> ReadSample(const std::string& text) {
  TComponent* c = ReadComponentText(text, nullptr, "sample.dfm");
  auto* s = dynamic_cast<TSample*>(c);
  if (s == nullptr) delete c;
  return std::unique_ptr<TSample>(s);
}

}  // namespace

TEST_F(StreamingTest, NewComponentWritesOnlyItsHeader) {
  TSample s(nullptr);
  s.SetName("Plain");
  EXPECT_EQ(WriteComponentText(s), "object Plain: TSample\nend\n");
}

// Every kind, in declaration order; defaults (0, False, first enumerator, empty set, empty text,
// no handler) and read-only properties are omitted.
TEST_F(StreamingTest, WriterFollowsDeclarationOrderAndTheDefaultRule) {
  TSampleChild s(nullptr);
  s.SetName("All");
  s.SetTag(-7);
  s.SetCount(3);
  s.SetInSize(4096);  // Free (read-only) changes too but is never written
  s.FLine = true;     // read-only
  s.FSmall = -128;
  s.SetShade(shBlue);  // AtomicShade stays at its first enumerator
  s.FOptions = (1u << opBold) | (1u << opStrike) | (1u << opLast);
  s.FLetter = 'A';
  s.SetText("it's");
  s.SetLimit(65535);
  s.FLines = {"one", "two"};
  s.OnClick = TNotifyEvent::Published(&s, "Clicked", [](TObject*) {});
  s.OnData = [](TObject*, unsigned) {};  // no method name: not written
  s.FExtra = 9;
  EXPECT_EQ(WriteComponentText(s),
            "object All: TSampleChild\n"
            "  Tag = -7\n"
            "  Count = 3\n"
            "  InSize = 4096\n"
            "  Small = -128\n"
            "  Shade = shBlue\n"
            "  Options = [opBold, opStrike, opLast]\n"
            "  Letter = 'A'\n"
            "  Text = 'it''s'\n"
            "  Limit = lmMax\n"
            "  Lines = (\n"
            "    'one'\n"
            "    'two')\n"
            "  OnClick = Clicked\n"
            "  Extra = 9\n"
            "end\n");
}

TEST_F(StreamingTest, RoundTripGivesBackTheSameComponent) {
  TSampleChild s(nullptr);
  s.SetName("Root");
  s.SetCount(-2147483647 - 1);
  s.SetActive(true);
  s.SetInSize(4294967295u);
  s.FByte = 255;
  s.FAtomicShade = shGreen;
  s.FOptions = 0x1FF;
  s.FFlags8 = 0x5;
  s.FLetter = '\n';
  s.SetText("Строка\r\n'q'\t#end");
  s.SetLimit(1234);
  s.FLines = {"", "Нагрузка № 2", "a'b"};
  const std::string text = WriteComponentText(s);
  TComponent* c = ReadComponentText(text);
  std::unique_ptr<TSampleChild> back(dynamic_cast<TSampleChild*>(c));
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->GetName(), "Root");
  EXPECT_EQ(back->GetCount(), s.GetCount());
  EXPECT_TRUE(back->GetActive());
  EXPECT_EQ(back->GetInSize(), 4294967295u);
  EXPECT_EQ(back->FByte, 255);
  EXPECT_EQ(back->FAtomicShade.load(), shGreen);
  EXPECT_EQ(back->FOptions, 0x1FF);
  EXPECT_EQ(back->FFlags8, 0x5);
  EXPECT_EQ(back->FLetter, '\n');
  EXPECT_EQ(back->FText, s.FText);
  EXPECT_EQ(back->FLimit, 1234);
  EXPECT_EQ(back->FLines, s.FLines);
  EXPECT_EQ(WriteComponentText(*back), text);
  EXPECT_EQ(back->LoadedCalls, 1);
  EXPECT_EQ(back->ComponentState() & csLoading, 0u);
}

TEST_F(StreamingTest, SettersRunInFileOrderAsRead) {
  auto s = ReadSample(
      "object S: TSample\n  Count = 1\n  Active = True\n  Count = 2\n  Active = False\nend\n");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->Log, (std::vector<std::string>{"Count=1", "Active=1", "Count=2", "Active=0"}));
}

TEST_F(StreamingTest, ValueSyntaxVariants) {
  auto s = ReadSample(
      "object S: TSample\n"
      "  count = $FF\n"  // names ignore case, hex integers
      "  Text = 'ab' + \n 'cd'#13#10'e'#1058\n"
      "  Letter = #233\n"
      "  Options = []\n"
      "  Flags8 = [f2,f0]\n"
      "  Limit = 7\n"
      "  Lines = ()\n"
      "end");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->GetCount(), 255);
  EXPECT_EQ(s->FText, "abcd\r\ne\xD0\xA2");
  EXPECT_EQ(static_cast<unsigned char>(s->FLetter), 233);
  EXPECT_EQ(s->FFlags8, 5);
  EXPECT_EQ(s->FLimit, 7);
}

TEST_F(StreamingTest, HandlersBindToRootMethodsAndNestedObjectsAreOwnedByTheRoot) {
  const std::string text =
      "object Form: TSample\n"
      "  OnClick = Clicked\n"
      "  object Panel: TSampleChild\n"
      "    OnData = Received\n"
      "    Extra = 1\n"
      "    object Button: TSample\n"
      "      OnClick = Clicked\n"
      "    end\n"
      "  end\n"
      "  object Timer: TSample\n"
      "    Count = 5\n"
      "  end\n"
      "end\n";
  auto form = ReadSample(text);
  ASSERT_NE(form, nullptr);
  ASSERT_EQ(form->ComponentCount(), 3);
  auto* panel = dynamic_cast<TSampleChild*>(form->FindComponent("Panel"));
  auto* button = dynamic_cast<TSample*>(form->FindComponent("Button"));
  ASSERT_NE(panel, nullptr);
  ASSERT_NE(button, nullptr);
  EXPECT_EQ(button->Owner(), form.get());
  EXPECT_EQ(button->GetParentComponent(), panel);
  EXPECT_EQ(panel->GetParentComponent(), form.get());
  EXPECT_EQ(button->LoadedCalls, 1);
  button->OnClick(button);
  EXPECT_EQ(form->Clicks, 1);  // the root's method, with the button as Sender
  EXPECT_EQ(form->LastSender, button);
  panel->OnData(panel, 10);
  EXPECT_EQ(form->Received_, 10u);
  EXPECT_EQ(button->OnClick.MethodName(), "Clicked");
  EXPECT_EQ(WriteComponentText(*form), text);
}

TEST_F(StreamingTest, ReadIntoAnExistingRoot) {
  TSampleChild form(nullptr);
  ReadComponentTextInto(form,
                        "object MainForm: TSample\n  Extra = 4\n  object IO: TSample\n  end\nend");
  EXPECT_EQ(form.GetName(), "MainForm");
  EXPECT_EQ(form.FExtra, 4);
  EXPECT_EQ(form.ComponentCount(), 1);
  EXPECT_EQ(form.LoadedCalls, 1);
  TSample other(nullptr);
  EXPECT_THROW(ReadComponentTextInto(other, "object X: TSampleChild\nend"), EReadError);
}

TEST_F(StreamingTest, FailedReadLeavesNothingBehind) {
  TComponent owner(nullptr);
  EXPECT_THROW(
      ReadComponentText("object A: TSample\n object B: TSample\n end\n Count = x\nend", &owner),
      EReadError);
  EXPECT_EQ(owner.ComponentCount(), 0);
  TSample form(nullptr);
  EXPECT_THROW(
      ReadComponentTextInto(form, "object F: TSample\n object B: TSample\n end\n Nope = 1\nend"),
      EReadError);
  EXPECT_EQ(form.ComponentCount(), 0);
  EXPECT_EQ(form.ComponentState() & csLoading, 0u);
}

struct BadCase {
  const char* text;
  int line, column;
  const char* expected;  // a fragment of EReadError::Expected
};

TEST_F(StreamingTest, MalformedDescriptionsReportSourceLineAndColumn) {
  const BadCase cases[] = {
      {"object A: TNoSuch\nend", 1, 11, "unknown class TNoSuch"},
      {"object A: TSample\n  Colour = 1\nend", 2, 3, "unknown property Colour"},
      {"object A: TSample\n  Shade = shPink\nend", 2, 11, "an enumerator of Shade"},
      {"object A: TSample\n  Small = 128\nend", 2, 11, "from -128 to 127"},
      {"object A: TSample\n  Byte = -1\nend", 2, 10, "from 0 to 255"},
      {"object A: TSample\n  InSize = 4294967296\nend", 2, 12, "from 0 to 4294967295"},
      {"object A: TSample\n  Text = 'abc\nend", 2, 10, "closing quote"},
      {"object A: TSample\n  Count = 1\n", 3, 1, "unterminated object A"},
      {"object A: TSample\n  object B: TSample\n  end\n", 4, 1, "unterminated object A"},
      {"object A: TSample\n  OnClick = Missing\nend", 2, 13, "unknown method Missing"},
      {"object A: TSample\n  OnClick = Received\nend", 2, 13, "parameters of OnClick"},
      {"object A: TSample\n  Free = 1\nend", 2, 3, "read-only"},
      {"object A: TSample\n  Active = Yes\nend", 2, 12, "True or False"},
      {"object A: TSample\n  Options = [opBold, opNone]\nend", 2, 22, "a member of Options"},
      {"object A: TSample\n  Options = [opBold opItalic]\nend", 2, 21, "',' or ']'"},
      {"object A: TSample\n  Letter = 'ab'\nend", 2, 12, "a single character"},
      {"object A: TSample\n  Count = 1.5\nend", 2, 11, "a whole number"},
      {"object A: TSample\n  object B: TSample\n  end\n  object b: TSample\n  end\nend", 4, 10,
       "already exists"},
      {"object A: TSample\nend\nobject", 3, 1, "end of text after the last 'end'"},
      {"thing A: TSample\nend", 1, 1, "'object'"},
      {"object A TSample\nend", 1, 10, "':'"},
      {"object A: TSample\n  Count 1\nend", 2, 9, "'='"},
      {"object A: TSample\n  Text = 'x' +\nend", 3, 1, "a string after '+'"},
      {"object A: TSample\n  Count = @\nend", 2, 11, "unexpected character '@'"},
      {"object A: TSample\n  Name = 'B C'\nend", 2, 10, "A.Name accepts"},  // setter raised
  };
  for (const BadCase& c : cases) {
    try {
      delete ReadComponentText(c.text, nullptr, "Unit1.dfm");
      ADD_FAILURE() << "no error for: " << c.text;
    } catch (const EReadError& e) {
      EXPECT_EQ(e.SourceName, "Unit1.dfm");
      EXPECT_EQ(e.Line, c.line) << c.text << "\n" << e.Message;
      EXPECT_EQ(e.Column, c.column) << c.text << "\n" << e.Message;
      EXPECT_NE(e.Expected.find(c.expected), std::string::npos) << e.Message;
      EXPECT_EQ(e.Message.rfind("Unit1.dfm(" + std::to_string(c.line) + ":", 0), 0u) << e.Message;
    }
  }
}

TEST_F(StreamingTest, DeepNestingIsRefusedNotOverflowed) {
  std::string text;
  for (int i = 0; i < 100; ++i) text += "object C" + std::to_string(i) + ": TSample\n";
  for (int i = 0; i < 100; ++i) text += "end\n";
  EXPECT_THROW(delete ReadComponentText(text), EReadError);
}

TEST_F(StreamingTest, WriterRefusesValuesItCannotRepresent) {
  TSample s(nullptr);
  s.SetName("S");
  s.FFlags8 = 0x80;  // bit 7 has no member name
  EXPECT_THROW(WriteComponentText(s), EWriteError);
  s.FFlags8 = 0;
  s.SetShade(static_cast<TShade>(9));
  EXPECT_THROW(WriteComponentText(s), EWriteError);
  TSample unnamed(nullptr);
  EXPECT_THROW(WriteComponentText(unnamed), EWriteError);
}
