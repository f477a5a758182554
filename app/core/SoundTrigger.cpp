#include "SoundTrigger.h"

#include <cstdio>
#include <filesystem>

#include "audio/VrAudio.h"
#include "platform/RealtimeThread.h"

namespace {
bool ValidChannel(int channel) {
  return channel == 0 || channel == 1;
}
}  // namespace

TSoundTrigger::TSoundTrigger(TMySound (&sounds)[2], TVrHPTimer& timer0, TVrHPTimer& timer1)
    : sounds_(sounds),
      timers_{&timer0, &timer1},
      relay_(std::make_unique<TRealtimeRelay>(timer0.Dispatcher(), [this] { StartPending(); })) {
  for (int c = 0; c < 2; ++c)
    timers_[c]->OnHighPrecisionTimer = [this, c](long double, long double, int64_t) {
      InhibitionElapsed(c);
    };
}

TSoundTrigger::~TSoundTrigger() {
  relay_.reset();  // a start it posted and that has not run yet does nothing
  for (auto* t : timers_) t->OnHighPrecisionTimer = nullptr;
}

void TSoundTrigger::TriggerSound(int channel, double /*volume*/) {
  if (!ValidChannel(channel)) return;
  try {
    TMySound& slot = sounds_[channel];
    if (!slot.Wave) return;
    slot.Wave->Play();
    // The flag goes up before the timer starts, so neither the next block nor an early tick can
    // see the channel ready again before its window has begun.
    slot.Inhibited.store(true, std::memory_order_release);
    if (InRealtimeThread()) {
      const int64_t now = timers_[channel]->CounterNow();
      pending_[channel].store(now == TVrHPTimer::kNoCounter ? kUndated : now,
                              std::memory_order_release);
      relay_->Wake();
      return;
    }
    // Never wait here for the first period: the capture thread would hold up to 10 s of audio.
    if (!timers_[channel]->Start() && !timers_[channel]->Enabled()) {
      // A timer that cannot run would leave the channel silenced for good.
      slot.Inhibited.store(false, std::memory_order_release);
    }
  } catch (...) {
    // detection goes on
  }
}

void TSoundTrigger::TriggerSoundAt(int channel, double /*volume*/, uint64_t frame) {
  if (!ValidChannel(channel)) return;
  TMySound& slot = sounds_[channel];
  if (!slot.Wave) return;
  try {
    slot.Wave->PlayAt(frame);
  } catch (...) {
    // the hit still opens the inhibition window, as a sound that cannot play does
  }
  slot.Inhibited.store(true, std::memory_order_release);
  const int64_t now = timers_[channel]->CounterNow();
  pending_[channel].store(now == TVrHPTimer::kNoCounter ? kUndated : now,
                          std::memory_order_release);
  relay_->Wake();
}

void TSoundTrigger::StartPending() {
  for (int c = 0; c < 2; ++c) {
    const int64_t at = pending_[c].exchange(kNothing, std::memory_order_acq_rel);
    if (at == kNothing) continue;
    TVrHPTimer& timer = *timers_[c];
    const bool started = at == kUndated ? timer.Start() : timer.StartFrom(at);
    // A timer that cannot run would leave the channel silenced for good.
    if (!started && !timer.Enabled()) sounds_[c].Inhibited.store(false, std::memory_order_release);
  }
}

void TSoundTrigger::InhibitionElapsed(int channel) {
  if (!ValidChannel(channel)) return;
  // Disabled first: once the capture thread sees the flag down it may start the timer again.
  timers_[channel]->SetEnabled(false);
  sounds_[channel].Inhibited.store(false, std::memory_order_release);
}

void TSoundTrigger::LoadChannelSound(int channel, const std::string& file_name) {
  if (!ValidChannel(channel)) return;
  try {
    TMySound& slot = sounds_[channel];
    if (!slot.Wave || file_name.empty()) return;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file_name, ec)) return;
    slot.Wave->Sound().LoadFromFile(file_name);
  } catch (...) {
    // the slot keeps the sound it had
  }
}

void TSoundTrigger::StopChannelSound(int channel) {
  if (!ValidChannel(channel)) return;
  try {
    if (sounds_[channel].Wave) sounds_[channel].Wave->Stop();
  } catch (...) {
  }
}

TStartModeControls TSoundTrigger::StartModeClick(int channel, bool midi_note_checked,
                                                 bool audio_file_checked) {
  StopChannelSound(channel);
  return {midi_note_checked, audio_file_checked};
}

void TSoundTrigger::DurationChange(int milliseconds) {
  timers_[0]->SetTimePeriod(static_cast<long double>(milliseconds) / 1000.0L);
  timers_[1]->SetTimePeriod(timers_[0]->TimePeriod());
}

std::string TSoundTrigger::FormatVolume(double volume, char decimal_separator) {
  char text[64];
  std::snprintf(text, sizeof text, "%.2f", volume);
  std::string s(text);
  for (char& ch : s)
    if (ch == '.') ch = decimal_separator;
  return s;
}
