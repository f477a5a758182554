// The window's detection road without the window: the block handler (TTriggerDetector) and the
// note trigger (TMidiNoteTrigger) sending through a TMidiOutput, exactly as live, on a MIDI
// service that records each message with the frame it belongs to instead of sending it.
// A note-on belongs to the first frame of its deciding block whose level is above the
// threshold; a note-off to the end of its deciding block. A side in "Frappe" is fired by hit
// detection's own road instead (THitRunner and THitActions, as the capture tap runs them live),
// each message at the frame the hit gave it. Single-threaded: the caller plays the capture
// thread.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "AppState.h"
#include "ControlSnapshot.h"
#include "HitSettingsSnapshot.h"
#include "audio/ALAudioBuffer.h"
#include "hit/HitSettings.h"
#include "uVumeter.h"

class TMidiOutput;
class TMidiNoteTrigger;
class THitActions;
class THitRunner;
class TTriggerDetector;

// One message as the live chain would have sent it, with where in the take it belongs.
struct TRenderMessage {
  uint64_t Frame = 0;
  std::array<uint8_t, 3> Bytes{};
};

// A note as it sounded: which side fired it and its messages' frames.
struct TRenderNote {
  int Side = 0;         // 0 left, 1 right
  uint8_t Channel = 0;  // 0..15, as in the status byte
  uint8_t Note = 0;
  uint8_t Velocity = 0;
  uint64_t OnFrame = 0;
  uint64_t OffFrame = 0;  // the take's end when the note still sounded there
  bool Hit = false;       // fired by hit detection
};

class TRenderChain {
 public:
  // `controls` are the window's controls as the settings left them; `channels` and
  // `sample_rate` describe the blocks that will come.
  TRenderChain(const TControlSnapshot& controls, uint16_t channels, uint16_t bits,
               uint32_t sample_rate, bool keep_levels);
  ~TRenderChain();
  TRenderChain(const TRenderChain&) = delete;
  TRenderChain& operator=(const TRenderChain&) = delete;

  // Hit detection's settings; a side whose pad is enabled is in "Frappe". Before the first block.
  void SetHitSettings(const THitSettings& settings);
  // A side is in "Frappe": Capture wants the samples.
  bool HitDetection() const { return hit_; }
  // What the capture's tap gets of the next block (its samples as floats, one input after the
  // other), before that block goes to Process.
  void Capture(const float* const* inputs, uint32_t channels, uint32_t frames);
  // One captured block, in capture order.
  void Process(const IALAudioBufferPtr& block);
  // The take has ended: a note still sounding gets the note-off the live program would send on
  // the next quiet block, at the take's end.
  void Finish();

  // Messages in time order (messages of one frame in the order they were sent).
  std::vector<TRenderMessage> Messages() const;
  const std::vector<TRenderNote>& Notes() const { return notes_; }
  // Each block's level in dB, left and right, when asked for.
  const std::vector<std::array<float, 2>>& Levels() const { return levels_; }
  // When levels are kept: each side's hit threshold (dB) as it fell after each hit, sampled
  // every kThresholdStep frames of the take, whatever the block size; NaN for a side in "Niveau".
  static constexpr uint32_t kThresholdStep = 64;
  const std::vector<std::array<float, 2>>& Thresholds() const { return thresholds_; }
  uint64_t Frames() const { return position_; }

 private:
  class TService;
  class TActions;
  class TClock;
  class TView;
  class TDispatcher;
  class THitSink;

  const TControlSnapshot& controls_;
  bool keep_levels_;
  TRunFlags flags_;
  TAudioInParams params_;
  TMyMidi midi_;
  TMySound sounds_[2];
  TVumeters meters_;
  std::unique_ptr<TService> service_;
  std::unique_ptr<TDispatcher> dispatcher_;
  std::unique_ptr<TMidiOutput> output_;
  std::unique_ptr<TView> view_;
  std::unique_ptr<TMidiNoteTrigger> notes_trigger_;
  std::unique_ptr<TActions> actions_;
  std::unique_ptr<TClock> clock_;
  std::unique_ptr<TTriggerDetector> detector_;
  THitSettingsSnapshot hit_settings_;
  bool hit_ = false;  // a side is in "Frappe"
  std::unique_ptr<THitActions> hit_actions_;
  std::unique_ptr<THitSink> hit_sink_;
  std::unique_ptr<THitRunner> hit_runner_;

  uint64_t block_start_ = 0;
  uint64_t position_ = 0;
  // The note each key sounds (status nibble * 128 + note): its index in notes_, -1 for none.
  int sounding_[16 * 128];
  std::vector<TRenderNote> notes_;
  std::vector<std::array<float, 2>> levels_;
  std::vector<std::array<float, 2>> thresholds_;
  // Bookkeeping of one send: which side, whether hit detection's; and the note it makes.
  void Record(int side, bool hit, size_t sent_before);
};
