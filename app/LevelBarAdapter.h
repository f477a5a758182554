// Lets the toolkit-free level-meter layer drive a painted level bar. UI thread only.
#pragma once

#include <QString>

#include "VrLevelBar.h"
#include "uVumeter.h"

class TLevelBarAdapter final : public IVuLevelBar {
 public:
  explicit TLevelBarAdapter(TVrLevelBar& bar) : bar_(bar) {}
  void SetMin(int value) override { bar_.SetMinValue(value); }
  void SetMax(int value) override { bar_.SetMaxValue(value); }
  int Min() const override { return bar_.MinValue(); }
  void SetHint(const std::string& hint) override { bar_.SetHint(QString::fromStdString(hint)); }
  void BeginUpdate() override { bar_.BeginUpdate(); }
  void EndUpdate() override { bar_.EndUpdate(); }
  void SetPosition(int value) override { bar_.SetPosition(value); }

 private:
  TVrLevelBar& bar_;
};
