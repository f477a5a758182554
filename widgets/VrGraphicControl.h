// Painted control with an update counter: a caller brackets several property changes with
// BeginUpdate/EndUpdate and the control paints once, at the end. Also carries the hint (tooltip)
// whose lines are separated by carriage returns, as the window's texts write them.
// UI thread only.
#pragma once

#include <QString>

#include "PaintedControl.h"

class TVrGraphicControl : public TPaintedControl {
 public:
  explicit TVrGraphicControl(QWidget* parent = nullptr);

  void BeginUpdate();
  // Lowers the counter, then asks for a repaint (dropped while still bracketed by an outer pair).
  void EndUpdate();
  int UpdateCount() const { return update_count_; }

  // While the control is being set up from its design values, repaints are dropped and some
  // setters skip their cross-checks; ending the load repaints once.
  void SetLoading(bool loading);
  bool Loading() const { return loading_; }

  // Line breaks may be "\r", "\r\n" or "\n"; the tooltip shows each as a new line.
  void SetHint(const QString& hint);
  QString Hint() const { return hint_; }
  void SetShowHint(bool show);
  bool ShowHint() const { return show_hint_; }

 protected:
  void Repaint() override;

 private:
  void ApplyToolTip();

  int update_count_ = 0;
  bool loading_ = false;
  QString hint_;
  bool show_hint_ = true;
};
