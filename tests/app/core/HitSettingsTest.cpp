// Hit detection's keys in the settings file (after the window's 21, read, clamped, shown and
// saved with them), the settings the capture tap gets from them and the shared controls, and
// the snapshot that carries those settings to the tap.
#include <gtest/gtest.h>

#include "FakeSettingsView.h"
#include "HitRecord.h"
#include "HitSettingsSnapshot.h"
#include "Settings.h"
#include "SettingsTestSupport.h"

namespace {

struct TShownHitView : TFakeSettingsView {
  int shown = 0;
  TMyHit last;
  void ShowHitSettings(const TMyHit& hit) override {
    ++shown;
    last = hit;
  }
};

class HitSettingsTest : public ::testing::Test {
 protected:
  HitSettingsTest() { view.midi = &midi; }
  TSettingsRecords Records() { return {params, audio, midi, &hit}; }
  void Load() { LoadSettings(ini, ".", view, Records()); }

  TTempFolder folder;
  std::string ini = folder / "tocsin.ini";
  TAudioInParams params;
  TMyAudio audio;
  TMyMidi midi;
  TMyHit hit;
  TShownHitView view;
};

TEST_F(HitSettingsTest, AFileWithoutThemReadsTheDefaultsAndASaveAppendsThemInOrder) {
  WriteBytes(ini, "[Main]\nTocsinLeftThres=-30\nAudioOutputTempDisabledDuration=55\n");
  hit.HitDetection[1] = true;  // whatever the record held before
  Load();
  const TMyHit defaults;
  EXPECT_FALSE(hit.HitDetection[0]);
  EXPECT_FALSE(hit.HitDetection[1]);
  EXPECT_EQ(hit.Pad[1].ScanMs, defaults.Pad[1].ScanMs);
  EXPECT_EQ(hit.CrosstalkRatioDb, defaults.CrosstalkRatioDb);
  EXPECT_EQ(view.shown, 1) << "applying the settings shows them";
  EXPECT_EQ(view.left_box, -30);

  hit.HitDetection[1] = true;
  hit.Pad[0].ScanMs = 1.5;
  hit.Pad[1].Curve = TVelocityCurve::kSoft;
  const std::string fresh = folder / "fresh.ini";
  ASSERT_TRUE(SaveSettings(fresh, ".", view, Records()).Ok);
  const std::string text = ReadBytes(fresh);
  std::vector<std::string> keys;
  for (size_t at = text.find('\n') + 1; at < text.size(); at = text.find('\n', at) + 1)
    keys.push_back(text.substr(at, text.find('=', at) - at));
  ASSERT_EQ(keys.size(), 21u + 25u);
  EXPECT_EQ(keys[20], "AudioOutputTempDisabledDuration");
  keys.erase(keys.begin(), keys.begin() + 21);
  EXPECT_EQ(keys,
            (std::vector<std::string>{
                "TocsinDetection0",         "TocsinDetection1",         "TocsinHitScanMs0",
                "TocsinHitScanMs1",         "TocsinHitMaskMs0",         "TocsinHitMaskMs1",
                "TocsinHitDecayMs0",        "TocsinHitDecayMs1",        "TocsinHitRetriggerDb0",
                "TocsinHitRetriggerDb1",    "TocsinHitReleaseDb0",      "TocsinHitReleaseDb1",
                "TocsinHitNoteLengthMs0",   "TocsinHitNoteLengthMs1",   "TocsinHitHighPassHz0",
                "TocsinHitHighPassHz1",     "TocsinHitLowPassHz0",      "TocsinHitLowPassHz1",
                "TocsinHitFullVelocityDb0", "TocsinHitFullVelocityDb1", "TocsinHitVelocityCurve0",
                "TocsinHitVelocityCurve1",  "TocsinHitCrosstalkMs",     "TocsinHitCrosstalkDb",
                "TocsinHitCrosstalkHoldMs"}));
  EXPECT_NE(text.find("TocsinDetection1=1\n"), std::string::npos);
  EXPECT_NE(text.find("TocsinHitScanMs0=1.5\n"), std::string::npos);

  // And the next start finds them.
  TMyHit again;
  LoadSettings(fresh, ".", view, {params, audio, midi, &again});
  EXPECT_TRUE(again.HitDetection[1]);
  EXPECT_EQ(again.Pad[0].ScanMs, 1.5);
  EXPECT_EQ(again.Pad[1].Curve, TVelocityCurve::kSoft);
}

TEST_F(HitSettingsTest, BadValuesAreBroughtIntoRangeAndTheRestOfTheFileStillLoads) {
  WriteBytes(ini,
             "[Main]\nTocsinDetection0=1\nTocsinDetection1=7\nTocsinHitScanMs0=-5\n"
             "TocsinHitMaskMs1=1e9\nTocsinHitDecayMs0=vite\nTocsinHitVelocityCurve0=9\n"
             "TocsinHitVelocityCurve1=-2\nTocsinHitCrosstalkDb=-inf\nTocsinHitNoteLengthMs0=0\n"
             "MidiOutChannel=10\nTocsinRightThres=-20\n");
  Load();
  THitSettings expected;
  expected.Pad[0].ScanMs = -5;
  expected.Pad[1].MaskMs = 1e9;
  expected.Pad[0].NoteLengthMs = 0;
  expected = expected.Clamped();
  EXPECT_TRUE(hit.HitDetection[0]);
  EXPECT_TRUE(hit.HitDetection[1]);
  EXPECT_EQ(hit.Pad[0].ScanMs, expected.Pad[0].ScanMs);
  EXPECT_GE(hit.Pad[0].ScanMs, 0);
  EXPECT_EQ(hit.Pad[1].MaskMs, expected.Pad[1].MaskMs);
  EXPECT_LT(hit.Pad[1].MaskMs, 1e9);
  EXPECT_EQ(hit.Pad[0].NoteLengthMs, expected.Pad[0].NoteLengthMs);
  EXPECT_EQ(hit.Pad[0].DecayMs, THitPadSettings{}.DecayMs) << "text reads as the default";
  EXPECT_EQ(hit.Pad[0].Curve, TVelocityCurve::kHard);
  EXPECT_EQ(hit.Pad[1].Curve, TVelocityCurve::kLinear);
  EXPECT_EQ(hit.CrosstalkRatioDb, THitSettings{}.CrosstalkRatioDb);
  EXPECT_EQ(view.Selected(ESettingsList::MidiOutChannel), "10");
  EXPECT_EQ(view.right_box, -20);
}

TEST(HitWindowSettings, EachPadTakesItsChannelsKindEventThresholdAndVelocityChoice) {
  TMyHit hit;
  hit.HitDetection[1] = true;
  hit.Pad[1].ScanMs = 4;
  hit.CrosstalkWindowMs = 12;
  TControlSnapshot controls;
  controls.HitDetection[1] = true;  // the snapshot, not the record, says what runs
  controls.Thres[1] = -33;
  controls.StartMidiNote[1] = false;
  controls.StartAudioFile[1] = true;
  controls.MidiVelFollowLevel = true;
  controls.AudioVolFollowLevel = false;
  const THitSettings s = WindowHitSettings(hit, controls);
  EXPECT_FALSE(s.Pad[0].Enabled);
  EXPECT_EQ(s.Pad[0].Event, THitEvent::kNote);
  EXPECT_TRUE(s.Pad[0].VelocityFollowsLevel);
  EXPECT_TRUE(s.Pad[1].Enabled);
  EXPECT_EQ(s.Pad[1].Event, THitEvent::kSound);
  EXPECT_EQ(s.Pad[1].ThresholdDb, -33);
  EXPECT_FALSE(s.Pad[1].VelocityFollowsLevel) << "a sound follows the volume check box";
  EXPECT_EQ(s.Pad[1].ScanMs, 4);
  EXPECT_EQ(s.CrosstalkWindowMs, 12);
}

TEST(HitSettingsSnapshot, TheReaderGetsTheNewestSetOnceAndKeepsItUntilTheNext) {
  THitSettingsSnapshot snapshot;
  EXPECT_EQ(snapshot.Take(), nullptr);
  THitSettings s;
  for (double scan : {1.0, 2.0, 3.0}) {
    s.Pad[0].ScanMs = scan;
    snapshot.Publish(s);
  }
  const THitSettings* taken = snapshot.Take();
  ASSERT_NE(taken, nullptr);
  EXPECT_EQ(taken->Pad[0].ScanMs, 3.0) << "the unread older sets are never seen";
  EXPECT_EQ(snapshot.Take(), nullptr);
  s.Pad[0].ScanMs = 4.0;
  snapshot.Publish(s);
  EXPECT_EQ(snapshot.Current().Pad[0].ScanMs, 3.0) << "until taken, the reader keeps its set";
  ASSERT_NE(snapshot.Take(), nullptr);
  EXPECT_EQ(snapshot.Current().Pad[0].ScanMs, 4.0);
}

}  // namespace
