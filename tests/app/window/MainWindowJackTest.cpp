// End to end on the private JACK server: the program's window on the real capture and MIDI
// back-ends. A test client plays a tone burst into Tocsin and records the MIDI it gets back.
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QTemporaryDir>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>

#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

#include "JackTestClient.h"
#include "QtTestApp.h"
#include "frmMain.h"
#include "platform/rt/RtMidiOutService.h"
#include "platform/rt/RtMidiPortNames.h"
#include "platform/rt/RtWaveIn.h"
#include "platform/virtual/VirtualSoundService.h"
#include "platform/SteadyClock.h"

namespace {
constexpr int kTimeoutMs = 20000;  // a loaded machine may take a while to run a cycle

// Picks the entry named text as the user would, running the list's change handler.
bool Pick(QComboBox* list, const QString& text) {
  const int index = list->findText(text);
  if (index < 0) return false;
  list->setCurrentIndex(index);
  emit list->activated(index);
  return true;
}
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
  ASSERT_TRUE(PumpUntil([&] { return client.MidiCount() >= 2; },
                        std::chrono::milliseconds(kTimeoutMs)));
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

// Runs the shared fixture script for a server of this test's own.
int Fixture(const std::string& command, const std::string& name) {
  const std::string cmd = std::string(TOCSIN_JACKD_FIXTURE) + " " + command + " " + name + " " +
                          TOCSIN_JACK_STATE_DIR + " >/dev/null 2>&1";
  return std::system(cmd.c_str());
}
}  // namespace

TEST(MainWindowJack, StopAndCloseReturnAfterTheAudioServerVanished) {
  const std::string name = "tocsin-window-vanish-" + std::to_string(getpid());
  // A loaded machine can take longer than the script's wait to bring a server up: one more try.
  if (Fixture("start", name) != 0) {
    ASSERT_EQ(Fixture("start", name), 0) << "extra server failed to start";
  }
  struct ServerGuard {
    std::string name;
    ~ServerGuard() { Fixture("stop", name); }
  } guard{name};
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
  const char* saved = std::getenv("JACK_DEFAULT_SERVER");
  const std::string saved_value = saved ? saved : "";
  setenv("JACK_DEFAULT_SERVER", name.c_str(), 1);
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
  setenv("JACK_DEFAULT_SERVER", saved_value.c_str(), 1);
  ASSERT_TRUE(d.ledAudioInState->Lit());
  // Blocks flow: the level readouts leave "-.--".
  ASSERT_TRUE(PumpUntil([&] { return d.lblLeftLevelInDb->text() != "-.--"; },
                        std::chrono::milliseconds(kTimeoutMs)));

  std::ifstream pidfile(std::string(TOCSIN_JACK_STATE_DIR) + "/jackd-" + name + ".pid");
  pid_t pid = 0;
  pidfile >> pid;
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
