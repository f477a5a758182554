// Pixel-exact drawing for the painted indicators, with the classic canvas end-point rules: a box
// covers its first corner up to, not including, the second corner's column and row; a line covers
// its start point, not its end point. Everything is filled rectangles, so no pen geometry or
// antialiasing moves a pixel.
#pragma once

#include <QColor>
#include <QPainter>
#include <QPoint>

// Box with corners (x1, y1) and (x2, y2) as given (an empty box when x2 <= x1 or y2 <= y1).
void FillBox(QPainter& painter, int x1, int y1, int x2, int y2, const QColor& colour);

// Horizontal or vertical line from `from` towards `to`, `to` excluded. Other lines are not needed
// by any indicator and draw nothing.
void DrawLine(QPainter& painter, QPoint from, QPoint to, const QColor& colour);

// One-pixel outline just inside the box (x1, y1)-(x2, y2).
void FrameBox(QPainter& painter, int x1, int y1, int x2, int y2, const QColor& colour);
