#include "AdStatLt.h"

#include <gtest/gtest.h>

#include "WidgetsTestSupport.h"

namespace {

class AdStatLtTest : public WidgetTest {
 protected:
  void SetUp() override {
    SetUpWindowLight(light, VrColor::Lime, VrColor::Navy);  // ledAudioInState
  }
  TApdStatusLight light;
};

TEST_F(AdStatLtTest, NewLightIsAnUnlitGreenSquare) {
  TApdStatusLight fresh;
  EXPECT_EQ(fresh.size(), QSize(13, 13));
  EXPECT_FALSE(fresh.Lit());
  EXPECT_EQ(fresh.LitColor(), VrColor::Red);
  EXPECT_EQ(At(fresh.Render(), 6, 6), VrColor::Green);
}

TEST_F(AdStatLtTest, FillAndRaisedEdgeLitAndUnlit) {
  for (bool lit : {false, true}) {
    light.SetLit(lit);
    QImage image = light.Render();
    QColor fill = lit ? VrColor::Lime : VrColor::Navy;
    SCOPED_TRACE(lit ? "lit" : "unlit");
    // Inside: rows and columns 1..11.
    for (int y = 1; y <= 11; ++y)
      for (int x = 1; x <= 11; ++x) ASSERT_EQ(At(image, x, y), fill) << x << "," << y;
    // Top and left edges white, including both ends of each.
    for (int i = 0; i <= 12; ++i) {
      EXPECT_EQ(At(image, i, 0), VrColor::White) << i;
      EXPECT_EQ(At(image, 0, i), VrColor::White) << i;
    }
    // Right and bottom edges grey, from pixel 1 on.
    for (int i = 1; i <= 12; ++i) {
      EXPECT_EQ(At(image, 12, i), VrColor::Gray) << i;
      EXPECT_EQ(At(image, i, 12), VrColor::Gray) << i;
    }
  }
}

TEST_F(AdStatLtTest, SettingTheSameStateTwiceRepaintsOnce) {
  int before = light.RepaintCount();
  light.SetLit(true);
  light.SetLit(true);
  EXPECT_EQ(light.RepaintCount(), before + 1);
  light.SetLit(false);
  light.SetLit(false);
  EXPECT_EQ(light.RepaintCount(), before + 2);
}

TEST_F(AdStatLtTest, HiddenColourChangesWaitForTheNextStateChange) {
  light.SetLit(true);
  int before = light.RepaintCount();
  light.SetNotLitColor(VrColor::Gray);
  EXPECT_EQ(light.RepaintCount(), before);
  EXPECT_EQ(At(light.Render(), 6, 6), VrColor::Lime);
  light.SetLit(false);
  EXPECT_EQ(At(light.Render(), 6, 6), VrColor::Gray);

  before = light.RepaintCount();
  light.SetLitColor(VrColor::Aqua);  // unlit: not on show
  EXPECT_EQ(light.RepaintCount(), before);
  light.SetNotLitColor(VrColor::Navy);  // on show
  EXPECT_EQ(light.RepaintCount(), before + 1);
  light.SetLit(true);
  EXPECT_EQ(At(light.Render(), 6, 6), VrColor::Aqua);
}

TEST_F(AdStatLtTest, GlyphShowsTheHalfForTheStateAndSetsTheSize) {
  // 2 x (5 x 4): lit half red with a white top-left key pixel, unlit half blue.
  QImage glyph(10, 4, QImage::Format_RGB32);
  glyph.fill(VrColor::Red);
  glyph.setPixelColor(0, 0, VrColor::White);
  for (int y = 0; y < 4; ++y)
    for (int x = 5; x < 10; ++x) glyph.setPixelColor(x, y, VrColor::Blue);
  glyph.setPixelColor(9, 3, VrColor::White);

  QWidget panel;
  QPalette pal = panel.palette();
  pal.setColor(QPalette::Window, VrColor::Teal);
  panel.setPalette(pal);
  TApdStatusLight on_panel(&panel);
  on_panel.SetGlyph(glyph);
  EXPECT_EQ(on_panel.size(), QSize(5, 4));
  on_panel.resize(40, 40);
  EXPECT_EQ(on_panel.size(), QSize(5, 4));

  on_panel.SetLit(true);
  QImage image = on_panel.Render();
  EXPECT_EQ(At(image, 0, 0), VrColor::Teal);  // key colour shows the panel through
  EXPECT_EQ(At(image, 2, 2), VrColor::Red);
  on_panel.SetLit(false);
  image = on_panel.Render();
  EXPECT_EQ(At(image, 2, 2), VrColor::Blue);
  EXPECT_EQ(At(image, 4, 3), VrColor::Teal);

  // A glyph makes colour changes invisible, so they never repaint.
  int before = on_panel.RepaintCount();
  on_panel.SetNotLitColor(VrColor::Yellow);
  EXPECT_EQ(on_panel.RepaintCount(), before);

  on_panel.SetGlyph(QImage());
  EXPECT_EQ(on_panel.size(), QSize(13, 13));
  EXPECT_EQ(At(on_panel.Render(), 6, 6), VrColor::Yellow);
}

}  // namespace
