// End to end on the private JACK server: the program's window on the real capture and MIDI
// back-ends. A test client plays a tone burst into Tocsin and records the MIDI it gets back.
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QTemporaryDir>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

#include "ExtraJackServer.h"
#include "JackTestClient.h"
#include "PickEntry.h"
#include "QtTestApp.h"
#include "WindowChild.h"
#include "frmMain.h"
#include "platform/SteadyClock.h"
#include "platform/rt/RtMidiOutService.h"
#include "platform/rt/RtMidiPortNames.h"
#include "platform/rt/RtWaveIn.h"
#include "platform/virtual/VirtualSoundService.h"

namespace {
constexpr int kTimeoutMs = 20000;  // a loaded machine may take a while to run a cycle

}  // namespace

TEST(MainWindowJack, SoundAboveTheThresholdBecomesMidiNotesWithTheExactBytes) {
  JackTestClient client("tocsin_window_e2e");
  ASSERT_TRUE(client.Ok());
  RunFlags.Reset();
  MyMidi.NoteOn0 = false;
  MyMidi.NoteOn1 = false;
  QTemporaryDir dir;
  TRtWaveIn wave_in;
  TRtMidiOutService midi_out("tocsin_window_e2e_out");
  TVirtualSoundService sound(SystemTickClock());
  TWindowBackends backends;
  backends.WaveIn = &wave_in;
  backends.MidiOut = &midi_out;
  backends.Sound = &sound;
  TfmMain window(std::move(backends), dir.filePath("tocsin.ini").toStdString());
  const TMainWindowDesign& d = window.Design();

  ASSERT_TRUE(Pick(d.lstInputDevices, QString::fromStdString(client.Name())))
      << "the test client is offered as an input device";
  ASSERT_TRUE(Pick(d.lstMidiOut,
                   QString::fromStdString(CutUtf8(client.MidiInPort(), kMidiProductNameMax))));
  ASSERT_TRUE(Pick(d.lstAudioInputSampleRate, QString::number(client.SampleRate())));
  d.ActTriggerStart->trigger();
  ASSERT_TRUE(d.ActTriggerStop->isEnabled()) << "Start succeeded";
  ASSERT_TRUE(d.ledAudioInState->Lit());
  ASSERT_TRUE(d.LedMidiOutState->Lit());

  // Half a second at -20 dB on the left, silence on the right, and silence after.
  const uint32_t rate = client.SampleRate();
  std::vector<float> left(rate, 0.0f), right(rate, 0.0f);
  for (uint32_t i = 0; i < rate / 2; ++i) left[i] = (i % 2 ? -0.1f : 0.1f);
  ASSERT_TRUE(client.Play(left, right));
  ASSERT_TRUE(
      PumpUntil([&] { return client.MidiCount() >= 2; }, std::chrono::milliseconds(kTimeoutMs)));
  std::vector<std::vector<uint8_t>> got;
  for (const auto& ev : client.Midi()) got.push_back(ev.bytes);
  // Channel "1", note "Do3"; 0.1 of full scale is -20 dB: velocity 70 (46 hex).
  EXPECT_EQ(got, (std::vector<std::vector<uint8_t>>{{0x90, 0x3C, 0x46}, {0x80, 0x3C, 0x40}}));
  EXPECT_TRUE(PumpUntil([&] { return d.lblLeftLevelInDb->text() != "-.--"; }));

  d.ActTriggerStop->trigger();
  EXPECT_TRUE(d.ActTriggerStart->isEnabled());
  EXPECT_FALSE(d.ledAudioInState->Lit());
  EXPECT_EQ(d.lblLeftLevelInDb->text(), "-.--");
}

namespace {
// An object deliberately never freed is no leak to report.
void KeepToTheEnd([[maybe_unused]] const void* object) {
#if defined(__SANITIZE_ADDRESS__)
  __lsan_ignore_object(object);
#endif
}

}  // namespace

TEST(MainWindowJack, StopAndCloseReturnAfterTheAudioServerVanished) {
  const TExtraJackServer server("tocsin-window-vanish-" + std::to_string(getpid()));
  ASSERT_TRUE(server.Ok()) << "extra server failed to start";
  // A hung window cannot be recovered from: end the run with a clear message instead.
  struct Watchdog {
    std::atomic<bool> done{false};
    std::thread thread{[this] {
      for (int i = 0; i < 1200 && !done; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
      if (!done) {
        std::fprintf(stderr, "Stop or close hangs after the audio server vanished\n");
        std::_Exit(1);
      }
    }};
    ~Watchdog() {
      done = true;
      thread.join();
    }
  } watchdog;

  RunFlags.Reset();
  QTemporaryDir dir;
  // Only this window's services talk to the extra server; the shared one is never touched.
  TJackServerChoice choice(server.Name());
  // Closing a JACK client whose server was killed crashes inside the JACK library, and both the
  // test client and RtMidi close theirs in their destructors: these two are left to the end of
  // the process on purpose. (RtAudio notices the loss and closes its own client safely.)
  auto& client = *new JackTestClient("tocsin_vanish_synth");  // a MIDI input to send to
  ASSERT_TRUE(client.Ok());
  TRtWaveIn wave_in;
  auto* midi_out = new TRtMidiOutService("tocsin_window_vanish");
  KeepToTheEnd(&client);
  KeepToTheEnd(midi_out);
  TVirtualSoundService sound(SystemTickClock());
  TWindowBackends backends;
  backends.WaveIn = &wave_in;
  backends.MidiOut = midi_out;
  backends.Sound = &sound;
  auto window = std::make_unique<TfmMain>(std::move(backends), dir.filePath("t.ini").toStdString());
  std::vector<QString> errors;
  window->SetErrorReporter([&](const QString& e) { errors.push_back(e); });
  const TMainWindowDesign& d = window->Design();
  ASSERT_TRUE(Pick(d.lstMidiOut,
                   QString::fromStdString(CutUtf8(client.MidiInPort(), kMidiProductNameMax))));
  d.ActTriggerStart->trigger();
  ASSERT_TRUE(errors.empty()) << errors[0].toStdString();
  choice.Restore();
  ASSERT_TRUE(d.ledAudioInState->Lit());
  // Blocks flow: the level readouts leave "-.--".
  ASSERT_TRUE(PumpUntil([&] { return d.lblLeftLevelInDb->text() != "-.--"; },
                        std::chrono::milliseconds(kTimeoutMs)));

  const pid_t pid = server.Pid();
  ASSERT_GT(pid, 0);
  ASSERT_EQ(kill(pid, SIGKILL), 0);
  // The audio library notices the loss on a thread of its own; the window stays responsive.
  PumpUntil([] { return false; }, std::chrono::milliseconds(1500));

  d.ActTriggerStop->trigger();
  EXPECT_TRUE(d.ActTriggerStart->isEnabled());
  EXPECT_FALSE(d.ledAudioInState->Lit());
  d.ActTriggerStart->trigger();  // the device is gone: Start may fail, but must return
  EXPECT_TRUE(window->close());
  window.reset();
}

namespace {
std::string Joined(const std::vector<std::string>& lines) {
  std::string all;
  for (const auto& l : lines) all += l + "\n";
  return all;
}

// A tone of -20 dB on the left for `seconds`, silence on the right.
bool PlayTone(JackTestClient& client, double seconds) {
  const auto frames = static_cast<size_t>(client.SampleRate() * seconds);
  std::vector<float> left(frames), right(frames, 0.0f);
  for (size_t i = 0; i < frames; ++i) left[i] = (i % 2 ? -0.1f : 0.1f);
  return client.Play(left, right);
}
}  // namespace

TEST(MainWindowJack, AKilledServerLeavesNoHangingNoteTheWindowComesBackWithItAndExitsCleanly) {
  std::signal(SIGPIPE, SIG_IGN);  // our clients write to the socket of the server we kill
  TExtraJackServer server("tocsin-window-loss-" + std::to_string(getpid()));
  ASSERT_TRUE(server.Ok()) << "extra server failed to start";
  const std::string& name = server.Name();
  const TJackServerChoice choice(name);

  // The synthesiser and the sound source; dies with the server, so it is never closed.
  auto* synth = new JackTestClient("tocsin_loss_synth");
  KeepToTheEnd(synth);
  ASSERT_TRUE(synth->Ok());
  const std::string input = synth->Name();
  const std::string port = CutUtf8(synth->MidiInPort(), kMidiProductNameMax);
  QTemporaryDir dir;
  TWindowChild child({dir.filePath("t.ini").toStdString(), input, port}, name);
  ASSERT_TRUE(child.Ok());
  ASSERT_TRUE(child.WaitFor("running", kTimeoutMs)) << Joined(child.Lines());

  // A note sounds when the server dies.
  ASSERT_TRUE(PlayTone(*synth, 30.0));
  ASSERT_TRUE(synth->WaitMidiCount(1, kTimeoutMs)) << Joined(child.Lines());
  EXPECT_EQ(synth->Midi()[0].bytes[0], 0x90);
  const pid_t pid = server.Pid();
  ASSERT_GT(pid, 0);
  ASSERT_EQ(kill(pid, SIGKILL), 0);
  ASSERT_TRUE(child.WaitFor("pending", kTimeoutMs)) << Joined(child.Lines());
  EXPECT_TRUE(child.WaitFor("status Serveur audio perdu", kTimeoutMs)) << Joined(child.Lines());

  // The server comes back, and so does a synthesiser of the same name.
  ASSERT_TRUE(server.Start());
  const auto back = std::chrono::steady_clock::now();
  auto* synth2 = new JackTestClient("tocsin_loss_synth");
  KeepToTheEnd(synth2);
  ASSERT_TRUE(synth2->Ok());
  ASSERT_TRUE(child.WaitFor("running", kTimeoutMs)) << Joined(child.Lines());
  std::printf(
      "running again %.0f ms after the server answered\n",
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - back).count());
  EXPECT_TRUE(child.WaitFor("status Serveur audio revenu", kTimeoutMs)) << Joined(child.Lines());
  // The note that sounded at the loss is ended on the port found again by its name.
  ASSERT_TRUE(synth2->WaitMidiCount(1, kTimeoutMs)) << Joined(child.Lines());
  EXPECT_EQ(synth2->Midi()[0].bytes, (std::vector<uint8_t>{0x80, 0x3C, 0x40}));
  // Triggering runs again: a new tone gives a fresh note-on and its note-off.
  ASSERT_TRUE(PlayTone(*synth2, 0.5));
  ASSERT_TRUE(synth2->WaitMidiCount(3, kTimeoutMs)) << Joined(child.Lines());
  EXPECT_EQ(synth2->Midi()[1].bytes[0], 0x90);
  EXPECT_EQ(synth2->Midi()[2].bytes, (std::vector<uint8_t>{0x80, 0x3C, 0x40}));

  // The server dies again and the window closes at once: still a clean exit.
  ASSERT_EQ(kill(server.Pid(), SIGKILL), 0);
  child.Send("close");
  const int status = child.WaitExit(30000);
  ASSERT_NE(status, -1) << "the window did not close\n" << Joined(child.Lines());
  EXPECT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status) << "\n"
                                 << Joined(child.Lines());
  if (WIFEXITED(status)) {
    EXPECT_EQ(WEXITSTATUS(status), 0);
  }
}
