#include "LiveTakeRun.h"

#include <jack/jack.h>

#include <algorithm>
#include <chrono>
#include <utility>

#include "JackTestClient.h"
#include "NoteNames.h"
#include "RealTriggerChain.h"
#include "platform/MidiOutService.h"
#include "platform/rt/RtMidiPortNames.h"

namespace {
using namespace std::chrono_literals;

// Between the marks the playing client stamps, a cycle it missed would shift the take.
constexpr uint64_t kMarkEvery = 4096;
// A little silence first, off the cycles' grid, so that the take's frames fall anywhere in them.
constexpr uint64_t kLead = 1000;

// The take's frame for a received frame, from the last mark played before it.
uint64_t TakeFrame(uint64_t received, const std::vector<uint64_t>& marks,
                   const std::vector<uint64_t>& played) {
  const auto after = std::upper_bound(played.begin(), played.end(), received);
  const size_t k = after == played.begin() ? 0 : static_cast<size_t>(after - played.begin()) - 1;
  const int64_t at = static_cast<int64_t>(marks[k]) +
                     (static_cast<int64_t>(received) - static_cast<int64_t>(played[k])) -
                     static_cast<int64_t>(kLead);
  return static_cast<uint64_t>(std::max<int64_t>(at, 0));
}

// The notes of the received messages (frames in the take's), and the key checks.
// Keys: the status byte's channel * 128 + the note.
void NotesOfMessages(const std::vector<std::pair<uint64_t, std::vector<uint8_t>>>& messages,
                     int kick_key, int snare_key, TLiveTakeRun& run) {
  int sounding[16 * 128];
  std::fill(std::begin(sounding), std::end(sounding), -1);
  for (const auto& [frame, bytes] : messages) {
    if (bytes.size() < 3) continue;
    const int kind = bytes[0] & 0xF0;
    if (kind != 0x80 && kind != 0x90) continue;
    const int key = (bytes[0] & 0x0F) * 128 + (bytes[1] & 0x7F);
    const int drum = key == kick_key ? 0 : key == snare_key ? 1 : -1;
    if (drum < 0) {
      ++run.OtherKeys;
      continue;
    }
    if (kind == 0x90 && bytes[2] != 0) {
      if (sounding[key] >= 0) ++run.Doubled;
      sounding[key] = static_cast<int>(run.Notes.size());
      run.Notes.push_back({drum, frame, frame, bytes[2]});
    } else if (sounding[key] < 0) {
      ++run.StrayOffs;
    } else {
      run.Notes[static_cast<size_t>(sounding[key])].Off = frame;
      sounding[key] = -1;
    }
  }
  for (int s : sounding) run.Unended += s >= 0;
}

}  // namespace

TLiveTakeRun RunLiveTake(const TDrumTake& take, const TMyHit& hit, int threshold_db,
                         bool freewheel) {
  TLiveTakeRun run;
  run.Lead = kLead;
  const auto started = std::chrono::steady_clock::now();
  // The take from one client and the notes to another: one client doing both would close a
  // loop, which the server breaks by delaying one edge a whole period.
  JackTestClient player("tocsin_live_in");
  JackTestClient sink("tocsin_live_out");
  TRealTriggerChain chain("Tocsin");
  const int notes[2] = {NoteEntryForText("Do1"), NoteEntryForText("Ré1")};
  for (int c = 0; c < 2; ++c) {
    chain.Controls().Thres[c] = threshold_db;
    chain.Controls().NoteIndex[c] = notes[c];
  }
  chain.SetHitSettings(hit);
  // The capture's blocks play no part in hit detection: the window's default size.
  if (!player.Ok() || !sink.Ok() ||
      !chain.Start(player.Name(), take.Rate, TAudioInParams{}.BufferSize,
                   CutUtf8(sink.MidiInPort(), kMidiProductNameMax)) ||
      !chain.Pump([&] { return chain.Blocks() >= 4; }, 30s)) {
    run.Error = "test clients or capture road did not start";
    return run;
  }
  run.Period = player.Period();
  if (player.SampleRate() != take.Rate) {
    run.Error = "the server runs at another rate than the take";
    return run;
  }
  std::vector<float> left(kLead, 0.f), right(kLead, 0.f);
  left.insert(left.end(), take.Left.begin(), take.Left.end());
  right.insert(right.end(), take.Right.begin(), take.Right.end());
  std::vector<uint64_t> marks;
  for (uint64_t m = 0; m < left.size(); m += kMarkEvery) marks.push_back(m);
  if (freewheel && jack_set_freewheel(player.Handle(), 1) != 0) {
    run.Error = "the server would not freewheel";
    return run;
  }
  player.Play(std::move(left), std::move(right), marks);
  const auto length = std::chrono::milliseconds(take.Left.size() * 1000 / take.Rate);
  const bool played = chain.Pump([&] { return !player.Playing(); }, 2 * length + 30s);
  if (freewheel) jack_set_freewheel(player.Handle(), 0);
  // The take ends with a second of silence: every note has ended; anything late is on its way.
  chain.Pump([] { return false; }, 300ms);
  const std::vector<uint64_t> stamped = player.MarkFrames();
  // Before Stop, which ends any note still sounding: those must have ended by themselves.
  const auto received = sink.Midi();
  run.Xruns = player.Xruns() + sink.Xruns();
  run.Gaps = player.Gaps() + sink.Gaps();
  run.TocsinGaps = chain.Jack().Gaps();
  run.TocsinLost = chain.Jack().LostCycles();
  chain.Stop();
  if (!played || stamped.size() != marks.size()) {
    run.Error = "the test client did not play the whole take";
    return run;
  }
  std::vector<std::pair<uint64_t, std::vector<uint8_t>>> messages;
  for (const auto& ev : received)
    messages.emplace_back(TakeFrame(ev.frame, marks, stamped), ev.bytes);
  const int channel = chain.Controls().MidiChannelIndex.load();
  NotesOfMessages(messages, channel * 128 + MidiNoteForEntry(notes[0]),
                  channel * 128 + MidiNoteForEntry(notes[1]), run);
  run.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  return run;
}
