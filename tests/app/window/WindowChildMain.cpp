// The program's real window on the real back-ends, in a process of its own, for tests whose
// audio server goes away or that drive the window as a user does: the parent reads its state
// lines and gives it commands.
//   tocsin_window_child INI INPUT_DEVICE MIDI_PORT [--idle]
// Picks the input and the MIDI port (a port that is not there is stored as chosen, as a settings
// file would name it) and presses Start, unless --idle. Prints "running", "stopped", "pending"
// (a restart waits for the server), "status TEXT", "midi-light on|off" and "midi-ports A|B|..."
// as they change, and "error TEXT" for an error the window shows. Reads "start", "stop" and
// "close" on stdin. Exits 0 once the window and the services are gone.
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QSocketNotifier>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

#include "AdStatLt.h"
#include "AppState.h"
#include "PickEntry.h"
#include "RealDevices.h"
#include "frmMain.h"

namespace {
void Say(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

std::string Entries(QComboBox* list) {
  std::string all;
  for (int i = 0; i < list->count(); ++i) all += (i ? "|" : "") + list->itemText(i).toStdString();
  return all;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) return 2;
  const bool idle = argc > 4 && std::strcmp(argv[4], "--idle") == 0;
  std::signal(SIGPIPE, SIG_IGN);
  QApplication app(argc, argv);
  {
    TRealServices services;
    TfmMain window(services.Backends(), argv[1]);
    window.SetErrorReporter([](const QString& e) { Say("error " + e.toStdString()); });
    const TMainWindowDesign& d = window.Design();
    if (!Pick(d.lstInputDevices, argv[2])) Say("error no input " + std::string(argv[2]));
    // A port that is not there yet stays the one chosen, as when a settings file names it.
    if (!Pick(d.lstMidiOut, argv[3])) MyMidi.DeviceName = argv[3];
    if (!idle) d.ActTriggerStart->trigger();

    std::string state, status, light, ports;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
      const std::string now = RunFlags.Running                ? "running"
                              : window.ServerRestartPending() ? "pending"
                                                              : "stopped";
      if (now != state) Say(state = now);
      const std::string text = d.StatusPanel[0]->text().toStdString();
      if (text != status) Say("status " + (status = text));
      const std::string lit = d.LedMidiOutState->Lit() ? "on" : "off";
      if (lit != light) Say("midi-light " + (light = lit));
      const std::string entries = Entries(d.lstMidiOut);
      if (entries != ports) Say("midi-ports " + (ports = entries));
    });
    watch.start(20);
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
      std::string line;
      if (!std::getline(std::cin, line) || line == "close") {
        input.setEnabled(false);
        window.close();
      } else if (line == "start") {
        d.ActTriggerStart->trigger();
      } else if (line == "stop") {
        d.ActTriggerStop->trigger();
      }
    });
    window.show();
    app.exec();
    RunFlags.Finalizing = true;
  }
  Say("exit");
  return 0;
}
