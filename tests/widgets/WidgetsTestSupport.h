// Helpers for the indicator tests: one QApplication for the whole executable (the shared test
// main has already chosen the offscreen platform), and the controls set up as the main window's
// design sets them.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QColor>
#include <QImage>

#include "AdStatLt.h"
#include "VrLevelBar.h"
#include "rmScale.h"

inline void EnsureQApplication() {
  static int argc = 1;
  static char name[] = "tocsin_widgets_tests";
  static char* argv[] = {name, nullptr};
  // Never destroyed: widgets of a failed test may outlive any scope we could give it.
  if (!QApplication::instance()) new QApplication(argc, argv);
}

inline QColor At(const QImage& image, int x, int y) { return image.pixelColor(x, y); }

// VuAudioLeft / VuAudioRight: 169 x 14, -96..0 dB, 56 segments behind a one-pixel grey frame.
inline void SetUpWindowBar(TVrLevelBar& bar) {
  bar.SetLoading(true);
  bar.resize(169, 14);
  bar.SetOrientation(TVrOrientation::voHorizontal);
  bar.SetTickHeight(2);
  bar.SetSpacing(1);
  bar.SetStep(1);
  bar.SetPercent1(80);
  bar.SetPercent2(15);
  bar.SetMinValue(-96);
  bar.SetMaxValue(0);
  TVrBevel bevel = bar.Bevel();
  bevel.InnerWidth = 1;
  bevel.InnerStyle = TVrBevelStyle::bsNone;
  bevel.InnerSpace = 1;
  bevel.InnerColor = VrColor::Gray;
  bevel.OuterStyle = TVrBevelStyle::bsNone;
  bevel.OuterOutline = TVrBevelOutlineStyle::osNone;
  bar.SetBevel(bevel);
  bar.SetLoading(false);
}

// scTocsinLeftThres (stBottom, 169 x 4) and scTocsinRightThres (stTop, 169 x 3).
inline void SetUpWindowScale(TrmScale& scale, bool left) {
  scale.resize(169, left ? 4 : 3);
  scale.SetOrientation(left ? TOrientation::stBottom : TOrientation::stTop);
  scale.SetBGColor(VrColor::BtnFace);
  scale.SetLineColor(VrColor::Black);
  scale.SetLineActiveColor(VrColor::Maroon);
  scale.SetLineInactiveColor(VrColor::Fuchsia);
  scale.SetLineWidth(6);
  scale.SetTicksColor(VrColor::Gray);
  scale.SetTicksLength(4);
  scale.SetTicksCount(left ? 2 : 5);
  scale.SetShowText(false);
  scale.SetMinValue(-96);
  scale.SetMaxValue(0);
  scale.SetBorderSpacing(0);
}

inline void SetUpWindowLight(TApdStatusLight& light, const QColor& lit, const QColor& unlit) {
  light.resize(13, 13);
  light.SetLitColor(lit);
  light.SetNotLitColor(unlit);
}

// Base of the widget fixtures: the application exists before any member widget is built.
class WidgetTest : public ::testing::Test {
 protected:
  WidgetTest() { EnsureQApplication(); }
};
