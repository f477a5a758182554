#include "SignalScript.h"

#include <algorithm>
#include <cmath>

float TSignalScript::Amplitude(double db) {
  const double k = std::round(32767.0 * std::pow(10.0, db / 20.0));
  return static_cast<float>(std::clamp(k, 1.0, 32767.0) / 32768.0);
}

int32_t TSignalScript::Captured(float x) {
  return static_cast<int32_t>(std::clamp<long>(std::lrintf(x * 32768.0f), -32768, 32767));
}

TSignalScript& TSignalScript::Silence(uint64_t frames) {
  next_ = UINT64_MAX;
  const uint64_t end = Length() + frames;
  for (auto& c : ch_) c.resize(end, 0.0f);
  return *this;
}

TSignalScript& TSignalScript::At(uint64_t frame) {
  next_ = frame;
  return *this;
}

TSignalScript& TSignalScript::Burst(int channel, double db, uint64_t frames) {
  const float a = Amplitude(db);
  return Add(channel, TKind::Burst, db, frames, a, -a);
}

TSignalScript& TSignalScript::NegativeBurst(int channel, double db, uint64_t frames) {
  return Add(channel, TKind::NegativeBurst, db, frames, 0.0f, -Amplitude(db));
}

TSignalScript& TSignalScript::Clip(int channel, uint64_t frames) {
  return Add(channel, TKind::Clip, 0.0, frames, 1.0f, -1.0f);
}

TSignalScript& TSignalScript::Add(int channel, TKind kind, double db, uint64_t frames, float high,
                                  float low) {
  const uint64_t start = next_ != UINT64_MAX ? next_ : Length();
  next_ = UINT64_MAX;
  const uint64_t end = start + frames;
  if (end > Length()) {
    for (auto& c : ch_) c.resize(end, 0.0f);
  }
  // Starting each burst on its high sample makes its first frame carry the level.
  for (uint64_t i = 0; i < frames; ++i) ch_[channel][start + i] = (i % 2 == 0) ? high : low;
  bursts_.push_back({channel, kind, db, start, frames});
  return *this;
}
