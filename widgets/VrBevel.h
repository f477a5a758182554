// The nested frames drawn inside a Vr control's edge: a border, an outer and an inner part each
// made of an optional black outline, a raised or lowered 3D frame and plain spacing frames.
#pragma once

#include <QColor>
#include <QPainter>
#include <QRect>

#include "VrColors.h"

enum class TVrBevelStyle { bsNone, bsLowered, bsRaised };
enum class TVrBevelOutlineStyle { osOuter, osInner, osNone };

struct TVrBevel {
  int BorderWidth = 0;
  QColor BorderColor = VrColor::BtnFace;
  QColor InnerShadow = VrColor::BtnShadow;
  QColor InnerHighlight = VrColor::BtnHighlight;
  int InnerWidth = 1;
  TVrBevelStyle InnerStyle = TVrBevelStyle::bsLowered;
  TVrBevelOutlineStyle InnerOutline = TVrBevelOutlineStyle::osNone;
  int InnerSpace = 1;
  QColor InnerColor = VrColor::BtnFace;
  QColor OuterShadow = VrColor::BtnShadow;
  QColor OuterHighlight = VrColor::BtnHighlight;
  int OuterWidth = 1;
  TVrBevelStyle OuterStyle = TVrBevelStyle::bsRaised;
  TVrBevelOutlineStyle OuterOutline = TVrBevelOutlineStyle::osOuter;
  int OuterSpace = 0;
  QColor OuterColor = VrColor::BtnFace;
  bool Visible = true;

  // Pixels taken from each side of the control; 0 when not visible.
  int Thickness() const;
  // Draws the frames inside `rect` from the outside in and returns the rectangle left inside.
  QRect Draw(QPainter& painter, QRect rect) const;

  bool operator==(const TVrBevel&) const = default;
};
