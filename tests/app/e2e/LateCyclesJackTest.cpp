// Late cycles on the way from hit to note: Tocsin's own process callback is held up now and then
// (a part of the test's own sleeps in it), or every core is kept busy, so the server skips cycles
// and reports xruns while hits are captured, spanning blocks, note-ons and note-offs. No note may
// be lost or left hanging, and none played twice: a server that delivers a late cycle's output
// late (JACK2) must not get it again, one that drops it (PipeWire) must.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <optional>
#include <thread>

#include "E2eSupport.h"
#include "platform/jack/JackClient.h"

namespace e2e {
namespace {

// Sleeps through two and a half periods in one cycle of every `every`.
class TStaller final : public IJackCyclePart {
 public:
  explicit TStaller(uint64_t every) : every_(every) {}
  void Cycle(const TJackCycle& cycle) override {
    if (++n_ % every_ != 0) return;
    usleep(static_cast<useconds_t>(2.5e6 * cycle.Frames / cycle.SampleRate));
  }

 private:
  const uint64_t every_;
  uint64_t n_ = 0;
};

// A busy loop on every core while it lives.
class TCpuLoad {
 public:
  TCpuLoad() {
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    for (unsigned i = 0; i < cores; ++i)
      threads_.emplace_back([this] {
        while (!stop_.load(std::memory_order_relaxed)) {
        }
      });
  }
  ~TCpuLoad() {
    stop_ = true;
    for (auto& t : threads_) t.join();
  }

 private:
  std::atomic<bool> stop_{false};
  std::vector<std::thread> threads_;
};

// The notes go to a client of their own, as to a synthesiser beside the sound source: one
// client doing both would close a loop, which the server breaks by delaying one edge a cycle.
class LateCycles : public ChainJackTest {
 protected:
  void SetUp() override {
    ChainJackTest::SetUp();
    sink = std::make_unique<JackTestClient>(UniqueName("e2e_synth"));
    ASSERT_TRUE(sink->Ok());
  }
  std::unique_ptr<JackTestClient> sink;

  // every: one cycle of that many is held up; 0 for none. load: every core busy meanwhile.
  // hits_heard: every hit must give a note-on (a server that leaves a client out of cycles under
  // load loses audio on the way in, not only MIDI on the way out).
  void PlayThroughLateCycles(uint32_t block, uint64_t every, bool load, bool hits_heard = true);
};

void LateCycles::PlayThroughLateCycles(uint32_t block, uint64_t every, bool load, bool hits_heard) {
  TStaller staller(every);
  if (every) {
    ASSERT_TRUE(chain->Jack().Attach(TJackPart::kSound, &staller));
  }
  constexpr int kHits = 24;
  // A server that skips frames for a late client may drop up to three periods of a burst:
  // each is longer, so every hit is captured at least in part.
  const uint64_t seg = std::max<uint64_t>(4096, 4 * uint64_t{client->Period()});
  TSignalScript s;
  s.Silence(seg);
  for (int i = 0; i < kHits; ++i) s.Burst(i % 2, -20, seg + 97 * i).Silence(seg);
  const size_t before = sink->MidiCount();
  const TJackClient& jack = chain->Jack();
  const uint64_t late = client->Xruns() + jack.Gaps();
  const uint64_t late_seen = jack.LateCyclesSeen(), lost = jack.LostCycles();
  const uint64_t replayed = chain->MidiService().Replayed();
  {
    std::optional<TCpuLoad> busy;
    if (load) busy.emplace();
    ASSERT_TRUE(client->Play(s.Left(), s.Right()));
    ASSERT_TRUE(client->WaitPlayed(120000));
  }
  const uint64_t blocks = chain->Blocks();
  chain->Pump([&] { return chain->Blocks() >= blocks + 16; }, kTimeout);
  if (every) chain->Jack().Detach(TJackPart::kSound, &staller);
  std::printf(
      "xruns and gaps %llu; late cycles of ours before a gap %llu, of which left behind %llu; "
      "events written again %llu\n",
      static_cast<unsigned long long>(client->Xruns() + jack.Gaps() - late),
      static_cast<unsigned long long>(jack.LateCyclesSeen() - late_seen),
      static_cast<unsigned long long>(jack.LostCycles() - lost),
      static_cast<unsigned long long>(chain->MidiService().Replayed() - replayed));
  if (every) {
    ASSERT_GT(client->Xruns() + jack.Gaps(), late) << "no late cycle: nothing proven";
  }

  const auto all = sink->Midi();
  const uint64_t t0 = client->PlayStartFrame();
  std::vector<uint64_t> ons;
  bool sounding[16][128] = {};
  for (size_t i = before; i < all.size(); ++i) {
    const TBytes& b = all[i].bytes;
    ASSERT_EQ(b.size(), 3u);
    const bool on = (b[0] & 0xF0) == 0x90 && b[2] != 0;
    bool& note = sounding[b[0] & 0x0F][b[1] & 0x7F];
    EXPECT_NE(note, on) << (on ? "note-on twice" : "note-off without its note-on") << " at frame "
                        << all[i].frame - t0 << " (block " << block << ")";
    note = on;
    if (on) ons.push_back(all[i].frame - t0);
  }
  for (const auto& channel : sounding)
    for (bool note : channel) EXPECT_FALSE(note) << "a note left hanging (block " << block << ")";
  // Each hit is heard, and no sooner than it began. A server that skipped our frames in the
  // middle of a burst may split it in two notes: that is the audio we were given.
  const auto& bursts = s.Bursts();
  for (size_t h = 0; h < bursts.size() && hits_heard; ++h) {
    const uint64_t from = bursts[h].Start;
    const uint64_t to = h + 1 < bursts.size() ? bursts[h + 1].Start : UINT64_MAX;
    EXPECT_TRUE(
        std::any_of(ons.begin(), ons.end(), [&](uint64_t f) { return f >= from && f < to; }))
        << "hit " << h << " unheard (block " << block << ")";
  }
  ASSERT_FALSE(ons.empty());
  EXPECT_GE(ons.front(), bursts.front().Start);
}

TEST_F(LateCycles, LateCyclesLoseNoNoteWithBlocksShorterThanThePeriod) {
  Start(64, sink.get());
  PlayThroughLateCycles(64, 5, false);
}

TEST_F(LateCycles, LateCyclesLoseNoNoteWithBlocksLongerThanThePeriod) {
  Start(1024, sink.get());
  PlayThroughLateCycles(1024, 3, false);
}

// Late cycles of ours and of the whole server at once: the server itself falls behind and skips
// frames, right after cycles of ours that ended late.
TEST_F(LateCycles, LateCyclesOnABusyMachinePlayNoNoteTwiceAndLoseNoNoteOff) {
  Start(64, sink.get());
  PlayThroughLateCycles(64, 5, true, false);
}

}  // namespace
}  // namespace e2e
