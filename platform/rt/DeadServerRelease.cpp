#include "DeadServerRelease.h"

#include <rtaudio/RtAudio.h>
#include <rtmidi/RtMidi.h>

#include <chrono>
#include <iostream>
#include <mutex>
#include <streambuf>
#include <thread>

#include "RtServerMonitor.h"

namespace {
// A server killed a moment ago may not have been noticed yet while the library already tore
// its side down: a call into it then crashes. Closing is never urgent, so a JACK object waits
// this long for the news before it is closed.
constexpr auto kNoticeGrace = std::chrono::milliseconds(40);
// A JACK MIDI port hands what it was given to the server at the next cycles: the note-offs
// sent just before a close must leave before the port goes. Two periods of 2048 frames.
constexpr auto kMidiDrain = std::chrono::milliseconds(100);
}  // namespace

bool ServerStillThere(uint64_t losses_at_open) {
  return JackServerLosses() == losses_at_open;
}

void ReleaseRtAudio(std::unique_ptr<RtAudio>& audio, uint64_t losses_at_open) {
  if (!audio) return;
  if (audio->getCurrentApi() == RtAudio::UNIX_JACK) std::this_thread::sleep_for(kNoticeGrace);
  if (ServerStillThere(losses_at_open) || audio->getCurrentApi() != RtAudio::UNIX_JACK) {
    try {
      if (audio->isStreamOpen()) {
        if (audio->isStreamRunning()) audio->abortStream();
        audio->closeStream();
      }
    } catch (const std::exception&) {
    }
    audio.reset();
    return;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
  while (audio->isStreamOpen() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  if (audio->isStreamOpen()) {
    (void)audio.release();  // abandoned on purpose: its client died with the server
  } else {
    audio.reset();
  }
}

void ReleaseRtMidiOut(std::unique_ptr<RtMidiOut>& out, uint64_t losses_at_open) {
  if (!out) return;
  if (out->getCurrentApi() == RtMidi::UNIX_JACK) std::this_thread::sleep_for(kMidiDrain);
  if (ServerStillThere(losses_at_open) || out->getCurrentApi() != RtMidi::UNIX_JACK) {
    out->closePort();
    out.reset();
  } else {
    (void)out.release();  // abandoned on purpose: its client died with the server
  }
}

namespace {
class TDiscard final : public std::streambuf {
 protected:
  int overflow(int c) override { return traits_type::not_eof(c); }
  std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};
}  // namespace

void SilenceRtAudioNotices() {
  static std::once_flag once;
  std::call_once(once, [] {
    // Never destroyed: the standard streams are flushed at exit after every static object of
    // ours is gone, and a destroyed buffer there crashes the process on its way out.
    static TDiscard* const discard = new TDiscard;
    std::cerr.rdbuf(discard);
  });
}
