// Tocsin: turns an audio input into MIDI notes or sounds. The program reads its command line,
// joins a session manager when one asks (NSM_URL), creates the main window on the system's
// devices and runs the message loop until the window closes.
#include <QApplication>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "AppIcon.h"
#include "AppState.h"
#include "CommandLine.h"
#include "RealDevices.h"
#include "SessionLink.h"
#include "Settings.h"
#include "SettingsPlace.h"
#include "Translations.h"
#include "frmMain.h"

namespace {
// Read before any window system is touched: --help and --version need no display.
TCommandLine ReadCommandLine(int argc, char** argv) {
  QCoreApplication core(argc, argv);
  return ParseCommandLine(QCoreApplication::arguments(), TOCSIN_PROGRAM_VERSION);
}
}  // namespace

int main(int argc, char** argv) {
  // A write to the socket of an audio server that died must fail, not end the program.
  std::signal(SIGPIPE, SIG_IGN);
  const TCommandLine command = ReadCommandLine(argc, argv);
  if (command.Exit) {
    std::fputs(command.Out.c_str(), stdout);
    std::fputs(command.Err.c_str(), stderr);
    return command.ExitCode;
  }

  QApplication app(argc, argv);
  app.setApplicationName("Tocsin");
  app.setApplicationVersion(TOCSIN_PROGRAM_VERSION);
  app.setWindowIcon(TocsinIcon());
  InstallFrenchTranslations(app);

  std::unique_ptr<TSessionLink> session;
  if (const char* url = std::getenv("NSM_URL"); url && *url)
    session = TSessionLink::Open(url, argv[0]);

  const std::string wanted = session                    ? session->ClientId()
                             : command.JackName.empty() ? std::string("Tocsin")
                                                        : command.JackName;
  TRealServices services(wanted.empty() ? std::string("Tocsin") : wanted);
  const std::string client = services.ClientName();

  // The session's file, the one named on the command line, or this instance's own in the usual
  // place: "Tocsin-01.ini" for a second Tocsin on one JACK server, "tocsin-2.ini" for a second
  // one without JACK (the first holds its file while it runs).
  TSettingsLock lock;
  TfmMain::TSettingsPlace place;
  if (session) {
    place = {session->SettingsFile(), true};
  } else if (!command.SettingsFile.empty()) {
    place = {command.SettingsFile, true};
  } else {
    place.File = ClaimSettingsFile(InstanceSettingsFile(UsualSettingsFile(), client), lock);
  }

  int result;
  {
    TfmMain window(services.Backends(), place);
    // Connections are made to this instance's JACK name: say it when it is not the usual one.
    if (!client.empty() && client != "Tocsin" && services.AudioSystem().Name == "JACK")
      window.setWindowTitle(window.windowTitle() + " (JACK : " + QString::fromStdString(client) +
                            ")");
    bool resumed = false;  // triggering ran when the session last saved
    if (session) {
      app.setQuitOnLastWindowClosed(false);  // a hidden window is no reason to end
      resumed = session->Attach(window);
    } else {
      window.show();
    }
    if (command.Start || resumed) {
      // Once the window is up; a failure shows the usual error (once) and leaves Tocsin waiting.
      QTimer::singleShot(0, &window, [&window] { window.Design().ActTriggerStart->trigger(); });
    }
    result = app.exec();
    RunFlags.Finalizing = true;  // anything still running on other threads does nothing now
  }
  return result;
}
