// Tocsin: turns an audio input into MIDI notes or sounds. The program creates the main window
// on the system's devices and runs the message loop until the window closes.
#include <QApplication>
#include <csignal>

#include "AppIcon.h"
#include "AppState.h"
#include "RealDevices.h"
#include "frmMain.h"

int main(int argc, char** argv) {
  // A write to the socket of an audio server that died must fail, not end the program.
  std::signal(SIGPIPE, SIG_IGN);
  QApplication app(argc, argv);
  app.setApplicationName("Tocsin");
  app.setWindowIcon(TocsinIcon());
  TRealServices services;
  int result;
  {
    TfmMain window(services.Backends());
    // A second Tocsin on the same server runs under JACK's own variant of the name: say which,
    // so that connections are made to the right one.
    const std::string renamed = services.RenamedJackClient();
    if (!renamed.empty())
      window.setWindowTitle(window.windowTitle() + " (JACK : " + QString::fromStdString(renamed) +
                            ")");
    window.show();
    result = app.exec();
    RunFlags.Finalizing = true;  // anything still running on other threads does nothing now
  }
  return result;
}
