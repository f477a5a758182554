// Threshold scale: a band along one edge whose part from the low end up to the position is drawn
// in an "active" colour and the rest in an "inactive" one, with optional ticks, a position marker
// and value texts. The main window keeps only a few pixels of the band visible, as a thin strip
// beside a level bar whose colour changes under the channel's threshold. UI thread only.
#pragma once

#include <QColor>
#include <QString>

#include "PaintedControl.h"
#include "VrColors.h"

enum class TOrientation { stLeft, stRight, stTop, stBottom };
// Value texts: the TextMin/TextMax words at the two ends, the range's values at the two ends, or
// a value under every tick.
enum class TTextStyle { tsMinMax, tsMinMaxValues, tsValues };

class TrmScale : public TPaintedControl {
 public:
  explicit TrmScale(QWidget* parent = nullptr);

  TOrientation Orientation() const { return orientation_; }
  void SetOrientation(TOrientation value) { Set(orientation_, value); }
  QColor BGColor() const { return bg_color_; }
  void SetBGColor(const QColor& value) { Set(bg_color_, value); }
  QColor LineColor() const { return line_color_; }
  void SetLineColor(const QColor& value) { Set(line_color_, value); }
  QColor LineActiveColor() const { return line_active_color_; }
  void SetLineActiveColor(const QColor& value) { Set(line_active_color_, value); }
  QColor LineInactiveColor() const { return line_inactive_color_; }
  void SetLineInactiveColor(const QColor& value) { Set(line_inactive_color_, value); }
  int LineWidth() const { return line_width_; }
  void SetLineWidth(uint16_t value) { Set(line_width_, int{value}); }
  QColor TicksColor() const { return ticks_color_; }
  void SetTicksColor(const QColor& value) { Set(ticks_color_, value); }
  QColor TicksActiveColor() const { return ticks_active_color_; }
  void SetTicksActiveColor(const QColor& value) { Set(ticks_active_color_, value); }
  QColor TicksInactiveColor() const { return ticks_inactive_color_; }
  void SetTicksInactiveColor(const QColor& value) { Set(ticks_inactive_color_, value); }
  int TicksLength() const { return ticks_length_; }
  void SetTicksLength(uint16_t value) { Set(ticks_length_, int{value}); }
  int TicksWidth() const { return ticks_width_; }
  void SetTicksWidth(uint16_t value) { Set(ticks_width_, int{value}); }
  int TicksCount() const { return ticks_count_; }
  void SetTicksCount(uint16_t value) { Set(ticks_count_, int{value}); }
  int TicksOffset() const { return ticks_offset_; }
  void SetTicksOffset(uint16_t value) { Set(ticks_offset_, int{value}); }
  int BorderSpacing() const { return border_spacing_; }
  void SetBorderSpacing(uint16_t value) { Set(border_spacing_, int{value}); }

  bool ShowText() const { return show_text_; }
  void SetShowText(bool value) { Set(show_text_, value); }
  TTextStyle TextStyle() const { return text_style_; }
  void SetTextStyle(TTextStyle value) { Set(text_style_, value); }
  QString TextMin() const { return text_min_; }
  void SetTextMin(const QString& value) { Set(text_min_, value); }
  QString TextMax() const { return text_max_; }
  void SetTextMax(const QString& value) { Set(text_max_, value); }
  int Decimals() const { return decimals_; }
  void SetDecimals(uint16_t value) { Set(decimals_, int{value}); }
  QString TextUnit() const { return text_unit_; }
  void SetTextUnit(const QString& value) { Set(text_unit_, value); }
  int TextOffset() const { return text_offset_; }
  void SetTextOffset(uint16_t value) { Set(text_offset_, int{value}); }
  QString FontName() const { return font_name_; }
  void SetFontName(const QString& value) { Set(font_name_, value); }
  QColor FontColor() const { return font_color_; }
  void SetFontColor(const QColor& value) { Set(font_color_, value); }
  int FontSize() const { return font_size_; }
  void SetFontSize(int value) { Set(font_size_, value); }

  // No clamping and no ordering check: a position outside the range draws at the nearer end.
  float MinValue() const { return min_value_; }
  void SetMinValue(float value) { Set(min_value_, value); }
  float MaxValue() const { return max_value_; }
  void SetMaxValue(float value) { Set(max_value_, value); }
  float Position() const { return position_; }
  void SetPosition(float value) { Set(position_, value); }

  bool ShowTickMarker() const { return show_tick_marker_; }
  void SetShowTickMarker(bool value) { Set(show_tick_marker_, value); }
  QColor MarkerColor() const { return marker_color_; }
  void SetMarkerColor(const QColor& value) { Set(marker_color_, value); }

  // Pixel along the scale where the position stands (from the left, or from the bottom for the
  // vertical kinds).
  int PositionPixel() const;

 protected:
  void Paint(QPainter& painter) override;

 private:
  template <typename T>
  void Set(T& field, const T& value) {
    if (field == value) return;
    field = value;
    Repaint();
  }
  int Length() const;
  int TickPixel(int i) const;
  QString TickText(int i) const;
  void PaintHorizontal(QPainter& painter);
  void PaintVertical(QPainter& painter);

  TOrientation orientation_ = TOrientation::stLeft;
  QColor bg_color_ = VrColor::Silver;
  QColor line_color_ = VrColor::Black;
  QColor line_active_color_ = VrColor::Orange;
  QColor line_inactive_color_ = VrColor::Maroon;
  int line_width_ = 1;
  QColor ticks_color_ = VrColor::Black;
  QColor ticks_active_color_ = VrColor::Lime;
  QColor ticks_inactive_color_ = VrColor::Green;
  int ticks_length_ = 8;
  int ticks_width_ = 1;
  int ticks_count_ = 11;
  int ticks_offset_ = 0;
  bool show_text_ = true;
  TTextStyle text_style_ = TTextStyle::tsMinMaxValues;
  QString text_min_ = QStringLiteral("Empty");
  QString text_max_ = QStringLiteral("Full");
  int decimals_ = 1;
  QString text_unit_;
  int text_offset_ = 4;
  QString font_name_ = QStringLiteral("arial");
  QColor font_color_ = VrColor::Blue;
  int font_size_ = 8;
  float min_value_ = 0;
  float max_value_ = 100;
  float position_ = 30;
  bool show_tick_marker_ = true;
  QColor marker_color_ = VrColor::Red;
  int border_spacing_ = 10;
};
