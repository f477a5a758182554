// Late cycles on the way from hit to note: Tocsin's own process callback is held up now and then
// (a part of the test's own sleeps in it), so the server skips cycles and reports xruns while
// hits are captured, spanning blocks, note-ons and note-offs. No note may be lost or left hanging.
#include <unistd.h>

#include <algorithm>

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

class LateCycles : public ChainJackTest {
 protected:
  void PlayThroughLateCycles(uint32_t block, uint64_t every);
};

void LateCycles::PlayThroughLateCycles(uint32_t block, uint64_t every) {
  TStaller staller(every);
  ASSERT_TRUE(chain->Jack().Attach(TJackPart::kSound, &staller));
  constexpr int kHits = 24;
  // A server that skips frames for a late client may drop up to three periods of a burst:
  // each is longer, so every hit is captured at least in part.
  const uint64_t seg = std::max<uint64_t>(4096, 4 * uint64_t{client->Period()});
  TSignalScript s;
  s.Silence(seg);
  for (int i = 0; i < kHits; ++i) s.Burst(i % 2, -20, seg + 97 * i).Silence(seg);
  const size_t before = client->MidiCount();
  const uint64_t late = client->Xruns() + chain->Jack().Gaps();
  ASSERT_TRUE(client->Play(s.Left(), s.Right()));
  ASSERT_TRUE(client->WaitPlayed(60000));
  const uint64_t blocks = chain->Blocks();
  chain->Pump([&] { return chain->Blocks() >= blocks + 16; }, kTimeout);
  chain->Jack().Detach(TJackPart::kSound, &staller);
  ASSERT_GT(client->Xruns() + chain->Jack().Gaps(), late) << "no late cycle: nothing proven";

  const auto all = client->Midi();
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
  for (size_t h = 0; h < bursts.size(); ++h) {
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
  Start(64);
  PlayThroughLateCycles(64, 5);
}

TEST_F(LateCycles, LateCyclesLoseNoNoteWithBlocksLongerThanThePeriod) {
  Start(1024);
  PlayThroughLateCycles(1024, 3);
}

}  // namespace
}  // namespace e2e
