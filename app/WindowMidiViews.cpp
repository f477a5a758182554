#include "WindowMidiViews.h"

#include <QApplication>
#include <QCursor>

#include "AdStatLt.h"
#include "frmMain.h"
#include "platform/RealtimeThread.h"

TWindowMidiViews::TWindowMidiViews(IMainThreadDispatcher& ui, TApdStatusLight& data_light,
                                   TApdStatusLight& state_light, QTimer& timer)
    : ui_(ui),
      data_light_(data_light),
      state_light_(state_light),
      timer_(timer),
      relay_(ui, [this] {
        if (const int lit = cycle_light_.exchange(-1); lit >= 0) SetMidiDataLight(lit != 0);
        if (const int on = cycle_timer_.exchange(-1); on >= 0) SetMidiTimerEnabled(on != 0);
      }) {}

void TWindowMidiViews::SetMidiDataLight(bool lit) {
  TApdStatusLight* light = &data_light_;
  if (InRealtimeThread()) {
    cycle_light_.store(lit, std::memory_order_release);
    relay_.Wake();
  } else if (ui_.IsMainThread()) {
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
  if (InRealtimeThread()) {
    cycle_timer_.store(enabled, std::memory_order_release);
    relay_.Wake();
  } else if (ui_.IsMainThread()) {
    apply();
  } else {
    ui_.Post(apply);
  }
}

void TWindowMidiViews::ShowTapActivity(bool lit) {
  cycle_light_.store(lit, std::memory_order_release);
  cycle_timer_.store(1, std::memory_order_release);
  relay_.Wake();
}

void TWindowMidiViews::SetMidiStateLight(bool lit) {
  state_light_.SetLit(lit);
}

void TWindowMidiViews::ShowBusyCursor() {
  QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
}

void TWindowMidiViews::RestoreCursor() {
  QApplication::restoreOverrideCursor();
}

void TWindowMidiViews::Wait(int ms) {
  TfmMain::Wait(static_cast<uint32_t>(ms < 0 ? 0 : ms), true);
}
