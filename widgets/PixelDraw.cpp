#include "PixelDraw.h"

#include <algorithm>

void FillBox(QPainter& painter, int x1, int y1, int x2, int y2, const QColor& colour) {
  if (x2 <= x1 || y2 <= y1) return;
  painter.fillRect(x1, y1, x2 - x1, y2 - y1, colour);
}

void DrawLine(QPainter& painter, QPoint from, QPoint to, const QColor& colour) {
  if (from.y() == to.y()) {
    // Leftwards lines cover (to, from], rightwards ones [from, to).
    int first = from.x() <= to.x() ? from.x() : to.x() + 1;
    int last = from.x() <= to.x() ? to.x() : from.x() + 1;
    FillBox(painter, first, from.y(), last, from.y() + 1, colour);
  } else if (from.x() == to.x()) {
    int first = from.y() <= to.y() ? from.y() : to.y() + 1;
    int last = from.y() <= to.y() ? to.y() : from.y() + 1;
    FillBox(painter, from.x(), first, from.x() + 1, last, colour);
  }
}

void FrameBox(QPainter& painter, int x1, int y1, int x2, int y2, const QColor& colour) {
  if (x2 <= x1 || y2 <= y1) return;
  FillBox(painter, x1, y1, x2, y1 + 1, colour);
  FillBox(painter, x1, y2 - 1, x2, y2, colour);
  FillBox(painter, x1, y1, x1 + 1, y2, colour);
  FillBox(painter, x2 - 1, y1, x2, y2, colour);
}
