// Letting go of RtAudio and RtMidi objects whose JACK client may belong to a server that went
// away: a dead server's client is never closed by us (after any new client opened, JACK has
// freed it already), it is abandoned. Any thread that owns the object.
#pragma once

#include <cstdint>
#include <memory>

class RtAudio;
class RtMidiOut;

// losses_at_open: JackServerLosses() when the object's stream or port was opened. RtAudio
// closes a running stream of a dead server by itself on a thread of its own; that close is
// awaited (a second at most) before the object is destroyed, or the object is abandoned.
void ReleaseRtAudio(std::unique_ptr<RtAudio>& audio, uint64_t losses_at_open);
void ReleaseRtMidiOut(std::unique_ptr<RtMidiOut>& out, uint64_t losses_at_open);
// Whether an object opened at losses_at_open may still be called into.
bool ServerStillThere(uint64_t losses_at_open);

// RtAudio writes to std::cerr from JACK's notification thread when the server goes away, while
// a thread of its own closes the stream and cancels that very thread: cancelled inside the
// write, the process hangs. Called before a stream opens, this makes std::cerr write nothing
// (the program prints nothing anyway). Any thread; once per process.
void SilenceRtAudioNotices();
