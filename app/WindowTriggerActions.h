// The main window's side of detection: what the block handler changes or fires. Called on the
// capture thread; indicator changes are posted to the UI thread in call order and never waited
// for; notes and sounds go straight to the MIDI port and the sound slots.
#pragma once

#include <QString>

#include "TriggerDetector.h"

class IMainThreadDispatcher;
class TMidiNoteTrigger;
class TSoundTrigger;
struct TMainWindowDesign;

class TWindowTriggerActions final : public ITriggerActions {
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

  // "%.2f" with the user's decimal separator: the dB readouts and the volume labels.
  static QString FormatTwoDecimals(double value, const QString& decimal_point);

 private:
  IMainThreadDispatcher& ui_;
  const TMainWindowDesign& d_;
  QString decimal_point_;
  TMidiNoteTrigger* notes_ = nullptr;
  TSoundTrigger* sounds_ = nullptr;
  // Last state posted for the clip label and the threshold lights (capture thread only):
  // repeating an unchanged state would only flood the UI thread. -1: nothing posted yet.
  int clip_ = -1;
  int light_[2] = {-1, -1};
};
