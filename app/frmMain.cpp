#include "frmMain.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QMessageBox>
#include <QScreen>
#include <QSpinBox>
#include <QTabWidget>
#include <cstdlib>
#include <exception>
#include <thread>

#include "AppState.h"
#include "BusyCursor.h"
#include "EngineAudioOutput.h"
#include "EngineCaptureChain.h"
#include "Settings.h"
#include "frmAbout.h"
#include "platform/ServerMonitor.h"
#include "platform/SoundService.h"
#include "platform/SteadyClock.h"
#include "platform/WaveIn.h"
#include "uMaths.h"

TfmMain* fmMain = nullptr;

TfmMain::TfmMain(TWindowBackends devices, const std::string& ini_file_name, QWidget* parent)
    : TfmMain(std::move(devices), TSettingsPlace{ini_file_name, false}, parent) {}

TfmMain::TfmMain(TWindowBackends devices, const TSettingsPlace& place, QWidget* parent)
    : QMainWindow(parent),
      IniFileName(place.File),
      devices_(std::move(devices)),
      dispatcher_(this),
      actions_(dispatcher_, d_),
      detector_(snapshot_, actions_, SystemTickClock()) {
  fmMain = this;
  settings_named_ = place.Named;
  BuildMainWindowDesign(*this, d_);
  if (!devices_.Capture && devices_.WaveIn)
    devices_.Capture = std::make_unique<TEngineCaptureChain>(*devices_.WaveIn, dispatcher_);
  if (!devices_.Output && devices_.WaveOut)
    devices_.Output = std::make_unique<TEngineAudioOutput>(*devices_.WaveOut, dispatcher_);
  midi_views_ = std::make_unique<TWindowMidiViews>(dispatcher_, *d_.LedMidiOutData,
                                                   *d_.LedMidiOutState, TimerMidiOut);
  note_trigger_ = std::make_unique<TMidiNoteTrigger>(snapshot_, *midi_views_);
  VrHPTimer0.SetHPTimeBase(&VrHPTimeBase1);
  VrHPTimer1.SetHPTimeBase(&VrHPTimeBase1);
  if (devices_.Sound) {
    VrWave0 = std::make_unique<TVrWave>(*devices_.Sound);
    VrWave1 = std::make_unique<TVrWave>(*devices_.Sound);
  }
  actions_.SetTargets(note_trigger_.get(), &sound_trigger_);
  // Hit detection takes the capture's samples from the back-end, before it makes blocks.
  hit_actions_ =
      std::make_unique<THitActions>(RunFlags, note_trigger_.get(), &sound_trigger_, &actions_);
  hit_runner_ = std::make_unique<THitRunner>(RunFlags, hit_settings_, *hit_actions_);
  if (devices_.WaveIn) devices_.WaveIn->SetCaptureTap(hit_runner_.get());
  report_ = [this](const QString& text) { QMessageBox::critical(this, windowTitle(), text); };
  TimerMidiOut.setInterval(100);
  WatchServer();
  ConnectHandlers();
  FormCreate();
  // Centred on the screen.
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect r = frameGeometry();
    r.moveCenter(screen->availableGeometry().center());
    move(r.topLeft());
  }
  PlaceWindow();
}

TfmMain::~TfmMain() {
  // The capture thread must not reach the window while it goes away, nor the server monitor.
  RunFlags.Closing = true;
  if (devices_.Server) {
    devices_.Server->SetLossHandler({});
    devices_.Server->SetChangeHandler({});
  }
  server_timer_.stop();
  try {
    if (devices_.Capture) {
      devices_.Capture->SetFilterEnabled(false);
      devices_.Capture->SetCaptureEnabled(false);
    }
  } catch (...) {
  }
  if (devices_.WaveIn) devices_.WaveIn->SetCaptureTap(nullptr);
  Vumeters.Left.LevelBar = nullptr;
  Vumeters.Right.LevelBar = nullptr;
  // The global records must not keep what dies with the window.
  if (MyMidi.Output == midi_output_.get()) MyMidi.Output = nullptr;
  if (Sounds[0].Wave == VrWave0.get()) Sounds[0].Wave = nullptr;
  if (Sounds[1].Wave == VrWave1.get()) Sounds[1].Wave = nullptr;
  if (fmMain == this) fmMain = nullptr;
}

void TfmMain::FormCreate() {
  RunFlags.StopRequest = false;
  RunFlags.Closing = false;
  RunFlags.Finalizing = false;
  if (IniFileName.empty()) {
    IniFileName = UsualSettingsFile();
  }
  if (!Sounds[0].Wave) Sounds[0].Wave = VrWave0.get();
  if (!Sounds[1].Wave) Sounds[1].Wave = VrWave1.get();
  AudioInParams.BufferSize = 1024;
  AudioInParams.Bits = 16;
  AudioInParams.SampleRate = 44100;
  AudioInParams.Channels = 2;
  AudioInParams.FullScale = 32767;
  AudioInParams.MinDb = static_cast<int>(FloorDb(32767));  // truncated toward zero: -96
  AudioInParams.MaxDb = 0;
  TakeSystemRate();
  if (devices_.Capture) {
    devices_.Capture->SetBlockHandler(
        [this](const IALAudioBufferPtr& block) { detector_.ProcessBlock(block); });
  }
  FillInputDeviceList();
  FillOutputDeviceList();
  SetupLevelDisplay();
  InitMidi();
  LoadSettings();
  KeepAutoChosenMidiPort();
  d_.PageControl1->setCurrentIndex(0);
  for (int ch = 0; ch < 2; ++ch) {
    TrmScale* scale = ch == 0 ? d_.scTocsinLeftThres : d_.scTocsinRightThres;
    scale->SetMinValue(static_cast<float>(AudioInParams.MinDb));
    scale->SetMaxValue(static_cast<float>(AudioInParams.MaxDb));
    scale->SetPosition(static_cast<float>(d_.edTocsinThres[ch]->value()));
  }
  edTocsinLeftThresChange();
  RefreshSnapshot();
  StopTrigger();
  ShowAudioSystem();
}

void TfmMain::StartTrigger() {
  // What hit detection had under way before the last Stop is forgotten, not played now.
  if (hit_runner_) hit_runner_->RequestRestart();
  RunFlags.StopAck = false;
  RunFlags.StopRequest = false;
  RunFlags.Running = true;
  // The MIDI port opens before the capture starts: a level already above its threshold makes a
  // note-on of the very first block, and that note-on must find the port open. A step that
  // fails leaves the window as Stop would: what was switched on goes off again, in reverse
  // order, before the error reaches the caller.
  int steps = 0;
  try {
    StartMidi();
    ++steps;
    SetCaptureActive(true);
    ++steps;
    SetOutputActive(true);
    PrepareSounds();
  } catch (...) {
    UndoStart(steps);
    throw;
  }
  // What the status bar said about an earlier stop is over; a port still awaited is not.
  if (midi_awaited_.empty()) ShowServerStatus(QString());
  UpdateRunControls();
}

void TfmMain::UndoStart(int failed_step) {
  AwaitStopAck();
  RunFlags.Running = false;
  midi_awaited_.clear();
  // The failed step is undone too: it may have switched part of its device on. The capture
  // goes off before the notes end, and the port closes last, once they have.
  auto undo = [](const std::function<void()>& fn) {
    try {
      fn();
    } catch (...) {
      // the error shown is the one that made Start fail
    }
  };
  if (failed_step >= 2) undo([this] { SetOutputActive(false); });
  if (failed_step >= 1) undo([this] { SetCaptureActive(false); });
  if (note_trigger_) note_trigger_->ReleaseNotes();
  undo([this] { SetMidiActive(false); });
  ResetLevelDisplay();
  UpdateRunControls();
}

void TfmMain::AwaitStopAck() {
  RunFlags.StopRequest = true;
  // The capture thread answers at its next gate check; without blocks nobody answers, and the
  // wait ends after a second. Window messages are not processed meanwhile.
  ITickClock& clock = SystemTickClock();
  const uint32_t start = clock.GetTickCount();
  while (!RunFlags.StopAck.load(std::memory_order_acquire) &&
         clock.GetTickCount() - start <= 1000) {
    std::this_thread::yield();
  }
}

void TfmMain::StopTrigger() {
  StopDevices(false);
}

void TfmMain::StopDevices(bool server_lost) {
  AwaitStopAck();
  RunFlags.Running = false;
  midi_awaited_.clear();
  // Every step runs even when one fails, so no device stays on behind a failed one; the first
  // error is passed on once all have run.
  std::exception_ptr first;
  auto step = [&first](const std::function<void()>& fn) {
    try {
      fn();
    } catch (...) {
      if (!first) first = std::current_exception();
    }
  };
  step([this] { SetCaptureActive(false); });
  // Nothing lights a channel in "Frappe" now: its light goes dark with its notes.
  actions_.DrainNow();
  for (int ch = 0; ch < 2; ++ch) {
    if (!snapshot_.HitDetection[ch].load(std::memory_order_relaxed)) continue;
    actions_.ForgetLight(ch);
    (ch == 0 ? d_.ledLeftThres : d_.ledRightThres)->SetLit(false);
  }
  step([this] { SetOutputActive(false); });
  // The capture is off: no hit can start a note now, and the port can still send the note-offs.
  if (note_trigger_) note_trigger_->ReleaseNotes(server_lost);
  step([this] { SetMidiActive(false); });
  ResetLevelDisplay();
  UpdateRunControls();
  if (first) std::rethrow_exception(first);
}

void TfmMain::PrepareSounds() {
  if (!devices_.Sound) return;
  std::vector<TSoundImagePtr> images;
  for (const TMySound& slot : Sounds) {
    if (slot.Wave && !slot.Wave->Sound().Empty()) images.push_back(slot.Wave->Sound().Image());
  }
  devices_.Sound->Prepare(images);
}

void TfmMain::SetCaptureActive(bool active) {
  TBusyCursor busy;
  d_.ledAudioInState->SetLit(false);
  if (!devices_.Capture) return;
  // The filter is off before the capture stops and on only after it runs, so the block
  // handler never sees a half-started chain.
  if (!active) devices_.Capture->SetFilterEnabled(false);
  devices_.Capture->SetCaptureEnabled(active);
  if (active) devices_.Capture->SetFilterEnabled(true);
  d_.ledAudioInState->SetLit(active);
}

void TfmMain::SetOutputActive(bool active) {
  TBusyCursor busy;
  d_.ledAudioOutState->SetLit(false);
  if (!devices_.Output) return;
  devices_.Output->SetEnabled(active);
  d_.ledAudioOutState->SetLit(active);
}

void TfmMain::UpdateRunControls() {
  if (RunFlags.Closing || RunFlags.Finalizing) return;
  const bool running = RunFlags.Running;
  d_.lstInputDevices->setEnabled(!running);
  d_.lstAudioInputBufferSize->setEnabled(!running);
  d_.lstAudioInputSampleRate->setEnabled(!running);
  d_.lstMidiOut->setEnabled(!running);
  d_.ActTriggerStart->setEnabled(!running);
  // A restart waiting for the audio server is cancelled with Stop.
  d_.ActTriggerStop->setEnabled(running || restart_pending_);
}

void TfmMain::Wait(uint32_t ms, bool pump) {
  ITickClock& clock = SystemTickClock();
  const uint32_t start = clock.GetTickCount();
  do {
    if (pump) QCoreApplication::processEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  } while (clock.GetTickCount() - start <= ms);
}

void TfmMain::ActTriggerStartExecute() {
  // Start and Stop have no business once the close sequence has begun (its waits pump
  // messages, so a queued click could otherwise reopen the devices it is closing).
  if (RunFlags.Closing) return;
  try {
    StartTrigger();
  } catch (const std::exception& e) {
    report_(QString::fromUtf8(e.what()));
  } catch (...) {
    report_("Erreur inconnue");
  }
}

void TfmMain::ActTriggerStopExecute() {
  if (RunFlags.Closing) return;
  CancelServerRestart();
  try {
    StopTrigger();
  } catch (const std::exception& e) {
    report_(QString::fromUtf8(e.what()));
  } catch (...) {
    report_("Erreur inconnue");
  }
}

void TfmMain::ActAppAboutExecute() {
  TfmAbout about(this);
  about.exec();
}

void TfmMain::closeEvent(QCloseEvent* event) {
  if (RunFlags.Closing && !close_sequence_ran_) {
    // A close asked for while the close sequence pumps messages: the sequence closes anyway.
    event->ignore();
    return;
  }
  if (!close_sequence_ran_) {
    FormCloseQuery();
    close_sequence_ran_ = true;
    FormClose();
  }
  event->accept();
}

void TfmMain::FormCloseQuery() {
  RunFlags.Closing = true;  // the block handler and the MIDI sends are silent from here on
  server_timer_.stop();
  if (RunFlags.Running) {
    // Each step is guarded: a device that fails to switch off must not stop the others from
    // switching off, nor keep the user from closing the program.
    try {
      // Closing silences the capture thread's sends: the sounding notes end while the port is
      // still open.
      if (note_trigger_) note_trigger_->ReleaseNotes();
      SetMidiActive(false);
    } catch (...) {
    }
    Wait(600, true);
    try {
      MyMidi.Output = nullptr;
      midi_output_.reset();
    } catch (...) {
    }
    Wait(600, true);
    try {
      SetOutputActive(false);
    } catch (...) {
    }
    Wait(200, true);
    try {
      SetCaptureActive(false);
    } catch (...) {
    }
    Wait(200, true);
    sound_trigger_.StopChannelSound(0);
    sound_trigger_.StopChannelSound(1);
    Wait(200, true);
  }
  Wait(500, true);
}

void TfmMain::FormClose() {
  SaveSettings();
}
