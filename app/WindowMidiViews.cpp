#include "WindowMidiViews.h"

#include <QApplication>
#include <QCursor>

#include "AdStatLt.h"
#include "frmMain.h"

TWindowMidiViews::TWindowMidiViews(IMainThreadDispatcher& ui, TApdStatusLight& data_light,
                                   TApdStatusLight& state_light, QTimer& timer)
    : ui_(ui), data_light_(data_light), state_light_(state_light), timer_(timer) {}

void TWindowMidiViews::SetMidiDataLight(bool lit) {
  TApdStatusLight* light = &data_light_;
  if (ui_.IsMainThread()) {
    light->SetLit(lit);
  } else {
    ui_.Post([light, lit] { light->SetLit(lit); });
  }
}

void TWindowMidiViews::SetMidiTimerEnabled(bool enabled) {
  QTimer* timer = &timer_;
  auto apply = [timer, enabled] {
    if (!enabled) {
      timer->stop();
    } else if (!timer->isActive()) {
      timer->start();  // a running timer is not restarted
    }
  };
  if (ui_.IsMainThread()) {
    apply();
  } else {
    ui_.Post(apply);
  }
}

void TWindowMidiViews::SetMidiStateLight(bool lit) { state_light_.SetLit(lit); }

void TWindowMidiViews::ShowBusyCursor() {
  QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
}

void TWindowMidiViews::RestoreCursor() { QApplication::restoreOverrideCursor(); }

void TWindowMidiViews::Wait(int ms) { TfmMain::Wait(static_cast<uint32_t>(ms < 0 ? 0 : ms), true); }
