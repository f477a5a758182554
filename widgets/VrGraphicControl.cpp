#include "VrGraphicControl.h"

TVrGraphicControl::TVrGraphicControl(QWidget* parent) : TPaintedControl(parent) {}

void TVrGraphicControl::BeginUpdate() { ++update_count_; }

void TVrGraphicControl::EndUpdate() {
  // An unbalanced EndUpdate must not leave the counter negative, or the next bracket would
  // repaint at its BeginUpdate and never at its EndUpdate.
  if (update_count_ > 0) --update_count_;
  Repaint();
}

void TVrGraphicControl::SetLoading(bool loading) {
  if (loading == loading_) return;
  loading_ = loading;
  if (!loading_) Repaint();
}

void TVrGraphicControl::Repaint() {
  if (update_count_ > 0 || loading_) return;
  TPaintedControl::Repaint();
}

void TVrGraphicControl::SetHint(const QString& hint) {
  hint_ = hint;
  ApplyToolTip();
}

void TVrGraphicControl::SetShowHint(bool show) {
  show_hint_ = show;
  ApplyToolTip();
}

void TVrGraphicControl::ApplyToolTip() {
  if (!show_hint_) {
    setToolTip(QString());
    return;
  }
  QString text = hint_;
  text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  setToolTip(text);
}
