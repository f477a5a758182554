#include "PaintedControl.h"

#include <QPainter>

TPaintedControl::TPaintedControl(QWidget* parent) : QWidget(parent) {
  // The picture covers every pixel, so nothing behind it needs drawing first.
  setAttribute(Qt::WA_OpaquePaintEvent);
}

QImage TPaintedControl::Render() {
  PrepareLayout();
  QImage image(size(), QImage::Format_RGB32);
  image.fill(Qt::black);
  QPainter painter(&image);
  Paint(painter);
  return image;
}

void TPaintedControl::Repaint() {
  ++repaint_count_;
  update();
}

void TPaintedControl::paintEvent(QPaintEvent*) {
  PrepareLayout();
  if (bitmap_.size() != size()) bitmap_ = QImage(size(), QImage::Format_RGB32);
  if (bitmap_.isNull()) return;
  {
    QPainter off_screen(&bitmap_);
    Paint(off_screen);
  }
  QPainter screen(this);
  screen.drawImage(0, 0, bitmap_);
}

void TPaintedControl::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  update();
}
