// The main window TfmMain: creation sequence, Start and Stop of triggering with the capture
// thread's stop handshake, the timed close sequence, and the handlers of its controls. Lives on
// the UI thread; the capture thread reaches it only through TWindowTriggerActions and the
// control snapshot.
#pragma once

#include <QMainWindow>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "ControlSnapshot.h"
#include "HitActions.h"
#include "HitRecord.h"
#include "HitRunner.h"
#include "HitSettingsSnapshot.h"
#include "LevelBarAdapter.h"
#include "MainSettingsView.h"
#include "MainWindowDesign.h"
#include "QtMainThreadDispatcher.h"
#include "SoundTrigger.h"
#include "TriggerDetector.h"
#include "WindowDevices.h"
#include "WindowMidiViews.h"
#include "WindowTriggerActions.h"
#include "audio/VrAudio.h"
#include "midi/MidiOut.h"
#include "platform/AudioSystemInfo.h"
#include "platform/ServerMonitor.h"
#include "timing/VrHPTimeBase.h"
#include "timing/VrHPTimer.h"

class TIniFile;

class TfmMain;
extern TfmMain* fmMain;

class TfmMain : public QMainWindow {
 public:
  // Where the settings come from. Named: given by the user (--settings) or a session manager,
  // so a file that holds no settings is refused rather than rewritten, and one that cannot be
  // written is said at start.
  struct TSettingsPlace {
    std::string File;  // empty: the usual place for this executable
    bool Named = false;
  };

  // The window owns the chains it is given and uses the services, which must outlive it; main
  // passes the real ones, tests virtual ones. The settings file is ini_file_name, or the usual
  // place (SettingsFileLocation) when that is empty.
  explicit TfmMain(TWindowBackends backends, const std::string& ini_file_name = {},
                   QWidget* parent = nullptr);
  TfmMain(TWindowBackends backends, const TSettingsPlace& place, QWidget* parent = nullptr);
  ~TfmMain() override;

  const std::string& SettingsFile() const { return IniFileName; }
  // Whether closing the window saves the settings (not under a session manager, which saves
  // when the session does, nor for a file that must not be overwritten).
  void SetSaveAtClose(bool save) { save_at_close_ = save; }
  // Writes the settings and the window's place now, with whatever `also` adds to the file, in one
  // write; empty when done, else the French text of what went wrong.
  std::string SaveSettingsNow(const std::function<void(TIniFile&)>& also = {});
  // Closes without a word: no dialog, no save (a session manager ending the program).
  void CloseQuietly();
  // Whether the window went through its close sequence.
  bool Closed() const { return close_sequence_ran_; }

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
  // Hit detection's road from the capture tap, for tests.
  THitRunner& HitRunner() { return *hit_runner_; }

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
  // The port of that name found again (the server may number ports anew) and opened; false when
  // it is not there or refuses.
  bool OpenMidiPortNamed(const std::string& name);
  // Stopped while the server was away: the note-offs its loss left owed go out once it is back.
  void DeliverOwedNoteOffs();
  // The note-offs owed since a server's loss, sent on the chosen port opened for them alone.
  void EndOwedNotes();
  void FillMidiLists();
  void lstMidiOutChange();
  void lstMidiOutChannelChange();
  void lstMidiOutNote0Change();

  // Detection kinds and hit detection's settings (frmMainHit.cpp).
  void ConnectHitHandlers();
  void lstTocsinDetectionChange(int channel);
  void HitControlsChange();
  void ShowHitControls(const TMyHit& hit);
  void PublishHitSettings();

  // Event kinds and the inhibition controls (frmMainSounds.cpp).
  void rbStartMidiNoteClick(int channel);
  void edAudioOutputTempDisabledDurationChange();
  void cbAudioOutputTempDisabledClick();
  void edAudioOutFileNameChange(int channel);
  void BrowseAudioOutFileName(int channel);
  QString SoundFileFolder(int channel) const;  // where the file dialog opens

  // Settings (frmMainSettings.cpp).
  void LoadSettings();
  void DefaultInputByItsName();
  void SaveSettings();
  friend class TMainSettingsView;

  // The settings file's place and state, the window's place on the screen, the sound system in
  // the status bar (frmMainPlace.cpp).
  std::string CheckSettingsPlace();  // the file to read: empty for the defaults
  void LoadWindowPlace(const std::string& file);
  void WriteWindowPlace(TIniFile& ini) const;
  void PlaceWindow();  // where it was last, when that is still on a screen
  void ShowLater(const QString& error);
  void TakeSystemRate();  // a first start captures at the sound system's own rate
  void ShowAudioSystem();
  bool MidiNeeded() const;  // a channel is in "Note MIDI"
  void OpenMidiWhileRunning();

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
  THitSettingsSnapshot hit_settings_;
  std::unique_ptr<THitActions> hit_actions_;
  std::unique_ptr<THitRunner> hit_runner_;
  std::unique_ptr<TLevelBarAdapter> left_bar_, right_bar_;
  TMainSettingsView settings_view_{*this};
  std::function<void(const QString&)> report_;
  bool close_sequence_ran_ = false;
  QTimer server_timer_;  // polls a lost server while a restart is pending
  bool restart_pending_ = false;
  bool settings_named_ = false;
  bool save_at_close_ = true;
  bool may_overwrite_settings_ = true;  // false for a file that could not be read
  std::optional<QPoint> stored_place_;
  TAudioSystemInfo system_;   // as found at creation, refreshed with the status bar
  std::string midi_awaited_;  // the chosen MIDI port, gone at Start: opened once it appears
};
