// Records, on the UI thread, every change of the main window's "CLIP" label and threshold
// lights. The capture thread posts each change as an event of its own, so sampling the three
// indicators between any two events the application delivers sees every change, in order.
#pragma once

#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QThread>
#include <array>
#include <vector>

#include "AdStatLt.h"

class TIndicatorWatch final : public QObject {
 public:
  enum TWhat { Clip, ThresholdLight0, ThresholdLight1 };
  struct TChange {
    TWhat What;
    bool On;
    bool operator==(const TChange&) const = default;
  };

  TIndicatorWatch(QLabel* clip, TApdStatusLight* light0, TApdStatusLight* light1)
      : clip_(clip), light_{light0, light1} {
    last_ = {!clip_->isHidden(), light_[0]->Lit(), light_[1]->Lit()};
    qApp->installEventFilter(this);
  }
  ~TIndicatorWatch() override { qApp->removeEventFilter(this); }

  // Takes a last sample: the change made by the latest event is seen here.
  const std::vector<TChange>& Changes() {
    Sample();
    return changes_;
  }
  // Forgets the changes seen so far.
  void Clear() {
    Sample();
    changes_.clear();
  }
  // True when "CLIP" was shown or hidden by another thread than the UI thread.
  bool ClipChangedOffUiThread() const { return off_ui_thread_; }

 protected:
  bool eventFilter(QObject* watched, QEvent*) override {
    if (QThread::currentThread() != qApp->thread()) {
      if (watched == clip_) off_ui_thread_ = true;
      return false;
    }
    Sample();
    return false;
  }

 private:
  void Sample() {
    const bool now[3] = {!clip_->isHidden(), light_[0]->Lit(), light_[1]->Lit()};
    for (int i = 0; i < 3; ++i) {
      if (now[i] != last_[i]) changes_.push_back({static_cast<TWhat>(i), now[i]});
      last_[i] = now[i];
    }
  }

  QLabel* clip_;
  TApdStatusLight* light_[2];
  std::array<bool, 3> last_{};
  std::vector<TChange> changes_;
  bool off_ui_thread_ = false;
};
