#include "RealTriggerChain.h"

#include <thread>

#include "platform/SteadyClock.h"

// Capture thread: the notes go to the MIDI port; the indicators are the window's business (its
// own end-to-end tests watch them).
class TRealTriggerChain::TActions final : public ITriggerActions {
 public:
  explicit TActions(TMidiNoteTrigger& notes) : notes_(notes) {}
  void SetClipVisible(bool) override {}
  void SetThresholdLight(int, bool) override {}
  void ShowVelocity(int, int) override {}
  void NoteOn(int channel, int velocity) override { notes_.NoteOn(channel, velocity); }
  void NoteOff(int channel) override { notes_.NoteOff(channel); }
  void ShowVolume(int, double) override {}
  void TriggerSound(int, double) override {}
  void RefreshLevels(double, double) override {}

 private:
  TMidiNoteTrigger& notes_;
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
      actions_(std::make_unique<TActions>(*notes_)),
      detector_(std::make_unique<TTriggerDetector>(
          TTriggerDetector::TState{flags_, params_, midi_, sounds_, meters_}, controls_, *actions_,
          SystemTickClock())),
      engine_(wave_in_, ui_) {
  meters_.UpdateInterval = 100;
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

bool TRealTriggerChain::Pump(const std::function<bool()>& pred, std::chrono::milliseconds timeout) {
  return ui_.RunUntil(pred, timeout);
}
