// Hit detection ("Frappe"): one small unit per pad that watches every sample's absolute value,
// and the crosstalk link between the pads. One entry, Process, for the audio server's cycle, the
// desktop sound callback and tocsin-render alike.
// Configure and Process run on one thread at a time (the real-time thread live); neither
// allocates nor waits. Construction allocates for the pads once.
#pragma once

#include <cstdint>
#include <memory>

#include "HitPad.h"
#include "HitSettings.h"
#include "HitSink.h"

class THitEngine {
 public:
  explicit THitEngine(int pads = 2);  // 1..THitSettings::kMaxPads
  ~THitEngine();
  THitEngine(const THitEngine&) = delete;
  THitEngine& operator=(const THitEngine&) = delete;

  int Pads() const;

  // New settings or a new rate; keeps each pad's hit state. A pad that stops being enabled
  // releases its sounding note at the next Process. The settings are clamped to their limits
  // here as well.
  void Configure(const THitSettings& settings, uint32_t sample_rate);

  // inputs[p] holds frames samples (float, full scale 1.0) for pad p; a null entry is silence.
  // first_frame: the absolute frame of inputs[.][0]; calls come in frame order. A jump in
  // first_frame (frames skipped) keeps the state: the frames simply were not heard.
  void Process(const float* const* inputs, uint32_t frames, uint64_t first_frame, IHitSink& sink);

  // Ends every sounding note now (NoteOff at frame) and forgets hits under way.
  void ReleaseAll(uint64_t frame, IHitSink& sink);

  // The level a sample of the pad must pass to be a hit right now (dBFS): the base threshold, or
  // the threshold following the last hit's decay. For pictures of a take, after Process.
  double ThresholdDb(int pad) const;
  // Whether the pad's note sounds (a note-on was sent and its note-off not yet).
  bool Sounding(int pad) const;

 private:
  void Decide(int pad, uint64_t frame, IHitSink& sink);
  void EndNote(int pad, uint64_t frame, IHitSink& sink);

  const int pads_;
  std::unique_ptr<THitPad[]> pad_;
  uint32_t rate_ = 48000;
  float crosstalk_ratio_ = 4;      // linear
  uint64_t crosstalk_window_ = 0;  // frames; 0: off
  uint64_t note_frames_[THitSettings::kMaxPads] = {};
};
