#include "RenderChain.h"

#include <algorithm>
#include <limits>

#include "HitActions.h"
#include "HitRunner.h"
#include "MidiNoteTrigger.h"
#include "TriggerDetector.h"
#include "midi/MidiOut.h"
#include "platform/BlockEventSample.h"
#include "platform/MidiOutService.h"
#include "uMaths.h"

// One port that keeps what it is sent, each message stamped with the frame the caller set
// before sending.
class TRenderChain::TService final : public IMidiOutService {
 public:
  void SetStamp(uint64_t frame) { stamp_ = frame; }
  const std::vector<TRenderMessage>& Sent() const { return sent_; }

  uint32_t GetNumDevs() override { return 1; }
  TMidiResult GetDevCaps(int32_t device, TMidiOutCaps& caps) override {
    if (device != 0) return kMidiErrBadDeviceId;
    caps = TMidiOutCaps{};
    caps.ProductName = "tocsin-render";
    caps.Technology = kMidiTechPort;
    return kMidiOk;
  }
  TMidiResult Open(TMidiOutHandle& handle, int32_t, TMidiOutCallback, void*) override {
    handle = 1;
    return kMidiOk;
  }
  TMidiResult Close(TMidiOutHandle) override { return kMidiOk; }
  TMidiResult ShortMsg(TMidiOutHandle, uint32_t message) override {
    return Record(message, stamp_);
  }
  // Hit detection's messages come with their own frames.
  TMidiResult ShortMsgAt(TMidiOutHandle, uint32_t message, uint64_t frame) override {
    return Record(message, frame);
  }
  TMidiResult Record(uint32_t message, uint64_t frame) {
    TRenderMessage m;
    m.Bytes = {static_cast<uint8_t>(message), static_cast<uint8_t>(message >> 8),
               static_cast<uint8_t>(message >> 16)};
    m.Frame = frame;
    const uint8_t kind = m.Bytes[0] & 0xF0;
    const size_t key = (m.Bytes[0] & 0x0F) * 128u + (m.Bytes[1] & 0x7F);
    // Live, a note-off goes out before a later note-on of the same note. A note-on stamped at
    // its first loud frame may lie before such a note-off (both sides on one note): it then
    // moves to the note-off's frame, so the file keeps the note sounding as the synth did.
    if (kind == 0x80) last_off_[key] = m.Frame;
    if (kind == 0x90) m.Frame = std::max(m.Frame, last_off_[key]);
    sent_.push_back(m);
    return kMidiOk;
  }
  TMidiResult PrepareHeader(TMidiOutHandle, TMidiOutHeader&) override { return kMidiErrNotReady; }
  TMidiResult LongMsg(TMidiOutHandle, TMidiOutHeader&) override { return kMidiErrNotReady; }
  TMidiResult UnprepareHeader(TMidiOutHandle, TMidiOutHeader&) override { return kMidiOk; }
  TMidiResult GetErrorText(TMidiResult code, std::string& text) override {
    return MidiOutErrorText(code, text);
  }

 private:
  uint64_t stamp_ = 0;
  std::vector<TRenderMessage> sent_;
  uint64_t last_off_[16 * 128] = {};
};

// Nothing is sent as a long message, so nothing ever needs the main thread.
class TRenderChain::TDispatcher final : public IMainThreadDispatcher {
 public:
  void Post(std::function<void()> fn) override { fn(); }
  void Call(std::function<void()> fn) override { fn(); }
  bool IsMainThread() const override { return true; }
};

class TRenderChain::TView final : public IMidiActivityView {
 public:
  void SetMidiDataLight(bool) override {}
  void SetMidiTimerEnabled(bool) override {}
};

// Every block sees the level display's interval passed, so each block's levels are reported;
// the display never takes part in the decisions.
class TRenderChain::TClock final : public ITickClock {
 public:
  uint32_t GetTickCount() override { return now_ += 1000; }

 private:
  uint32_t now_ = 0;
};

class TRenderChain::TActions final : public ITriggerActions {
 public:
  explicit TActions(TRenderChain& chain) : c_(chain) {}

  void SetClipVisible(bool) override {}
  void SetThresholdLight(int, bool) override {}
  void ShowVelocity(int, int) override {}
  void ShowVolume(int, double) override {}
  void TriggerSound(int, double) override {}

  void NoteOn(int side, int velocity) override {
    // Called from the block handler, which tells where in the block the hit crossed.
    Send(side, c_.block_start_ + BlockEventSample(),
         [&] { c_.notes_trigger_->NoteOn(side, velocity); });
  }
  void NoteOff(int side) override {
    Send(side, c_.position_, [&] { c_.notes_trigger_->NoteOff(side); });
  }
  void RefreshLevels(double left_db, double right_db) override {
    if (c_.keep_levels_) {
      c_.levels_.push_back({static_cast<float>(left_db), static_cast<float>(right_db)});
    }
  }

  template <typename Fn>
  void Send(int side, uint64_t frame, Fn&& send) {
    c_.service_->SetStamp(frame);
    const size_t before = c_.service_->Sent().size();
    send();
    c_.Record(side, false, before);
  }

 private:
  TRenderChain& c_;
};

// Hit detection's decisions, through the live actions, with the notes they make kept per side.
class TRenderChain::THitSink final : public IHitRunnerSink {
 public:
  explicit THitSink(TRenderChain& chain) : c_(chain) {}
  void NoteOn(int pad, uint64_t frame, int velocity) override {
    const size_t before = c_.service_->Sent().size();
    c_.hit_actions_->NoteOn(pad, frame, velocity);
    c_.Record(pad, true, before);
  }
  void NoteOff(int pad, uint64_t frame) override {
    const size_t before = c_.service_->Sent().size();
    c_.hit_actions_->NoteOff(pad, frame);
    c_.Record(pad, true, before);
  }
  void Sound(int pad, uint64_t frame, double volume) override {
    c_.hit_actions_->Sound(pad, frame, volume);  // no sounds here: nothing to keep
  }
  void Configured(const THitSettings& settings, uint32_t rate) override {
    c_.hit_actions_->Configured(settings, rate);
  }
  void Passed(uint64_t end_frame, uint32_t rate) override {
    c_.hit_actions_->Passed(end_frame, rate);
  }

 private:
  TRenderChain& c_;
};

void TRenderChain::Record(int side, bool hit, size_t sent_before) {
  const auto& sent = service_->Sent();
  for (size_t i = sent_before; i < sent.size(); ++i) {
    const TRenderMessage& m = sent[i];
    const uint8_t kind = m.Bytes[0] & 0xF0;
    int& sounding = sounding_[(m.Bytes[0] & 0x0F) * 128 + (m.Bytes[1] & 0x7F)];
    if (kind == 0x90) {
      TRenderNote note;
      note.Side = side;
      note.Channel = m.Bytes[0] & 0x0F;
      note.Note = m.Bytes[1];
      note.Velocity = m.Bytes[2];
      note.OnFrame = note.OffFrame = m.Frame;
      note.Hit = hit;
      sounding = static_cast<int>(notes_.size());
      notes_.push_back(note);
    } else if (kind == 0x80 && sounding >= 0) {
      // Whichever side lets the key go last ends the note (one key, one note).
      notes_[sounding].OffFrame = m.Frame;
      sounding = -1;
    }
  }
}

TRenderChain::TRenderChain(const TControlSnapshot& controls, uint16_t channels, uint16_t bits,
                           uint32_t sample_rate, bool keep_levels)
    : controls_(controls), keep_levels_(keep_levels) {
  std::fill(std::begin(sounding_), std::end(sounding_), -1);
  params_.Channels = channels;
  params_.Bits = bits;
  params_.SampleRate = sample_rate;
  service_ = std::make_unique<TService>();
  dispatcher_ = std::make_unique<TDispatcher>();
  output_ = std::make_unique<TMidiOutput>(*service_, *dispatcher_);
  output_->SetDeviceID(0);
  output_->Open();
  midi_.Output = output_.get();
  view_ = std::make_unique<TView>();
  notes_trigger_ = std::make_unique<TMidiNoteTrigger>(TMidiNoteTrigger::TState{flags_, midi_},
                                                      controls_, *view_);
  actions_ = std::make_unique<TActions>(*this);
  clock_ = std::make_unique<TClock>();
  detector_ = std::make_unique<TTriggerDetector>(
      TTriggerDetector::TState{flags_, params_, midi_, sounds_, meters_}, controls_, *actions_,
      *clock_);
}

TRenderChain::~TRenderChain() = default;

void TRenderChain::SetHitSettings(const THitSettings& settings) {
  hit_ = false;
  for (int side = 0; side < 2; ++side) hit_ = hit_ || settings.Pad[side].Enabled;
  if (!hit_) return;
  hit_settings_.Publish(settings);
  if (hit_runner_) return;
  hit_actions_ = std::make_unique<THitActions>(flags_, notes_trigger_.get(), nullptr, nullptr);
  hit_sink_ = std::make_unique<THitSink>(*this);
  hit_runner_ = std::make_unique<THitRunner>(flags_, hit_settings_, *hit_sink_);
}

void TRenderChain::Capture(const float* const* inputs, uint32_t channels, uint32_t frames) {
  if (!hit_) return;
  if (!keep_levels_) {
    hit_runner_->Capture(inputs, channels, frames, position_, params_.SampleRate);
    return;
  }
  // For the picture, in steps of the take (not of the block): the threshold at the end of each,
  // as it falls after the hits.
  const float nan = std::numeric_limits<float>::quiet_NaN();
  for (uint32_t done = 0, n = 0; done < frames; done += n) {
    const uint64_t at = position_ + done;
    n = static_cast<uint32_t>(
        std::min<uint64_t>(kThresholdStep - at % kThresholdStep, frames - done));
    const float* step[2] = {inputs[0] ? inputs[0] + done : nullptr,
                            channels > 1 && inputs[1] ? inputs[1] + done : nullptr};
    hit_runner_->Capture(step, channels, n, at, params_.SampleRate);
    if ((at + n) % kThresholdStep != 0) continue;  // the step ends in the next block
    std::array<float, 2> t{nan, nan};
    for (int side = 0; side < 2; ++side)
      if (controls_.HitDetection[side].load(std::memory_order_relaxed))
        t[side] = static_cast<float>(hit_runner_->Engine().ThresholdDb(side));
    thresholds_.push_back(t);
  }
}

void TRenderChain::Process(const IALAudioBufferPtr& block) {
  block_start_ = position_;
  position_ += block->FrameCount();
  detector_->ProcessBlock(block);
}

void TRenderChain::Finish() {
  for (int side = 0; side < 2; ++side) {
    if (midi_.NoteOn(side).load()) actions_->NoteOff(side);
  }
  // Hits still sounding end with the take as well.
  if (hit_) hit_runner_->ReleaseAll(position_);
}

std::vector<TRenderMessage> TRenderChain::Messages() const {
  std::vector<TRenderMessage> sorted = service_->Sent();
  std::stable_sort(
      sorted.begin(), sorted.end(),
      [](const TRenderMessage& a, const TRenderMessage& b) { return a.Frame < b.Frame; });
  return sorted;
}
