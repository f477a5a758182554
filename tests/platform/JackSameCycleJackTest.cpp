// What a captured block causes inside our own process callback reaches other clients in the
// same cycle, stamped where the block lies in it: the capture tells each block's frames, and MIDI
// sent then is written at them (note-on at the block's first frame, the rest at its last).
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <chrono>
#include <thread>

#include "JackTestClient.h"
#include "WavImage.h"
#include "platform/jack/JackClient.h"
#include "platform/jack/JackMidiOutService.h"
#include "platform/jack/JackSoundService.h"
#include "platform/jack/JackWaveIn.h"

namespace {

std::string Unique(const std::string& stem) {
  return stem + "_" + std::to_string(getpid());
}

TEST(JackSameCycle, CaptureTellsWhereEachBlockLiesInTheCycle) {
  JackTestClient peer(Unique("tocsin_frames"));
  ASSERT_TRUE(peer.Ok());
  const uint32_t period = peer.Period();
  ASSERT_EQ(period % 32, 0u);
  TJackClient client("Tocsin");
  TJackWaveIn wave_in(client);
  const auto names = wave_in.DeviceNames();
  const auto at = std::find(names.begin(), names.end(), peer.Name());
  ASSERT_NE(at, names.end());

  constexpr size_t kBlocks = 64;
  struct TSeen {
    jack_nframes_t first, last;
    bool in_cycle;
  };
  std::array<TSeen, kBlocks> seen{};
  std::atomic<size_t> count{0};
  TWaveInFormat format;
  format.sample_rate = client.SampleRate();
  auto device = wave_in.Open(
      static_cast<int>(at - names.begin()), format,
      [&](IWaveInDevice*, uint32_t message, TWaveInBlock* block) {
        if (message != kWimData || block->recorded == 0) return;
        const size_t n = count.load(std::memory_order_relaxed);
        if (n == kBlocks) return;
        seen[n] = {TJackClient::BlockFirstFrame(), TJackClient::BlockLastFrame(), client.InCycle()};
        count.store(n + 1, std::memory_order_release);
      });
  ASSERT_NE(device, nullptr);
  std::vector<std::vector<uint8_t>> memory(kBlocks, std::vector<uint8_t>(32 * 4));
  std::vector<TWaveInBlock> blocks(kBlocks);
  for (size_t i = 0; i < kBlocks; ++i) {
    blocks[i].data = memory[i].data();
    blocks[i].bytes = 32 * 4;  // 32 frames of 16-bit stereo
    device->AddBuffer(&blocks[i]);
  }
  device->Start();
  ASSERT_TRUE(peer.WaitCycles(static_cast<int>(kBlocks * 32 / period) + 4, 20000));
  device->Reset();
  device->Close();
  ASSERT_EQ(count.load(std::memory_order_acquire), kBlocks);
  for (size_t i = 0; i < kBlocks; ++i) {
    EXPECT_TRUE(seen[i].in_cycle) << i;
    EXPECT_EQ(seen[i].first, (i * 32) % period) << i;
    EXPECT_EQ(seen[i].last, (i * 32) % period + 31) << i;
  }
}

// Stands for the capture's block handler: sends what one block decided, from inside the cycle.
class TSender final : public IJackCyclePart {
 public:
  TSender(TJackMidiOutService& midi, TMidiOutHandle handle) : midi_(midi), handle_(handle) {}
  std::atomic<bool> armed{false};
  std::atomic<uint64_t> cycle_frame{0};

  void Cycle(const TJackCycle& cycle) override {
    if (!armed.exchange(false)) return;
    TJackClient::SetBlockFrames(40, 71);  // a block from frame 40 to 71 of this cycle
    midi_.ShortMsg(handle_, 0x643C90);    // note-on: at the block's first frame
    midi_.ShortMsg(handle_, 0x003C80);    // note-off: at its last
    TJackClient::SetBlockFrames(8, 39);   // an earlier block, handed over after: kept in order
    midi_.ShortMsg(handle_, 0x503D90);
    cycle_frame.store(cycle.FirstFrame, std::memory_order_release);
  }

 private:
  TJackMidiOutService& midi_;
  TMidiOutHandle handle_;
};

TEST(JackSameCycle, MidiSentInsideTheCycleArrivesInThatCycleAtTheBlocksFrames) {
  JackTestClient peer(Unique("tocsin_synth_now"));
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
  ASSERT_TRUE(peer.WaitCycles(3, 10000));
  TSender sender(midi, handle);
  ASSERT_TRUE(client.Attach(TJackPart::kCapture, &sender));
  sender.armed.store(true);
  ASSERT_TRUE(peer.WaitMidiCount(3, 10000));
  client.Detach(TJackPart::kCapture, &sender);

  const uint64_t frame = sender.cycle_frame.load(std::memory_order_acquire);
  const auto events = peer.Midi();
  ASSERT_EQ(events.size(), 3u);
  // Frames sorted, none before its block: the earlier block's note first, then the note-on at
  // 40 and the note-off at 71, all in the cycle that sent them.
  EXPECT_EQ(events[0].bytes, (std::vector<uint8_t>{0x90, 0x3D, 0x50}));
  EXPECT_EQ(events[0].frame, frame + 8);
  EXPECT_EQ(events[1].bytes, (std::vector<uint8_t>{0x90, 0x3C, 0x64}));
  EXPECT_EQ(events[1].frame, frame + 40);
  EXPECT_EQ(events[2].bytes, (std::vector<uint8_t>{0x80, 0x3C, 0x00}));
  EXPECT_EQ(events[2].frame, frame + 71);
  EXPECT_FALSE(client.InCycle()) << "only the process thread is ever inside the cycle";
}

// Stands for a block deciding a sound: plays it from inside the cycle.
class TSoundFirer final : public IJackCyclePart {
 public:
  TSoundFirer(TJackSoundService& sound, TSoundImagePtr image) : sound_(sound), image_(image) {}
  std::atomic<bool> armed{false};
  std::atomic<uint64_t> cycle_frame{0};

  void Cycle(const TJackCycle& cycle) override {
    if (!armed.exchange(false)) return;
    TJackClient::SetBlockFrames(100, 131);
    sound_.Play(image_, kSndAsync | kSndNoDefault | kSndMemory);
    cycle_frame.store(cycle.FirstFrame, std::memory_order_release);
  }

 private:
  TJackSoundService& sound_;
  TSoundImagePtr image_;
};

TEST(JackSameCycle, SoundPlayedInsideTheCycleStartsThereAtTheBlocksFirstFrame) {
  JackTestClient peer(Unique("tocsin_ear_now"));
  ASSERT_TRUE(peer.Ok());
  TJackClient client("Tocsin");
  TJackSoundService sound(client);
  // A quarter of the rate: samples 0, +A, 0, -A, ... so the first sound is heard one frame in.
  const uint32_t rate = client.SampleRate();
  auto image = std::make_shared<const TSoundImage>(MakeWav(rate, 1, rate / 20, rate / 4.0, 0.5));
  // Handed over as the window does at Start, through the common interface.
  static_cast<ISoundService&>(sound).Prepare(std::vector<TSoundImagePtr>{image});
  ASSERT_TRUE(sound.WaitIdle(std::chrono::seconds(20)));
  ASSERT_TRUE(peer.Connect("Tocsin:out_1", peer.AudioInPort(0)));
  ASSERT_TRUE(peer.WaitCycles(3, 10000));
  ASSERT_TRUE(peer.Record(4 * peer.Period()));
  ASSERT_TRUE(peer.WaitCycles(1, 10000));
  TSoundFirer firer(sound, image);
  ASSERT_TRUE(client.Attach(TJackPart::kCapture, &firer));
  firer.armed.store(true);
  ASSERT_TRUE(peer.WaitRecorded(4 * peer.Period(), 20000));
  client.Detach(TJackPart::kCapture, &firer);
  const uint64_t fired = firer.cycle_frame.load(std::memory_order_acquire);
  ASSERT_NE(fired, 0u);

  const auto left = peer.Recorded(0);
  size_t first = 0;
  while (first < left.size() && left[first] == 0.0f) ++first;
  ASSERT_LT(first, left.size()) << "nothing heard";
  EXPECT_EQ(peer.RecordStartFrame() + first, fired + 100 + 1) << "heard in another cycle or frame";
  EXPECT_EQ(sound.Missed(), 0u);
}

}  // namespace
