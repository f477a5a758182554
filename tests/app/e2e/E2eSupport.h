// What the end-to-end tests share: a test client and Tocsin's road on the private server, a
// script player that waits for what the script makes certain, and the expected MIDI bytes.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "JackTestClient.h"
#include "RealTriggerChain.h"
#include "SignalScript.h"
#include "platform/rt/RtMidiPortNames.h"

namespace e2e {

using namespace std::chrono_literals;
using TBytes = std::vector<uint8_t>;

// A loaded 2-core machine may stall any thread for a long while; nothing here is a latency check.
constexpr auto kTimeout = 30s;

inline std::string UniqueName(const char* stem) {
  static std::atomic<int> n{0};
  return std::string(stem) + "_" + std::to_string(getpid()) + "_" + std::to_string(++n);
}

inline TBytes NoteOn(int channel_index, int note, int velocity) {
  return {static_cast<uint8_t>(0x90 + channel_index), static_cast<uint8_t>(note),
          static_cast<uint8_t>(velocity)};
}
inline TBytes NoteOff(int channel_index, int note) {
  return {static_cast<uint8_t>(0x80 + channel_index), static_cast<uint8_t>(note), 0x40};
}

class ChainJackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    client = std::make_unique<JackTestClient>(UniqueName("e2e"));
    ASSERT_TRUE(client->Ok()) << "no JACK server named " << getenv("JACK_DEFAULT_SERVER");
    chain = std::make_unique<TRealTriggerChain>(UniqueName("e2e_out"));
  }
  void TearDown() override { chain.reset(); }

  // Starts the road on the test client at the server's own rate, then lets silence flow until
  // the capture is connected and blocks arrive. The notes go to the test client, or to sink.
  void Start(uint32_t block = 256, const JackTestClient* sink = nullptr) {
    const JackTestClient& to = sink ? *sink : *client;
    ASSERT_TRUE(chain->Start(client->Name(), client->SampleRate(), block,
                             CutUtf8(to.MidiInPort(), kMidiProductNameMax)));
    const uint64_t frame = client->FrameTime();
    ASSERT_TRUE(chain->Pump([&] { return chain->Blocks() >= 8; }, kTimeout))
        << "no blocks; the server ran " << client->FrameTime() - frame << " frames meanwhile";
  }

  // Plays the script (which must end in silence), waits until expected events have arrived and
  // then for 16 more blocks of silence, so that any event too many would have arrived too. A run
  // during which the server reported a late cycle may have lost audio or MIDI on the way: it
  // proves nothing, and the script is played again (the closing silence ends any note).
  std::vector<JackTestClient::MidiEvent> Play(const TSignalScript& script, size_t expected) {
    for (int attempt = 1;; ++attempt) {
      const uint64_t xruns = client->Xruns();
      const size_t before = client->MidiCount();
      bool ok = client->Play(script.Left(), script.Right()) &&
                client->WaitPlayed(std::chrono::milliseconds(kTimeout).count()) &&
                chain->Pump([&] { return client->MidiCount() >= before + expected; }, kTimeout);
      const uint64_t blocks = chain->Blocks();
      ok = chain->Pump([&] { return chain->Blocks() >= blocks + 16; }, kTimeout) && ok;
      chain->Pump([] { return false; }, 20ms);
      auto all = client->Midi();
      std::vector<JackTestClient::MidiEvent> events(all.begin() + static_cast<long>(before),
                                                    all.end());
      if (client->Xruns() != xruns && attempt < 3) {
        ++replays;
        continue;
      }
      EXPECT_TRUE(ok) << "only " << events.size() << " of " << expected << " events";
      return events;
    }
  }

  static std::vector<TBytes> Bytes(const std::vector<JackTestClient::MidiEvent>& events) {
    std::vector<TBytes> out;
    for (const auto& e : events) out.push_back(e.bytes);
    return out;
  }

  std::unique_ptr<JackTestClient> client;
  std::unique_ptr<TRealTriggerChain> chain;
  int replays = 0;  // scripts played again after a late cycle
};

}  // namespace e2e
