// SPDX-License-Identifier: MIT
// Controls built from a form description: their widgets carry every property, the description
// reads back unchanged, handlers run and their errors are reported, Tab follows TabOrder, labels
// fit their captions (AutoSize) and a form designed at another DPI is scaled at load.
#include <framework/streaming.h>
#include <gtest/gtest.h>
#include <widgets/comctrls.h>
#include <widgets/extctrls.h>
#include <widgets/forms.h>
#include <widgets/stdctrls.h>

#include <QCheckBox>
#include <QFontMetrics>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <memory>
#include <stdexcept>

#include "dialogs.h"
#include "gui.h"

using namespace testsupport;

namespace {

class TProbeForm : public TForm {
 public:
  explicit TProbeForm(TComponent* AOwner) : TForm(AOwner) {}
  static const TClassInfo& ClassInfo() {
    static const TClassInfo info = TClassInfo::Derived<TProbeForm, TForm>("TProbeForm")
                                       .Field("Bar", &TProbeForm::Bar)
                                       .Field("Pages", &TProbeForm::Pages)
                                       .Field("Second", &TProbeForm::Second)
                                       .Field("Go", &TProbeForm::Go)
                                       .Field("Field", &TProbeForm::Field)
                                       .Field("Other", &TProbeForm::Other)
                                       .Field("Box", &TProbeForm::Box)
                                       .Field("Notes", &TProbeForm::Notes)
                                       .Field("Ticker", &TProbeForm::Ticker)
                                       .Method("GoClick", &TProbeForm::GoClick)
                                       .Method("BoxClick", &TProbeForm::BoxClick)
                                       .Method("Tick", &TProbeForm::Tick)
                                       .Method("Created", &TProbeForm::Created)
                                       .Method("Destroyed", &TProbeForm::Destroyed);
    return info;
  }
  const TClassInfo& GetClassInfo() const override { return ClassInfo(); }

  void GoClick(TObject*) {
    if (++Clicks == 1) throw std::runtime_error("first click fails");
  }
  void BoxClick(TObject*) { ++BoxClicks; }
  void Tick(TObject*) {
    if (++Ticks == 1) throw Exception("first tick fails");
  }
  void Created(TObject*) { CreatedWithBar = Bar != nullptr; }
  void Destroyed(TObject*) { DestroyedWithBox = Box != nullptr; }

  TStatusBar* Bar = nullptr;
  TPageControl* Pages = nullptr;
  TTabSheet* Second = nullptr;
  TButton* Go = nullptr;
  TEdit* Field = nullptr;
  TEdit* Other = nullptr;
  TCheckBox* Box = nullptr;
  TMemo* Notes = nullptr;
  TTimer* Ticker = nullptr;
  int Clicks = 0, BoxClicks = 0, Ticks = 0;
  bool CreatedWithBar = false;
  static inline bool DestroyedWithBox = false;
};

// In the writer's order (declaration order, defaults left out), so it must read back unchanged.
const char* const kDescription =
    "object Probe: TProbeForm\n"
    "  Left = 100\n"
    "  Top = 50\n"
    "  Width = 308\n"
    "  Height = 227\n"
    "  Font.Height = -11\n"
    "  Font.Name = 'MS Sans Serif'\n"
    "  BorderIcons = [biSystemMenu, biMinimize]\n"
    "  Caption = 'Проба'\n"
    "  OnCreate = Created\n"
    "  OnDestroy = Destroyed\n"
    "  object Bar: TStatusBar\n"
    "    Top = 180\n"
    "    Width = 300\n"
    "    Height = 20\n"
    "    Align = alBottom\n"
    "    TabOrder = 0\n"
    "    SimpleText = 'готово'\n"
    "  end\n"
    "  object Pages: TPageControl\n"
    "    Width = 300\n"
    "    Height = 170\n"
    "    TabOrder = 1\n"
    "    ActivePage = Second\n"
    "    object First: TTabSheet\n"
    "      TabOrder = 0\n"
    "      Caption = 'Один'\n"
    "      object Go: TButton\n"
    "        Left = 8\n"
    "        Top = 8\n"
    "        Width = 75\n"
    "        Height = 25\n"
    "        TabOrder = 0\n"
    "        Caption = 'Пуск'\n"
    "        OnClick = GoClick\n"
    "      end\n"
    "    end\n"
    "    object Second: TTabSheet\n"
    "      TabOrder = 1\n"
    "      Caption = 'Два'\n"
    "      object Group: TGroupBox\n"
    "        Left = 4\n"
    "        Top = 4\n"
    "        Width = 200\n"
    "        Height = 120\n"
    "        TabOrder = 0\n"
    "        Caption = 'Группа'\n"
    "        object Hint: TLabel\n"
    "          Left = 8\n"
    "          Top = 20\n"
    "          Width = 60\n"
    "          Height = 13\n"
    "          AutoSize = False\n"
    "          Caption = 'Метка'\n"
    "        end\n"
    "        object Field: TEdit\n"
    "          Left = 8\n"
    "          Top = 40\n"
    "          Width = 40\n"
    "          Height = 21\n"
    "          Color = clInfoBk\n"
    "          TabOrder = 1\n"
    "          ReadOnly = True\n"
    "          Text = 'Нет данных'\n"
    "        end\n"
    "        object Other: TEdit\n"
    "          Left = 60\n"
    "          Top = 40\n"
    "          Width = 40\n"
    "          Height = 21\n"
    "          Color = clMoneyGreen\n"
    "          Enabled = False\n"
    "          TabOrder = 0\n"
    "        end\n"
    "        object Box: TCheckBox\n"
    "          Left = 8\n"
    "          Top = 70\n"
    "          Width = 120\n"
    "          Height = 17\n"
    "          TabOrder = 2\n"
    "          Caption = 'Флажок'\n"
    "          Checked = True\n"
    "          OnClick = BoxClick\n"
    "        end\n"
    "      end\n"
    "      object Line: TBevel\n"
    "        Left = 210\n"
    "        Top = 4\n"
    "        Width = 7\n"
    "        Height = 120\n"
    "        Shape = bsLeftLine\n"
    "        Style = bsRaised\n"
    "      end\n"
    "      object Notes: TMemo\n"
    "        Left = 220\n"
    "        Top = 4\n"
    "        Width = 70\n"
    "        Height = 120\n"
    "        Color = clBtnFace\n"
    "        TabOrder = 1\n"
    "        BorderStyle = bsNone\n"
    "        Lines = (\n"
    "          'строка '\n"
    "          'вторая')\n"
    "        ReadOnly = True\n"
    "      end\n"
    "    end\n"
    "  end\n"
    "  object Ticker: TTimer\n"
    "    Interval = 20\n"
    "    OnTimer = Tick\n"
    "  end\n"
    "end\n";

struct FormFixture : testing::Test {
  void SetUp() override {
    RegisterClass<TProbeForm>();
    RegisterFormResource("TProbeForm", kDescription, "probe.dfm");
    form = TForm::Create<TProbeForm>(&owner);
  }
  void TearDown() override { owner.DestroyComponents(); }
  TComponent owner{nullptr};
  TProbeForm* form = nullptr;
};

QColor DesktopColor(QPalette::ColorRole Role) { return QApplication::palette().color(Role); }

// A form of labels designed at 64 dpi, which the 96-dpi logical screen Qt gives scales by 3/2.
const char* const kLabelsAt64Dpi =
    "object Labels: TForm\n"
    "  Left = 100\n"
    "  Width = 208\n"
    "  Height = 127\n"
    "  Font.Height = -11\n"
    "  Font.Name = 'MS Sans Serif'\n"
    "  PixelsPerInch = 64\n"
    "  object Fitted: TLabel\n"
    "    Left = 8\n"
    "    Top = 8\n"
    "    Width = 10\n"
    "    Height = 5\n"
    "    Caption = 'Термометр №1:'\n"
    "  end\n"
    "  object Kept: TLabel\n"
    "    Left = 8\n"
    "    Top = 30\n"
    "    Width = 20\n"
    "    Height = 13\n"
    "    AutoSize = False\n"
    "    Caption = 'часов'\n"
    "  end\n"
    "  object Go: TButton\n"
    "    Left = 10\n"
    "    Top = 50\n"
    "    Width = 75\n"
    "    Height = 25\n"
    "    Caption = 'Пуск'\n"
    "  end\n"
    "  object Bar: TStatusBar\n"
    "    Top = 80\n"
    "    Width = 200\n"
    "    Height = 20\n"
    "    Align = alBottom\n"
    "  end\n"
    "end\n";

struct LabelsFixture : testing::Test {
  TForm* Read(const std::string& Text) {
    form = static_cast<TForm*>(ReadComponentText(Text, &owner, "labels.dfm"));
    return form;
  }
  template <class T>
  T* Part(const char* Name) {
    return static_cast<T*>(form->FindComponent(Name));
  }
  void TearDown() override { owner.DestroyComponents(); }
  TComponent owner{nullptr};
  TForm* form = nullptr;
};

// The caption's size in the font the label's widget draws with.
QSize Extent(const TLabel* Label) {
  return QFontMetrics(Label->Widget()->font()).size(0, QString::fromStdString(Label->GetCaption()));
}

}  // namespace

TEST_F(FormFixture, WidgetsCarryTheDescribedPropertiesAndTheDescriptionReadsBack) {
  // The ticker's first tick fails; on a slow run it comes before the end, and its error report
  // must not wait for a click.
  DialogRecorder dialogs;
  EXPECT_TRUE(form->CreatedWithBar) << "OnCreate runs once every component exists";
  EXPECT_EQ(WriteComponentText(*form), kDescription);

  QWidget* window = form->Widget();
  EXPECT_EQ(window->windowTitle(), "Проба");
  EXPECT_EQ(window->windowIconText(), "Проба") << "the name a taskbar shows";
  EXPECT_EQ(window->size(), QSize(300, 200)) << "the client area: the design frame is left out";
  EXPECT_FALSE(window->windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(window->windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_EQ(window->font().family(), "Liberation Sans");
  EXPECT_EQ(form->Go->Widget()->font().pixelSize(), 11) << "children show the form's font";

  EXPECT_EQ(form->Go->Widget()->geometry(), QRect(8, 8, 75, 25));
  EXPECT_EQ(form->Field->Widget()->parentWidget()->objectName(), "");
  EXPECT_EQ(static_cast<QTabWidget*>(form->Pages->Widget())->currentIndex(), 1);
  EXPECT_EQ(form->Pages->GetActivePage(), form->Second);
  EXPECT_EQ(static_cast<QTabWidget*>(form->Pages->Widget())->tabText(0), "Один");

  auto* field = static_cast<QLineEdit*>(form->Field->Widget());
  EXPECT_TRUE(field->isReadOnly());
  EXPECT_EQ(field->text(), "Нет данных");
  EXPECT_EQ(field->palette().color(QPalette::Base), DesktopColor(QPalette::ToolTipBase));
  EXPECT_EQ(form->Other->Widget()->palette().color(QPalette::Base), QColor(192, 220, 192));
  EXPECT_FALSE(form->Other->Widget()->isEnabled());
  EXPECT_TRUE(static_cast<QCheckBox*>(form->Box->Widget())->isChecked());
  EXPECT_EQ(form->BoxClicks, 0) << "no OnClick while the form is read";
  auto* notes = static_cast<QPlainTextEdit*>(form->Notes->Widget());
  EXPECT_EQ(notes->toPlainText(), "строка \nвторая");
  EXPECT_EQ(notes->frameShape(), QFrame::NoFrame);
  EXPECT_TRUE(form->Ticker->Active());

  // The docked status bar follows the client area.
  form->Show();
  window->resize(400, 250);
  QCoreApplication::processEvents();
  EXPECT_EQ(form->Bar->Widget()->geometry(), QRect(0, 230, 400, 20));
  EXPECT_EQ(form->Bar->GetSimpleText(), "готово");

  owner.DestroyComponents();
  EXPECT_TRUE(TProbeForm::DestroyedWithBox) << "OnDestroy runs before the components go";
}

TEST_F(FormFixture, HandlersRunAndTheirErrorsAreReportedWithoutStoppingAnything) {
  DialogRecorder dialogs;
  form->Show();
  auto* go = static_cast<QPushButton*>(form->Go->Widget());
  form->Pages->SetActivePage(static_cast<TTabSheet*>(form->Go->GetParent()));
  QTest::mouseClick(go, Qt::LeftButton);
  QTest::mouseClick(go, Qt::LeftButton);
  EXPECT_EQ(form->Clicks, 2) << "the button still works after its handler failed";

  ASSERT_TRUE(ProcessEventsUntil([&] { return form->Ticks >= 3; }));
  const auto errors = dialogs.OfKind(Dialog::Error);
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_EQ(errors[0].text, "first click fails");
  EXPECT_EQ(errors[1].text, "first tick fails");

  form->Box->SetChecked(false);
  form->Pages->SetActivePage(form->Second);
  QTest::mouseClick(form->Box->Widget(), Qt::LeftButton, {}, QPoint(5, 8));
  EXPECT_EQ(form->BoxClicks, 2) << "OnClick for the program's change and for the user's";
  EXPECT_TRUE(form->Box->GetChecked());
}

TEST_F(FormFixture, AnErrorReportThatFailsInTurnStaysOutOfTheEventLoop) {
  int reports = 0;
  const TErrorReportPresenter previous =
      Application->SetErrorReportPresenter([&](const std::string&, const std::string&) {
        ++reports;
        throw std::runtime_error("the report fails too");
      });
  form->Show();
  form->Pages->SetActivePage(static_cast<TTabSheet*>(form->Go->GetParent()));
  EXPECT_NO_THROW(QTest::mouseClick(form->Go->Widget(), Qt::LeftButton));
  EXPECT_GE(reports, 1);
  QTest::mouseClick(form->Go->Widget(), Qt::LeftButton);
  EXPECT_EQ(form->Clicks, 2);
  Application->SetErrorReportPresenter(previous);
}

TEST_F(FormFixture, EveryFontSetterAppliesTheControlsOwnFont) {
  form->Field->SetFontHeight(-20);
  EXPECT_EQ(form->Field->Widget()->font().pixelSize(), 20);
  form->Field->SetParentFont(true);
  EXPECT_EQ(form->Field->Widget()->font().pixelSize(), 11) << "the form's font";
  form->Field->SetFontCharset(204);
  EXPECT_FALSE(form->Field->GetParentFont());
  EXPECT_EQ(form->Field->Widget()->font().pixelSize(), 20) << "its own font again";
}

TEST_F(FormFixture, TabVisitsTheControlsInTheirTabOrder) {
  form->Pages->SetActivePage(form->Second);
  form->Show();
  QApplication::setActiveWindow(form->Widget());
  ASSERT_TRUE(ProcessEventsUntil([&] { return form->Widget()->isActiveWindow(); }));
  form->Other->SetEnabled(true);
  form->Other->SetFocus();
  std::vector<QWidget*> visited;
  for (int i = 0; i < 4; ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    visited.push_back(QApplication::focusWidget());
  }
  // Within the group: Other (0), Field (1), Box (2); then the memo, the group's sibling (1).
  EXPECT_EQ(visited[0], form->Field->Widget());
  EXPECT_EQ(visited[1], form->Box->Widget());
  EXPECT_EQ(visited[2], form->Notes->Widget());
}

TEST_F(LabelsFixture, AFormDesignedAtAnotherDpiIsScaledAtLoad) {
  Read(kLabelsAt64Dpi);
  EXPECT_EQ(form->GetPixelsPerInch(), 96);
  EXPECT_EQ(form->Widget()->size(), QSize(300, 150)) << "the client area, 200 x 100 designed";
  EXPECT_EQ(form->Widget()->pos(), QPoint(100, 0)) << "the window keeps its place";
  // Right and bottom edges are scaled: 10..85 to 15..128 (127.5 rounded away from zero).
  EXPECT_EQ(Part<TButton>("Go")->Widget()->geometry(), QRect(15, 75, 113, 38));
  EXPECT_EQ(Part<TStatusBar>("Bar")->Widget()->geometry(), QRect(0, 120, 300, 30));
  EXPECT_EQ(form->GetFontHeight(), -17);
  EXPECT_EQ(Part<TButton>("Go")->Widget()->font().pixelSize(), 17);
  auto* fitted = Part<TLabel>("Fitted");
  EXPECT_EQ(fitted->Widget()->geometry(), QRect(QPoint(12, 12), Extent(fitted)))
      << "fitted in the scaled font";
  EXPECT_EQ(Part<TLabel>("Kept")->Widget()->geometry(), QRect(12, 45, 30, 20));
  EXPECT_EQ(WriteComponentText(*form).find("PixelsPerInch"), std::string::npos) << "96 now";

  std::string unscaled = kLabelsAt64Dpi;
  unscaled.replace(unscaled.find("  PixelsPerInch"), 0, "  Scaled = False\n");
  owner.DestroyComponents();
  Read(unscaled);
  EXPECT_EQ(form->Widget()->size(), QSize(200, 100));
  EXPECT_EQ(form->GetPixelsPerInch(), 64);
  EXPECT_EQ(Part<TButton>("Go")->Widget()->geometry(), QRect(10, 50, 75, 25));

  form->ScaleBy(2, 1);  // in code: the same arithmetic
  EXPECT_EQ(form->Widget()->size(), QSize(400, 200));
  EXPECT_EQ(Part<TButton>("Go")->Widget()->geometry(), QRect(20, 100, 150, 50));
  EXPECT_EQ(Part<TButton>("Go")->Widget()->font().pixelSize(), 22);
}

TEST_F(LabelsFixture, AutoSizedLabelsFitTheirCaptionInTheirFontAndAStoredFalseKeepsTheSize) {
  std::string text = kLabelsAt64Dpi;
  text.erase(text.find("  PixelsPerInch = 64\n"), 21);
  Read(text);
  auto* fitted = Part<TLabel>("Fitted");
  auto* kept = Part<TLabel>("Kept");
  EXPECT_TRUE(fitted->GetAutoSize());
  EXPECT_EQ(fitted->Widget()->font().pixelSize(), 11);
  EXPECT_EQ(fitted->Widget()->geometry(), QRect(QPoint(8, 8), Extent(fitted)));
  EXPECT_GT(fitted->GetWidth(), 10);
  EXPECT_EQ(kept->Widget()->geometry(), QRect(8, 30, 20, 13));

  fitted->SetCaption("часов");  // a new caption
  EXPECT_EQ(fitted->Widget()->geometry(), QRect(QPoint(8, 8), Extent(fitted)));
  const int narrow = fitted->GetWidth();
  form->SetFontHeight(-22);  // the form's font, which the labels show
  EXPECT_EQ(fitted->Widget()->font().pixelSize(), 22);
  EXPECT_EQ(fitted->Widget()->geometry(), QRect(QPoint(8, 8), Extent(fitted)));
  EXPECT_GT(fitted->GetWidth(), narrow);
  EXPECT_EQ(kept->Widget()->geometry(), QRect(8, 30, 20, 13));
  fitted->SetFontName("Liberation Mono");  // a font of its own
  EXPECT_EQ(fitted->Widget()->geometry(), QRect(QPoint(8, 8), Extent(fitted)));

  const std::string written = WriteComponentText(*form);
  EXPECT_EQ(written.find("AutoSize"), written.rfind("AutoSize")) << written;
  EXPECT_NE(written.find("    AutoSize = False\n    Caption = 'часов'"), std::string::npos);
  kept->SetAutoSize(true);
  EXPECT_EQ(kept->Widget()->geometry(), QRect(QPoint(8, 30), Extent(kept)));
  EXPECT_EQ(WriteComponentText(*form).find("AutoSize"), std::string::npos);
}
