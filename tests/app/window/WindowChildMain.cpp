// The program's real window on the real back-ends, in a process of its own, for tests whose
// audio server goes away: the parent reads its state lines and tells it when to close.
//   tocsin_window_child INI INPUT_DEVICE MIDI_PORT
// Prints "running", "stopped", "pending" (a restart waits for the server) and "status TEXT" as
// they change; reads "close" on stdin. Exits 0 once the window and the services are gone.
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QSocketNotifier>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <string>

#include "AppState.h"
#include "PickEntry.h"
#include "RealDevices.h"
#include "frmMain.h"

namespace {
void Say(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  std::signal(SIGPIPE, SIG_IGN);
  QApplication app(argc, argv);
  {
    TRealServices services;
    TfmMain window(services.Backends(), argv[1]);
    window.SetErrorReporter([](const QString& e) { Say("error " + e.toStdString()); });
    const TMainWindowDesign& d = window.Design();
    if (!Pick(d.lstInputDevices, argv[2])) Say("error no input " + std::string(argv[2]));
    if (!Pick(d.lstMidiOut, argv[3])) Say("error no port " + std::string(argv[3]));
    d.ActTriggerStart->trigger();

    std::string state, status;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
      const std::string now = RunFlags.Running                ? "running"
                              : window.ServerRestartPending() ? "pending"
                                                              : "stopped";
      if (now != state) Say(state = now);
      const std::string text = d.StatusPanel[0]->text().toStdString();
      if (text != status) Say("status " + (status = text));
    });
    watch.start(20);
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
      std::string line;
      if (!std::getline(std::cin, line) || line == "close") {
        input.setEnabled(false);
        window.close();
      }
    });
    window.show();
    app.exec();
    RunFlags.Finalizing = true;
  }
  Say("exit");
  return 0;
}
