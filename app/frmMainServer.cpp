// TfmMain: what the window does when the audio server its devices run on goes away (stop as
// Stop does, say so), when it answers again (say so, start by itself unless the user pressed
// Stop) and when its ports change (the lists follow, an awaited MIDI port opens).
#include <QLabel>
#include <algorithm>

#include "AppState.h"
#include "frmMain.h"
#include "platform/ServerMonitor.h"

namespace {
// Short enough for the status bar's first panel.
const char kServerLost[] = "Serveur audio perdu";
const char kWaitingForServer[] = "Serveur audio perdu : reprise d\xC3\xA8s son retour";
const char kServerBack[] =
    "Serveur audio revenu : d\xC3\xA9"
    "clenchement relanc\xC3\xA9";
const char kRestartCancelled[] =
    "Serveur audio perdu : reprise annul\xC3\xA9"
    "e";
const char kServerBackIdle[] = "Serveur audio revenu";
// A restart is due within two seconds of the server's return; polling is cheap.
constexpr int kPollMs = 500;
}  // namespace

void TfmMain::WatchServer() {
  server_timer_.setInterval(kPollMs);
  connect(&server_timer_, &QTimer::timeout, this, [this] { PollServer(); });
  if (!devices_.Server) return;
  // The reports come on a back-end thread: only post.
  devices_.Server->SetLossHandler([this](const std::string& reason) {
    dispatcher_.Post([this, reason] { ServerLost(reason); });
  });
  devices_.Server->SetChangeHandler([this](TServerChange change) {
    dispatcher_.Post([this, change] { ServerChanged(change); });
  });
}

void TfmMain::ServerChanged(TServerChange change) {
  if (RunFlags.Closing || RunFlags.Finalizing) return;
  // The lists show what the server has now, whether or not triggering runs.
  RefreshInputDeviceList();
  RefreshMidiPortList();
  if (change == TServerChange::kBack) {
    if (restart_pending_) {
      PollServer();  // at once, not at the next poll
    } else if (!RunFlags.Running) {
      ShowServerStatus(QString::fromUtf8(kServerBackIdle));
    }
  }
  OpenAwaitedMidiPort();
  DeliverOwedNoteOffs();
}

void TfmMain::ServerLost(const std::string& reason) {
  if (RunFlags.Closing || RunFlags.Finalizing) return;
  if (RunFlags.Running) {
    try {
      StopDevices(true);
    } catch (...) {
      // devices of a dead server may refuse to switch off; they are off all the same
    }
    restart_pending_ = true;
    server_timer_.start();
  }
  QString text = restart_pending_ ? QString::fromUtf8(kWaitingForServer) : kServerLost;
  d_.StatusPanel[0]->setToolTip(QString::fromStdString(reason));
  ShowServerStatus(text);
  UpdateRunControls();
}

void TfmMain::PollServer() {
  if (!restart_pending_ || RunFlags.Closing || RunFlags.Finalizing || RunFlags.Running) {
    // Closed, or the user started by hand meanwhile.
    restart_pending_ = false;
    server_timer_.stop();
    UpdateRunControls();
    return;
  }
  if (devices_.Server && !devices_.Server->ServerAvailable()) return;
  if (!DevicesBack()) return;
  try {
    StartTrigger();
  } catch (...) {
    return;  // Start undid itself; the next poll tries again, silently
  }
  restart_pending_ = false;
  server_timer_.stop();
  // Start tells of a MIDI port it still waits for.
  if (midi_awaited_.empty()) ShowServerStatus(QString::fromUtf8(kServerBack));
  UpdateRunControls();
}

// Triggering resumes as it was: on the same input, which may come back a moment after the
// server. The instrument may come later still: Start waits for its port (StartMidi).
bool TfmMain::DevicesBack() {
  if (devices_.Capture) {
    const std::string input = devices_.Capture->DeviceName();
    if (!input.empty() && input != "Default") {
      std::vector<std::string> names;
      try {
        names = devices_.Capture->DeviceNames();
      } catch (...) {
        return false;
      }
      if (std::find(names.begin(), names.end(), input) == names.end()) return false;
    }
  }
  return true;
}

void TfmMain::CancelServerRestart() {
  if (!restart_pending_) return;
  restart_pending_ = false;
  server_timer_.stop();
  ShowServerStatus(QString::fromUtf8(kRestartCancelled));
  UpdateRunControls();
}

void TfmMain::ShowServerStatus(const QString& text) {
  d_.StatusPanel[0]->setText(text);
  ShowAudioSystem();  // a server back may run at another rate or period
}
