// A main window on recording devices: two input devices, one MIDI port, an output device and
// sound slots, all logging into one shared log. Globals are reset before each window.
#pragma once

#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <cmath>
#include <memory>
#include <optional>
#include <thread>

#include "AppState.h"
#include "FakeWindowDevices.h"
#include "QtTestApp.h"
#include "audio/ALAudioBuffer.h"
#include "frmMain.h"
#include "midi/MidiOut.h"
#include "platform/virtual/VirtualServerMonitor.h"

struct TWindowOptions {
  std::vector<std::string> inputs = {"Micro 1", "Ligne 2"};
  std::vector<std::string> ports = {"Synth A", "Synth B"};
  TMidiResult midi_open_error = kMidiOk;
  // What the status bar is told of the sound system; none: no System given at all.
  std::optional<TAudioSystemInfo> system;
  bool settings_named = false;  // the settings file as --settings names it
  std::string default_input_alias;  // the device "Default" stands for (jackd's "system")
  std::string output_error;  // what switching the audio output on raises
};

class WindowTest : public ::testing::Test {
 protected:
  void Make(const TWindowOptions& o = {}) {
    RunFlags.Reset();
    MyMidi.NoteOn0 = false;
    MyMidi.NoteOn1 = false;
    Sounds[0].Inhibited = false;
    Sounds[1].Inhibited = false;
    TWindowBackends devices;
    auto capture = std::make_unique<TFakeCaptureChain>(log, o.inputs);
    capture_ = capture.get();
    for (const std::string& port : o.ports) midi.AddPort(port);
    if (o.midi_open_error != kMidiOk) midi.FailCall(TMidiOutCall::Open, o.midi_open_error);
    devices.Capture = std::move(capture);
    devices.Output = std::make_unique<TFakeOutputDevice>(log, o.output_error);
    devices.MidiOut = &midi_log;
    devices.Sound = &sound_log;
    devices.Server = &server;
    if (!o.default_input_alias.empty()) {
      alias_wave_in.alias = o.default_input_alias;
      devices.WaveIn = &alias_wave_in;
    }
    if (o.system) {
      system.info = *o.system;
      devices.System = &system;
    }
    window = std::make_unique<TfmMain>(std::move(devices),
                                       TfmMain::TSettingsPlace{IniPath(), o.settings_named});
    window->SetErrorReporter([this](const QString& text) { errors.push_back(text); });
    log.Take();
  }
  void TearDown() override {
    if (window) {
      // Closing while stopped takes its final half second; tests that close do it themselves.
      window.reset();
    }
    RunFlags.Reset();
  }

  const TMainWindowDesign& D() const { return window->Design(); }
  // Each test has a settings file of its own, in a folder that goes away with the test.
  std::string IniPath() const { return ini_dir.filePath(ini_name).toStdString(); }
  QString ini_name = "tocsin.ini";

  // A 16-bit stereo block whose positive peaks sit at the given levels.
  static IALAudioBufferPtr BlockAtDb(double left_db, double right_db, uint32_t frames = 64) {
    auto amp = [](double db) {
      return static_cast<int>(std::lround(32767.0 * std::pow(10.0, db / 20.0)));
    };
    auto b = TALAudioBuffer::Create(16, frames, 2);
    auto a = b->GetAccess();
    for (uint32_t i = 0; i < frames; ++i) {
      const int sign = i % 2 ? -1 : 1;
      a->SetSample(i, 0, sign * amp(left_db));
      a->SetSample(i, 1, sign * amp(right_db));
    }
    return b;
  }
  // Delivers a block from a thread of its own, as the capture thread does, and waits for it.
  void DeliverOnCaptureThread(const IALAudioBufferPtr& block) {
    std::thread t([&] { capture_->Deliver(block); });
    t.join();
  }

  QTemporaryDir ini_dir;
  // The MIDI bytes sent to port n.
  std::vector<uint8_t> MidiBytes(int32_t port = 0) const { return midi.Bytes(port); }
  // The port MyMidi.Output is on.
  std::string SelectedPort() const { return MyMidi.Output ? MyMidi.Output->ProductName() : ""; }

  TDeviceLog log;
  TVirtualMidiOutService midi;
  TLoggingMidiService midi_log{log, midi};
  TVirtualSoundService sound{SystemTickClock()};
  TLoggingSoundService sound_log{log, sound};
  TVirtualServerMonitor server;
  TFakeAudioSystem system;
  TAliasWaveIn alias_wave_in;
  std::unique_ptr<TfmMain> window;
  TFakeCaptureChain* capture_ = nullptr;
  std::vector<QString> errors;
};
