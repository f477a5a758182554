#include "VrLevelBar.h"

#include <cstdint>

#include "PixelDraw.h"

TVrLevelBar::TVrLevelBar(QWidget* parent) : TVrGraphicControl(parent) {
  palettes_[1] = {VrColor::Olive, VrColor::Yellow};
  palettes_[2] = {VrColor::Maroon, VrColor::Red};
  bevel_.InnerStyle = TVrBevelStyle::bsLowered;
  bevel_.InnerWidth = 2;
  bevel_.InnerColor = VrColor::Black;
  setFocusPolicy(Qt::NoFocus);
  resize(170, 20);
}

void TVrLevelBar::SetMinValue(int value) {
  if (value == min_value_ || value >= max_value_) return;
  min_value_ = value;
  if (position_ < min_value_)
    SetPosition(min_value_);
  else
    Repaint();
}

void TVrLevelBar::SetMaxValue(int value) {
  if (value == max_value_ || value <= min_value_) return;
  max_value_ = value;
  if (position_ > max_value_)
    SetPosition(max_value_);
  else
    Repaint();
}

void TVrLevelBar::SetPosition(int value) {
  if (value < min_value_) value = min_value_;
  if (value > max_value_) value = max_value_;
  if (value == position_) return;
  position_ = value;
  Repaint();
  Changed();
}

void TVrLevelBar::Changed() {
  if (OnChange) OnChange();
  if (position_ == min_value_ && OnMinReached) OnMinReached();
  if (position_ == max_value_ && OnMaxReached) OnMaxReached();
}

void TVrLevelBar::SetPercent1(int value) {
  if (value < 0 || value > 100) return;
  if (!Loading() && value + percent2_ > 100) value = 100 - percent2_;
  if (value == percent1_) return;
  percent1_ = value;
  Repaint();
}

void TVrLevelBar::SetPercent2(int value) {
  if (value < 0 || value > 100 || percent1_ + value > 100 || value == percent2_) return;
  percent2_ = value;
  Repaint();
}

void TVrLevelBar::SetPalette(int zone, const TVrPalette& palette) {
  if (palettes_[zone] == palette) return;
  palettes_[zone] = palette;
  Repaint();
}

void TVrLevelBar::SetBevel(const TVrBevel& bevel) {
  if (bevel_ == bevel) return;
  bevel_ = bevel;
  Repaint();
}

void TVrLevelBar::SetOrientation(TVrOrientation value) {
  if (value == orientation_) return;
  orientation_ = value;
  Repaint();
}

void TVrLevelBar::SetTickHeight(int value) {
  if (value < 1 || value == tick_height_) return;
  tick_height_ = value;
  Repaint();
}

void TVrLevelBar::SetSpacing(int value) {
  // A negative gap would overlap the segments and, at -TickHeight, leave no step to count with.
  if (value < 0 || value == spacing_) return;
  spacing_ = value;
  Repaint();
}

void TVrLevelBar::SetStyle(TVrProgressStyle value) {
  if (value == style_) return;
  style_ = value;
  Repaint();
}

void TVrLevelBar::SetColor(const QColor& value) {
  if (value == color_) return;
  color_ = value;
  Repaint();
}

int TVrLevelBar::SegmentCount() {
  PrepareLayout();
  return segments_;
}

int TVrLevelBar::LitCount() {
  PrepareLayout();
  return Lit(segments_);
}

void TVrLevelBar::PrepareLayout() {
  int step = tick_height_ + spacing_;
  int t = bevel_.Thickness();
  inner_ = QRect(QPoint(t, t), QPoint(width() - t - 1, height() - t - 1));
  bool horizontal = orientation_ == TVrOrientation::voHorizontal;
  int length = horizontal ? inner_.width() : inner_.height();
  segments_ = length + spacing_ > 0 ? (length + spacing_) / step : 0;
  if (segments_ <= 0) {
    segments_ = 0;
    return;  // nothing fits: keep the size rather than shrink to nothing
  }
  // The control trims itself so that the segments fill the inner area exactly.
  int fitted = 2 * t + segments_ * step - spacing_;
  if (horizontal && fitted != width()) {
    resize(fitted, height());
    inner_.setRight(fitted - t - 1);
  } else if (!horizontal && fitted != height()) {
    resize(width(), fitted);
    inner_.setBottom(fitted - t - 1);
  }
}

int TVrLevelBar::Lit(int segments) const {
  int64_t range = int64_t{max_value_} - min_value_;
  int64_t percent = range == 0 ? 0 : (int64_t{position_} - min_value_) * 100 / range;
  return static_cast<int>(segments * percent / 100);
}

QRect TVrLevelBar::SegmentRect(const QRect& inner, int k, int segments) const {
  int step = tick_height_ + spacing_;
  int inner_right = inner.right() + 1, inner_bottom = inner.bottom() + 1;  // exclusive edges
  if (orientation_ == TVrOrientation::voHorizontal) {
    int left = style_ == TVrProgressStyle::psBottomLeft
                   ? inner.left() + (k - 1) * step
                   : inner_right - tick_height_ - (k - 1) * step;
    return QRect(left, inner.top(), tick_height_, inner.height());
  }
  int top = style_ == TVrProgressStyle::psBottomLeft
                ? inner.top() + (segments - k) * step
                : inner_bottom - tick_height_ - (segments - k) * step;
  return QRect(inner.left(), top, inner.width(), tick_height_);
}

void TVrLevelBar::Paint(QPainter& painter) {
  painter.fillRect(rect(), color_);
  bevel_.Draw(painter, rect());
  int n = segments_;
  int lit = Lit(n);
  int z1 = n * percent1_ / 100;
  int z2 = z1 + n * percent2_ / 100;
  for (int k = 1; k <= n; ++k) {
    const TVrPalette& zone = k <= z1 ? palettes_[0] : (k > z2 ? palettes_[2] : palettes_[1]);
    painter.fillRect(SegmentRect(inner_, k, n), zone.Colors(k <= lit ? 1 : 0));
  }
}
