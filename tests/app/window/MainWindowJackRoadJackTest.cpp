// The program's real window on its JACK back-end (its own client, in a process of its own) as a
// user meets it, on the private jackd and, through pipewire_window_road, on the private
// PipeWire: a drum client plays into Tocsin, a synthesiser client of its own receives the
// notes. Stop during a held note, Start during a held tone, a synthesiser that comes late or
// comes back, and a server restarted while the window is idle.
#include <gtest/gtest.h>
#include <jack/jack.h>

#include <QTemporaryDir>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

#include "ExtraJackServer.h"
#include "JackTestClient.h"
#include "WindowChild.h"
#include "platform/MidiOutService.h"
#include "platform/rt/RtMidiPortNames.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr int kTimeoutMs = 30000;  // a loaded machine may take its time to run a cycle
const Bytes kNoteOff{0x80, 0x3C, 0x40};

std::string Unique(const std::string& stem) {
  return stem + "_" + std::to_string(getpid());
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string all;
  for (const auto& l : lines) all += l + "\n";
  return all;
}

std::string Listed(const std::vector<JackTestClient::MidiEvent>& events) {
  std::string all;
  char line[64];
  for (const auto& e : events) {
    std::snprintf(line, sizeof line, "%llu:", static_cast<unsigned long long>(e.frame));
    all += line;
    for (uint8_t b : e.bytes) {
      std::snprintf(line, sizeof line, " %02x", b);
      all += line;
    }
    all += "\n";
  }
  return all;
}

std::vector<Bytes> Received(const JackTestClient& synth) {
  std::vector<Bytes> out;
  for (const auto& e : synth.Midi()) out.push_back(e.bytes);
  return out;
}

// A tone peaking at -20 dB on the left for `seconds`, silence on the right: a sine of 20 frames,
// so that every block of 32 frames holds a peak, well below the frequencies the capture's rate
// conversion takes away when the server runs at another rate (PipeWire's 48 kHz).
bool PlayTone(JackTestClient& drums, double seconds) {
  const auto frames = static_cast<size_t>(drums.SampleRate() * seconds);
  std::vector<float> left(frames), right(frames, 0.0f);
  for (size_t i = 0; i < frames; ++i)
    left[i] = static_cast<float>(0.1 * std::sin(2 * M_PI * static_cast<double>(i % 20) / 20.0));
  return drums.Play(left, right);
}

// Whether the port has a connection, as another client sees it.
bool Connected(const JackTestClient& by, const std::string& port) {
  jack_port_t* p = jack_port_by_name(by.Handle(), port.c_str());
  return p && jack_port_connected(p) > 0;
}

bool WaitUntil(const std::function<bool()>& pred, int timeout_ms = kTimeoutMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!pred()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

// A client of a server that is killed must never be closed (JACK frees it again once a new
// client opens): it is left to the end of the process.
template <typename T>
T* KeepToTheEnd(T* object) {
#if defined(__SANITIZE_ADDRESS__)
  __lsan_ignore_object(object);
#endif
  return object;
}

bool OnPipeWire() {
  return std::getenv("TOCSIN_PIPEWIRE_DIR") != nullptr;
}

// A server the test may kill and start again: a jackd of its own (libjack keeps one server's
// books per process, so all the test's clients live there), or the private PipeWire.
class TKillableServer {
 public:
  explicit TKillableServer(const std::string& name) {
    if (OnPipeWire()) {
      dir_ = std::getenv("TOCSIN_PIPEWIRE_DIR");
      fixture_ = std::getenv("TOCSIN_PIPEWIRE_FIXTURE");
      ok_ = true;
      return;
    }
    jackd_ = std::make_unique<TExtraJackServer>(name);
    ok_ = jackd_->Ok();
    if (ok_) choice_ = std::make_unique<TJackServerChoice>(jackd_->Name());
  }
  bool Ok() const { return ok_; }
  bool Kill() const { return kill(Pid(), SIGKILL) == 0; }
  // Returns once the server answers.
  bool Restart() const {
    if (jackd_) return jackd_->Start();
    return std::system((fixture_ + " start " + dir_ + " >/dev/null 2>&1").c_str()) == 0;
  }

 private:
  pid_t Pid() const {
    if (jackd_) return jackd_->Pid();
    std::ifstream in(dir_ + "/pipewire.pid");
    pid_t p = 0;
    in >> p;
    return p;
  }
  bool ok_ = false;
  std::string dir_, fixture_;
  std::unique_ptr<TExtraJackServer> jackd_;
  std::unique_ptr<TJackServerChoice> choice_;
};

// Closes the window as its close box does: it must exit cleanly.
void Close(TWindowChild& child) {
  child.Send("close");
  const int status = child.WaitExit(kTimeoutMs);
  ASSERT_NE(status, -1) << "the window did not close\n" << Joined(child.Lines());
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << Joined(child.Lines());
}

class WindowJackRoad : public ::testing::Test {
 protected:
  void SetUp() override {
    drums = std::make_unique<JackTestClient>(Unique("road_drums"));
    synth = std::make_unique<JackTestClient>(Unique("road_synth"));
    ASSERT_TRUE(drums->Ok() && synth->Ok()) << "no JACK server";
  }
  // The window on the drums and the synthesiser (or the port named so), started unless idle.
  std::unique_ptr<TWindowChild> Window(const std::string& port, bool idle = false) {
    std::vector<std::string> args = {dir.filePath("tocsin.ini").toStdString(), drums->Name(),
                                     CutUtf8(port, kMidiProductNameMax)};
    if (idle) args.push_back("--idle");
    auto child = std::make_unique<TWindowChild>(args, "");
    EXPECT_TRUE(child->Ok());
    return child;
  }

  QTemporaryDir dir;
  std::unique_ptr<JackTestClient> drums, synth;
};

TEST_F(WindowJackRoad, StopDuringAHeldNoteDeliversItsNoteOffBeforeThePortCloses) {
  auto window = Window(synth->MidiInPort());
  ASSERT_TRUE(window->WaitFor("running", kTimeoutMs)) << Joined(window->Lines());
  ASSERT_TRUE(PlayTone(*drums, 8.0));
  ASSERT_TRUE(synth->WaitMidiCount(1, kTimeoutMs)) << Joined(window->Lines());
  window->Send("stop");
  ASSERT_TRUE(window->WaitFor("stopped", kTimeoutMs)) << Joined(window->Lines());
  // The note-off was written before the connection went (the synthesiser's own thread may take
  // a moment to note it).
  EXPECT_TRUE(synth->WaitMidiCount(2, kTimeoutMs));
  EXPECT_TRUE(synth->WaitCycles(8, kTimeoutMs));
  const auto got = Received(*synth);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0][0], 0x90);
  EXPECT_EQ(got[1], kNoteOff);
  EXPECT_FALSE(Connected(*synth, synth->MidiInPort())) << "Stop disconnects the port";
  Close(*window);
}

TEST_F(WindowJackRoad, StartDuringAHeldToneGivesOneNoteOnAndLaterItsNoteOff) {
  // Blocks of 32 frames: the first one is whole within the capture's first cycle, long before
  // a port that opened later could take its note-on.
  std::ofstream(dir.filePath("tocsin.ini").toStdString()) << "[Main]\nAudioInputBufferSize=32\n";
  auto window = Window(synth->MidiInPort(), true);
  ASSERT_TRUE(window->WaitFor("stopped", kTimeoutMs)) << Joined(window->Lines());
  for (int run = 0; run < 3; ++run) {
    const size_t before = synth->MidiCount();
    ASSERT_TRUE(PlayTone(*drums, 1.5));
    ASSERT_TRUE(drums->WaitCycles(4, kTimeoutMs));
    window->Send("start");
    ASSERT_TRUE(window->WaitFor("running", kTimeoutMs)) << Joined(window->Lines());
    ASSERT_TRUE(drums->WaitPlayed(kTimeoutMs));
    ASSERT_TRUE(synth->WaitMidiCount(before + 2, kTimeoutMs)) << "run " << run << "\n"
                                                              << Joined(window->Lines());
    window->Send("stop");
    ASSERT_TRUE(window->WaitFor("stopped", kTimeoutMs)) << Joined(window->Lines());
    const auto got = Received(*synth);
    ASSERT_EQ(got.size(), before + 2) << "run " << run << "\n" << Listed(synth->Midi());
    EXPECT_EQ(got[before][0], 0x90) << "run " << run;
    EXPECT_EQ(got[before + 1], kNoteOff) << "run " << run;
  }
  Close(*window);
}

TEST_F(WindowJackRoad, ASynthStartedLateOrRestartedGetsTheNotesWithoutStopAndStart) {
  const std::string name = Unique("road_late");
  const std::string port = CutUtf8(name + ":midi_in", kMidiProductNameMax);
  auto window = Window(port);
  ASSERT_TRUE(window->WaitFor("running", kTimeoutMs)) << Joined(window->Lines());
  EXPECT_TRUE(window->WaitFor("status Port MIDI absent : " + port, kTimeoutMs))
      << Joined(window->Lines());

  // The synthesiser comes: it is listed, connected, and plays.
  auto late = std::make_unique<JackTestClient>(name);
  ASSERT_TRUE(late->Ok());
  ASSERT_TRUE(window->WaitFor("status Port MIDI connect\xC3\xA9 : " + port, kTimeoutMs))
      << Joined(window->Lines());
  EXPECT_TRUE(window->WaitFor("midi-light on", kTimeoutMs));
  bool listed = false;
  for (const auto& line : window->Lines()) listed = listed || line.find(port) != std::string::npos;
  EXPECT_TRUE(listed) << Joined(window->Lines());
  ASSERT_TRUE(WaitUntil([&] { return Connected(*late, late->MidiInPort()); }));
  ASSERT_TRUE(PlayTone(*drums, 0.5));
  ASSERT_TRUE(late->WaitMidiCount(2, kTimeoutMs)) << Joined(window->Lines());
  EXPECT_EQ(Received(*late)[1], kNoteOff);

  // It goes and comes back under the same name: connected again by itself.
  late.reset();
  ASSERT_TRUE(synth->WaitCycles(8, kTimeoutMs));
  late = std::make_unique<JackTestClient>(name);
  ASSERT_TRUE(late->Ok());
  ASSERT_TRUE(WaitUntil([&] { return Connected(*late, late->MidiInPort()); }))
      << Joined(window->Lines());
  ASSERT_TRUE(drums->WaitPlayed(kTimeoutMs));
  ASSERT_TRUE(PlayTone(*drums, 0.5));
  ASSERT_TRUE(late->WaitMidiCount(2, kTimeoutMs)) << Joined(window->Lines());
  EXPECT_EQ(Received(*late)[0][0], 0x90);
  EXPECT_EQ(Received(*late)[1], kNoteOff);
  for (const auto& line : window->Lines()) EXPECT_EQ(line.rfind("error", 0), std::string::npos);
  Close(*window);
}

// What goes wrong around a running window hangs nothing and leaves no note sounding: the
// synthesiser vanishes while a note sounds, a port with a name longer than a product name is
// renamed (only its letter case changes) while it is connected, a second Tocsin runs beside.
TEST_F(WindowJackRoad, AVanishingOrRenamedSynthAndASecondTocsinHangNothing) {
  auto window = Window(synth->MidiInPort());
  ASSERT_TRUE(window->WaitFor("running", kTimeoutMs)) << Joined(window->Lines());
  ASSERT_TRUE(PlayTone(*drums, 1.0));
  ASSERT_TRUE(synth->WaitMidiCount(1, kTimeoutMs));
  synth.reset();  // gone with its note: nothing left to end it on
  ASSERT_TRUE(drums->WaitPlayed(kTimeoutMs));
  ASSERT_TRUE(drums->WaitCycles(16, kTimeoutMs));
  window->Send("stop");
  ASSERT_TRUE(window->WaitFor("stopped", kTimeoutMs)) << Joined(window->Lines());
  Close(*window);

  // A long port name, shown cut; renamed in letter case while connected: the connection, and
  // so the note-off, still reach it.
  auto longer = std::make_unique<JackTestClient>(Unique("road_synthesiser_with_a_long_name"));
  ASSERT_TRUE(longer->Ok());
  ASSERT_GT(longer->MidiInPort().size(), kMidiProductNameMax);
  auto second = Window(longer->MidiInPort());
  ASSERT_TRUE(second->WaitFor("running", kTimeoutMs)) << Joined(second->Lines());
  ASSERT_TRUE(PlayTone(*drums, 3.0));
  ASSERT_TRUE(longer->WaitMidiCount(1, kTimeoutMs)) << Joined(second->Lines());
  jack_port_t* in = jack_port_by_name(longer->Handle(), longer->MidiInPort().c_str());
  ASSERT_NE(in, nullptr);
  EXPECT_EQ(jack_port_rename(longer->Handle(), in, "MIDI_IN"), 0);
  // A second Tocsin beside it gets a name of its own and runs too.
  auto other = std::make_unique<JackTestClient>(Unique("road_other"));
  ASSERT_TRUE(other->Ok());
  QTemporaryDir dir2;
  TWindowChild third({dir2.filePath("t.ini").toStdString(), drums->Name(),
                      CutUtf8(other->MidiInPort(), kMidiProductNameMax)},
                     "");
  ASSERT_TRUE(third.WaitFor("running", kTimeoutMs)) << Joined(third.Lines());
  ASSERT_TRUE(other->WaitMidiCount(1, kTimeoutMs)) << Joined(third.Lines());
  const uint64_t gaps = longer->Gaps();
  second->Send("stop");
  ASSERT_TRUE(second->WaitFor("stopped", kTimeoutMs)) << Joined(second->Lines());
  EXPECT_TRUE(longer->WaitMidiCount(2, kTimeoutMs))
      << "cycles the server ran without the synthesiser meanwhile: " << longer->Gaps() - gaps
      << "\n" << Joined(second->Lines()) << "\nthird:\n" << Joined(third.Lines());
  EXPECT_EQ(Received(*longer).back(), kNoteOff);
  third.Send("stop");
  ASSERT_TRUE(third.WaitFor("stopped", kTimeoutMs)) << Joined(third.Lines());
  EXPECT_TRUE(other->WaitMidiCount(2, kTimeoutMs));
  EXPECT_EQ(Received(*other).back(), kNoteOff);
  Close(*second);
  Close(third);
}

// The server dies while Stop waits for its note-offs, or while the window closes: both return.
TEST(WindowJackRoadServer, AServerKilledDuringStopOrCloseHangsNothing) {
  std::signal(SIGPIPE, SIG_IGN);  // our clients write to the socket of the server we kill
  QTemporaryDir dir;
  TKillableServer server(Unique("tocsin-road-kill"));
  ASSERT_TRUE(server.Ok());
  for (const std::string when : {"stop", "close"}) {
    // Clients of the server that is killed: never closed.
    auto* drums = KeepToTheEnd(new JackTestClient(Unique("road_kill_drums")));
    auto* synth = KeepToTheEnd(new JackTestClient(Unique("road_kill_synth")));
    ASSERT_TRUE(drums->Ok() && synth->Ok());
    TWindowChild window({dir.filePath(QString::fromStdString(when)).toStdString(), drums->Name(),
                         CutUtf8(synth->MidiInPort(), kMidiProductNameMax)},
                        "");
    ASSERT_TRUE(window.WaitFor("running", kTimeoutMs)) << Joined(window.Lines());
    ASSERT_TRUE(PlayTone(*drums, 10.0));
    ASSERT_TRUE(synth->WaitMidiCount(1, kTimeoutMs));
    window.Send(when);
    ASSERT_TRUE(server.Kill());
    if (when == "stop") {
      EXPECT_TRUE(window.WaitFor("stopped", kTimeoutMs)) << Joined(window.Lines());
      window.Send("close");
    }
    const int status = window.WaitExit(kTimeoutMs);
    ASSERT_NE(status, -1) << "the window hangs after " << when << "\n" << Joined(window.Lines());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << Joined(window.Lines());
    ASSERT_TRUE(server.Restart());
  }
}

// The server restarted while the window is idle: the window's client and its five ports are
// back within about two seconds, the status bar says so, and Start works on the new server;
// restarted again while the window runs, triggering starts again by itself. On
// jackd the test's clients all live on a server of the test's own (libjack keeps one server's
// books per process).
TEST(WindowJackRoadServer, AnIdleOrRunningWindowComesBackWithARestartedServer) {
  QTemporaryDir dir;
  std::signal(SIGPIPE, SIG_IGN);  // our clients write to the socket of the server we kill
  TKillableServer server(Unique("tocsin-road-idle"));
  ASSERT_TRUE(server.Ok());
  // Clients of the server that will be killed: never closed.
  auto* drums1 = KeepToTheEnd(new JackTestClient(Unique("road_idle_drums")));
  ASSERT_TRUE(drums1->Ok());
  TWindowChild window({dir.filePath("idle.ini").toStdString(), drums1->Name(), "", "--idle"}, "");
  ASSERT_TRUE(window.WaitFor("stopped", kTimeoutMs)) << Joined(window.Lines());
  ASSERT_TRUE(WaitUntil([&] { return jack_port_by_name(drums1->Handle(), "Tocsin:midi_out"); }))
      << Joined(window.Lines());

  ASSERT_TRUE(server.Kill());
  ASSERT_TRUE(window.WaitFor("status Serveur audio perdu", kTimeoutMs)) << Joined(window.Lines());
  const auto asked = std::chrono::steady_clock::now();
  ASSERT_TRUE(server.Restart()) << "the server did not start again";
  // The script returns once the server answers a client of its own.
  const auto answered = std::chrono::steady_clock::now();
  ASSERT_TRUE(window.WaitFor("status Serveur audio revenu", kTimeoutMs)) << Joined(window.Lines());
  auto ms = [](auto from) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - from)
        .count();
  };
  std::printf(
      "the idle window was back %.0f ms after the server answered (%.0f ms after the restart "
      "began)\n",
      ms(answered), ms(asked));
  EXPECT_LT(ms(answered), 5000)
      << "meant to be within two seconds; a loaded machine gets more room";
  auto* probe = KeepToTheEnd(new JackTestClient(Unique("road_idle_probe")));
  ASSERT_TRUE(probe->Ok());
  for (const char* port : {"in_1", "in_2", "midi_out", "out_1", "out_2"})
    EXPECT_TRUE(WaitUntil([&] {
      return jack_port_by_name(probe->Handle(), (std::string("Tocsin:") + port).c_str());
    })) << port;

  // Start works on the new server, where the drums are back too.
  auto* drums2 = KeepToTheEnd(new JackTestClient(Unique("road_idle_drums")));
  ASSERT_TRUE(drums2->Ok());
  ASSERT_TRUE(window.WaitFor("midi-ports", kTimeoutMs));
  window.Send("start");
  ASSERT_TRUE(window.WaitFor("running", kTimeoutMs)) << Joined(window.Lines());
  for (const auto& line : window.Lines()) EXPECT_EQ(line.rfind("error", 0), std::string::npos);

  // Restarted while running: triggering starts again by itself once the drums are back.
  ASSERT_TRUE(server.Kill());
  ASSERT_TRUE(window.WaitFor("pending", kTimeoutMs)) << Joined(window.Lines());
  ASSERT_TRUE(server.Restart());
  auto* drums3 = KeepToTheEnd(new JackTestClient(Unique("road_idle_drums")));
  ASSERT_TRUE(drums3->Ok());
  EXPECT_TRUE(window.WaitFor("running", kTimeoutMs)) << Joined(window.Lines());
  // Ends with the server killed again: the window still closes cleanly.
  ASSERT_TRUE(server.Kill());
  Close(window);
  if (OnPipeWire()) server.Restart();  // the rest of the batch runs on it
}

}  // namespace
