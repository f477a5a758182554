// TEMPORARY stand-ins for the indicator widgets (level bar, threshold scale, status light) until
// the painted widgets library is merged; same operations as the window uses, plain painting.
// Replace by widgets/ and delete this file.
#pragma once

#include <QColor>
#include <QPainter>
#include <QWidget>
#include <algorithm>

class TStandInLevelBar : public QWidget {
 public:
  explicit TStandInLevelBar(QWidget* parent) : QWidget(parent) {}
  int MinValue() const { return min_; }
  int MaxValue() const { return max_; }
  int Position() const { return pos_; }
  void SetMinValue(int v) {
    if (v == min_ || v >= max_) return;
    min_ = v;
    if (pos_ < min_) pos_ = min_;
    Repaint();
  }
  void SetMaxValue(int v) {
    if (v == max_ || v <= min_) return;
    max_ = v;
    if (pos_ > max_) pos_ = max_;
    Repaint();
  }
  void SetPosition(int v) {
    v = std::clamp(v, min_, max_);
    if (v == pos_) return;
    pos_ = v;
    Repaint();
  }
  void BeginUpdate() { ++updates_; }
  void EndUpdate() {
    --updates_;
    Repaint();
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    p.setPen(Qt::gray);
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    const int n = (width() - 2 + 1) / 3;
    const int lit = max_ > min_ ? n * ((pos_ - min_) * 100 / (max_ - min_)) / 100 : 0;
    for (int i = 0; i < n; ++i) {
      QColor on = i < n * 80 / 100 ? Qt::green : i < n * 95 / 100 ? Qt::yellow : Qt::red;
      QColor off = on.darker(300);
      p.fillRect(2 + i * 3, 2, 2, height() - 4, i < lit ? on : off);
    }
  }

 private:
  void Repaint() {
    if (updates_ <= 0) update();
  }
  int min_ = 0, max_ = 100, pos_ = 0, updates_ = 0;
};

class TStandInScale : public QWidget {
 public:
  explicit TStandInScale(QWidget* parent) : QWidget(parent) {}
  void SetMinValue(float v) { min_ = v; update(); }
  void SetMaxValue(float v) { max_ = v; update(); }
  void SetPosition(float v) { pos_ = v; update(); }
  float Position() const { return pos_; }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.fillRect(rect(), QColor(Qt::magenta));
    int x = pos_ <= min_ ? 0 : pos_ >= max_ ? width() - 1
                                            : int(width() / 100.0 * int(100 * (pos_ - min_) / (max_ - min_)));
    p.fillRect(0, 0, x + 1, height(), QColor(128, 0, 0));
  }

 private:
  float min_ = 0, max_ = 100, pos_ = 30;
};

class TStandInStatusLight : public QWidget {
 public:
  explicit TStandInStatusLight(QWidget* parent) : QWidget(parent) { resize(13, 13); }
  bool Lit() const { return lit_; }
  void SetLit(bool v) {
    if (v == lit_) return;
    lit_ = v;
    update();
  }
  void SetLitColor(QColor c) { on_ = c; update(); }
  void SetNotLitColor(QColor c) { off_ = c; update(); }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.fillRect(rect(), lit_ ? on_ : off_);
    p.setPen(Qt::white);
    p.drawLine(0, 0, width() - 1, 0);
    p.drawLine(0, 0, 0, height() - 1);
    p.setPen(QColor(128, 128, 128));
    p.drawLine(width() - 1, 1, width() - 1, height() - 1);
    p.drawLine(1, height() - 1, width() - 1, height() - 1);
  }

 private:
  bool lit_ = false;
  QColor on_ = Qt::red, off_ = Qt::green;
};

// The names the window uses, bound to the stand-ins for now.
using TVrLevelBar = TStandInLevelBar;
using TrmScale = TStandInScale;
using TApdStatusLight = TStandInStatusLight;
