// TfmMain: the settings file, read while the window is created and written when it closes.
#include "Settings.h"

#include <filesystem>

#include "IniValues.h"
#include "frmMain.h"

void TfmMain::LoadSettings() {
  ::LoadSettings(IniFileName, UserDecimalSeparator(), settings_view_);
}

void TfmMain::SaveSettings() {
  // The per-user folder of an installed program is made by its first save.
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(IniFileName).parent_path(), ec);
  const TIniWriteResult result =
      ::SaveSettings(IniFileName, UserDecimalSeparator(), settings_view_);
  // The user is told, and the window closes all the same: nobody is locked in the program.
  if (!result.Ok) report_(QString::fromStdString(CannotWriteMessage(IniFileName)));
}
