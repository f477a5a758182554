#include "HitActions.h"

#include "MidiNoteTrigger.h"
#include "SoundTrigger.h"

THitActions::THitActions(TRunFlags& flags, TMidiNoteTrigger* notes, TSoundTrigger* sounds,
                         IHitIndicators* indicators)
    : flags_(flags), notes_(notes), sounds_(sounds), indicators_(indicators) {}

void THitActions::NoteOn(int pad, uint64_t frame, int velocity) {
  if (!ValidPad(pad) || flags_.GateClosed()) return;
  if (indicators_) {
    indicators_->HitVelocity(pad, velocity);
    indicators_->HitLight(pad, true);
  }
  sound_lit_[pad] = false;  // the note's own note-off puts the light out
  if (notes_) notes_->HitNoteOn(pad, velocity, frame, join_frames_[pad]);
}

void THitActions::NoteOff(int pad, uint64_t frame) {
  if (!ValidPad(pad)) return;
  // Past a closed gate the note trigger sends nothing; the light goes out all the same.
  if (notes_) notes_->HitNoteOff(pad, frame);
  if (indicators_) indicators_->HitLight(pad, false);
}

void THitActions::Sound(int pad, uint64_t frame, double volume) {
  if (!ValidPad(pad) || flags_.GateClosed()) return;
  // Inhibited, a channel ignores its hits, as the level road ignores its blocks.
  if (!sounds_ || !sounds_->Ready(pad)) return;
  if (indicators_) {
    indicators_->HitVolume(pad, volume);
    indicators_->HitLight(pad, true);
  }
  sound_lit_[pad] = true;
  sound_hit_[pad] = frame;
  sounds_->TriggerSoundAt(pad, volume, frame);
}

void THitActions::Configured(const THitSettings& settings, uint32_t rate) {
  for (int pad = 0; pad < 2; ++pad) join_frames_[pad] = HitFrames(settings.Pad[pad].ScanMs, rate);
}

void THitActions::Passed(uint64_t end_frame, uint32_t rate) {
  const auto hold = static_cast<uint64_t>(kSoundLightMs * rate / 1000.0);
  for (int pad = 0; pad < 2; ++pad) {
    if (!sound_lit_[pad] || end_frame < sound_hit_[pad] + hold) continue;
    sound_lit_[pad] = false;
    if (indicators_) indicators_->HitLight(pad, false);
  }
}
