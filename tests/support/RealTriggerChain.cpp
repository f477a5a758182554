#include "RealTriggerChain.h"

#include <thread>

#include "platform/SteadyClock.h"

// Capture thread: the notes go to the MIDI port and the sounds to the sound slots; the
// indicators are the window's business (its own end-to-end tests watch them).
class TRealTriggerChain::TActions final : public ITriggerActions {
 public:
  TActions(TMidiNoteTrigger& notes, TSoundTrigger& sounds) : notes_(notes), sounds_(sounds) {}
  void SetClipVisible(bool) override {}
  void SetThresholdLight(int, bool) override {}
  void ShowVelocity(int, int) override {}
  void NoteOn(int channel, int velocity) override { notes_.NoteOn(channel, velocity); }
  void NoteOff(int channel) override { notes_.NoteOff(channel); }
  void ShowVolume(int, double) override {}
  void TriggerSound(int channel, double volume) override { sounds_.TriggerSound(channel, volume); }
  void RefreshLevels(double, double) override {}

 private:
  TMidiNoteTrigger& notes_;
  TSoundTrigger& sounds_;
};

// The MIDI activity light is not watched here.
class TRealTriggerChain::TActivityView final : public IMidiActivityView {
 public:
  void SetMidiDataLight(bool) override {}
  void SetMidiTimerEnabled(bool) override {}
};

TRealTriggerChain::TRealTriggerChain(const std::string& client)
    : jack_(client),
      wave_in_(jack_),
      midi_service_(jack_),
      midi_out_(midi_service_, ui_),
      view_(std::make_unique<TActivityView>()),
      notes_(std::make_unique<TMidiNoteTrigger>(TMidiNoteTrigger::TState{flags_, midi_}, controls_,
                                                *view_)),
      actions_(std::make_unique<TActions>(*notes_, sound_trigger_)),
      detector_(std::make_unique<TTriggerDetector>(
          TTriggerDetector::TState{flags_, params_, midi_, sounds_, meters_}, controls_, *actions_,
          SystemTickClock())),
      hit_actions_(std::make_unique<THitActions>(flags_, notes_.get(), &sound_trigger_, nullptr)),
      hit_runner_(std::make_unique<THitRunner>(flags_, hit_settings_, *hit_actions_)),
      engine_(wave_in_, ui_) {
  wave_in_.SetCaptureTap(hit_runner_.get());
  hit_settings_.Publish(WindowHitSettings(hit_, controls_));
  meters_.UpdateInterval = 100;
  // The window's inhibition timers, with the duration box's design value.
  timer0_.SetHPTimeBase(&time_base_);
  timer1_.SetHPTimeBase(&time_base_);
  sound_trigger_.DurationChange(30);
  engine_.SetBlockHandler([this](const IALAudioBufferPtr& in) {
    detector_->ProcessBlock(in);
    blocks_.fetch_add(1, std::memory_order_release);
  });
  // Stopped, as the window leaves it after creation.
  flags_.StopRequest = true;
}

TRealTriggerChain::~TRealTriggerChain() {
  Stop();
}

bool TRealTriggerChain::Start(const std::string& input_device, uint32_t sample_rate,
                              uint32_t buffer_size, const std::string& midi_port) {
  if (running_) return true;
  hit_runner_->RequestRestart();
  params_.SampleRate = sample_rate;
  params_.BufferSize = buffer_size;
  flags_.StopAck = false;
  flags_.StopRequest = false;
  flags_.Running = true;
  try {
    engine_.SetDeviceName(input_device);
    engine_.SetChannels(params_.Channels);
    engine_.SetBits(params_.Bits);
    engine_.SetSampleRate(sample_rate);
    engine_.SetBufferSize(buffer_size);
    engine_.SetCaptureEnabled(true);
    engine_.SetFilterEnabled(true);
    PrepareSounds();
    midi_out_.SetProductName(midi_port);
    if (!midi_out_.Open()) throw EmidioutputError("not opened");
    midi_.Output = &midi_out_;
  } catch (...) {
    running_ = true;
    Stop();
    return false;
  }
  running_ = true;
  return true;
}

void TRealTriggerChain::Stop() {
  if (!running_) return;
  running_ = false;
  flags_.StopRequest.store(true, std::memory_order_release);
  // No block may be in the handler once the port closes: wait for the handler's answer, as long
  // as blocks still come.
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(1000);
  while (!flags_.StopAck.load(std::memory_order_acquire) &&
         std::chrono::steady_clock::now() < end) {
    std::this_thread::yield();
  }
  flags_.Running = false;
  engine_.SetFilterEnabled(false);
  engine_.SetCaptureEnabled(false);
  midi_.Output = nullptr;
  try {
    midi_out_.Close();
  } catch (...) {
  }
  ui_.ProcessPending();
}

void TRealTriggerChain::PrepareSounds() {
  if (!sound_service_) return;
  // Through the service's common interface, as the window hands its sounds over at Start.
  std::vector<TSoundImagePtr> images;
  for (const TMySound& slot : sounds_) {
    if (slot.Wave && !slot.Wave->Sound().Empty()) images.push_back(slot.Wave->Sound().Image());
  }
  static_cast<ISoundService&>(*sound_service_).Prepare(images);
}

void TRealTriggerChain::SetChannelSound(int channel, const std::vector<uint8_t>& image) {
  controls_.StartMidiNote[channel] = false;
  controls_.StartAudioFile[channel] = true;
  sound_trigger_.StartModeClick(channel, false, true);
  if (!sound_service_) {
    sound_service_ = std::make_unique<TJackSoundService>(jack_);
    for (int c = 0; c < 2; ++c) {
      waves_[c] = std::make_unique<TVrWave>(*sound_service_);
      sounds_[c].Wave = waves_[c].get();
    }
  }
  waves_[channel]->Sound().SetData(image.data(), static_cast<uint32_t>(image.size()));
  hit_settings_.Publish(WindowHitSettings(hit_, controls_));
}

void TRealTriggerChain::SetHitSettings(const TMyHit& hit) {
  hit_ = hit;
  for (int c = 0; c < 2; ++c) controls_.HitDetection[c] = hit.HitDetection[c];
  hit_settings_.Publish(WindowHitSettings(hit_, controls_));
}

void TRealTriggerChain::SetInhibitionDuration(int milliseconds) {
  sound_trigger_.DurationChange(milliseconds);
}

bool TRealTriggerChain::WaitSoundsReady(std::chrono::milliseconds timeout) {
  return !sound_service_ || sound_service_->WaitIdle(timeout);
}

std::string TRealTriggerChain::SoundOutPort(int channel) {
  return jack_.PortName(channel == 0 ? TJackPort::kOut1 : TJackPort::kOut2);
}

bool TRealTriggerChain::Pump(const std::function<bool()>& pred, std::chrono::milliseconds timeout) {
  return ui_.RunUntil(pred, timeout);
}
