#include "TriggerDetector.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "platform/BlockEventSample.h"
#include "uMaths.h"

namespace {
// The line from 0 at the threshold to full at 0 dB, in extended precision, truncated toward 0.
long double LevelLine(long double full, double LevelDb, double ThresDb) {
  long double thres = std::fabs(static_cast<long double>(ThresDb));
  if (thres == 0) return full;  // no level can be above a 0 dB threshold; keep the value finite
  long double v = full - (full / thres) * std::fabs(static_cast<long double>(LevelDb));
  return std::trunc(v);
}

int ToInt(long double v) {
  if (!(v > -2147483648.0L)) return INT32_MIN;
  if (!(v < 2147483647.0L)) return INT32_MAX;
  return static_cast<int>(v);
}
}  // namespace

// A note-on with velocity 0 is a note-off to every synthesiser: a level just above the
// threshold must still sound, so the quietest note-on carries 1.
int NoteVelocity(double LevelDb, double ThresDb, bool follow_level) {
  if (!follow_level) return 100;
  const int v = ToInt(LevelLine(127, LevelDb, ThresDb));
  return v < 1 ? 1 : (v > 127 ? 127 : v);
}

double SoundVolume(double LevelDb, double ThresDb, bool follow_level) {
  if (!follow_level) return 100.0;
  return static_cast<double>(LevelLine(100, LevelDb, ThresDb));
}

TTriggerDetector::TTriggerDetector(const TControlSnapshot& controls, ITriggerActions& actions,
                                   ITickClock& clock)
    : TTriggerDetector(TState{RunFlags, AudioInParams, MyMidi, Sounds, Vumeters}, controls, actions,
                       clock) {}

TTriggerDetector::TTriggerDetector(const TState& state, const TControlSnapshot& controls,
                                   ITriggerActions& actions, ITickClock& clock)
    : s_(state), controls_(controls), actions_(actions), clock_(clock) {}

// Frames scanned between two looks at the gate: a stop is seen within a fraction of a
// millisecond, and the gate's atomics no longer cost more than the scan itself.
constexpr uint32_t kGateGroup = 64;

// Scans the frames for each channel's positive and negative peaks, checking the gate before
// every group of frames. Returns false when the gate closed (the whole handler returns). A
// sample read that raises stops the scan; the peaks found so far stand.
template <typename Access>
bool TTriggerDetector::Scan(const Access& access, double (&peaks)[4]) {
  const uint32_t n = access.Count();
  const bool stereo = s_.Params.Channels == 2;
  double max0 = peaks[0], min0 = peaks[1], max1 = peaks[2], min1 = peaks[3];
  bool open = true;
  try {
    for (uint32_t group = 0; group < n && open; group += kGateGroup) {
      if (s_.Flags.GateClosed()) {
        open = false;
        break;
      }
      const uint32_t end = std::min(n, group + kGateGroup);
      for (uint32_t i = group; i < end; ++i) {
        double s = access.GetSample(i, 0);
        if (s > max0) {
          max0 = s;
        } else if (s < min0) {
          min0 = s;
        }
        if (stereo) {
          s = access.GetSample(i, 1);
          if (s > max1) {
            max1 = s;
          } else if (s < min1) {
            min1 = s;
          }
        }
      }
    }
  } catch (...) {
    // the levels come from the samples read before the failure
  }
  if (!stereo) {
    max1 = max0;
    min1 = min0;
  }
  peaks[0] = max0;
  peaks[1] = min0;
  peaks[2] = max1;
  peaks[3] = min1;
  return open;
}

void TTriggerDetector::ProcessBlock(const IALAudioBufferPtr& in) {
  if (s_.Flags.GateClosed()) return;
  if (!in) return;

  double peaks[4] = {0, 0, 0, 0};
  // The capture hands over TALAudioBuffer: read it through the concrete access, whose sample
  // reads inline; any other buffer goes through the interface.
  if (auto* concrete = dynamic_cast<TALAudioBuffer*>(in.get())) {
    // A view on the stack: this may run in the audio server's cycle, where nothing is allocated.
    const std::shared_ptr<TALAudioBuffer> owner(in, concrete);
    const TALAudioDataBufferAccess view(owner, concrete->Block());
    const TALAudioDataBufferAccess* access = &view;
    const uint32_t needed = s_.Params.Channels == 2 ? 2 : 1;
    if (access->Channels() >= needed && access->Bits() == 16) {
      // Every read is in range: the same scan on plain 16-bit little-endian reads.
      struct Direct {
        const TALAudioDataBufferAccess& a;
        uint32_t Count() const { return a.Count(); }
        int32_t GetSample(uint32_t i, uint32_t c) const { return a.GetSampleUnchecked(i, c); }
      };
      struct Direct16 {
        const uint8_t* data;
        size_t stride;
        uint32_t count;
        uint32_t Count() const { return count; }
        int32_t GetSample(uint32_t i, uint32_t c) const {
          int16_t v;
          std::memcpy(&v, data + i * stride + 2 * c, sizeof v);
          return v;
        }
      };
      if constexpr (std::endian::native == std::endian::little) {
        const Direct16 direct{access->Data(), 2 * size_t{access->Channels()}, access->Count()};
        if (Scan(direct, peaks)) Evaluate(direct, peaks);
      } else {
        const Direct direct{*access};
        if (Scan(direct, peaks)) Evaluate(direct, peaks);
      }
    } else if (Scan(*access, peaks)) {
      Evaluate(*access, peaks);
    }
  } else {
    auto access = in->GetAccess();
    if (Scan(*access, peaks)) Evaluate(*access, peaks);
  }
}

template <typename Access>
void TTriggerDetector::Evaluate(const Access& access, const double (&peaks)[4]) {
  // Bound for this block only: the access lives on the caller's stack.
  struct TBinding {
    TTriggerDetector& d;
    ~TBinding() {
      d.block_ = nullptr;
      d.first_above_ = nullptr;
    }
  } binding{*this};
  block_ = &access;
  first_above_ = &TTriggerDetector::FirstAboveIn<Access>;
  EvaluatePeaks(peaks);
}

void TTriggerDetector::EvaluatePeaks(const double (&peaks)[4]) {
  const double LeftDb = SampleToDb(peaks[0]);
  const double RightDb = SampleToDb(peaks[2]);

  if (s_.Flags.GateClosed()) return;
  const double clip_limit = static_cast<double>(s_.Params.FullScale) - 3;
  bool clip = false;
  for (double p : peaks) clip = clip || std::fabs(p) >= clip_limit;
  actions_.SetClipVisible(clip);

  if (s_.Flags.GateClosed()) return;
  EvaluateThresholds(LeftDb, RightDb);

  if (s_.Flags.GateClosed()) return;
  TVumeters& m = s_.Meters;
  m.CurrentTick = clock_.GetTickCount();
  const uint32_t elapsed = m.CurrentTick - m.LastUpdate;  // wraps with the tick count
  if (static_cast<int64_t>(elapsed) <= m.UpdateInterval) return;
  actions_.RefreshLevels(LeftDb, RightDb);
  m.LastUpdate = clock_.GetTickCount();
}

void TTriggerDetector::EvaluateThresholds(double LeftDb, double RightDb) {
  if (s_.Flags.GateClosed()) return;
  const double T0 = controls_.Thres[0].load(std::memory_order_relaxed);
  const double T1 = controls_.Thres[1].load(std::memory_order_relaxed);
  const bool Above0 = LeftDb > T0;
  const bool Above1 = RightDb > T1;
  // A channel in "Frappe" has its light lit by its hits.
  if (!controls_.HitDetection[0].load(std::memory_order_relaxed))
    actions_.SetThresholdLight(0, Above0);
  if (!controls_.HitDetection[1].load(std::memory_order_relaxed))
    actions_.SetThresholdLight(1, Above1);
  EvaluateChannel(0, LeftDb, T0, Above0);
  EvaluateChannel(1, RightDb, T1, Above1);
}

void TTriggerDetector::EvaluateChannel(int channel, double level_db, double thres_db, bool above) {
  // Looked at again right before anything fires: a stop that came while this block was being
  // evaluated (the indicators of the other channel, say) still silences it.
  if (s_.Flags.GateClosed()) return;
  if (controls_.HitDetection[channel].load(std::memory_order_relaxed)) {
    // Hit detection fires this channel: a note this road left sounding ends now, no other.
    if (s_.Midi.NoteOn(channel).load(std::memory_order_acquire)) actions_.NoteOff(channel);
    return;
  }
  if (controls_.StartMidiNote[channel].load(std::memory_order_relaxed)) {
    const bool sounding = s_.Midi.NoteOn(channel).load(std::memory_order_acquire);
    if (above && !sounding) {
      const int v = NoteVelocity(level_db, thres_db,
                                 controls_.MidiVelFollowLevel.load(std::memory_order_relaxed));
      actions_.ShowVelocity(channel, v);
      const TBlockEventSampleScope at(FirstAbove(channel, thres_db));
      actions_.NoteOn(channel, v);
    } else if (!above && sounding) {
      actions_.NoteOff(channel);
    }
  } else if (controls_.StartAudioFile[channel].load(std::memory_order_relaxed) && above &&
             !s_.Sounds[channel].Inhibited.load(std::memory_order_acquire)) {
    const double vol = SoundVolume(level_db, thres_db,
                                   controls_.AudioVolFollowLevel.load(std::memory_order_relaxed));
    actions_.ShowVolume(channel, vol);
    const TBlockEventSampleScope at(FirstAbove(channel, thres_db));
    actions_.TriggerSound(channel, vol);
  }
}

uint32_t TTriggerDetector::FirstAbove(int channel, double thres_db) const {
  if (!block_ || !first_above_) return 0;
  const uint32_t side = s_.Params.Channels == 2 ? static_cast<uint32_t>(channel) : 0;
  return first_above_(block_, side, thres_db);
}

template <typename Access>
uint32_t TTriggerDetector::FirstAboveIn(const void* block, uint32_t channel, double thres_db) {
  const Access& access = *static_cast<const Access*>(block);
  // A sample's level grows with it: find the least sample above the threshold once (a few
  // logarithms), then compare plain integers. Negative samples count as 0, as in the peaks.
  int32_t low = 0, high = 32768;             // SampleToDb(low) <= thres_db < SampleToDb(high)
  if (SampleToDb(low) > thres_db) return 0;  // every sample is above: the block's first
  if (!(SampleToDb(high) > thres_db)) return 0;
  while (high - low > 1) {
    const int32_t mid = low + (high - low) / 2;
    (SampleToDb(mid) > thres_db ? high : low) = mid;
  }
  try {
    const uint32_t n = access.Count();
    for (uint32_t i = 0; i < n; ++i)
      if (access.GetSample(i, channel) >= high) return i;
  } catch (...) {
    // the block decided on the samples that could be read
  }
  return 0;
}
