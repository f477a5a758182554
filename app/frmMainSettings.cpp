// TfmMain: the settings file, read while the window is created and written when it closes.
#include <QComboBox>
#include <filesystem>

#include "AppState.h"
#include "IniValues.h"
#include "Settings.h"
#include "SettingsKeys.h"
#include "TextMatch.h"
#include "frmMain.h"
#include "platform/WaveIn.h"

void TfmMain::LoadSettings() {
  // A file that cannot be read, or holds no settings, gives the defaults and is left alone.
  const std::string from = CheckSettingsPlace();
  ::LoadSettings(from, UserDecimalSeparator(), settings_view_);
  LoadWindowPlace(from);
  DefaultInputByItsName();
}

void TfmMain::DefaultInputByItsName() {
  // An input stored by the name of what "Default" stands for (jackd's "system", no longer
  // listed apart) is that default.
  if (!devices_.WaveIn || !devices_.Capture) return;
  const std::string alias = devices_.WaveIn->DefaultDeviceAlias();
  if (alias.empty() || !SameTextIgnoringCase(MyAudio.InputDeviceName, alias)) return;
  try {
    devices_.Capture->SetDeviceName(SettingsKeys::kDefaultDevice);
    MyAudio.InputDeviceName = SettingsKeys::kDefaultDevice;
    d_.lstInputDevices->setCurrentIndex(d_.lstInputDevices->findText(SettingsKeys::kDefaultDevice));
  } catch (...) {
    // as any refused device name while applying the settings
  }
}

void TfmMain::SaveSettings() {
  // A file left alone was said so at start: no second message at close.
  if (!save_at_close_ || !may_overwrite_settings_) return;
  const std::string problem = SaveSettingsNow();
  // The user is told, and the window closes all the same: nobody is locked in the program.
  if (!problem.empty()) report_(QString::fromStdString(problem));
}

std::string TfmMain::SaveSettingsNow(const std::function<void(TIniFile&)>& also) {
  if (!may_overwrite_settings_) return CannotWriteMessage(IniFileName);
  // The per-user folder of an installed program is made by its first save.
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(IniFileName).parent_path(), ec);
  // Other sections and keys of the file survive, as with the platform's profile service.
  TIniFile ini = TIniFile::Load(IniFileName);
  WriteSettings(ini, UserDecimalSeparator(), settings_view_);
  WriteWindowPlace(ini);
  if (also) also(ini);
  if (!ini.Save(IniFileName).Ok) return CannotWriteMessage(IniFileName);
  return {};
}
