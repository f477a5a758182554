// The window's audio chains on the engine with the virtual devices: the output lists the
// devices, takes a name and is switched by Start and Stop without ever opening a device (the
// player that feeds it has no file); the meter listens to the capture beside the filter.
#include <gtest/gtest.h>

#include "EngineAudioOutput.h"
#include "EngineCaptureChain.h"
#include "platform/virtual/LoopDispatcher.h"
#include "platform/virtual/VirtualWaveIn.h"
#include "platform/virtual/VirtualWaveOut.h"

TEST(EngineAudioOutput, ListsNamesTakesADeviceAndSwitchesWithoutOpening) {
  TVirtualWaveOut wave_out({"Casque", "Enceintes"});
  TLoopDispatcher dispatcher;
  TEngineAudioOutput output(wave_out, dispatcher);

  EXPECT_EQ(output.DeviceNames(), (std::vector<std::string>{"Casque", "Enceintes"}));
  EXPECT_EQ(output.DeviceName(), "Default");
  output.SetDeviceName("Enceintes");
  EXPECT_EQ(output.DeviceName(), "Enceintes");
  EXPECT_FALSE(output.AudioOut().Enabled());
  EXPECT_FALSE(output.Player().Enabled());

  output.SetEnabled(true);
  EXPECT_TRUE(output.AudioOut().Enabled());
  dispatcher.RunFor(std::chrono::milliseconds(20));
  output.SetEnabled(false);
  dispatcher.RunFor(std::chrono::milliseconds(20));
  EXPECT_FALSE(output.AudioOut().Enabled());
  // No stream ever reaches the output, so its device is never opened.
  EXPECT_TRUE(wave_out.Streams().empty());
}

TEST(EngineCaptureChain, TheMeterListensBesideTheFilter) {
  TVirtualWaveIn wave_in({"Micro"});
  TLoopDispatcher dispatcher;
  TEngineCaptureChain chain(wave_in, dispatcher);
  EXPECT_EQ(chain.AudioIn().OutputPin().SinkCount(), 2u);
  EXPECT_EQ(chain.Meter().CountChannels(), 2);
}
