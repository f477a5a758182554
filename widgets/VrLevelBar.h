// Segmented level bar, like the LED row of a hardware level meter: an integer value between a
// minimum and a maximum lights the segments up to it, in three colour zones (normally green,
// yellow, red). The main window shows each input channel's level in dB on one.
// UI thread only; the window brackets each position change with BeginUpdate/EndUpdate.
#pragma once

#include <functional>

#include "VrBevel.h"
#include "VrGraphicControl.h"
#include "VrPalette.h"

enum class TVrOrientation { voVertical, voHorizontal };
enum class TVrProgressStyle { psBottomLeft, psTopRight };

class TVrLevelBar : public TVrGraphicControl {
 public:
  explicit TVrLevelBar(QWidget* parent = nullptr);

  int MinValue() const { return min_value_; }
  // Ignored unless below MaxValue; a position below the new minimum is raised to it.
  void SetMinValue(int value);
  int MaxValue() const { return max_value_; }
  // Ignored unless above MinValue; a position above the new maximum is lowered to it.
  void SetMaxValue(int value);
  int Position() const { return position_; }
  // Clamped to MinValue..MaxValue.
  void SetPosition(int value);

  int Percent1() const { return percent1_; }
  void SetPercent1(int value);
  int Percent2() const { return percent2_; }
  void SetPercent2(int value);
  const TVrPalette& Palette1() const { return palettes_[0]; }
  const TVrPalette& Palette2() const { return palettes_[1]; }
  const TVrPalette& Palette3() const { return palettes_[2]; }
  void SetPalette1(const TVrPalette& palette) { SetPalette(0, palette); }
  void SetPalette2(const TVrPalette& palette) { SetPalette(1, palette); }
  void SetPalette3(const TVrPalette& palette) { SetPalette(2, palette); }
  const TVrBevel& Bevel() const { return bevel_; }
  void SetBevel(const TVrBevel& bevel);

  TVrOrientation Orientation() const { return orientation_; }
  void SetOrientation(TVrOrientation value);
  int TickHeight() const { return tick_height_; }
  void SetTickHeight(int value);
  int Spacing() const { return spacing_; }
  void SetSpacing(int value);
  TVrProgressStyle Style() const { return style_; }
  void SetStyle(TVrProgressStyle value);
  // Kept for the design's sake; the drawing steps by TickHeight + Spacing.
  int Step() const { return step_; }
  void SetStep(int value) { step_ = value; }
  QColor Color() const { return color_; }
  void SetColor(const QColor& value);

  // Segments that fit the current size: what the next paint draws.
  int SegmentCount();
  // Segments 1..LitCount() show their bright colour.
  int LitCount();

  // Position changes (any cause) and the ends of the range being reached.
  std::function<void()> OnChange;
  std::function<void()> OnMinReached;
  std::function<void()> OnMaxReached;

 protected:
  void PrepareLayout() override;
  void Paint(QPainter& painter) override;

 private:
  void SetPalette(int zone, const TVrPalette& palette);
  void Changed();
  int Lit(int segments) const;
  QRect SegmentRect(const QRect& inner, int k, int segments) const;

  int min_value_ = 0;
  int max_value_ = 100;
  int position_ = 0;
  int percent1_ = 60;
  int percent2_ = 25;
  TVrPalette palettes_[3];
  TVrBevel bevel_;
  TVrOrientation orientation_ = TVrOrientation::voVertical;
  int tick_height_ = 1;
  int spacing_ = 1;
  TVrProgressStyle style_ = TVrProgressStyle::psBottomLeft;
  int step_ = 10;
  QColor color_ = VrColor::Black;
  int segments_ = 0;  // from the last layout
  QRect inner_;       // from the last layout
};
