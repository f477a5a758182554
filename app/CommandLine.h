// The command line of the tocsin program, read with Qt's parser before any window system is
// touched, so that --help and --version work without a display. The command speaks English, as
// tocsin-render does; the window speaks French. Qt's own window options (-platform, -style ...)
// are let through for QApplication. Main thread, before the application object exists.
#pragma once

#include <QStringList>
#include <string>

struct TCommandLine {
  // Set when the program must print and stop: --help, --version or a bad command line.
  bool Exit = false;
  int ExitCode = 0;  // 0 for --help and --version, 2 for a bad command line
  std::string Out;   // for standard output
  std::string Err;   // for standard error

  std::string SettingsFile;  // --settings FILE; empty: the usual place
  bool Start = false;        // --start: trigger once the window is up
  std::string JackName;      // --jack-name NAME; empty: "Tocsin"
};

// arguments: as QCoreApplication::arguments() gives them, the program first. version: the
// program's version, printed by --version.
TCommandLine ParseCommandLine(const QStringList& arguments, const QString& version);
