#include "audio/ALAudioOut.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "OutputFixtures.h"
#include "platform/virtual/VirtualWaveOut.h"

namespace {

using namespace std::chrono_literals;

bool WaitUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout = 5000ms) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!pred()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

TEST(AudioOutDevice, ResolvesNamesDefaultAndFallbacks) {
  TVirtualWaveOut backend({"Speakers", "Headphones", "speakers"});
  TALAudioOutDevice device(backend);
  EXPECT_EQ(device.DeviceName(), "Default");
  EXPECT_EQ(device.ResolveDeviceID(), kWaveOutDefault);
  device.SetDeviceName("dEfAuLt");
  EXPECT_EQ(device.ResolveDeviceID(), kWaveOutDefault);
  device.SetDeviceName("speakers");  // exact, case-sensitive
  EXPECT_EQ(device.ResolveDeviceID(), 2);
  device.SetDeviceName("Headphones");
  EXPECT_EQ(device.ResolveDeviceID(), 1);

  device.SetDeviceName("Missing");
  EXPECT_EQ(device.ResolveDeviceID(), kWaveOutDefault);  // nothing matches: the default
  device.AlternativeDevices().Add().SetDeviceName("Also missing");
  device.AlternativeDevices().Add().SetDeviceName("Headphones");
  EXPECT_EQ(device.ResolveDeviceID(), 1);
  device.AlternativeDevices().Item(0).SetDeviceName("DEFAULT");  // ends the search
  EXPECT_EQ(device.ResolveDeviceID(), kWaveOutDefault);
}

TEST(AudioOutDevice, NewFallbackNamesTheLeastUsedDevice) {
  TVirtualWaveOut backend({"A", "B", "C"});
  TALAudioOutDevice device(backend);
  auto& items = device.AlternativeDevices();
  EXPECT_EQ(items.Add().DeviceName(), "A");
  EXPECT_EQ(items.Add().DeviceName(), "B");
  items.Item(1).SetDeviceName("A");
  EXPECT_EQ(items.Add().DeviceName(), "B");  // A twice, B and C never: B comes first
  TVirtualWaveOut none(std::vector<std::string>{});
  TALAudioOutDevice lonely(none);
  EXPECT_EQ(lonely.AlternativeDevices().Add().DeviceName(), "Default");
}

TEST(AudioOutDevice, ListsDeviceNamesInOrderCutTo32Characters) {
  TVirtualWaveOut backend({"One", std::string(40, 'x')});
  TALAudioOut out(backend);
  std::vector<std::string> list{"kept"};
  out.Device().GetDeviceNames(list);
  EXPECT_EQ(list, (std::vector<std::string>{"kept", "One", std::string(32, 'x')}));
}

class AudioOut : public ::testing::Test {
 protected:
  AudioOut() : out(backend) { source.OutputPin().Connect(out.InputPin()); }
  ~AudioOut() override { source.OutputPin().DisconnectAll(); }

  // Negotiation as a player sends it; true when this output took the stream.
  bool Negotiate(int32_t priority = 0) {
    auto request = std::make_shared<TOWPumpRequestOperation>(&source, 1.0f, priority, 2);
    source.OutputPin().Notify(request);
    return request->Winner() == &out;
  }
  void Start(uint16_t channels = 2, uint16_t bits = 16, uint32_t rate = 44100) {
    source.OutputPin().Notify(std::make_shared<TOWStartWaveOperation>(
        rate, TWaveFormatEx::Pcm(channels, bits, rate), 1.0));
  }
  void Send(int16_t value, int frames = 4) {
    source.OutputPin().SendData(MakeBuffer(std::vector<int32_t>(frames * 2, value), 2));
  }
  void Resume() { source.OutputPin().Notify(std::make_shared<TOWSLResumeOperation>()); }

  TVirtualWaveOut backend;
  TTestSource source;
  TALAudioOut out;
};

TEST_F(AudioOut, Defaults) {
  EXPECT_TRUE(out.Enabled());
  EXPECT_TRUE(out.PreFillEnabled());
  EXPECT_TRUE(out.EnableMasterPumping());
  EXPECT_EQ(out.PumpPriority(), 0);
  EXPECT_EQ(out.Device().DeviceName(), "Default");
  EXPECT_FALSE(out.Active());
  EXPECT_TRUE(out.EnablePin().Value());
}

TEST_F(AudioOut, EnabledOnlyStoresTheValue) {
  out.SetEnabled(false);
  EXPECT_FALSE(out.Enabled());
  EXPECT_FALSE(out.EnablePin().Value());
  out.SetEnabled(true);
  EXPECT_EQ(backend.OpenCount(), 0u);  // no device opened or closed by it
}

TEST_F(AudioOut, AnswersPumpNegotiationAfterATestOpen) {
  EXPECT_TRUE(Negotiate());
  EXPECT_TRUE(out.Master());
  auto streams = backend.Streams();
  ASSERT_EQ(streams.size(), 1u);
  EXPECT_EQ(streams[0]->Format(), (TWaveOutFormat{1, 16, 11025}));
  EXPECT_TRUE(streams[0]->Closed());
  EXPECT_FALSE(out.Active());
}

TEST_F(AudioOut, DeviceThatCannotOpenIsNoMaster) {
  backend.SetOpenFails(true);
  EXPECT_FALSE(Negotiate());
  EXPECT_FALSE(out.Master());
}

TEST_F(AudioOut, NoNegotiationWithoutMasterPumping) {
  out.SetEnableMasterPumping(false);
  EXPECT_FALSE(Negotiate());
  EXPECT_EQ(backend.OpenCount(), 0u);
}

TEST_F(AudioOut, OnlyAHigherPriorityTakesAnAnsweredRequestOver) {
  TVirtualWaveOut other_backend;
  TALAudioOut other(other_backend);
  source.OutputPin().Connect(other.InputPin());
  out.SetPumpPriority(5);
  other.SetPumpPriority(5);
  auto request = std::make_shared<TOWPumpRequestOperation>(&source, 1.0f, 0, 2);
  source.OutputPin().Notify(request);
  TOWComponentBase* first = request->Winner();
  EXPECT_TRUE(first == &out || first == &other);
  // Equal priority: the first answer stands, the other sink does not even test its device.
  EXPECT_EQ(backend.OpenCount() + other_backend.OpenCount(), 1u);

  (first == &out ? other : out).SetPumpPriority(6);
  request = std::make_shared<TOWPumpRequestOperation>(&source, 1.0f, 0, 2);
  source.OutputPin().Notify(request);
  // Whichever order the pin delivers in, the higher priority ends as the winner.
  EXPECT_NE(request->Winner(), first);
  source.OutputPin().Disconnect(other.InputPin());
}

TEST_F(AudioOut, StartOpensTheResolvedDevicePaused) {
  out.Device().SetDeviceName("Virtual Out 2");
  Start(2, 16, 22050);
  EXPECT_TRUE(out.Active());
  auto stream = backend.Current();
  ASSERT_TRUE(stream);
  EXPECT_EQ(stream->Device(), 1);
  EXPECT_EQ(stream->Format(), (TWaveOutFormat{2, 16, 22050}));
  EXPECT_TRUE(stream->Paused());
  EXPECT_FALSE(out.Playing());
}

TEST_F(AudioOut, MisspeltDeviceFallsBackToTheDefault) {
  out.Device().SetDeviceName("Virtual Out 9");
  Start();
  ASSERT_TRUE(backend.Current());
  EXPECT_EQ(backend.Current()->Device(), kWaveOutDefault);
}

TEST_F(AudioOut, StartPumpingPreFillsFourRequests) {
  ASSERT_TRUE(Negotiate());
  Start();
  source.OutputPin().Notify(std::make_shared<TOWStartPumpOperation>());
  EXPECT_EQ(source.Pumps(), 4);
  for (const auto& op : source.Upstream())
    if (auto* pump = op->As<TOWMasterPumpOperation>()) {
      EXPECT_EQ(pump->Master(), &out);
    }
}

TEST_F(AudioOut, StartPumpingWithoutPreFillSendsOne) {
  out.SetPreFillEnabled(false);
  ASSERT_TRUE(Negotiate());
  Start();
  source.OutputPin().Notify(std::make_shared<TOWStartPumpOperation>());
  EXPECT_EQ(source.Pumps(), 1);
}

TEST_F(AudioOut, StartPumpingIsIgnoredByANonMaster) {
  Start();
  source.OutputPin().Notify(std::make_shared<TOWStartPumpOperation>());
  EXPECT_EQ(source.Pumps(), 0);
}

TEST_F(AudioOut, PlaysSuppliedBuffersInOrderAfterResume) {
  Start();
  Send(100);
  Send(200);
  auto stream = backend.Current();
  EXPECT_EQ(stream->Written(), 2u);
  EXPECT_EQ(stream->PlayBlocks(10), 0u);  // paused until the stream flows
  Resume();
  EXPECT_TRUE(out.Playing());
  EXPECT_FALSE(stream->Paused());
  EXPECT_EQ(stream->PlayBlocks(10), 2u);
  const auto played = stream->Played();
  ASSERT_EQ(played.size(), 32u);
  EXPECT_EQ(played[0], 100);
  EXPECT_EQ(played[16], 200);
  EXPECT_TRUE(WaitUntil([&] { return out.BuffersInFlight() == 0; }));
}

TEST_F(AudioOut, DisabledDropsBuffersButPumpsStillFlow) {
  ASSERT_TRUE(Negotiate());
  Start();
  Resume();
  Send(1);
  Send(2);
  auto stream = backend.Current();
  ASSERT_EQ(stream->Written(), 2u);
  out.SetEnabled(false);
  Send(3);
  // The buffers already on the device still come back, and each asks the source for more.
  stream->PlayBlocks(2);
  EXPECT_TRUE(WaitUntil([&] { return source.Pumps() == 2 && out.QueuedOperations() == 0; }));
  EXPECT_EQ(stream->Written(), 2u);  // the third was served, and dropped
  source.OutputPin().Notify(std::make_shared<TOWStartPumpOperation>());
  EXPECT_EQ(source.Pumps(), 5);  // Playing: three more
}

TEST_F(AudioOut, BufferDoneAsksTheSourceForOneMore) {
  ASSERT_TRUE(Negotiate());
  Start();
  std::atomic<int> sent{0};
  // The source answers each pump request with a buffer, on the requesting thread.
  source.SetOnPump([&] {
    const int n = ++sent;
    source.OutputPin().SendData(MakeBuffer(std::vector<int32_t>(8, n), 2));
  });
  source.OutputPin().Notify(std::make_shared<TOWStartPumpOperation>());
  Resume();
  ASSERT_EQ(sent.load(), 4);
  auto stream = backend.Current();
  for (int i = 0; i < 20; ++i) {
    ASSERT_TRUE(WaitUntil([&] { return stream->PlayBlocks(1) == 1; })) << i;
  }
  EXPECT_TRUE(WaitUntil([&] { return sent.load() == 24; }));
  // Every buffer played once, in the order the source made them.
  const auto played = stream->Played();
  for (size_t b = 0; b < played.size() / 16; ++b) EXPECT_EQ(played[b * 16], b + 1) << b;
}

TEST_F(AudioOut, PausedOutputOwesPumpsAndPaysThemOnResume) {
  ASSERT_TRUE(Negotiate());
  Start();
  Resume();
  Send(1);
  Send(2);
  Send(3);  // waits in the queue: two buffers are in flight
  EXPECT_EQ(out.QueuedOperations(), 1u);
  auto stream = backend.Current();
  stream->PlayBlocks(1);
  ASSERT_TRUE(WaitUntil([&] { return source.Pumps() == 1 && out.QueuedOperations() == 0; }));
  // The pause waits behind the buffers in flight until one comes back.
  source.OutputPin().Notify(std::make_shared<TOWSLPauseOperation>());
  EXPECT_FALSE(out.Paused());
  stream->PlayBlocks(1);
  ASSERT_TRUE(WaitUntil([&] { return out.Paused(); }));
  EXPECT_TRUE(stream->Paused());
  EXPECT_EQ(stream->PlayBlocks(1), 0u);
  // A block the device finishes while paused still asks the source, and is owed once more.
  stream->PlayBlocks(1, true);
  ASSERT_TRUE(WaitUntil([&] { return source.Pumps() == 3; }));
  EXPECT_EQ(out.OwedPumps(), 1);
  Resume();
  EXPECT_FALSE(out.Paused());
  EXPECT_FALSE(stream->Paused());
  EXPECT_EQ(source.Pumps(), 4);
  EXPECT_EQ(out.OwedPumps(), 0);
}

TEST_F(AudioOut, EndOfStreamClosesTheDeviceOnTheNotifyThread) {
  ASSERT_TRUE(Negotiate());
  Start();
  Send(1);
  auto stream = backend.Current();
  source.OutputPin().Notify(std::make_shared<TOWEndStopOperation>());
  ASSERT_TRUE(WaitUntil([&] { return stream->Closed(); }));
  EXPECT_FALSE(out.Active());
  EXPECT_EQ(stream->Resets(), 1);
  EXPECT_FALSE(out.Master());
  EXPECT_EQ(out.BuffersInFlight(), 0u);
}

TEST_F(AudioOut, EndOfStreamLetsTheLastBuffersPlayOutFirst) {
  ASSERT_TRUE(Negotiate());
  Start();
  Resume();
  Send(1);
  Send(2);
  auto stream = backend.Current();
  source.OutputPin().Notify(std::make_shared<TOWEndStopOperation>());
  stream->PlayBlocks(1);
  ASSERT_TRUE(WaitUntil([&] { return out.BuffersInFlight() == 1; }));
  EXPECT_FALSE(stream->Closed());
  stream->PlayBlocks(1);
  ASSERT_TRUE(WaitUntil([&] { return stream->Closed(); }));
  const auto played = stream->Played();
  ASSERT_EQ(played.size(), 32u);
  EXPECT_EQ(played[16], 2);
}

TEST_F(AudioOut, PlainStopIsTakenAndIgnored) {
  Start();
  source.OutputPin().Notify(std::make_shared<TOWStopOperation>());
  std::this_thread::sleep_for(20ms);
  EXPECT_TRUE(out.Active());
  EXPECT_EQ(out.QueuedOperations(), 0u);
}

TEST_F(AudioOut, StartWhileOpenWaitsAtTheHead) {
  Start(2, 16, 44100);
  Start(1, 16, 22050);
  EXPECT_EQ(out.QueuedOperations(), 1u);
  EXPECT_EQ(backend.OpenCount(), 1u);
  // Later operations queue behind it, and every serving retries it.
  Send(7);
  EXPECT_EQ(out.QueuedOperations(), 2u);
  EXPECT_EQ(backend.OpenCount(), 1u);
  EXPECT_EQ(backend.Current()->Format(), (TWaveOutFormat{2, 16, 44100}));
  EXPECT_EQ(backend.Current()->Written(), 0u);
}

TEST_F(AudioOut, StartRightAfterEndOfStreamOpensOnceTheDeviceIsClosed) {
  Start(2, 16, 44100);
  auto first = backend.Current();
  source.OutputPin().Notify(std::make_shared<TOWEndStopOperation>());
  Start(1, 16, 22050);  // may arrive before the notify thread has closed the device
  // Each arriving operation serves the queue; a plain stop is otherwise ignored.
  ASSERT_TRUE(WaitUntil([&] {
    source.OutputPin().Notify(std::make_shared<TOWStopOperation>());
    auto current = backend.Current();
    return current && current != first;
  }));
  EXPECT_TRUE(WaitUntil([&] { return first->Closed(); }));
  EXPECT_EQ(backend.Current()->Format(), (TWaveOutFormat{1, 16, 22050}));
  EXPECT_TRUE(out.Active());
}

TEST_F(AudioOut, DestructionClosesAnOpenDevice) {
  source.OutputPin().Disconnect(out.InputPin());
  auto local = std::make_unique<TALAudioOut>(backend);
  source.OutputPin().Connect(local->InputPin());
  Start();
  Send(5);
  auto stream = backend.Current();
  ASSERT_TRUE(stream);
  local.reset();
  EXPECT_TRUE(stream->Closed());
  EXPECT_EQ(source.OutputPin().SinkCount(), 0u);
}

}  // namespace
