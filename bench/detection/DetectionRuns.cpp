#include "DetectionRuns.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>

#include "ControlSnapshot.h"
#include "RenderChain.h"
#include "RenderOptions.h"
#include "RenderSettings.h"
#include "RenderSource.h"
#include "RenderTake.h"
#include "hit/HitEngine.h"

namespace {

// The take as a 32-bit float WAV file in memory, for libsndfile's virtual I/O: the render
// source then reads and converts it as it would a file on disk.
class TMemoryWav {
 public:
  explicit TMemoryWav(const TDrumTake& take) {
    const uint32_t data = static_cast<uint32_t>(take.Left.size() * 8);
    auto put32 = [&](uint32_t v) {
      for (int k = 0; k < 4; ++k) bytes_.push_back(static_cast<uint8_t>(v >> (8 * k)));
    };
    auto put16 = [&](uint16_t v) {
      bytes_.push_back(static_cast<uint8_t>(v));
      bytes_.push_back(static_cast<uint8_t>(v >> 8));
    };
    auto tag = [&](const char* t) {
      for (int k = 0; k < 4; ++k) bytes_.push_back(static_cast<uint8_t>(t[k]));
    };
    tag("RIFF");
    put32(4 + 26 + 12 + 8 + data);
    tag("WAVE");
    tag("fmt ");
    put32(18);
    put16(3);  // IEEE float
    put16(2);
    put32(take.Rate);
    put32(take.Rate * 8);
    put16(8);
    put16(32);
    put16(0);
    tag("fact");
    put32(4);
    put32(static_cast<uint32_t>(take.Left.size()));
    tag("data");
    put32(data);
    const size_t head = bytes_.size();
    bytes_.resize(head + data);
    for (size_t i = 0; i < take.Left.size(); ++i) {
      std::memcpy(&bytes_[head + i * 8], &take.Left[i], 4);
      std::memcpy(&bytes_[head + i * 8 + 4], &take.Right[i], 4);
    }
  }

  SF_VIRTUAL_IO Io() {
    SF_VIRTUAL_IO io{};
    io.get_filelen = [](void* self) -> sf_count_t {
      return static_cast<sf_count_t>(static_cast<TMemoryWav*>(self)->bytes_.size());
    };
    io.seek = [](sf_count_t offset, int whence, void* self) -> sf_count_t {
      auto* w = static_cast<TMemoryWav*>(self);
      const auto size = static_cast<sf_count_t>(w->bytes_.size());
      if (whence == SEEK_SET) w->pos_ = offset;
      if (whence == SEEK_CUR) w->pos_ += offset;
      if (whence == SEEK_END) w->pos_ = size + offset;
      return w->pos_;
    };
    io.read = [](void* ptr, sf_count_t count, void* self) -> sf_count_t {
      auto* w = static_cast<TMemoryWav*>(self);
      const auto size = static_cast<sf_count_t>(w->bytes_.size());
      const sf_count_t n = std::max<sf_count_t>(0, std::min(count, size - w->pos_));
      if (n > 0) std::memcpy(ptr, w->bytes_.data() + w->pos_, static_cast<size_t>(n));
      w->pos_ += n;
      return n;
    };
    io.write = [](const void*, sf_count_t, void*) -> sf_count_t { return 0; };
    io.tell = [](void* self) -> sf_count_t { return static_cast<TMemoryWav*>(self)->pos_; };
    return io;
  }

 private:
  std::vector<uint8_t> bytes_;
  sf_count_t pos_ = 0;
};

class TNoteSink final : public IHitSink {
 public:
  void NoteOn(int pad, uint64_t frame, int velocity) override {
    sounding_[pad] = static_cast<int>(notes.size());
    notes.push_back({pad, frame, frame, velocity});
  }
  void NoteOff(int pad, uint64_t frame) override {
    if (sounding_[pad] >= 0) notes[static_cast<size_t>(sounding_[pad])].Off = frame;
    sounding_[pad] = -1;
  }
  void Sound(int, uint64_t, double) override {}
  std::vector<TDetectedNote> notes;

 private:
  int sounding_[2] = {-1, -1};
};

// The messages of one cycle, placed as the JACK MIDI output places them once the cycle's
// capture has run, then kept as notes.
class TWireSink final : public IHitSink {
 public:
  void NoteOn(int pad, uint64_t frame, int velocity) override {
    cycle_.push_back({pad, true, frame, velocity});
  }
  void NoteOff(int pad, uint64_t frame) override { cycle_.push_back({pad, false, frame, 0}); }
  void Sound(int, uint64_t, double) override {}

  void EndCycle(uint64_t first, uint64_t last) {
    for (TEvent& e : cycle_) e.Frame = std::clamp(e.Frame, first, last);
    std::stable_sort(cycle_.begin(), cycle_.end(),
                     [](const TEvent& a, const TEvent& b) { return a.Frame < b.Frame; });
    for (const TEvent& e : cycle_) {
      if (e.On) {
        sounding_[e.Pad] = static_cast<int>(notes.size());
        notes.push_back({e.Pad, e.Frame, e.Frame, e.Velocity});
      } else if (sounding_[e.Pad] >= 0) {
        notes[static_cast<size_t>(sounding_[e.Pad])].Off = e.Frame;
        sounding_[e.Pad] = -1;
      }
    }
    cycle_.clear();
  }
  std::vector<TDetectedNote> notes;

 private:
  struct TEvent {
    int Pad;
    bool On;
    uint64_t Frame;
    int Velocity;
  };
  std::vector<TEvent> cycle_;
  int sounding_[2] = {-1, -1};
};

// The take as tocsin-render reads a file: libsndfile on the take's WAV image.
class TTakeSource {
 public:
  TTakeSource(const TDrumTake& take, uint16_t bits) : wav_(take), io_(wav_.Io()) {
    SF_INFO info{};
    SNDFILE* file = sf_open_virtual(&io_, SFM_READ, &info, &wav_);
    if (!file) throw std::runtime_error(take.Name + ": " + sf_strerror(nullptr));
    source_ = std::make_unique<TRenderSource>(file, info, take.Name, bits);
  }
  TRenderSource& Source() { return *source_; }

 private:
  TMemoryWav wav_;
  SF_VIRTUAL_IO io_;
  std::unique_ptr<TRenderSource> source_;
};

std::vector<TDetectedNote> NotesOf(const TRenderChain& chain) {
  std::vector<TDetectedNote> notes;
  for (const TRenderNote& n : chain.Notes())
    notes.push_back({n.Side, n.OnFrame, n.OffFrame, n.Velocity});
  return notes;
}

}  // namespace

std::vector<TDetectedNote> RunLevelDetection(const TDrumTake& take, int threshold_db,
                                             uint32_t block) {
  TControlSnapshot controls;
  for (int side = 0; side < 2; ++side) controls.Thres[side] = threshold_db;
  controls.NoteIndex[0] = 36;  // two notes, so that the sides never share one
  controls.NoteIndex[1] = 38;
  TTakeSource take_source(take, 16);
  TRenderSource& source = take_source.Source();
  TRenderChain chain(controls, source.Channels(), 16, source.SampleRate(), false);
  RenderTake(source, block, chain);
  return NotesOf(chain);
}

std::vector<std::string> RenderHitArguments(const THitSettings& settings, uint32_t block) {
  // In THitOption's order.
  static const char* const kOptions[] = {"--scan-ms",      "--mask-ms",     "--decay-ms",
                                         "--retrigger-db", "--release-db",  "--note-length-ms",
                                         "--high-pass-hz", "--low-pass-hz", "--full-velocity-db"};
  static_assert(std::size(kOptions) == static_cast<size_t>(THitOption::kCount));
  static const char* const kCurves[] = {"linear", "soft", "hard"};
  const auto number = [](double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", v);
    return std::string(text);
  };
  std::vector<std::string> args = {"--list",  "--detection",         "hit",
                                   "--block", std::to_string(block), "--note-left",
                                   "Do1",     "--note-right",        "Ré1"};
  for (int side = 0; side < 2; ++side) {
    const THitPadSettings& pad = settings.Pad[side];
    const std::string end = side == 0 ? "-left" : "-right";
    args.insert(args.end(), {"--threshold" + end, std::to_string(std::lround(pad.ThresholdDb))});
    for (int k = 0; k < static_cast<int>(THitOption::kCount); ++k)
      args.insert(args.end(),
                  {kOptions[k] + end, number(pad.*HitOptionField(static_cast<THitOption>(k)))});
    args.insert(args.end(), {"--velocity-curve" + end, kCurves[static_cast<int>(pad.Curve) % 3]});
  }
  args.insert(args.end(), {"--crosstalk-ms", number(settings.CrosstalkWindowMs), "--crosstalk-db",
                           number(settings.CrosstalkRatioDb), "--crosstalk-hold-ms",
                           number(settings.CrosstalkHoldMs)});
  return args;
}

std::vector<TDetectedNote> RunRenderHitDetection(const TDrumTake& take,
                                                 const THitSettings& settings, uint32_t block) {
  std::vector<std::string> args = {take.Name + ".wav"};
  for (std::string& a : RenderHitArguments(settings, block)) args.push_back(std::move(a));
  const TRenderOptions options = ParseRenderOptions(args);
  TRenderSettings loaded;
  LoadRenderSettings("", options.Overrides, loaded);  // no settings file: the window's defaults
  TTakeSource take_source(take, loaded.Bits);
  return NotesOf(*RenderWithSettings(take_source.Source(), loaded, false));
}

std::vector<TDetectedNote> RunHitDetection(const TDrumTake& take, const THitSettings& settings,
                                           uint32_t chunk) {
  THitEngine engine(2);
  engine.Configure(settings, take.Rate);
  TNoteSink sink;
  const size_t frames = take.Left.size();
  for (size_t at = 0; at < frames; at += chunk) {
    const float* in[2] = {take.Left.data() + at, take.Right.data() + at};
    const auto n = static_cast<uint32_t>(std::min<size_t>(chunk, frames - at));
    engine.Process(in, n, at, sink);
  }
  engine.ReleaseAll(frames, sink);
  return sink.notes;
}

std::vector<TDetectedNote> RunHitDetectionOnWire(const TDrumTake& take,
                                                 const THitSettings& settings, uint32_t period,
                                                 uint64_t lead) {
  THitEngine engine(2);
  engine.Configure(settings, take.Rate);
  TWireSink sink;
  const size_t frames = take.Left.size();
  // The first cycle holds the lead's silence, then the take's first frames.
  size_t n = period - lead % period;
  for (size_t at = 0; at < frames; at += n, n = period) {
    n = std::min<size_t>(n, frames - at);
    const float* in[2] = {take.Left.data() + at, take.Right.data() + at};
    engine.Process(in, static_cast<uint32_t>(n), at, sink);
    sink.EndCycle(at, at + n - 1);
  }
  engine.ReleaseAll(frames, sink);
  sink.EndCycle(frames, frames);
  return sink.notes;
}
