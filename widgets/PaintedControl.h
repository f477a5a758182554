// Base of the painted indicators: the whole picture is drawn into an off-screen bitmap of the
// control's size and copied to the screen in one step, so a changing bar never flickers. The same
// paint routine renders into a QImage, which is how tests and the PNG previews look at a control.
// UI thread only, like every widget.
#pragma once

#include <QImage>
#include <QWidget>

class TPaintedControl : public QWidget {
 public:
  explicit TPaintedControl(QWidget* parent = nullptr);

  // The picture the next paint would show (after any size adjustment of the layout step).
  QImage Render();

  // Repaints asked for and not dropped since creation: what the repaint rules are seen through.
  int RepaintCount() const { return repaint_count_; }

 protected:
  // Draws the whole control, every pixel of size(), into `painter`.
  virtual void Paint(QPainter& painter) = 0;
  // Run before each paint; a control whose size follows its content adjusts it here.
  virtual void PrepareLayout() {}
  // Asks for one repaint. Controls with repaint rules override it to drop requests.
  virtual void Repaint();

  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  QImage bitmap_;
  int repaint_count_ = 0;
};
