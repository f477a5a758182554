#include "rmScale.h"

#include <QFont>
#include <QTransform>
#include <algorithm>
#include <cmath>

#include "PixelDraw.h"

TrmScale::TrmScale(QWidget* parent) : TPaintedControl(parent) { resize(49, 193); }

int TrmScale::Length() const {
  bool horizontal = orientation_ == TOrientation::stTop || orientation_ == TOrientation::stBottom;
  return horizontal ? width() : height();
}

int TrmScale::PositionPixel() const {
  int w = Length(), bs = border_spacing_;
  if (position_ <= min_value_) return bs;
  if (position_ >= max_value_) return w - bs - 1;
  double percent = std::trunc(100.0 * (double{position_} - min_value_) / (double{max_value_} - min_value_));
  // A NaN anywhere in the range or position would otherwise turn into an arbitrary pixel.
  if (!std::isfinite(percent)) return bs;
  return static_cast<int>(std::trunc((w - 2 * bs) / 100.0 * percent)) + bs;
}

int TrmScale::TickPixel(int i) const {
  int w = Length(), bs = border_spacing_;
  // A single tick has no spacing to divide by: it stands at the low end.
  if (ticks_count_ < 2) return bs;
  return i * (w - 2 * bs) / (ticks_count_ - 1) + bs;
}

QString TrmScale::TickText(int i) const {
  bool first = i == 0, last = i == ticks_count_ - 1;
  auto value = [this](double v) { return QString::number(v, 'f', decimals_) + text_unit_; };
  switch (text_style_) {
    case TTextStyle::tsMinMax:
      return first ? text_min_ : (last ? text_max_ : QString());
    case TTextStyle::tsMinMaxValues:
      return first ? value(min_value_) : (last ? value(max_value_) : QString());
    case TTextStyle::tsValues:
      if (ticks_count_ < 2) return value(min_value_);
      return value(min_value_ + (double{max_value_} - min_value_) * i / (ticks_count_ - 1));
  }
  return QString();
}

void TrmScale::Paint(QPainter& painter) {
  if (orientation_ == TOrientation::stTop || orientation_ == TOrientation::stBottom) {
    PaintHorizontal(painter);
  } else {
    PaintVertical(painter);
  }
}

// The vertical kinds are the horizontal ones turned a quarter anticlockwise: the low end at the
// bottom, stLeft's band (stTop's turned) on the left edge, stRight's on the right edge.
void TrmScale::PaintVertical(QPainter& painter) {
  QImage turned(height(), width(), QImage::Format_RGB32);
  {
    QPainter p(&turned);
    PaintHorizontal(p);
  }
  painter.drawImage(0, 0, turned.transformed(QTransform().rotate(-90)));
}

void TrmScale::PaintHorizontal(QPainter& painter) {
  bool vertical = orientation_ == TOrientation::stLeft || orientation_ == TOrientation::stRight;
  bool top = orientation_ == TOrientation::stTop || orientation_ == TOrientation::stLeft;
  int w = vertical ? height() : width();
  int h = vertical ? width() : height();
  int bs = border_spacing_, lw = line_width_;
  FillBox(painter, 0, 0, w, h, bg_color_);

  // Band.
  if (lw < 2) {
    int y = top ? 0 : h - 1;
    DrawLine(painter, {bs, y}, {w - bs + 1, y}, line_color_);
  } else {
    int x1 = bs, x2 = w - bs + 1;
    int y1 = top ? 0 : h - 1 - lw, y2 = top ? lw - 1 : h - 1;
    FillBox(painter, x1, y1, x2, y2, line_inactive_color_);
    if (x2 - x1 > 2) {
      DrawLine(painter, {x1, y2}, {x1, y1}, VrColor::Gray);
      DrawLine(painter, {x1, y1}, {x2 - 1, y1}, VrColor::Gray);
      DrawLine(painter, {x2 - 1, y1}, {x2 - 1, y2}, VrColor::White);
      DrawLine(painter, {x2 - 1, y2}, {x1, y2}, VrColor::White);
    }
  }

  // Ticks, and their texts beyond them.
  int near = top ? lw + ticks_offset_ : h - lw - ticks_offset_;
  int far = top ? near + ticks_length_ : near - ticks_length_;
  QFont font(font_name_);
  font.setPixelSize(std::max(1, font_size_ * 4 / 3));  // points at the classic 96 dpi
  painter.setFont(font);
  painter.setPen(font_color_);
  for (int i = 0; i < ticks_count_; ++i) {
    int x = TickPixel(i);
    if (ticks_width_ <= 1) {
      DrawLine(painter, {x, near}, {x, far}, ticks_color_);
    } else {
      int left = x - ticks_width_ / 2;
      FillBox(painter, left, std::min(near, far + 1), left + ticks_width_, std::max(near, far + 1),
              ticks_color_);
    }
    if (!show_text_) continue;
    QString text = TickText(i);
    if (text.isEmpty()) continue;
    int text_h = painter.fontMetrics().height();
    int text_w = painter.fontMetrics().horizontalAdvance(text);
    int y = top ? far + text_offset_ : far - text_offset_ - text_h;
    painter.drawText(QRect(x - text_w / 2, y, text_w, text_h), Qt::AlignCenter, text);
  }

  // Position: marker, then the active part of the band.
  int p = PositionPixel();
  if (show_tick_marker_) DrawLine(painter, {p, near}, {p, far}, marker_color_);
  if (lw > 2) {
    int e = (p <= bs ? bs + 1 : p) + 1;
    if (top) {
      FillBox(painter, bs + 1, 1, e, lw - 1, line_active_color_);
    } else {
      int ya = h - 2, yb = h - lw;
      FillBox(painter, std::min(bs + 1, e), std::min(ya, yb), std::max(bs + 1, e),
              std::max(ya, yb), line_active_color_);
    }
  }
}
