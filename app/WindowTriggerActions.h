// The main window's side of detection: what the block handler changes or fires. Called on the
// capture thread; indicator changes are posted to the UI thread in call order and never waited
// for; notes and sounds go straight to the MIDI port and the sound slots. Inside an audio
// server's cycle, where posting would allocate, changes go into a fixed lock-free queue instead;
// a relay thread wakes the UI thread once per batch, which applies them in order. When the UI
// stalls and the queue is full, further changes are dropped but each indicator's newest state
// is still shown. Hit detection's indicator changes (IHitIndicators) come from the capture tap
// on an audio thread: they always take the queue.
#pragma once

#include <QString>
#include <atomic>

#include "HitActions.h"
#include "TriggerDetector.h"
#include "platform/LockFreeQueue.h"
#include "platform/RealtimeRelay.h"

class IMainThreadDispatcher;
class TMidiNoteTrigger;
class TSoundTrigger;
struct TMainWindowDesign;

class TWindowTriggerActions final : public ITriggerActions, public IHitIndicators {
 public:
  // Built on the UI thread; reads the user's decimal separator once.
  TWindowTriggerActions(IMainThreadDispatcher& ui, const TMainWindowDesign& design);

  // Where the notes and sounds go; absent ones are skipped. UI thread, before capture.
  void SetTargets(TMidiNoteTrigger* notes, TSoundTrigger* sounds);

  void SetClipVisible(bool visible) override;
  void SetThresholdLight(int channel, bool lit) override;
  void ShowVelocity(int channel, int velocity) override;
  void NoteOn(int channel, int velocity) override;
  void NoteOff(int channel) override;
  void ShowVolume(int channel, double volume) override;
  void TriggerSound(int channel, double volume) override;
  void RefreshLevels(double left_db, double right_db) override;

  void HitLight(int channel, bool lit) override;
  void HitVelocity(int channel, int velocity) override;
  void HitVolume(int channel, double volume) override;

  // UI thread: the channel's light changes hands (its detection kind changed); whichever side
  // lights it next is shown, whatever it showed before.
  void ForgetLight(int channel) { light_[channel].store(-1, std::memory_order_relaxed); }
  // UI thread, once the capture is off: shows at once what the capture side left queued.
  void DrainNow() { Drain(); }

  // "%.2f" with the user's decimal separator: the dB readouts and the volume labels.
  static QString FormatTwoDecimals(double value, const QString& decimal_point);

  static constexpr size_t kQueuedChanges = 256;

 private:
  struct TChange {
    enum TKind : uint8_t { kClip, kLight, kVelocity, kVolume, kLevels } kind;
    uint8_t channel;
    int32_t value;
    double a, b;
  };
  struct TQueue {
    TMpscQueue<TChange, kQueuedChanges> changes;
    // Indicators whose changes did not fit (one bit per TChange::kind and channel): until the
    // next drain their changes only update the newest state below, which the drain shows.
    std::atomic<uint32_t> overflow{0};
    std::atomic<int32_t> value[10] = {};
    std::atomic<double> a[10] = {}, b[10] = {};
  };
  static int Slot(const TChange& change) { return change.kind * 2 + change.channel; }
  static void Apply(const TMainWindowDesign& d, const QString& point, const TChange& change);
  void Send(const TChange& change);   // capture side
  void Queue(const TChange& change);  // capture side, never posting
  void Drain();                      // UI thread
  IMainThreadDispatcher& ui_;
  const TMainWindowDesign& d_;
  QString decimal_point_;
  TMidiNoteTrigger* notes_ = nullptr;
  TSoundTrigger* sounds_ = nullptr;
  // Last state posted for the clip label and the threshold lights (capture side; a light may be
  // set by the level road and by hit detection): repeating an unchanged state would only flood
  // the UI thread. -1: nothing posted yet.
  int clip_ = -1;
  std::atomic<int> light_[2] = {-1, -1};

  TQueue queue_;
  TRealtimeRelay relay_;  // after the queue: gone first
};
