#include "AdStatLt.h"

#include <QPainter>

#include "PixelDraw.h"

namespace {
constexpr int kSide = 13;
}

TApdStatusLight::TApdStatusLight(QWidget* parent) : TPaintedControl(parent) {
  resize(kSide, kSide);
}

void TApdStatusLight::SetLit(bool value) {
  if (value == lit_) return;
  lit_ = value;
  Repaint();
}

void TApdStatusLight::SetLitColor(const QColor& value) {
  lit_color_ = value;
  if (glyph_.isNull() && lit_) Repaint();
}

void TApdStatusLight::SetNotLitColor(const QColor& value) {
  not_lit_color_ = value;
  if (glyph_.isNull() && !lit_) Repaint();
}

void TApdStatusLight::SetGlyph(const QImage& glyph) {
  glyph_ = glyph;
  for (QImage& half : glyph_halves_) half = QImage();
  if (!glyph_.isNull()) {
    int half_w = glyph_.width() / 2;
    QRgb transparent = glyph_.pixel(0, 0);
    for (int i = 0; i < 2; ++i) {
      QImage half = glyph_.copy(i * half_w, 0, half_w, glyph_.height())
                        .convertToFormat(QImage::Format_ARGB32);
      for (int y = 0; y < half.height(); ++y)
        for (int x = 0; x < half.width(); ++x)
          if ((half.pixel(x, y) & RGB_MASK) == (transparent & RGB_MASK)) half.setPixel(x, y, 0);
      glyph_halves_[i] = half;
    }
  }
  ApplyGlyphSize();
  Repaint();
}

void TApdStatusLight::ApplyGlyphSize() {
  if (glyph_.isNull()) {
    setMinimumSize(0, 0);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    resize(kSide, kSide);
  } else {
    // Fixed, so that later geometry changes keep the glyph's size too.
    setFixedSize(glyph_.width() / 2, glyph_.height());
  }
}

void TApdStatusLight::Paint(QPainter& painter) {
  int w = width(), h = height();
  if (!glyph_.isNull()) {
    // What shows through the transparent pixels is the parent's colour, as for a windowless
    // control.
    painter.fillRect(rect(), parentWidget() ? parentWidget()->palette().color(QPalette::Window)
                                            : palette().color(QPalette::Window));
    painter.drawImage(0, 0, glyph_halves_[lit_ ? 0 : 1]);
    return;
  }
  FillBox(painter, 0, 0, w, h, lit_ ? lit_color_ : not_lit_color_);
  DrawLine(painter, {0, 0}, {w, 0}, VrColor::White);
  DrawLine(painter, {0, 0}, {0, h}, VrColor::White);
  DrawLine(painter, {w - 1, 1}, {w - 1, h}, VrColor::Gray);
  DrawLine(painter, {1, h - 1}, {w, h - 1}, VrColor::Gray);
}
