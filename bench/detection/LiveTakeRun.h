// One drum take played live into the program's JACK road: a test client plays the take's two
// mics into the window's capture chain with hit detection on its capture tap, the note trigger
// and the MIDI output (TRealTriggerChain, as the window wires them), both channels in "Frappe";
// another test client receives the notes, each at its cycle's jack_last_frame_time plus its
// offset, brought back to the take's frames by marks the playing client stamps as it plays.
// On the JACK server JACK_DEFAULT_SERVER names, at its period; in real time, or in JACK's
// freewheel mode (the same cycles back to back, as fast as the clients run them).
// Runs on the caller's thread, which plays the window's UI thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "DrumTakes.h"
#include "HitRecord.h"
#include "TakeScore.h"

struct TLiveTakeRun {
  std::string Error;  // the run could not be made; nothing else holds then
  uint32_t Period = 0;
  uint64_t Lead = 0;                 // silence played before the take's first frame
  std::vector<TDetectedNote> Notes;  // in the take's frames: kick (Do1) 0, snare (Ré1) 1
  // The received messages, key by key: a note-on on a key still sounding, a note-off on a
  // silent key, a note-on never ended, a message on a key neither drum plays.
  int Doubled = 0, StrayOffs = 0, Unended = 0, OtherKeys = 0;
  // Late cycles: the test clients' xruns, cycles the server ran without them, cycles Tocsin's
  // client came to after skipped frames and those whose MIDI went out again (lost before).
  uint64_t Xruns = 0, Gaps = 0, TocsinGaps = 0, TocsinLost = 0;
  double Seconds = 0;  // wall time of the run
};

// `hit`: the window's "Frappe" choices; `threshold_db` both channels' threshold.
TLiveTakeRun RunLiveTake(const TDrumTake& take, const TMyHit& hit, int threshold_db,
                         bool freewheel);
