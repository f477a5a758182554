#include "HitRunner.h"

#include <algorithm>

THitRunner::THitRunner(TRunFlags& flags, THitSettingsSnapshot& settings, IHitRunnerSink& sink,
                       int pads)
    : flags_(flags),
      settings_(settings),
      sink_(sink),
      engine_(std::clamp(pads, 1, static_cast<int>(THitSettings::kMaxPads))) {}

void THitRunner::Capture(const float* const* inputs, uint32_t channels, uint32_t frames,
                         uint64_t first_frame, uint32_t sample_rate) {
  // Stopping or closing: nothing fires, and a seen stop request is acknowledged.
  if (flags_.GateClosed()) {
    gated_.fetch_add(1, std::memory_order_relaxed);
    return;
  }
  if (restart_.exchange(false, std::memory_order_acq_rel))
    engine_.ReleaseAll(first_frame, silence_);
  const THitSettings* fresh = settings_.Take();
  if (sample_rate == 0) return;  // no rate, no time: nothing can be measured
  if (fresh || sample_rate != rate_) {
    const THitSettings settings = settings_.Current().Clamped();
    engine_.Configure(settings, sample_rate);
    sink_.Configured(settings, sample_rate);
    rate_ = sample_rate;
  }
  const int pads = engine_.Pads();
  for (int p = 0; p < pads; ++p) {
    // A mono capture drives every pad; so does the last input for pads beyond the inputs.
    planes_[p] = channels == 0 || !inputs ? nullptr : inputs[std::min<uint32_t>(p, channels - 1)];
  }
  engine_.Process(planes_, frames, first_frame, sink_);
  sink_.Passed(first_frame + frames, sample_rate);
  processed_.fetch_add(1, std::memory_order_relaxed);
}
