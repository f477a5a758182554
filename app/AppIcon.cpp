#include "AppIcon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

QIcon TocsinIcon() {
  QPixmap pix(32, 32);
  pix.fill(Qt::transparent);
  QPainter p(&pix);
  p.setRenderHint(QPainter::Antialiasing);
  QPainterPath bell;
  bell.moveTo(6, 22);
  bell.cubicTo(10, 20, 8, 4, 16, 4);
  bell.cubicTo(24, 4, 22, 20, 26, 22);
  bell.closeSubpath();
  p.setPen(QPen(QColor(90, 60, 0), 1.2));
  p.setBrush(QColor(230, 180, 30));
  p.drawPath(bell);
  p.setBrush(QColor(90, 60, 0));
  p.drawEllipse(QPointF(16, 23.5), 2.5, 2.5);
  const QColor seg[4] = {Qt::green, Qt::green, Qt::yellow, Qt::red};
  for (int i = 0; i < 4; ++i) p.fillRect(6 + i * 5, 28, 4, 3, seg[i]);
  p.end();
  return QIcon(pix);
}
