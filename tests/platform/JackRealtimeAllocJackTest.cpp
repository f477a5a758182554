// The JACK client's process callback allocates nothing in steady state: a thousand captured
// blocks, each sending MIDI and now and then firing a sound from inside the cycle, a send the
// MIDI output refuses among them, with queued MIDI and output blocks coming from another thread,
// at the server's rate and converted; and a thousand blocks through the program's own road
// dispatched inside the cycle, notes included; and hit detection on the capture's tap, its notes
// and sounds written in the cycle.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "JackTestClient.h"
#include "RealTriggerChain.h"
#include "WavImage.h"
#include "midi/MidiOut.h"
#include "platform/jack/JackClient.h"
#include "platform/jack/JackMidiOutService.h"
#include "platform/jack/JackSoundService.h"
#include "platform/jack/JackWaveIn.h"
#include "platform/jack/JackWaveOut.h"
#include "platform/rt/RtMidiPortNames.h"
#include "platform/virtual/LoopDispatcher.h"

namespace {
std::atomic<const TJackClient*> g_watched{nullptr};
std::atomic<uint64_t> g_in_cycle{0};

void Count() {
  const TJackClient* client = g_watched.load(std::memory_order_relaxed);
  if (client && client->InCycle()) g_in_cycle.fetch_add(1, std::memory_order_relaxed);
}
}  // namespace

// Every allocation and release of the program goes through these: those made inside the
// watched client's callback are counted.
namespace {
void* Allocate(std::size_t size) {
  Count();
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void Release(void* p) noexcept {
  if (p) Count();
  std::free(p);
}
}  // namespace

void* operator new(std::size_t size) {
  return Allocate(size);
}
void* operator new[](std::size_t size) {
  return Allocate(size);
}
void operator delete(void* p) noexcept {
  Release(p);
}
void operator delete[](void* p) noexcept {
  Release(p);
}
void operator delete(void* p, std::size_t) noexcept {
  Release(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  Release(p);
}

namespace {

class JackRealtimeAlloc : public ::testing::TestWithParam<uint32_t> {};

TEST_P(JackRealtimeAlloc, AThousandBlocksThroughTheCallbackAllocateNothing) {
  JackTestClient peer("tocsin_alloc_" + std::to_string(getpid()));
  ASSERT_TRUE(peer.Ok());
  TJackClient client("Tocsin");
  ASSERT_TRUE(client.Ok());
  const uint32_t rate = client.SampleRate() * GetParam();  // x1: as is; x2: converted
  TJackWaveIn wave_in(client);
  TJackWaveOut wave_out(client);
  TJackMidiOutService midi(client);
  TJackSoundService sound(client);
  auto image = std::make_shared<const TSoundImage>(MakeWav(client.SampleRate(), 1, 2000));
  sound.Prepare(image);
  ASSERT_TRUE(sound.WaitIdle(std::chrono::seconds(20)));

  int32_t port = -1;
  for (uint32_t i = 0; i < midi.GetNumDevs(); ++i) {
    TMidiOutCaps caps;
    if (midi.GetDevCaps(static_cast<int32_t>(i), caps) == kMidiOk &&
        caps.ProductName == peer.MidiInPort())
      port = static_cast<int32_t>(i);
  }
  ASSERT_GE(port, 0);
  TMidiOutHandle handle = 0;
  ASSERT_EQ(midi.Open(handle, port, nullptr, nullptr), kMidiOk);
  const auto names = wave_in.DeviceNames();
  const int source =
      static_cast<int>(std::find(names.begin(), names.end(), peer.Name()) - names.begin());
  ASSERT_LT(source, static_cast<int>(names.size()));

  // A MIDI output whose port is closed: every send is refused, inside the cycle too.
  TLoopDispatcher dispatcher;
  TMidiOutput closed(midi, dispatcher);
  std::atomic<uint64_t> refused{0};

  // The capture's callback stands for the block road: MIDI for every block, a refused send and
  // a sound now and then, the block handed back at once.
  constexpr uint64_t kBlocks = 1000;
  std::atomic<uint64_t> blocks{0};
  std::atomic<bool> recycle{true};
  IWaveInDevice* device_ptr = nullptr;
  TWaveInFormat format;
  format.sample_rate = rate;
  auto device =
      wave_in.Open(source, format, [&](IWaveInDevice*, uint32_t message, TWaveInBlock* block) {
        if (message != kWimData || !recycle.load()) return;
        const uint64_t n = blocks.fetch_add(1) + 1;
        midi.ShortMsg(handle, n % 2 ? 0x643C90 : 0x003C80);
        if (n % 10 == 0 && closed.TrySendShortMessage(0x90, 0x3C, 0x64) != kMidiOk) ++refused;
        if (n % 100 == 0) sound.Play(image, kSndAsync | kSndNoDefault | kSndMemory);
        device_ptr->AddBuffer(block);
      });
  ASSERT_NE(device, nullptr);
  device_ptr = device.get();
  std::vector<std::vector<uint8_t>> memory(16, std::vector<uint8_t>(32 * 4));
  std::vector<TWaveInBlock> queued(16);
  for (size_t i = 0; i < queued.size(); ++i) {
    queued[i].data = memory[i].data();
    queued[i].bytes = 32 * 4;
    device->AddBuffer(&queued[i]);
  }
  TWaveOutFormat out_format;
  out_format.sample_rate = rate;
  auto output = wave_out.Open(kWaveOutDefault, out_format, nullptr);
  ASSERT_NE(output, nullptr);
  std::vector<int16_t> pcm(2 * 4096, 1000);
  std::vector<TWaveOutBlock> written(64, {reinterpret_cast<const uint8_t*>(pcm.data()),
                                          static_cast<uint32_t>(pcm.size() * 2), nullptr});
  for (auto& b : written) output->Write(&b);  // memory for the queue is taken here

  ASSERT_TRUE(peer.WaitCycles(3, 10000));
  const uint64_t received_before = peer.MidiCount();
  g_in_cycle.store(0);
  g_watched.store(&client);
  device->Start();
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (blocks.load() < kBlocks && std::chrono::steady_clock::now() < end) {
    midi.ShortMsg(handle, 0x0040B0);  // queued from this thread, written in the next cycle
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  g_watched.store(nullptr);
  recycle.store(false);
  device->Reset();
  device->Close();
  output->Close();

  EXPECT_GE(blocks.load(), kBlocks);
  EXPECT_GE(refused.load(), kBlocks / 10) << "every send on the closed port is refused";
  EXPECT_GT(peer.MidiCount(), received_before) << "the MIDI went nowhere";
  EXPECT_GT(sound.FramesPlayed(), 0u) << "no sound was mixed";
  EXPECT_EQ(g_in_cycle.load(), 0u) << "allocations or releases inside the process callback";
}

INSTANTIATE_TEST_SUITE_P(Rates, JackRealtimeAlloc, ::testing::Values(1u, 2u));

// The program's own road (capture, pins, filter, meter, detector, note trigger, MIDI output on
// the JACK client's services), counted from its first block: the first one, and the notice
// that follows it, are dispatched in the cycle as well.
TEST(JackRealtimeAllocChain, WindowChainInsideTheCycleAllocatesNothingOverAThousandBlocks) {
  JackTestClient peer("tocsin_chain_" + std::to_string(getpid()));
  ASSERT_TRUE(peer.Ok());
  TRealTriggerChain chain("Tocsin");
  ASSERT_TRUE(chain.Jack().Ok());

  // Bursts of a loud tone every 4096 frames: a note-on and a note-off each, for many blocks.
  const uint32_t rate = chain.Jack().SampleRate();
  const size_t frames = static_cast<size_t>(rate) * 40;
  std::vector<float> tone(frames, 0.0f);
  for (size_t i = 0; i < frames; ++i)
    if (i % 4096 < 256) tone[i] = (i % 2 ? 0.5f : -0.5f);
  ASSERT_TRUE(peer.Play(tone, tone));
  const size_t received_before = peer.MidiCount();
  g_in_cycle.store(0);
  g_watched.store(&chain.Jack());
  ASSERT_TRUE(chain.Start(peer.Name(), rate, 128, CutUtf8(peer.MidiInPort(), kMidiProductNameMax)));
  const bool done = chain.Pump([&] { return chain.Blocks() >= 1000; }, std::chrono::seconds(60));
  g_watched.store(nullptr);
  chain.Stop();

  EXPECT_TRUE(done) << chain.Blocks() << " blocks";
  EXPECT_GT(peer.MidiCount(), received_before + 10) << "the tone fired no notes";
  EXPECT_EQ(g_in_cycle.load(), 0u) << "allocations or releases inside the process callback";
}

// Hit detection ("Frappe") on both channels, fed by the capture's tap in every cycle: the left
// sends notes, the right plays its sound, both from inside the cycle.
TEST(JackRealtimeAllocChain, HitDetectionOnTheCaptureTapAllocatesNothing) {
  JackTestClient peer("tocsin_hits_" + std::to_string(getpid()));
  ASSERT_TRUE(peer.Ok());
  TRealTriggerChain chain("Tocsin");
  ASSERT_TRUE(chain.Jack().Ok());
  const uint32_t rate = chain.Jack().SampleRate();
  chain.SetChannelSound(1, MakeWav(rate, 1, 2000));
  chain.SetInhibitionDuration(20);
  TMyHit hit;
  for (int c = 0; c < 2; ++c) {
    hit.HitDetection[c] = true;
    hit.Pad[c].HighPassHz = hit.Pad[c].LowPassHz = 0;
    hit.Pad[c].NoteLengthMs = 20;
  }
  chain.SetHitSettings(hit);
  const size_t frames = static_cast<size_t>(rate) * 40;
  std::vector<float> tone(frames, 0.0f);
  for (size_t i = 0; i < frames; ++i)
    if (i % 4096 < 256) tone[i] = (i % 2 ? 0.5f : -0.5f);
  ASSERT_TRUE(peer.Play(tone, tone));
  const size_t received_before = peer.MidiCount();
  ASSERT_TRUE(chain.Start(peer.Name(), rate, 128, CutUtf8(peer.MidiInPort(), kMidiProductNameMax)));
  ASSERT_TRUE(chain.WaitSoundsReady(std::chrono::seconds(20)));
  // Counted once the first cycles (and the sound's first start) are past.
  ASSERT_TRUE(chain.Pump([&] { return chain.Blocks() >= 100; }, std::chrono::seconds(60)));
  g_in_cycle.store(0);
  g_watched.store(&chain.Jack());
  const uint64_t blocks = chain.Blocks();
  const bool done =
      chain.Pump([&] { return chain.Blocks() >= blocks + 1000; }, std::chrono::seconds(60));
  g_watched.store(nullptr);
  chain.Stop();

  EXPECT_TRUE(done) << chain.Blocks() << " blocks";
  EXPECT_GT(peer.MidiCount(), received_before + 10) << "the hits fired no notes";
  EXPECT_EQ(g_in_cycle.load(), 0u) << "allocations or releases inside the process callback";
}

}  // namespace
