#include "rmScale.h"

#include <gtest/gtest.h>

#include <limits>

#include "WidgetsTestSupport.h"

namespace {

class rmScaleTest : public WidgetTest {
 protected:
  void SetUp() override {
    SetUpWindowScale(right, false);
    SetUpWindowScale(left, true);
  }
  // Last column of `row` in the active colour, scanning from the low end; -1 when none.
  static int LastActiveColumn(const QImage& image, int row) {
    int last = -1;
    for (int x = 0; x < image.width(); ++x)
      if (At(image, x, row) == VrColor::Maroon) last = x;
    return last;
  }
  TrmScale right;  // scTocsinRightThres
  TrmScale left;   // scTocsinLeftThres
};

TEST_F(rmScaleTest, NewScaleHasItsDesignDefaults) {
  TrmScale fresh;
  EXPECT_EQ(fresh.size(), QSize(49, 193));
  EXPECT_EQ(fresh.Orientation(), TOrientation::stLeft);
  EXPECT_EQ(fresh.LineActiveColor(), QColor(255, 128, 64));
  EXPECT_EQ(fresh.TicksCount(), 11);
  EXPECT_EQ(fresh.BorderSpacing(), 10);
  EXPECT_FLOAT_EQ(fresh.Position(), 30);
  EXPECT_TRUE(fresh.ShowText());
}

TEST_F(rmScaleTest, TopStripIsActiveUpToTheThreshold) {
  right.SetPosition(-45);
  EXPECT_EQ(right.PositionPixel(), 89);
  QImage image = right.Render();
  ASSERT_EQ(image.size(), QSize(169, 3));
  for (int row : {1, 2}) {
    EXPECT_EQ(At(image, 0, row), VrColor::Gray) << row;  // sunken edge, left
    for (int x = 1; x <= 89; ++x) ASSERT_EQ(At(image, x, row), VrColor::Maroon) << x << "," << row;
    // The band runs one pixel past the control, so its white right edge is never seen.
    for (int x = 90; x <= 168; ++x)
      ASSERT_EQ(At(image, x, row), VrColor::Fuchsia) << x << "," << row;
  }
  // Row 0 is the band's grey top edge, all along.
  for (int x = 0; x <= 168; ++x) ASSERT_EQ(At(image, x, 0), VrColor::Gray) << x;
}

TEST_F(rmScaleTest, BottomStripShowsTheLowestRowsOfTheBand) {
  left.SetPosition(-45);
  QImage image = left.Render();
  ASSERT_EQ(image.size(), QSize(169, 4));
  EXPECT_EQ(LastActiveColumn(image, 0), 89);
  EXPECT_EQ(LastActiveColumn(image, 1), 89);
  EXPECT_EQ(At(image, 1, 0), VrColor::Maroon);
  EXPECT_EQ(At(image, 90, 1), VrColor::Fuchsia);
  // Row 2: inactive colour only; row 3: the white lower edge (grey at the left corner).
  EXPECT_EQ(LastActiveColumn(image, 2), -1);
  EXPECT_EQ(At(image, 1, 2), VrColor::Fuchsia);
  EXPECT_EQ(At(image, 0, 3), VrColor::Gray);
  for (int x = 1; x <= 168; ++x) ASSERT_EQ(At(image, x, 3), VrColor::White) << x;
}

TEST_F(rmScaleTest, PositionsOutsideTheRangeDrawAtTheNearerEnd) {
  right.SetPosition(-144);
  EXPECT_EQ(right.PositionPixel(), 0);
  QImage image = right.Render();
  EXPECT_EQ(LastActiveColumn(image, 1), 1);  // a single maroon column at x = 1
  EXPECT_EQ(At(image, 2, 1), VrColor::Fuchsia);

  right.SetPosition(10);
  EXPECT_EQ(right.PositionPixel(), 168);
  image = right.Render();
  EXPECT_EQ(LastActiveColumn(image, 1), 168);  // maroon up to the right end
  EXPECT_EQ(At(image, 0, 1), VrColor::Gray);

  right.SetPosition(0);
  EXPECT_EQ(right.PositionPixel(), 168);
  right.SetPosition(-96);
  EXPECT_EQ(right.PositionPixel(), 0);
}

TEST_F(rmScaleTest, ReversedRangeIsAcceptedAndDrawsWithoutDividing) {
  right.SetMinValue(10);
  EXPECT_FLOAT_EQ(right.MinValue(), 10);
  right.SetPosition(-45);  // below the minimum: low end
  EXPECT_EQ(right.PositionPixel(), 0);
  right.SetPosition(50);  // above the minimum, so above the (lower) maximum: high end
  EXPECT_EQ(right.PositionPixel(), 168);
  right.SetMinValue(0);  // empty range
  right.SetPosition(0);
  EXPECT_EQ(right.PositionPixel(), 0);
}

TEST_F(rmScaleTest, NotANumberPositionDrawsAtTheLowEnd) {
  right.SetPosition(std::numeric_limits<float>::quiet_NaN());
  EXPECT_EQ(right.PositionPixel(), 0);
  EXPECT_EQ(LastActiveColumn(right.Render(), 1), 1);
}

TEST_F(rmScaleTest, UnchangedValuesDoNotRepaint) {
  right.SetPosition(-45);
  int before = right.RepaintCount();
  right.SetPosition(-45);
  right.SetLineActiveColor(VrColor::Maroon);
  right.SetOrientation(TOrientation::stTop);
  EXPECT_EQ(right.RepaintCount(), before);
  right.SetPosition(-44);
  right.SetTicksLength(5);
  EXPECT_EQ(right.RepaintCount(), before + 2);
}

TEST_F(rmScaleTest, BorderSpacingAndTicksOnATallScale) {
  TrmScale tall;
  tall.resize(121, 30);
  tall.SetOrientation(TOrientation::stTop);
  tall.SetShowText(false);
  tall.SetLineWidth(6);
  tall.SetBorderSpacing(10);
  tall.SetTicksCount(3);
  tall.SetTicksLength(8);
  tall.SetMinValue(0);
  tall.SetMaxValue(100);
  tall.SetPosition(50);
  QImage image = tall.Render();
  // Ticks at 10, 60 and 111, rows 6..13; the marker at 101 / 100 * 50 + 10 = 60, over a tick.
  EXPECT_EQ(At(image, 10, 6), VrColor::Black);
  EXPECT_EQ(At(image, 111, 13), VrColor::Black);
  EXPECT_EQ(At(image, 111, 14), VrColor::Silver);
  EXPECT_EQ(tall.PositionPixel(), 60);
  EXPECT_EQ(At(image, 60, 9), VrColor::Red);
  // Band from 10 to 111 inclusive of its edges; active (orange) from 11 to 60.
  EXPECT_EQ(At(image, 9, 2), VrColor::Silver);
  EXPECT_EQ(At(image, 10, 2), VrColor::Gray);
  EXPECT_EQ(At(image, 11, 2), VrColor::Orange);
  EXPECT_EQ(At(image, 60, 4), VrColor::Orange);
  EXPECT_EQ(At(image, 61, 4), VrColor::Maroon);
  EXPECT_EQ(At(image, 111, 2), VrColor::White);
}

TEST_F(rmScaleTest, ThinBandIsALineAndFewTicksDoNotDivideByZero) {
  TrmScale thin;
  thin.resize(50, 20);
  thin.SetOrientation(TOrientation::stTop);
  thin.SetShowText(false);
  thin.SetLineWidth(1);
  thin.SetBorderSpacing(0);
  thin.SetTicksCount(1);
  QImage image = thin.Render();
  EXPECT_EQ(At(image, 0, 0), VrColor::Black);
  EXPECT_EQ(At(image, 49, 0), VrColor::Black);
  thin.SetTicksCount(0);
  image = thin.Render();
  EXPECT_EQ(At(image, 25, 0), VrColor::Black);
}

TEST_F(rmScaleTest, VerticalScaleCountsFromTheBottom) {
  TrmScale column;
  column.resize(20, 121);
  column.SetOrientation(TOrientation::stLeft);
  column.SetShowText(false);
  column.SetShowTickMarker(false);
  column.SetLineWidth(6);
  column.SetBorderSpacing(0);
  column.SetTicksCount(0);
  column.SetPosition(0);  // low end of 0..100
  QImage image = column.Render();
  // The active part is one pixel long, next to the bottom end of a band along the left edge.
  EXPECT_EQ(At(image, 2, 119), VrColor::Orange);
  EXPECT_EQ(At(image, 2, 118), VrColor::Maroon);
  EXPECT_EQ(At(image, 10, 60), VrColor::Silver);

  column.SetOrientation(TOrientation::stRight);
  column.SetPosition(100);
  image = column.Render();
  EXPECT_EQ(At(image, 17, 1), VrColor::Orange);
  EXPECT_EQ(At(image, 17, 119), VrColor::Orange);
  EXPECT_EQ(At(image, 5, 60), VrColor::Silver);
}

}  // namespace
