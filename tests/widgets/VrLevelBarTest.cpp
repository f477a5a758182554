#include "VrLevelBar.h"

#include <gtest/gtest.h>

#include "WidgetsTestSupport.h"

namespace {

class VrLevelBarTest : public WidgetTest {
 protected:
  void SetUp() override {
    SetUpWindowBar(bar);
  }
  // Colour of segment k (1-based) of the window's bar, read in its middle row.
  static QColor Segment(const QImage& image, int k) { return At(image, 1 + (k - 1) * 3, 7); }
  int LitSegmentsIn(const QImage& image) {
    int lit = 0;
    for (int k = 1; k <= 56; ++k) {
      QColor c = Segment(image, k);
      if (c == VrColor::Lime || c == VrColor::Yellow || c == VrColor::Red) ++lit;
    }
    return lit;
  }
  TVrLevelBar bar;
};

TEST_F(VrLevelBarTest, NewBarHasItsDesignDefaults) {
  TVrLevelBar fresh;
  EXPECT_EQ(fresh.size(), QSize(170, 20));
  EXPECT_EQ(fresh.MinValue(), 0);
  EXPECT_EQ(fresh.MaxValue(), 100);
  EXPECT_EQ(fresh.Percent1(), 60);
  EXPECT_EQ(fresh.Percent2(), 25);
  EXPECT_EQ(fresh.Palette2().High, VrColor::Yellow);
  EXPECT_EQ(fresh.Palette3().Low, VrColor::Maroon);
  EXPECT_EQ(fresh.Bevel().InnerWidth, 2);
  EXPECT_EQ(fresh.Bevel().InnerColor, VrColor::Black);
  EXPECT_EQ(fresh.Orientation(), TVrOrientation::voVertical);
  EXPECT_EQ(fresh.focusPolicy(), Qt::NoFocus);
}

TEST_F(VrLevelBarTest, WindowBarHas56SegmentsAndKeepsItsWidth) {
  EXPECT_EQ(bar.SegmentCount(), 56);
  QImage image = bar.Render();
  EXPECT_EQ(image.size(), QSize(169, 14));
  EXPECT_EQ(bar.width(), 169);
  // One-pixel grey frame, then segments 2 pixels wide with a black gap after each.
  EXPECT_EQ(At(image, 0, 0), VrColor::Gray);
  EXPECT_EQ(At(image, 168, 13), VrColor::Gray);
  EXPECT_EQ(At(image, 84, 0), VrColor::Gray);
  EXPECT_EQ(At(image, 1, 1), Segment(image, 1));
  EXPECT_EQ(At(image, 2, 12), Segment(image, 1));
  EXPECT_EQ(At(image, 3, 7), VrColor::Black);
  EXPECT_EQ(At(image, 166, 7), Segment(image, 56));
  EXPECT_EQ(At(image, 167, 7), Segment(image, 56));
}

TEST_F(VrLevelBarTest, LitSegmentsFollowThePositionByZone) {
  bar.SetPosition(-45);
  QImage image = bar.Render();
  EXPECT_EQ(bar.LitCount(), 29);
  EXPECT_EQ(LitSegmentsIn(image), 29);
  EXPECT_EQ(Segment(image, 29), VrColor::Lime);
  EXPECT_EQ(Segment(image, 30), VrColor::Green);
  EXPECT_EQ(Segment(image, 44), VrColor::Green);
  EXPECT_EQ(Segment(image, 45), VrColor::Olive);
  EXPECT_EQ(Segment(image, 52), VrColor::Olive);
  EXPECT_EQ(Segment(image, 53), VrColor::Maroon);
  EXPECT_EQ(Segment(image, 56), VrColor::Maroon);

  bar.SetPosition(-96);
  EXPECT_EQ(LitSegmentsIn(bar.Render()), 0);

  bar.SetPosition(0);
  image = bar.Render();
  EXPECT_EQ(LitSegmentsIn(image), 56);
  EXPECT_EQ(Segment(image, 44), VrColor::Lime);
  EXPECT_EQ(Segment(image, 45), VrColor::Yellow);
  EXPECT_EQ(Segment(image, 52), VrColor::Yellow);
  EXPECT_EQ(Segment(image, 53), VrColor::Red);
}

TEST_F(VrLevelBarTest, PositionIsClampedToTheRange) {
  bar.SetPosition(20);
  EXPECT_EQ(bar.Position(), 0);
  EXPECT_EQ(LitSegmentsIn(bar.Render()), 56);
  bar.SetPosition(-500);
  EXPECT_EQ(bar.Position(), -96);
}

TEST_F(VrLevelBarTest, RangeSettersRefuseAnEmptyOrReversedRange) {
  bar.SetMinValue(0);
  EXPECT_EQ(bar.MinValue(), -96);
  bar.SetMinValue(10);
  EXPECT_EQ(bar.MinValue(), -96);
  bar.SetMaxValue(-96);
  EXPECT_EQ(bar.MaxValue(), 0);
  bar.SetMaxValue(-200);
  EXPECT_EQ(bar.MaxValue(), 0);
}

TEST_F(VrLevelBarTest, NarrowerRangeDragsThePositionAlong) {
  bar.SetPosition(-90);
  bar.SetMinValue(-60);
  EXPECT_EQ(bar.Position(), -60);
  bar.SetPosition(-10);
  bar.SetMaxValue(-20);
  EXPECT_EQ(bar.Position(), -20);
}

TEST_F(VrLevelBarTest, ZonePercentagesNeverAddUpToMoreThan100) {
  bar.SetPercent2(30);  // 80 + 30
  EXPECT_EQ(bar.Percent2(), 15);
  bar.SetPercent1(90);  // 90 + 15: trimmed to what is left
  EXPECT_EQ(bar.Percent1(), 85);

  TVrLevelBar design;
  design.SetLoading(true);  // while loading, the design order may pass through a sum above 100
  design.SetPercent1(80);
  EXPECT_EQ(design.Percent1(), 80);
  design.SetPercent2(15);
  design.SetLoading(false);
  EXPECT_EQ(design.Percent2(), 15);
}

TEST_F(VrLevelBarTest, TickHeightBelowOneAndNegativeSpacingAreIgnored) {
  bar.SetTickHeight(0);
  EXPECT_EQ(bar.TickHeight(), 2);
  bar.SetSpacing(-2);
  EXPECT_EQ(bar.Spacing(), 1);
  EXPECT_EQ(bar.SegmentCount(), 56);
}

TEST_F(VrLevelBarTest, WidthIsTrimmedSoTheSegmentsFillTheInside) {
  bar.resize(173, 14);  // inner 171 + 1 = 172 -> 57 segments, 2 + 57 * 3 - 1 = 172 wide
  EXPECT_EQ(bar.SegmentCount(), 57);
  EXPECT_EQ(bar.width(), 172);
  QImage image = bar.Render();
  EXPECT_EQ(image.width(), 172);
  EXPECT_EQ(At(image, 171, 7), VrColor::Gray);
}

TEST_F(VrLevelBarTest, TopRightStyleFillsFromTheRightEnd) {
  bar.SetStyle(TVrProgressStyle::psTopRight);
  bar.SetPosition(-45);
  QImage image = bar.Render();
  // Segment k's left edge is at 168 - 2 - (k - 1) * 3.
  EXPECT_EQ(At(image, 166, 7), VrColor::Lime);           // segment 1
  EXPECT_EQ(At(image, 166 - 28 * 3, 7), VrColor::Lime);  // segment 29
  EXPECT_EQ(At(image, 166 - 29 * 3, 7), VrColor::Green); // segment 30
  EXPECT_EQ(At(image, 1, 7), VrColor::Maroon);           // segment 56
}

TEST_F(VrLevelBarTest, VerticalBarFillsFromTheBottomOrTheTop) {
  TVrLevelBar column;
  column.SetLoading(true);
  column.resize(14, 169);
  column.SetTickHeight(2);
  column.SetBevel(bar.Bevel());
  column.SetLoading(false);
  column.SetPosition(50);  // 0..100, 60/25 zones: 56 segments, 28 lit
  ASSERT_EQ(column.SegmentCount(), 56);
  QImage image = column.Render();
  // psBottomLeft: segment 56 at the top (row 1), segment 1 at the bottom (rows 166-167).
  EXPECT_EQ(At(image, 7, 166), VrColor::Lime);
  EXPECT_EQ(At(image, 7, 1 + (56 - 28) * 3), VrColor::Lime);   // segment 28
  EXPECT_EQ(At(image, 7, 1 + (56 - 29) * 3), VrColor::Green);  // segment 29
  EXPECT_EQ(At(image, 7, 1), VrColor::Maroon);

  column.SetStyle(TVrProgressStyle::psTopRight);
  image = column.Render();
  EXPECT_EQ(At(image, 7, 1), VrColor::Lime);
  EXPECT_EQ(At(image, 7, 166), VrColor::Maroon);
}

TEST_F(VrLevelBarTest, DefaultBevelIsALoweredBlackFramedWell) {
  TVrLevelBar fresh;
  // Outer: black outline, raised frame. Inner: lowered frame twice, one black spacing frame.
  EXPECT_EQ(fresh.Bevel().Thickness(), 1 + 1 + 2 + 1);
  QImage image = fresh.Render();
  EXPECT_EQ(At(image, 0, 0), VrColor::Black);
  EXPECT_EQ(At(image, 1, 1), VrColor::BtnHighlight);  // raised: light top-left
  EXPECT_EQ(At(image, 2, 2), VrColor::BtnShadow);     // lowered: dark top-left
  EXPECT_EQ(At(image, 3, 3), VrColor::BtnShadow);
  EXPECT_EQ(At(image, 4, 4), VrColor::Black);
}

TEST_F(VrLevelBarTest, PositionChangesInsideAnUpdateBracketPaintOnce) {
  int before = bar.RepaintCount();
  bar.BeginUpdate();
  bar.SetPosition(-50);
  bar.SetPosition(-40);
  bar.SetPalette1({VrColor::Navy, VrColor::Aqua});
  EXPECT_EQ(bar.RepaintCount(), before);
  bar.EndUpdate();
  EXPECT_EQ(bar.RepaintCount(), before + 1);

  // Nested brackets paint at the outer end only.
  bar.BeginUpdate();
  bar.BeginUpdate();
  bar.SetPosition(-30);
  bar.EndUpdate();
  EXPECT_EQ(bar.RepaintCount(), before + 1);
  bar.EndUpdate();
  EXPECT_EQ(bar.RepaintCount(), before + 2);
}

TEST_F(VrLevelBarTest, UnchangedValuesDoNotRepaint) {
  bar.SetPosition(-45);
  int before = bar.RepaintCount();
  bar.SetPosition(-45);
  bar.SetPosition(-45 + 0);
  bar.SetPalette2(bar.Palette2());
  bar.SetBevel(bar.Bevel());
  bar.SetOrientation(TVrOrientation::voHorizontal);
  EXPECT_EQ(bar.RepaintCount(), before);
  bar.SetPalette3({VrColor::Purple, VrColor::Fuchsia});
  EXPECT_EQ(bar.RepaintCount(), before + 1);
}

TEST_F(VrLevelBarTest, LoadingDropsRepaintsAndEndingItRepaintsOnce) {
  int before = bar.RepaintCount();
  bar.SetLoading(true);
  bar.SetPosition(-10);
  bar.SetColor(VrColor::Navy);
  EXPECT_EQ(bar.RepaintCount(), before);
  bar.SetLoading(false);
  EXPECT_EQ(bar.RepaintCount(), before + 1);
}

TEST_F(VrLevelBarTest, UnbalancedEndUpdateDoesNotBlockLaterBrackets) {
  bar.EndUpdate();
  EXPECT_EQ(bar.UpdateCount(), 0);
  int before = bar.RepaintCount();
  bar.BeginUpdate();
  bar.SetPosition(-12);
  bar.EndUpdate();
  EXPECT_EQ(bar.RepaintCount(), before + 1);
}

TEST_F(VrLevelBarTest, ChangeEventsReportTheEndsOfTheRange) {
  int changes = 0, mins = 0, maxes = 0;
  bar.OnChange = [&] { ++changes; };
  bar.OnMinReached = [&] { ++mins; };
  bar.OnMaxReached = [&] { ++maxes; };
  bar.SetPosition(-96);
  bar.SetPosition(-96);
  bar.SetPosition(-20);
  bar.SetPosition(30);
  EXPECT_EQ(changes, 3);
  EXPECT_EQ(mins, 1);
  EXPECT_EQ(maxes, 1);
}

TEST_F(VrLevelBarTest, HintLinesBecomeTooltipLines) {
  bar.SetHint(QStringLiteral("Niveau Gauche\rMax = 0 dB \rMin = -96 dB"));
  EXPECT_EQ(bar.Hint(), QStringLiteral("Niveau Gauche\rMax = 0 dB \rMin = -96 dB"));
  EXPECT_EQ(bar.toolTip(), QStringLiteral("Niveau Gauche\nMax = 0 dB \nMin = -96 dB"));
  bar.SetHint(QStringLiteral("a\r\nb"));
  EXPECT_EQ(bar.toolTip(), QStringLiteral("a\nb"));
  bar.SetShowHint(false);
  EXPECT_TRUE(bar.toolTip().isEmpty());
  bar.SetShowHint(true);
  EXPECT_EQ(bar.toolTip(), QStringLiteral("a\nb"));
}

TEST_F(VrLevelBarTest, ExtremeRangeDoesNotOverflow) {
  TVrLevelBar wide;
  wide.SetMinValue(INT32_MIN);
  wide.SetMaxValue(INT32_MAX);
  wide.SetPosition(INT32_MAX);
  EXPECT_EQ(wide.LitCount(), wide.SegmentCount());
  wide.SetPosition(0);
  EXPECT_EQ(wide.LitCount(), wide.SegmentCount() * 50 / 100);
}

}  // namespace
