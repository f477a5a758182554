// TfmMain: whether its settings file may be read and replaced, the window's place on the screen
// kept in that file, the sound system shown in the status bar's second panel, and what Start
// and a session manager need beyond the window's own steps.
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QRadioButton>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>

#include "AppState.h"
#include "IniFile.h"
#include "Settings.h"
#include "SettingsKeys.h"
#include "SettingsPlace.h"
#include "frmMain.h"

namespace {
// "left,top" of the window's frame, beside the 21 settings.
const char kWindowPosition[] = "MainWindowPosition";

std::optional<QPoint> ParsePosition(const std::string& text) {
  const QStringList parts = QString::fromStdString(text).split(',');
  if (parts.size() != 2) return std::nullopt;
  bool x_ok = false, y_ok = false;
  const int x = parts[0].trimmed().toInt(&x_ok);
  const int y = parts[1].trimmed().toInt(&y_ok);
  if (!x_ok || !y_ok) return std::nullopt;
  return QPoint(x, y);
}
}  // namespace

std::string TfmMain::CheckSettingsPlace() {
  const ESettingsFileState state = CheckSettingsFile(IniFileName);
  // A file that is no settings file is refused only when the user named it: the usual file,
  // damaged, is better replaced by a good one at close.
  if (state == ESettingsFileState::Unreadable ||
      (state == ESettingsFileState::NotSettings && settings_named_)) {
    may_overwrite_settings_ = false;
    ShowLater(QString::fromStdString(CannotReadMessage(IniFileName, state)));
    return {};
  }
  if (settings_named_ && !SettingsFileWritable(IniFileName)) {
    may_overwrite_settings_ = false;
    ShowLater(QString::fromStdString(WillNotSaveMessage(IniFileName)));
  }
  return IniFileName;
}

void TfmMain::ShowLater(const QString& error) {
  // Once the window is up, through whatever reporter it then has.
  QTimer::singleShot(0, this, [this, error] { report_(error); });
}

void TfmMain::LoadWindowPlace(const std::string& file) {
  stored_place_.reset();
  if (file.empty()) return;
  const TIniFile ini = TIniFile::Load(file);
  if (auto value = ini.Value(SettingsKeys::kSection, kWindowPosition))
    stored_place_ = ParsePosition(*value);
}

void TfmMain::WriteWindowPlace(TIniFile& ini) const {
  const QPoint at = pos();
  ini.WriteString(SettingsKeys::kSection, kWindowPosition,
                  std::to_string(at.x()) + "," + std::to_string(at.y()));
}

void TfmMain::PlaceWindow() {
  if (!stored_place_) return;
  // Only where the title bar can still be reached: a screen unplugged since leaves the window
  // centred.
  const QPoint title = *stored_place_ + QPoint(frameGeometry().width() / 2, 8);
  for (QScreen* screen : QGuiApplication::screens()) {
    if (screen->availableGeometry().contains(title)) {
      move(*stored_place_);
      return;
    }
  }
}

void TfmMain::TakeSystemRate() {
  if (!devices_.System) return;
  system_ = devices_.System->AudioSystem();
  const uint32_t rate = system_.SampleRate;
  if (rate == 0 || rate > static_cast<uint32_t>(kMaxSettingsSampleRate)) return;
  // The default of a first start (a stored rate still wins): no conversion on the way in.
  AudioInParams.SampleRate = rate;
  QComboBox* list = d_.lstAudioInputSampleRate;
  if (list->findText(QString::number(rate)) >= 0) return;
  int at = 0;
  while (at < list->count() && list->itemText(at).toUInt() < rate) ++at;
  list->insertItem(at, QString::number(rate));
}

void TfmMain::ShowAudioSystem() {
  if (!devices_.System) return;
  if (system_.Name == "JACK" || system_.Name.empty()) system_ = devices_.System->AudioSystem();
  QLabel* panel = d_.StatusPanel[1];
  QString text, tip;
  if (system_.Name.empty()) {
    text = "Aucun";
    tip = "Ni serveur JACK, ni PulseAudio, ni carte son ALSA";
    if (d_.StatusPanel[0]->text().isEmpty())
      d_.StatusPanel[0]->setText("Aucun système audio : ni serveur JACK ni carte son");
  } else {
    text = QString::fromStdString(system_.Name);
    tip = "Système audio : " + text;
    if (system_.SampleRate) {
      text += QString(" %1 Hz").arg(system_.SampleRate);
      tip += QString(", à %1 Hz").arg(system_.SampleRate);
    }
    if (system_.Period) {
      text += QString(" / %1").arg(system_.Period);
      tip += QString(", %1 trames par cycle").arg(system_.Period);
    }
    if (system_.SampleRate && AudioInParams.SampleRate != system_.SampleRate) {
      text += QString(" → %1 Hz").arg(AudioInParams.SampleRate);
      tip += QString(" ; l'entrée est convertie en %1 Hz, la fréquence choisie")
                 .arg(AudioInParams.SampleRate);
    }
  }
  panel->setText(text);
  panel->setToolTip(tip);
  // The second panel takes what its text needs, the first what is left of its 300 pixels in
  // the window's fixed width.
  const int needed = std::max(50, panel->fontMetrics().horizontalAdvance(text) + 12);
  panel->setFixedWidth(needed);
  d_.StatusPanel[0]->setFixedWidth(std::min(300, kMainClientWidth - needed - 16));
}

bool TfmMain::MidiNeeded() const {
  return d_.rbStartMidiNote[0]->isChecked() || d_.rbStartMidiNote[1]->isChecked();
}

void TfmMain::OpenMidiWhileRunning() {
  // A channel switched to "Note MIDI" while only sounds ran: its notes need the port now.
  if (!RunFlags.Running || RunFlags.Closing || !MidiNeeded()) return;
  if (!MyMidi.Output || MyMidi.Output->State() == TMidiOutput::kStateOpen) return;
  if (!midi_awaited_.empty()) return;  // opens by itself once the port appears
  try {
    StartMidi();
  } catch (const std::exception& e) {
    report_(QString::fromUtf8(e.what()));
  }
}

void TfmMain::CloseQuietly() {
  save_at_close_ = false;
  report_ = [](const QString&) {};
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (auto* dialog = qobject_cast<QDialog*>(w); dialog && dialog->isVisible()) dialog->reject();
  }
  close();
}
