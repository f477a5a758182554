#include "VrBevel.h"

#include <algorithm>

#include "PixelDraw.h"

namespace {

// Negative widths from a careless caller draw nothing rather than growing the rectangle.
int Count(int n) { return std::max(n, 0); }

// One frame one pixel wide just inside `rect`, then the rectangle shrinks by a pixel.
void Frame(QPainter& painter, QRect& rect, const QColor& colour) {
  FrameBox(painter, rect.left(), rect.top(), rect.right() + 1, rect.bottom() + 1, colour);
  rect.adjust(1, 1, -1, -1);
}

// A 3D frame: top and left in `top_left`, bottom and right in `bottom_right`.
void Frame3D(QPainter& painter, QRect& rect, const QColor& top_left, const QColor& bottom_right) {
  int x1 = rect.left(), y1 = rect.top(), x2 = rect.right() + 1, y2 = rect.bottom() + 1;
  FillBox(painter, x1, y1, x2, y1 + 1, top_left);
  FillBox(painter, x1, y1, x1 + 1, y2, top_left);
  FillBox(painter, x1 + 1, y2 - 1, x2, y2, bottom_right);
  FillBox(painter, x2 - 1, y1 + 1, x2, y2, bottom_right);
  rect.adjust(1, 1, -1, -1);
}

void Part(QPainter& painter, QRect& rect, TVrBevelOutlineStyle outline, TVrBevelStyle style,
          int width, const QColor& shadow, const QColor& highlight, int space,
          const QColor& space_colour) {
  if (outline == TVrBevelOutlineStyle::osOuter) Frame(painter, rect, VrColor::Black);
  if (style != TVrBevelStyle::bsNone) {
    bool lowered = style == TVrBevelStyle::bsLowered;
    for (int i = 0; i < Count(width); ++i)
      Frame3D(painter, rect, lowered ? shadow : highlight, lowered ? highlight : shadow);
  }
  if (outline == TVrBevelOutlineStyle::osInner) Frame(painter, rect, VrColor::Black);
  for (int i = 0; i < Count(space); ++i) Frame(painter, rect, space_colour);
}

}  // namespace

int TVrBevel::Thickness() const {
  if (!Visible) return 0;
  int t = Count(BorderWidth) + Count(InnerSpace) + Count(OuterSpace);
  if (InnerOutline != TVrBevelOutlineStyle::osNone) ++t;
  if (OuterOutline != TVrBevelOutlineStyle::osNone) ++t;
  if (InnerStyle != TVrBevelStyle::bsNone) t += Count(InnerWidth);
  if (OuterStyle != TVrBevelStyle::bsNone) t += Count(OuterWidth);
  return t;
}

QRect TVrBevel::Draw(QPainter& painter, QRect rect) const {
  if (!Visible) return rect;
  for (int i = 0; i < Count(BorderWidth); ++i) Frame(painter, rect, BorderColor);
  Part(painter, rect, OuterOutline, OuterStyle, OuterWidth, OuterShadow, OuterHighlight,
       OuterSpace, OuterColor);
  Part(painter, rect, InnerOutline, InnerStyle, InnerWidth, InnerShadow, InnerHighlight,
       InnerSpace, InnerColor);
  return rect;
}
