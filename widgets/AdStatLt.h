// Status light: one on/off state shown as a coloured square with a raised edge, like an LED on a
// panel, or as one half of a two-picture glyph. UI thread only.
#pragma once

#include <QColor>
#include <QImage>

#include "PaintedControl.h"
#include "VrColors.h"

class TApdStatusLight : public TPaintedControl {
 public:
  explicit TApdStatusLight(QWidget* parent = nullptr);

  bool Lit() const { return lit_; }
  void SetLit(bool value);
  QColor LitColor() const { return lit_color_; }
  // Repaints only when the new colour is on show (no glyph, lit); otherwise it waits for the
  // next change of state.
  void SetLitColor(const QColor& value);
  QColor NotLitColor() const { return not_lit_color_; }
  void SetNotLitColor(const QColor& value);

  // Two pictures side by side, lit on the left, unlit on the right; the top-left pixel's colour
  // is transparent. The light takes the size of one picture; a null image returns it to 13 x 13.
  const QImage& Glyph() const { return glyph_; }
  void SetGlyph(const QImage& glyph);

 protected:
  void Paint(QPainter& painter) override;

 private:
  void ApplyGlyphSize();

  bool lit_ = false;
  QColor lit_color_ = VrColor::Red;
  QColor not_lit_color_ = VrColor::Green;
  QImage glyph_;
  QImage glyph_halves_[2];  // lit, unlit; transparency already applied
};
