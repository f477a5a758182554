// The program's own JACK client on the private test server: one client "Tocsin" with its five
// ports, the device lists, capture sample-exact in whole blocks, exact MIDI bytes, sounds and
// output blocks heard at another client, and a server that dies and comes back.
#include <gtest/gtest.h>
#include <jack/jack.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

#include "ExtraJackServer.h"
#include "JackTestClient.h"
#include "WavImage.h"
#include "audio/ALAudioIn.h"
#include "audio/ALGenericFilter.h"
#include "platform/jack/JackClient.h"
#include "platform/jack/JackMidiOutService.h"
#include "platform/jack/JackSoundService.h"
#include "platform/jack/JackWaveIn.h"
#include "platform/jack/JackWaveOut.h"
#include "platform/virtual/LoopDispatcher.h"

namespace {

using namespace std::chrono_literals;

bool WaitUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout = 30s) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!pred()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(2ms);
  }
  return true;
}

std::string Unique(const std::string& stem) {
  return stem + "_" + std::to_string(getpid());
}

template <typename T>
bool Contains(const std::vector<T>& list, const T& value) {
  return std::find(list.begin(), list.end(), value) != list.end();
}

// Every sample a filter's handler receives, interleaved stereo, and the block sizes.
struct Collector {
  std::mutex mutex;
  std::vector<uint32_t> block_sizes;
  std::vector<int16_t> samples;
  size_t Frames() {
    std::lock_guard lock(mutex);
    return samples.size() / 2;
  }
  void Attach(TALGenericFilter& filter) {
    filter.SetOnProcessData(
        [this](TALGenericFilter&, const IALAudioBufferPtr& in, IALAudioBufferPtr&, bool&) {
          auto access = in->GetAccess();
          std::lock_guard lock(mutex);
          block_sizes.push_back(access->Count());
          for (uint32_t i = 0; i < access->Count(); ++i) {
            samples.push_back(static_cast<int16_t>(access->GetSample(i, 0)));
            samples.push_back(static_cast<int16_t>(access->GetSample(i, 1)));
          }
        });
  }
};

TEST(JackBackend, OneClientWithFiveStablePortsAndTheListsOfOtherClients) {
  JackTestClient peer(Unique("tocsin_peer"));
  ASSERT_TRUE(peer.Ok());
  TJackClient client("Tocsin");
  ASSERT_TRUE(client.Ok());
  EXPECT_EQ(client.ClientName(), "Tocsin");
  EXPECT_FALSE(client.Renamed());

  // Other clients see the ports a moment later on PipeWire.
  ASSERT_TRUE(peer.WaitForPorts(
      {"Tocsin:in_1", "Tocsin:in_2", "Tocsin:midi_out", "Tocsin:out_1", "Tocsin:out_2"}));
  const char** found = jack_get_ports(peer.Handle(), "^Tocsin:", nullptr, 0);
  ASSERT_NE(found, nullptr);
  std::vector<std::string> ports;
  for (const char** p = found; *p; ++p) ports.emplace_back(*p);
  jack_free(found);
  std::sort(ports.begin(), ports.end());
  EXPECT_EQ(ports, (std::vector<std::string>{"Tocsin:in_1", "Tocsin:in_2", "Tocsin:midi_out",
                                             "Tocsin:out_1", "Tocsin:out_2"}));
  jack_port_t* midi = jack_port_by_name(peer.Handle(), "Tocsin:midi_out");
  ASSERT_NE(midi, nullptr);
  EXPECT_STREQ(jack_port_type(midi), JACK_DEFAULT_MIDI_TYPE);
  EXPECT_TRUE(jack_port_flags(midi) & JackPortIsOutput);
  EXPECT_TRUE(jack_port_flags(jack_port_by_name(peer.Handle(), "Tocsin:in_2")) & JackPortIsInput);

  // Listing opens no client of its own: other clients see no one come and go.
  jack_client_t* watcher =
      jack_client_open(Unique("tocsin_watch").c_str(), JackNoStartServer, nullptr);
  ASSERT_NE(watcher, nullptr);
  std::atomic<int> comings{0};
  jack_set_client_registration_callback(
      watcher, [](const char*, int, void* arg) { ++*static_cast<std::atomic<int>*>(arg); },
      &comings);
  ASSERT_EQ(jack_activate(watcher), 0);
  ASSERT_TRUE(peer.WaitCycles(3, 10000));
  comings = 0;

  // Capture from clients with audio outputs, play to clients with audio inputs, MIDI to the
  // MIDI inputs of others by their full names; never our own ports.
  TJackWaveIn wave_in(client);
  const auto inputs = wave_in.DeviceNames();
  EXPECT_TRUE(Contains(inputs, peer.Name()));
  // The physical capture's client is "Default" when it is nothing else (jackd's "system"):
  // listed once, as "Default", and known by its name for settings that stored it. Otherwise it
  // is listed (a headless PipeWire may have none).
  const char** physical = jack_get_ports(peer.Handle(), nullptr, JACK_DEFAULT_AUDIO_TYPE,
                                         JackPortIsOutput | JackPortIsPhysical);
  if (physical) {
    const std::string owner = JackClientOfPort(physical[0]);
    if (!std::getenv("TOCSIN_PIPEWIRE_DIR")) {
      EXPECT_EQ(wave_in.DefaultDeviceAlias(), "system") << "on jackd";
    }
    EXPECT_NE(Contains(inputs, owner), wave_in.DefaultDeviceAlias() == owner);
    jack_free(physical);
  }
  EXPECT_FALSE(Contains(inputs, std::string("Tocsin")));
  TJackWaveOut wave_out(client);
  const auto outputs = wave_out.DeviceNames();
  EXPECT_TRUE(Contains(outputs, peer.Name()));
  EXPECT_FALSE(Contains(outputs, std::string("Tocsin")));
  TJackMidiOutService midi_out(client);
  std::vector<std::string> midi_names;
  for (uint32_t i = 0; i < midi_out.GetNumDevs(); ++i) {
    TMidiOutCaps caps;
    ASSERT_EQ(midi_out.GetDevCaps(static_cast<int32_t>(i), caps), kMidiOk);
    midi_names.push_back(caps.ProductName);
  }
  EXPECT_TRUE(Contains(midi_names, peer.MidiInPort()));
  for (const auto& name : midi_names) EXPECT_NE(name.rfind("Tocsin:", 0), 0u) << name;
  ASSERT_TRUE(peer.WaitCycles(3, 10000));
  EXPECT_EQ(comings.load(), 0) << "a client was opened to list the ports";
  jack_client_close(watcher);

  // A second program on the same server gets JACK's unique name and knows it.
  TJackClient second("Tocsin");
  ASSERT_TRUE(second.Ok());
  EXPECT_TRUE(second.Renamed());
  EXPECT_NE(second.ClientName(), "Tocsin");
  EXPECT_EQ(second.PortName(TJackPort::kMidiOut), second.ClientName() + ":midi_out");
  // PipeWire's libjack may take the first client for lost as the second opens: it comes back
  // by itself, under its own name.
  EXPECT_TRUE(WaitUntil([&] { return client.Ok(); }, 10s));
  EXPECT_EQ(client.ClientName(), "Tocsin");
}

// PipeWire's libjack now and then takes a client of a program for lost when another client of
// the same program closes (about one close in thirty); closing the one it took for lost crashed
// inside that library. Ours must neither crash nor stay lost.
TEST(JackBackend, OtherClientsOfTheProgramComingAndGoingNeverLeaveOursLost) {
  TJackClient client("Tocsin");
  ASSERT_TRUE(client.Ok());
  std::atomic<int> losses{0};
  client.SetLossHandler([&](const std::string&) { ++losses; });
  for (int i = 0; i < 120; ++i) {
    // PipeWire's libjack now and then refuses an open right after a close: tried again.
    jack_client_t* other = nullptr;
    for (int attempt = 0; attempt < 5 && !other; ++attempt) {
      if (attempt) std::this_thread::sleep_for(50ms);
      other = jack_client_open(Unique("tocsin_other").c_str(), JackNoStartServer, nullptr);
    }
    ASSERT_NE(other, nullptr);
    jack_port_register(other, "midi_out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    jack_activate(other);
    jack_deactivate(other);
    jack_client_close(other);
  }
  // A client taken for lost comes back by itself within a second or so.
  EXPECT_TRUE(WaitUntil([&] { return client.Ok(); }, 10s));
  const uint64_t cycles = client.Cycles();
  EXPECT_TRUE(WaitUntil([&] { return client.Cycles() > cycles + 8; }, 10s)) << "no cycles";
  std::printf("losses reported: %d\n", losses.load());
}

// Values k/32768 survive the float path exactly; none is zero, so the start is easy to find.
int16_t LeftSample(size_t i) {
  return static_cast<int16_t>(static_cast<int16_t>(((i * 7919) % 60000) - 30000) | 1);
}
int16_t RightSample(size_t i) {
  return static_cast<int16_t>(-LeftSample(i * 3 + 1));
}

class JackBackendCapture : public ::testing::TestWithParam<uint32_t> {};

TEST_P(JackBackendCapture, PickedClientIsConnectedAndCapturedSampleExactInWholeBlocks) {
  const uint32_t block = GetParam();
  JackTestClient peer(Unique("tocsin_src_" + std::to_string(block)));
  ASSERT_TRUE(peer.Ok());
  TJackClient client("Tocsin");
  ASSERT_TRUE(client.Ok());
  TJackWaveIn wave_in(client);
  TLoopDispatcher dispatcher;
  TALAudioIn capture(wave_in);
  TALGenericFilter filter(dispatcher);
  Collector collector;
  collector.Attach(filter);
  capture.Device().SetDeviceName(peer.Name());
  capture.AudioFormat().SetSampleRate(peer.SampleRate());
  capture.AudioFormat().SetBufferSize(block);
  capture.OutputPin().Connect(filter.InputPin());
  capture.SetEnabled(true);
  ASSERT_TRUE(WaitUntil([&] { return collector.Frames() >= 2048; }));
  // Picking the client connected its outputs to ours: nothing was connected by hand.
  jack_port_t* in_1 = jack_port_by_name(peer.Handle(), "Tocsin:in_1");
  ASSERT_NE(in_1, nullptr);
  EXPECT_TRUE(jack_port_connected_to(in_1, peer.AudioOutPort(0).c_str()));

  const size_t length = 3 * 1024 + 517;
  std::vector<float> left(length), right(length);
  for (size_t i = 0; i < length; ++i) {
    left[i] = LeftSample(i) / 32768.0f;
    right[i] = RightSample(i) / 32768.0f;
  }
  ASSERT_TRUE(peer.Play(left, right));
  ASSERT_TRUE(peer.WaitPlayed(30000));
  const size_t before = collector.Frames();
  ASSERT_TRUE(WaitUntil([&] { return collector.Frames() >= before + length + 2 * block + 1024; }));
  capture.SetEnabled(false);
  // The graph that other clients see changes a little after the disconnection (a cycle on
  // jackd, later on PipeWire).
  EXPECT_TRUE(WaitUntil([&] { return !jack_port_connected(in_1); }, 10s))
      << "closing leaves no connection of ours behind";

  std::lock_guard lock(collector.mutex);
  for (uint32_t size : collector.block_sizes) ASSERT_EQ(size, block);
  const auto& s = collector.samples;
  size_t start = 0;
  while (start < s.size() / 2 && s[2 * start] == 0) ++start;
  ASSERT_LT(start + length, s.size() / 2) << "signal not captured";
  for (size_t i = 0; i < length; ++i) {
    ASSERT_EQ(s[2 * (start + i)], LeftSample(i)) << "frame " << i;
    ASSERT_EQ(s[2 * (start + i) + 1], RightSample(i)) << "frame " << i;
  }
  EXPECT_EQ(s[2 * (start + length)], 0);
}

INSTANTIATE_TEST_SUITE_P(BlockSizes, JackBackendCapture, ::testing::Values(32u, 256u, 1024u));

TEST(JackBackend, CaptureAtAnotherRateThanTheServersIsConverted) {
  JackTestClient peer(Unique("tocsin_src_rate"));
  ASSERT_TRUE(peer.Ok());
  TJackClient client("Tocsin");
  TJackWaveIn wave_in(client);
  TLoopDispatcher dispatcher;
  TALAudioIn capture(wave_in);
  TALGenericFilter filter(dispatcher);
  Collector collector;
  collector.Attach(filter);
  capture.Device().SetDeviceName(peer.Name());
  const uint32_t rate = peer.SampleRate() * 2;  // twice the server's
  capture.AudioFormat().SetSampleRate(rate);
  capture.AudioFormat().SetBufferSize(1024);
  capture.OutputPin().Connect(filter.InputPin());
  capture.SetEnabled(true);
  ASSERT_TRUE(WaitUntil([&] { return collector.Frames() >= 4096; }));
  const size_t length = peer.SampleRate() / 4;
  std::vector<float> tone(length);
  for (size_t i = 0; i < length; ++i)
    tone[i] = 0.5f * static_cast<float>(std::sin(2 * M_PI * 1000.0 * i / peer.SampleRate()));
  ASSERT_TRUE(peer.Play(tone, tone));
  ASSERT_TRUE(peer.WaitPlayed(30000));
  const size_t before = collector.Frames();
  ASSERT_TRUE(WaitUntil([&] { return collector.Frames() >= before + 8192; }));
  capture.SetEnabled(false);

  std::lock_guard lock(collector.mutex);
  const auto& s = collector.samples;
  size_t first = SIZE_MAX, last = 0;
  int peak = 0;
  for (size_t f = 0; f < s.size() / 2; ++f) {
    if (std::abs(s[2 * f]) > 1000) {
      first = std::min(first, f);
      last = f;
    }
    peak = std::max(peak, std::abs(static_cast<int>(s[2 * f])));
  }
  ASSERT_NE(first, SIZE_MAX) << "nothing captured";
  EXPECT_NEAR(static_cast<double>(last - first), 2.0 * length, 0.01 * length);
  EXPECT_NEAR(peak, 16384, 800);
}

TEST(JackBackend, MidiReachesTheChosenPortWithExactBytesInOrder) {
  JackTestClient peer(Unique("tocsin_synth"));
  ASSERT_TRUE(peer.Ok());
  TJackClient client("Tocsin");
  TJackMidiOutService midi(client);
  int32_t device = -1;
  for (uint32_t i = 0; i < midi.GetNumDevs(); ++i) {
    TMidiOutCaps caps;
    if (midi.GetDevCaps(static_cast<int32_t>(i), caps) == kMidiOk &&
        caps.ProductName == peer.MidiInPort())
      device = static_cast<int32_t>(i);
  }
  ASSERT_GE(device, 0);
  TMidiOutHandle handle = 0;
  ASSERT_EQ(midi.Open(handle, device, nullptr, nullptr), kMidiOk);
  ASSERT_TRUE(peer.WaitCycles(3, 10000));  // the new connection is in the graph

  EXPECT_EQ(midi.ShortMsg(handle, 0x7F3C90), kMidiOk);  // note-on, channel 1
  EXPECT_EQ(midi.ShortMsg(handle, 0x053C80), kMidiOk);  // note-off with velocity 5
  EXPECT_EQ(midi.ShortMsg(handle, 0x0007C9), kMidiOk);  // program change: two bytes
  uint8_t sysex[] = {0xF0, 0x7D, 0x01, 0x02, 0x03, 0xF7};
  TMidiOutHeader header;
  header.Data = sysex;
  header.BufferLength = sizeof sysex;
  ASSERT_EQ(midi.PrepareHeader(handle, header), kMidiOk);
  EXPECT_EQ(midi.LongMsg(handle, header), kMidiOk);
  EXPECT_TRUE(header.Flags & kMidiHdrDone);
  ASSERT_TRUE(peer.WaitMidiCount(4, 10000));

  const auto events = peer.Midi();
  ASSERT_EQ(events.size(), 4u);
  EXPECT_EQ(events[0].bytes, (std::vector<uint8_t>{0x90, 0x3C, 0x7F}));
  EXPECT_EQ(events[1].bytes, (std::vector<uint8_t>{0x80, 0x3C, 0x05}));
  EXPECT_EQ(events[2].bytes, (std::vector<uint8_t>{0xC9, 0x07}));
  EXPECT_EQ(events[3].bytes, std::vector<uint8_t>(std::begin(sysex), std::end(sysex)));
  for (size_t i = 1; i < events.size(); ++i) EXPECT_GE(events[i].frame, events[i - 1].frame);

  ASSERT_EQ(midi.Close(handle), kMidiOk);
  EXPECT_EQ(midi.ShortMsg(handle, 0x7F3C90), kMidiErrInvalidHandle);
  jack_port_t* out = jack_port_by_name(peer.Handle(), "Tocsin:midi_out");
  EXPECT_TRUE(WaitUntil([&] { return !jack_port_connected(out); }, 10s));
}

// What a 16-bit image's samples become once decoded: exact in float.
float Decoded(uint32_t rate, uint32_t i) {
  const double s = 0.5 * std::sin(2 * M_PI * 441.0 * i / rate);
  return static_cast<float>(static_cast<int16_t>(std::lround(s * 32767))) / 32768.0f;
}

TEST(JackBackend, SoundsAndOutputBlocksAreHeardAtAClientListeningToOurOutputs) {
  JackTestClient peer(Unique("tocsin_ear"));
  ASSERT_TRUE(peer.Ok());
  TJackClient client("Tocsin");
  const uint32_t rate = client.SampleRate();
  TJackSoundService sound(client);
  ASSERT_TRUE(peer.Connect("Tocsin:out_1", peer.AudioInPort(0)));
  ASSERT_TRUE(peer.Connect("Tocsin:out_2", peer.AudioInPort(1)));
  ASSERT_TRUE(peer.WaitCycles(3, 10000));

  const uint32_t frames = rate / 10;
  auto image = std::make_shared<const TSoundImage>(MakeWav(rate, 2, frames, 441.0, 0.5));
  ASSERT_TRUE(peer.Record(rate));
  sound.Play(image, kSndAsync | kSndNoDefault | kSndMemory);
  ASSERT_TRUE(sound.WaitIdle(20s));
  ASSERT_TRUE(WaitUntil([&] { return peer.RecordedFrames() >= rate / 2; }));
  EXPECT_FALSE(sound.Playing());
  const auto left = peer.Recorded(0), right = peer.Recorded(1);
  size_t start = 0;
  while (start < left.size() && left[start] == 0.0f) ++start;
  ASSERT_GT(start, 0u);
  --start;  // the sine's first sample is zero
  ASSERT_LT(start + frames, left.size()) << "the sound was not heard whole";
  for (uint32_t i = 0; i < frames; ++i) {
    ASSERT_EQ(left[start + i], Decoded(rate, i)) << "frame " << i;
    ASSERT_EQ(right[start + i], Decoded(rate, i)) << "frame " << i;
  }
  for (size_t i = start + frames; i < left.size(); ++i) ASSERT_EQ(left[i], 0.0f) << i;

  // An image at half the server's rate is converted: it lasts as long as it should.
  const uint64_t played = sound.FramesPlayed();
  sound.Play(std::make_shared<const TSoundImage>(MakeWav(rate / 2, 1, rate / 8)),
             kSndAsync | kSndNoDefault | kSndMemory);
  ASSERT_TRUE(sound.WaitIdle(20s));
  ASSERT_TRUE(WaitUntil([&] { return sound.FramesPlayed() > played && !sound.Playing(); }));
  EXPECT_NEAR(static_cast<double>(sound.FramesPlayed() - played), rate / 4.0, rate / 100.0);

  // The audio output on the same ports: picking the client connects to it (connections made
  // by hand are dropped first, so only the device's own remain).
  ASSERT_TRUE(WaitUntil([&] { return peer.RecordedFrames() >= rate; }));
  jack_disconnect(peer.Handle(), "Tocsin:out_1", peer.AudioInPort(0).c_str());
  jack_disconnect(peer.Handle(), "Tocsin:out_2", peer.AudioInPort(1).c_str());
  TJackWaveOut wave_out(client);
  const auto names = wave_out.DeviceNames();
  const auto at = std::find(names.begin(), names.end(), peer.Name());
  ASSERT_NE(at, names.end());
  std::atomic<int> done{0};
  TWaveOutFormat format;
  format.sample_rate = rate;
  auto device = wave_out.Open(static_cast<int>(at - names.begin()), format,
                              [&](IWaveOutDevice*, uint32_t message, TWaveOutBlock*) {
                                if (message == kWomDone) ++done;
                              });
  ASSERT_NE(device, nullptr);
  ASSERT_TRUE(peer.WaitCycles(3, 10000));
  std::vector<int16_t> pcm(2 * 2000);
  for (size_t i = 0; i < 2000; ++i) {
    pcm[2 * i] = LeftSample(i);
    pcm[2 * i + 1] = RightSample(i);
  }
  TWaveOutBlock block{reinterpret_cast<const uint8_t*>(pcm.data()),
                      static_cast<uint32_t>(pcm.size() * 2), nullptr};
  ASSERT_TRUE(peer.Record(rate / 2));
  device->Write(&block);
  ASSERT_TRUE(WaitUntil([&] { return done.load() == 1; }));
  ASSERT_TRUE(WaitUntil([&] { return peer.RecordedFrames() >= rate / 2; }));
  device->Close();
  const auto l2 = peer.Recorded(0), r2 = peer.Recorded(1);
  size_t s2 = 0;
  while (s2 < l2.size() && l2[s2] == 0.0f) ++s2;
  ASSERT_LT(s2 + 2000, l2.size()) << "the block was not heard whole";
  for (size_t i = 0; i < 2000; ++i) {
    ASSERT_EQ(l2[s2 + i], LeftSample(i) / 32768.0f) << "frame " << i;
    ASSERT_EQ(r2[s2 + i], RightSample(i) / 32768.0f) << "frame " << i;
  }
}

// The server our client runs on, as a test that kills it sees it.
struct TServerControl {
  std::function<pid_t()> pid;
  std::function<bool()> restart;
};

pid_t PidFrom(const std::string& file) {
  std::ifstream in(file);
  pid_t pid = 0;
  in >> pid;
  return pid;
}

// The server dies mid-capture: one report, nothing hangs, and the client comes back with it.
void LoseAndRecover(const TServerControl& server) {
  auto client = std::make_unique<TJackClient>("Tocsin");
  ASSERT_TRUE(client->Ok());
  std::mutex mutex;
  std::vector<std::string> reports;
  client->SetLossHandler([&](const std::string& reason) {
    std::lock_guard lock(mutex);
    reports.push_back(reason);
  });
  TJackWaveIn wave_in(*client);
  TLoopDispatcher dispatcher;
  auto capture = std::make_unique<TALAudioIn>(wave_in);
  TALGenericFilter filter(dispatcher);
  std::atomic<int> blocks{0};
  filter.SetOnProcessData(
      [&](TALGenericFilter&, const IALAudioBufferPtr&, IALAudioBufferPtr&, bool&) { ++blocks; });
  capture->AudioFormat().SetBufferSize(256);  // "Default": the physical capture
  capture->OutputPin().Connect(filter.InputPin());
  capture->SetEnabled(true);
  ASSERT_TRUE(WaitUntil([&] { return blocks.load() >= 5; }));

  const pid_t pid = server.pid();
  ASSERT_GT(pid, 0);
  ASSERT_EQ(kill(pid, SIGKILL), 0);
  ASSERT_TRUE(WaitUntil([&] {
    std::lock_guard lock(mutex);
    return !reports.empty();
  }));
  EXPECT_FALSE(client->Ok());

  // Nothing may hang on the dead server: stopping the capture, asking for the server.
  auto stopped = std::async(std::launch::async, [&] {
    capture->SetEnabled(false);
    capture.reset();
    return client->ServerAvailable();
  });
  if (stopped.wait_for(60s) != std::future_status::ready) {
    ADD_FAILURE() << "Stop or the server probe hangs after the server vanished";
    std::_Exit(1);  // a hung thread cannot be joined
  }
  EXPECT_FALSE(stopped.get());

  ASSERT_TRUE(server.restart()) << "the server did not start again";
  ASSERT_TRUE(WaitUntil([&] { return client->ServerAvailable(); }));
  EXPECT_EQ(client->ClientName(), "Tocsin");
  capture = std::make_unique<TALAudioIn>(wave_in);
  capture->AudioFormat().SetBufferSize(256);
  capture->OutputPin().Connect(filter.InputPin());
  const int before = blocks.load();
  capture->SetEnabled(true);
  EXPECT_TRUE(WaitUntil([&] { return blocks.load() >= before + 5; })) << "no capture after return";
  capture->SetEnabled(false);
  capture.reset();
  std::lock_guard lock(mutex);
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].rfind("Serveur JACK perdu", 0), 0u) << reports[0];
}

TEST(JackBackendServerLoss, JackdKilledMidCaptureIsReportedOnceAndTheClientComesBack) {
  if (std::getenv("TOCSIN_PIPEWIRE_DIR")) GTEST_SKIP() << "runs on jackd";
  TExtraJackServer server("tocsin-lost-" + std::to_string(getpid()));
  ASSERT_TRUE(server.Ok()) << "no extra server";
  const TJackServerChoice choice(server.Name());  // only this test talks to that server
  LoseAndRecover({[&] { return server.Pid(); }, [&] { return server.Start(); }});
}

TEST(JackBackendServerLoss, PipeWireKilledMidCaptureIsReportedOnceAndTheClientComesBack) {
  const char* dir = std::getenv("TOCSIN_PIPEWIRE_DIR");
  if (!dir) GTEST_SKIP() << "runs through the private PipeWire";
  const std::string fixture = std::getenv("TOCSIN_PIPEWIRE_FIXTURE");
  LoseAndRecover({[&] { return PidFrom(std::string(dir) + "/pipewire.pid"); },
                  [&] {
                    const std::string cmd = fixture + " start " + dir + " >/dev/null 2>&1";
                    return std::system(cmd.c_str()) == 0;
                  }});
}

}  // namespace
