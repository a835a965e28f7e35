// SPDX-License-Identifier: MIT
// The paint box, offscreen: read from a description with its OnPaint, it draws with the canvas's
// pen, brush and font where it is asked to, its canvas exists only while it paints, and an
// exception from OnPaint goes to the error report.
#include <gtest/gtest.h>
#include <widgets/forms.h>
#include <widgets/paintbox.h>

#include <QImage>
#include <QWidget>

#include "dialogs.h"
#include "gui.h"

namespace {

class TPaintForm : public TForm {
 public:
  explicit TPaintForm(TComponent* AOwner) : TForm(AOwner) {}
  static const TClassInfo& ClassInfo() {
    static const TClassInfo info = TClassInfo::Derived<TPaintForm, TForm>("TPaintForm")
                                       .Field("Box", &TPaintForm::Box)
                                       .Method("BoxPaint", &TPaintForm::BoxPaint);
    return info;
  }
  const TClassInfo& GetClassInfo() const override { return ClassInfo(); }

  // A red filled square outlined in blue, a green line, text on yellow.
  void BoxPaint(TObject*) {
    TCanvas& c = Box->GetCanvas();
    c.Brush.Color = clRed;
    c.Pen.Color = clBlue;
    c.Rectangle(10, 10, 30, 30);
    c.Pen = {clLime, 3, psSolid};
    c.MoveTo(40, 5);
    c.LineTo(40, 35);
    c.Brush.Color = clYellow;
    c.Font.Height = -20;
    extent = c.TextExtent("Ж");
    c.TextOut(50, 10, "Ж");
    ++paints;
    if (fail) throw Exception("paint failed");
  }

  TPaintBox* Box = nullptr;
  TSize extent;
  int paints = 0;
  bool fail = false;
};

const char* const kDescription = R"(object PaintForm: TPaintForm
  Width = 200
  Height = 100
  object Box: TPaintBox
    Left = 0
    Top = 0
    Width = 100
    Height = 40
    OnPaint = BoxPaint
  end
end
)";

QRgb Rgb(int r, int g, int b) { return qRgb(r, g, b); }

}  // namespace

TEST(PaintBox, DrawsWithTheCanvasOnlyWhilePainting) {
  RegisterClass<TPaintForm>();
  RegisterFormResource("TPaintForm", kDescription, "paint.dfm");
  testsupport::DialogRecorder dialogs;
  TComponent owner(nullptr);
  auto* form = TForm::Create<TPaintForm>(&owner);
  ASSERT_NE(form->Box, nullptr);
  EXPECT_THROW(form->Box->GetCanvas(), EComponentError);

  const QImage image = form->Box->Widget()->grab().toImage();
  ASSERT_GE(form->paints, 1);
  EXPECT_EQ(image.pixel(20, 20), Rgb(255, 0, 0)) << "the brush fills";
  EXPECT_EQ(image.pixel(10, 20), Rgb(0, 0, 255)) << "the pen outlines the left edge";
  EXPECT_EQ(image.pixel(29, 20), Rgb(0, 0, 255)) << "the right edge is the last pixel inside";
  EXPECT_NE(image.pixel(30, 20), Rgb(0, 0, 255));
  EXPECT_EQ(image.pixel(40, 20), Rgb(0, 255, 0)) << "the line, three pixels wide";
  EXPECT_EQ(image.pixel(41, 20), Rgb(0, 255, 0));
  EXPECT_GE(form->extent.cy, 18);
  EXPECT_GE(form->extent.cx, 8);
  EXPECT_EQ(image.pixel(51, 11), Rgb(255, 255, 0)) << "text on the brush";
  bool dark = false;
  for (int x = 50; x < 50 + form->extent.cx; ++x)
    for (int y = 10; y < 10 + form->extent.cy; ++y) dark = dark || qGray(image.pixel(x, y)) < 100;
  EXPECT_TRUE(dark) << "the letter itself";
  EXPECT_THROW(form->Box->GetCanvas(), EComponentError);

  form->fail = true;
  (void)form->Box->Widget()->grab();
  EXPECT_EQ(dialogs.OfKind(testsupport::Dialog::Error).size(), 1u);
  owner.DestroyComponents();
}
