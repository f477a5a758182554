// The main window TfmMain: creation sequence, Start and Stop of triggering with the capture
// thread's stop handshake, the timed close sequence, and the handlers of its controls. Lives on
// the UI thread; the capture thread reaches it only through TWindowTriggerActions and the
// control snapshot.
#pragma once

#include <QMainWindow>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>

#include "ControlSnapshot.h"
#include "MainSettingsView.h"
#include "LevelBarAdapter.h"
#include "MainWindowDesign.h"
#include "QtMainThreadDispatcher.h"
#include "TriggerDetector.h"
#include "WindowDevices.h"
#include "WindowMidiViews.h"
#include "WindowTriggerActions.h"
#include "SoundTrigger.h"
#include "audio/VrAudio.h"
#include "midi/MidiOut.h"
#include "platform/ServerMonitor.h"
#include "timing/VrHPTimeBase.h"
#include "timing/VrHPTimer.h"

class TfmMain;
extern TfmMain* fmMain;

class TfmMain : public QMainWindow {
 public:
  // The window owns the chains it is given and uses the services, which must outlive it; main
  // passes the real ones, tests virtual ones. The settings file is ini_file_name, or beside the
  // executable when that is empty.
  explicit TfmMain(TWindowBackends backends, const std::string& ini_file_name = {},
                   QWidget* parent = nullptr);
  ~TfmMain() override;

  // The lifecycle, as the actions and the close box run it.
  void StartTrigger();  // errors pass to the caller
  void StopTrigger();
  void SetCaptureActive(bool active);
  void SetOutputActive(bool active);
  bool SetMidiActive(bool open);
  void UpdateRunControls();
  // Processes window messages (when pump) until more than ms milliseconds have passed.
  static void Wait(uint32_t ms, bool pump);

  // Whether Start will run by itself once the lost audio server answers again.
  bool ServerRestartPending() const { return restart_pending_; }

  // Where errors raised at Start are shown; the default is an error box. Tests replace it.
  void SetErrorReporter(std::function<void(const QString&)> report) { report_ = std::move(report); }

  const TMainWindowDesign& Design() const { return d_; }
  const TControlSnapshot& Snapshot() const { return snapshot_; }
  IMainThreadDispatcher& Dispatcher() { return dispatcher_; }
  TTriggerDetector& Detector() { return detector_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void FormCreate();
  void FormCloseQuery();
  void FormClose();
  void ConnectHandlers();
  void RefreshSnapshot();
  void ActTriggerStartExecute();
  void ActTriggerStopExecute();
  void AwaitStopAck();
  void StopDevices(bool server_lost);
  void UndoStart(int failed_step);  // steps: 0 capture, 1 output and sounds, 2 MIDI port
  void PrepareSounds();

  // The audio server going away and coming back, and its ports changing (frmMainServer.cpp).
  void WatchServer();
  void ServerLost(const std::string& reason);
  void ServerChanged(TServerChange change);
  void PollServer();
  bool DevicesBack();
  void CancelServerRestart();
  void ShowServerStatus(const QString& text);
  void ActAppAboutExecute();

  // Devices and capture format (frmMainDevices.cpp).
  void FillInputDeviceList();
  void RefreshInputDeviceList();  // the clients as they are now, the choice kept
  void FillOutputDeviceList();
  void lstInputDevicesChange();
  void lstOutputDevicesChange();
  void lstAudioInputFormatChange(QComboBox* list, void (ICaptureChain::*set)(uint32_t),
                                 const std::function<void(uint32_t)>& store);
  void lstAudioInputChannelsChange();
  void edTocsinLeftThresChange();
  void SetupLevelDisplay();
  void ResetLevelDisplay();

  // MIDI lists and port (frmMainMidi.cpp).
  void InitMidi();
  void KeepAutoChosenMidiPort();
  void FillMidiPortList();
  void RefreshMidiPortList();  // the ports as they are now, the choice kept
  // Start's MIDI step: the chosen port found again by its name and opened; a chosen port that
  // is gone is waited for (OpenAwaitedMidiPort), and Start goes on without it.
  void StartMidi();
  void OpenAwaitedMidiPort();
  void FillMidiLists();
  void lstMidiOutChange();
  void lstMidiOutChannelChange();
  void lstMidiOutNote0Change();

  // Event kinds and the inhibition controls (frmMainSounds.cpp).
  void rbStartMidiNoteClick(int channel);
  void edAudioOutputTempDisabledDurationChange();
  void cbAudioOutputTempDisabledClick();
  void edAudioOutFileNameChange(int channel);
  void BrowseAudioOutFileName(int channel);

  // Settings (frmMainSettings.cpp).
  void LoadSettings();
  void SaveSettings();
  friend class TMainSettingsView;

  std::string IniFileName;
  TMainWindowDesign d_;
  TWindowBackends devices_;
  TQtMainThreadDispatcher dispatcher_;
  TControlSnapshot snapshot_;
  QTimer TimerMidiOut;
  std::unique_ptr<TWindowMidiViews> midi_views_;
  std::unique_ptr<TMidiOutput> midi_output_;  // MyMidi.Output
  std::unique_ptr<TMidiNoteTrigger> note_trigger_;
  TVrHPTimeBase VrHPTimeBase1;
  TVrHPTimer VrHPTimer0{dispatcher_};
  TVrHPTimer VrHPTimer1{dispatcher_};
  std::unique_ptr<TVrWave> VrWave0, VrWave1;
  TSoundTrigger sound_trigger_{Sounds, VrHPTimer0, VrHPTimer1};
  TWindowTriggerActions actions_;
  TTriggerDetector detector_;
  std::unique_ptr<TLevelBarAdapter> left_bar_, right_bar_;
  TMainSettingsView settings_view_{*this};
  std::function<void(const QString&)> report_;
  bool close_sequence_ran_ = false;
  QTimer server_timer_;  // polls a lost server while a restart is pending
  bool restart_pending_ = false;
  std::string midi_awaited_;  // the chosen MIDI port, gone at Start: opened once it appears
};
