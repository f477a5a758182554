// TfmMain: each channel's detection kind ("Niveau" or "Frappe") and the "Frappe" page, kept in
// MyHit (which the settings file reads and saves) and published whole to the capture tap.
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QSignalBlocker>
#include <algorithm>

#include "AdStatLt.h"
#include "frmMain.h"

void TfmMain::ConnectHitHandlers() {
  for (int ch = 0; ch < 2; ++ch) {
    connect(d_.lstTocsinDetection[ch], &QComboBox::activated, this,
            [this, ch] { lstTocsinDetectionChange(ch); });
    for (auto* box : d_.edHit)
      connect(box[ch], &QDoubleSpinBox::valueChanged, this, [this] { HitControlsChange(); });
    connect(d_.lstHitVelocityCurve[ch], &QComboBox::activated, this,
            [this] { HitControlsChange(); });
  }
  connect(d_.edHitCrosstalkMs, &QDoubleSpinBox::valueChanged, this,
          [this] { HitControlsChange(); });
  connect(d_.edHitCrosstalkDb, &QDoubleSpinBox::valueChanged, this,
          [this] { HitControlsChange(); });
  connect(d_.edHitCrosstalkHoldMs, &QDoubleSpinBox::valueChanged, this,
          [this] { HitControlsChange(); });
}

void TfmMain::lstTocsinDetectionChange(int channel) {
  MyHit.HitDetection[channel] = d_.lstTocsinDetection[channel]->currentIndex() == 1;
  // The light changes hands: dark until the side that takes over lights it.
  actions_.ForgetLight(channel);
  (channel == 0 ? d_.ledLeftThres : d_.ledRightThres)->SetLit(false);
  RefreshSnapshot();
}

void TfmMain::HitControlsChange() {
  for (int ch = 0; ch < 2; ++ch) {
    THitPadSettings& p = MyHit.Pad[ch];
    for (int f = 0; f < TMainWindowDesign::kHitFields; ++f)
      p.*TMainWindowDesign::kHitPadFields[f] = d_.edHit[f][ch]->value();
    p.Curve = static_cast<TVelocityCurve>(std::max(0, d_.lstHitVelocityCurve[ch]->currentIndex()));
  }
  MyHit.CrosstalkWindowMs = d_.edHitCrosstalkMs->value();
  MyHit.CrosstalkRatioDb = d_.edHitCrosstalkDb->value();
  MyHit.CrosstalkHoldMs = d_.edHitCrosstalkHoldMs->value();
  PublishHitSettings();
}

void TfmMain::ShowHitControls(const TMyHit& hit) {
  for (int ch = 0; ch < 2; ++ch) {
    const THitPadSettings& p = hit.Pad[ch];
    for (int f = 0; f < TMainWindowDesign::kHitFields; ++f) {
      const QSignalBlocker quiet(d_.edHit[f][ch]);
      d_.edHit[f][ch]->setValue(p.*TMainWindowDesign::kHitPadFields[f]);
    }
    d_.lstHitVelocityCurve[ch]->setCurrentIndex(static_cast<int>(p.Curve));
    d_.lstTocsinDetection[ch]->setCurrentIndex(hit.HitDetection[ch] ? 1 : 0);
  }
  {
    const QSignalBlocker quiet_ms(d_.edHitCrosstalkMs), quiet_db(d_.edHitCrosstalkDb),
        quiet_hold(d_.edHitCrosstalkHoldMs);
    d_.edHitCrosstalkMs->setValue(hit.CrosstalkWindowMs);
    d_.edHitCrosstalkDb->setValue(hit.CrosstalkRatioDb);
    d_.edHitCrosstalkHoldMs->setValue(hit.CrosstalkHoldMs);
  }
  if (&hit != &MyHit) MyHit = hit;
  RefreshSnapshot();
}

void TfmMain::PublishHitSettings() {
  hit_settings_.Publish(WindowHitSettings(MyHit, snapshot_));
}
