#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>

#include "FakeSettingsView.h"
#include "Settings.h"
#include "SettingsTestSupport.h"

namespace {

using namespace std::string_literals;
using L = ESettingsList;

class SettingsTest : public ::testing::Test {
 protected:
  SettingsTest() { view.midi = &midi; }

  TSettingsRecords Records() { return {params, audio, midi}; }
  void Load(const std::string& sep = ".") { LoadSettings(ini, sep, view, Records()); }
  TIniWriteResult Save(const std::string& sep = ".") {
    return SaveSettings(ini, sep, view, Records());
  }
  // A [Main] section with the given lines.
  void WriteMain(const std::string& lines) { WriteBytes(ini, "[Main]\n" + lines); }
  // A fresh start on the file as it is now.
  void Restart() {
    params = TAudioInParams();
    audio = TMyAudio();
    midi.DeviceName.clear();
    midi.NoteName0 = midi.NoteName1 = "Do3";
    view = TFakeSettingsView();
    view.midi = &midi;
    Load();
  }

  TTempFolder folder;
  std::string ini = folder / "tocsin.ini";
  TAudioInParams params;
  TMyAudio audio;
  TMyMidi midi;
  TFakeSettingsView view;
};

TEST_F(SettingsTest, FirstStartWithoutAFileGivesEveryDefault) {
  // The record fields the file does not hold start from other values to show they are written.
  midi.Channel = 9;
  midi.VelFollowAudioInLevel[0] = midi.VelFollowAudioInLevel[1] = false;
  audio.VolFollowAudioInLevel[0] = true;
  Load();

  EXPECT_EQ(audio.InputDeviceName, "Default");
  EXPECT_EQ(params.Channels, 2);
  EXPECT_EQ(params.BufferSize, 1024u);
  EXPECT_EQ(params.SampleRate, 44100u);
  EXPECT_EQ(params.Bits, 16);
  EXPECT_EQ(audio.LeftThres, -45);
  EXPECT_EQ(audio.RightThres, -45);
  EXPECT_TRUE(view.start_midi[0] && view.start_midi[1]);
  EXPECT_EQ(view.file_name[0], "");
  EXPECT_EQ(view.file_name[1], "");
  EXPECT_EQ(midi.DeviceName, "");
  EXPECT_TRUE(midi.VelFollowAudioInLevel[0] && midi.VelFollowAudioInLevel[1]);
  EXPECT_EQ(midi.Channel, 1);
  EXPECT_EQ(midi.NoteName0, "Do3");
  EXPECT_EQ(midi.NoteName1, "Do3");
  EXPECT_EQ(audio.OutputDeviceName, "Default");
  EXPECT_FALSE(audio.VolFollowAudioInLevel[0] || audio.VolFollowAudioInLevel[1]);
  EXPECT_EQ(view.duration, 40) << "the form's 30 is overwritten by the key's default";

  // Applied to components and controls.
  EXPECT_EQ(view.capture_device, "Default");
  EXPECT_EQ(view.output_device, "Default");
  EXPECT_EQ(view.Selected(L::InputDevices), "Default");
  EXPECT_EQ(view.Selected(L::OutputDevices), "Default");
  EXPECT_EQ(view.Selected(L::AudioInputChannels), "2 - Stéréo");
  EXPECT_EQ(view.Selected(L::AudioInputBufferSize), "1024");
  EXPECT_EQ(view.Selected(L::AudioInputSampleRate), "44100");
  EXPECT_EQ(view.Selected(L::AudioInputBits), "16");
  EXPECT_EQ(view.capture_channels, 2u);
  EXPECT_EQ(view.capture_buffer, 1024u);
  EXPECT_EQ(view.capture_rate, 44100u);
  EXPECT_EQ(view.capture_bits, 16u);
  EXPECT_EQ(view.left_box, -45);
  EXPECT_EQ(view.right_box, -45);
  EXPECT_TRUE(view.vel_follow);
  EXPECT_FALSE(view.vol_follow);
  EXPECT_EQ(view.Selected(L::MidiOutChannel), "1");
  EXPECT_EQ(view.Selected(L::MidiOutNote0), "Do3");
  EXPECT_EQ(view.selected[L::MidiOutNote0], 60);
  EXPECT_EQ(view.Selected(L::MidiOutNote1), "Do3");
  // The empty port name matches no port: the port chosen at creation stays.
  EXPECT_EQ(view.selected[L::MidiOut], 0);
  EXPECT_EQ(view.midi_product, "");

  EXPECT_FALSE(std::filesystem::exists(ini)) << "loading never creates the file";
}

TEST_F(SettingsTest, SavingUnchangedSettingsWritesTheTwentyOneKeysInOrder) {
  Load();
  ASSERT_TRUE(Save().Ok);
  EXPECT_EQ(ReadBytes(ini),
            "[Main]\n"
            "AudioInputDeviceName=Default\n"
            "AudioInputChannels=2\n"
            "AudioInputBufferSize=1024\n"
            "AudioInputSampleRate=44100\n"
            "AudioInputBits=16\n"
            "TocsinLeftThres=-45\n"
            "TocsinRightThres=-45\n"
            "TocsinStartMidiNote0=1\n"
            "TocsinStartMidiNote1=1\n"
            "AudioOutFileName0=\n"
            "AudioOutFileName1=\n"
            "MidiOutDeviceName=\n"
            "MidiOutVelFollowAudioInLevel0=1\n"
            "MidiOutVelFollowAudioInLevel1=1\n"
            "MidiOutChannel=1\n"
            "MidiOutNote0=Do3\n"
            "MidiOutNote1=Do3\n"
            "AudioOutputDeviceName=Default\n"
            "AudioOutVolFollowAudioInLevel0=0\n"
            "AudioOutVolFollowAudioInLevel1=0\n"
            "AudioOutputTempDisabledDuration=40\n");
}

TEST_F(SettingsTest, EverySettingSurvivesASaveAndTheNextStart) {
  WriteMain(
      "AudioInputDeviceName=USB Audio\nAudioInputChannels=1\nAudioInputBufferSize=256\n"
      "AudioInputSampleRate=48000\nAudioInputBits=8\nTocsinLeftThres=-30\nTocsinRightThres=-12\n"
      "TocsinStartMidiNote0=0\nTocsinStartMidiNote1=1\nAudioOutFileName0=/sons/caisse claire.wav\n"
      "AudioOutFileName1=\nMidiOutDeviceName=Synth Externe\nMidiOutVelFollowAudioInLevel0=0\n"
      "MidiOutVelFollowAudioInLevel1=0\nMidiOutChannel=10\nMidiOutNote0=Mi2\nMidiOutNote1=La#-1\n"
      "AudioOutputDeviceName=HDMI\nAudioOutVolFollowAudioInLevel0=1\n"
      "AudioOutVolFollowAudioInLevel1=1\nAudioOutputTempDisabledDuration=250\n");
  std::string before = ReadBytes(ini);
  Load();
  EXPECT_FALSE(view.start_midi[0]) << "\"0\" checks \"Fichier son\"";
  EXPECT_TRUE(view.start_midi[1]);
  EXPECT_EQ(view.Selected(L::InputDevices), "USB Audio");
  EXPECT_EQ(view.Selected(L::AudioInputChannels), "2 - Stéréo") << "whatever the stored count";
  EXPECT_EQ(view.capture_channels, 1u);
  EXPECT_EQ(view.Selected(L::AudioInputBits), "8");
  EXPECT_EQ(view.Selected(L::MidiOutChannel), "10");
  EXPECT_EQ(view.Selected(L::MidiOutNote1), "La#-1");
  EXPECT_EQ(view.Selected(L::MidiOut), "Synth Externe");
  EXPECT_EQ(view.midi_product, "Synth Externe");
  EXPECT_EQ(view.duration, 250);
  ASSERT_TRUE(Save().Ok);
  EXPECT_EQ(ReadBytes(ini), before);
}

TEST_F(SettingsTest, IntegersReadInHexadecimalAndFallBackWhenUnparsable) {
  WriteMain(
      "AudioInputSampleRate=0x5622\nAudioInputBufferSize=$200\nAudioInputBits=16bits\n"
      "MidiOutChannel=0X\nTocsinStartMidiNote0=0x0\nTocsinStartMidiNote1=-3\n");
  Load();
  EXPECT_EQ(params.SampleRate, 22050u);
  EXPECT_EQ(view.Selected(L::AudioInputSampleRate), "22050");
  EXPECT_EQ(params.BufferSize, 512u);
  EXPECT_EQ(params.Bits, 16) << "unparsable: default";
  EXPECT_EQ(midi.Channel, 1) << "\"0X\" is too short to be hexadecimal";
  EXPECT_FALSE(view.start_midi[0]);
  EXPECT_TRUE(view.start_midi[1]) << "any non-zero value is true";
}

TEST_F(SettingsTest, CaptureValuesOutsideTheListStillReachTheCaptureFormat) {
  WriteMain(
      "AudioInputBufferSize=1000\nAudioInputSampleRate=32000\nAudioInputBits=12\n"
      "AudioInputChannels=65538\n");
  Load();
  EXPECT_EQ(view.selected[L::AudioInputBufferSize], -1);
  EXPECT_EQ(view.capture_buffer, 1000u);
  EXPECT_EQ(view.selected[L::AudioInputSampleRate], -1);
  EXPECT_EQ(view.capture_rate, 32000u);
  EXPECT_EQ(view.selected[L::AudioInputBits], -1);
  EXPECT_EQ(view.capture_bits, 12u);
  EXPECT_EQ(params.Channels, 2) << "low 16 bits";
}

TEST_F(SettingsTest, BlockSizesAndRatesNoCaptureCouldRunWithGiveTheDefault) {
  for (const char* bad : {"0", "-1", "$FFFFFFFF", "2000000000", "1048577"}) {
    WriteMain(std::string("AudioInputBufferSize=") + bad + "\nAudioInputSampleRate=" + bad + "\n");
    Restart();
    EXPECT_EQ(params.BufferSize, 1024u) << bad;
    EXPECT_EQ(params.SampleRate, 44100u) << bad;
    EXPECT_EQ(view.capture_buffer, 1024u) << bad;
  }
  WriteMain("AudioInputBufferSize=1048576\nAudioInputSampleRate=1\n");
  Restart();
  EXPECT_EQ(params.BufferSize, 1048576u);
  EXPECT_EQ(params.SampleRate, 1u);
}

TEST_F(SettingsTest, ThresholdBoxesClampAndRoundToWholeDecibels) {
  WriteMain("TocsinLeftThres=-200\nTocsinRightThres=10\n");
  Load();
  EXPECT_EQ(view.left_box, -144);
  EXPECT_EQ(view.right_box, 0);

  // A fractional threshold becomes the nearest whole number, halves away from zero; the record
  // keeps the file's value until the start-up copies the boxes back.
  WriteMain("TocsinLeftThres=-45.5\nTocsinRightThres=-20.4\n");
  Restart();
  EXPECT_EQ(view.left_box, -46);
  EXPECT_EQ(view.right_box, -20);
  EXPECT_EQ(audio.LeftThres, -45.5);

  EXPECT_EQ(ThresholdBoxValue(-0.4), 0);
  EXPECT_EQ(ThresholdBoxValue(-143.5), -144);
  EXPECT_EQ(ThresholdBoxValue(-1e300), -144);
  EXPECT_EQ(InhibitionBoxValue(0), 1);
  EXPECT_EQ(InhibitionBoxValue(40.5), 41);
  EXPECT_EQ(InhibitionBoxValue(1e9), 10000);
}

TEST_F(SettingsTest, MidiChannelSelectsItsEntryOrNothing) {
  struct Case {
    const char* stored;
    int index;
  };
  for (Case c : {Case{"16", 15}, Case{"0", -1}, Case{"17", -1}, Case{"257", 0}, Case{"x", 0}}) {
    WriteMain(std::string("MidiOutChannel=") + c.stored + "\n");
    Restart();
    EXPECT_EQ(view.selected[L::MidiOutChannel], c.index) << c.stored;
  }
}

TEST_F(SettingsTest, NoteNamesAreFoundIgnoringCaseAndTakeTheEntrysText) {
  WriteMain("MidiOutNote0=do3\nMidiOutNote1=SOL#8\n");
  Load();
  EXPECT_EQ(view.selected[L::MidiOutNote0], 60);
  EXPECT_EQ(midi.NoteName0, "Do3");
  EXPECT_EQ(view.selected[L::MidiOutNote1], 128);
  EXPECT_EQ(midi.NoteName1, "Sol#8");
}

TEST_F(SettingsTest, AnUnknownNoteNameIsEmptiedAndStaysEmpty) {
  WriteMain("MidiOutNote0=Do9\n");
  Load();
  EXPECT_EQ(view.selected[L::MidiOutNote0], -1);
  EXPECT_EQ(midi.NoteName0, "");
  EXPECT_EQ(midi.NoteName1, "Do3");
  ASSERT_TRUE(Save().Ok);
  EXPECT_NE(ReadBytes(ini).find("\nMidiOutNote0=\n"), std::string::npos);

  Restart();
  EXPECT_EQ(midi.NoteName0, "") << "the default applies only to a missing key";
  EXPECT_EQ(view.selected[L::MidiOutNote0], -1);
}

TEST_F(SettingsTest, NoteNamesAreStoredInWindows1252) {
  WriteMain(
      "MidiOutNote0=R\xE9"
      "3\nMidiOutNote1=r\xC9#-2\n");
  Load();
  EXPECT_EQ(midi.NoteName0, "Ré3");
  EXPECT_EQ(view.selected[L::MidiOutNote0], 62);
  EXPECT_EQ(midi.NoteName1, "Ré#-2") << "É matches é";
  ASSERT_TRUE(Save().Ok);
  std::string text = ReadBytes(ini);
  EXPECT_NE(text.find("\nMidiOutNote0=\x52\xE9\x33\n"), std::string::npos);
  EXPECT_NE(text.find("\nMidiOutNote1=R\xE9#-2\n"), std::string::npos);
}

TEST_F(SettingsTest, TwinKeysAreAlwaysWrittenFromTheirOneCheckBox) {
  WriteMain(
      "MidiOutVelFollowAudioInLevel0=0\nMidiOutVelFollowAudioInLevel1=1\n"
      "AudioOutVolFollowAudioInLevel0=1\nAudioOutVolFollowAudioInLevel1=0\n");
  Load();
  EXPECT_FALSE(midi.VelFollowAudioInLevel[0]);
  EXPECT_TRUE(midi.VelFollowAudioInLevel[1]);
  EXPECT_FALSE(view.vel_follow) << "the box follows key 0";
  EXPECT_TRUE(view.vol_follow);
  ASSERT_TRUE(Save().Ok);
  std::string text = ReadBytes(ini);
  EXPECT_NE(text.find("MidiOutVelFollowAudioInLevel0=0\nMidiOutVelFollowAudioInLevel1=0\n"),
            std::string::npos);
  EXPECT_NE(text.find("AudioOutVolFollowAudioInLevel0=1\nAudioOutVolFollowAudioInLevel1=1\n"),
            std::string::npos);
}

TEST_F(SettingsTest, FloatsUseTheUsersDecimalSeparator) {
  Load(",");
  audio.LeftThres = -12.5;
  audio.RightThres = -0.25;
  ASSERT_TRUE(Save(",").Ok);
  std::string text = ReadBytes(ini);
  EXPECT_NE(text.find("\nTocsinLeftThres=-12,5\nTocsinRightThres=-0,25\n"), std::string::npos);

  Restart();  // with ".": the French text does not parse
  EXPECT_EQ(audio.LeftThres, -45);
  audio = TMyAudio();
  LoadSettings(ini, ",", view, Records());
  EXPECT_EQ(audio.LeftThres, -12.5);
  EXPECT_EQ(audio.RightThres, -0.25);
}

TEST_F(SettingsTest, SavingKeepsWhatElseTheFileHolds) {
  WriteBytes(ini, "; réglages\n[Autre]\nA=1\n\n[main]\nMidiOutChannel=5\nPerso=x\n\n[Fin]\nB=2\n");
  Load();
  ASSERT_TRUE(Save().Ok);
  std::string text = ReadBytes(ini);
  EXPECT_EQ(text.rfind("; réglages\n[Autre]\nA=1\n\n[main]\nMidiOutChannel=5\nPerso=x\n"
                       "AudioInputDeviceName=Default\n",
                       0),
            0u);
  EXPECT_NE(text.find("AudioOutputTempDisabledDuration=40\n\n[Fin]\nB=2\n"), std::string::npos);
}

TEST_F(SettingsTest, AStoredMidiPortIsSelectedOnlyWhenInstalled) {
  WriteMain("MidiOutDeviceName=synth externe\n");
  Load();
  EXPECT_EQ(view.selected[L::MidiOut], 1);
  EXPECT_EQ(view.midi_product, "synth externe");

  WriteMain("MidiOutDeviceName=Port Parti\n");
  Restart();
  EXPECT_EQ(view.selected[L::MidiOut], 0) << "the port chosen at creation stays";
  EXPECT_EQ(view.midi_product, "");
  EXPECT_EQ(midi.DeviceName, "Port Parti");
  ASSERT_TRUE(Save().Ok);
  EXPECT_NE(ReadBytes(ini).find("\nMidiOutDeviceName=Port Parti\n"), std::string::npos);
}

TEST_F(SettingsTest, AnUnknownDeviceLeavesItsListWithoutSelection) {
  WriteMain("AudioInputDeviceName=Carte Débranchée\nAudioOutputDeviceName=default\n");
  Load();
  EXPECT_EQ(view.capture_device, "Carte Débranchée");
  EXPECT_EQ(view.selected[L::InputDevices], -1);
  EXPECT_EQ(view.Selected(L::OutputDevices), "Default");
}

TEST_F(SettingsTest, ApplyingRunsItsSixteenStepsInOrderAndSwallowsComponentErrors) {
  auto run = [&](bool fail) {
    view = TFakeSettingsView();
    view.midi = &midi;
    view.components_throw = fail;
    midi.DeviceName = "Synth Externe";
    ApplySettings(view, Records());
    return view.log;
  };
  auto s = [](L list, int index) {
    return "select " + std::to_string(static_cast<int>(list)) + " " + std::to_string(index);
  };
  std::vector<std::string> ok = {"capture device",
                                 s(L::InputDevices, -1),  // the fake's records hold empty names
                                 "output device",
                                 s(L::OutputDevices, -1),
                                 s(L::AudioInputChannels, 1),
                                 "channels",
                                 s(L::AudioInputBufferSize, 5),
                                 "buffer",
                                 s(L::AudioInputSampleRate, 2),
                                 "rate",
                                 s(L::AudioInputBits, 1),
                                 "bits",
                                 "thresholds",
                                 "event kinds",
                                 "vel follow",
                                 s(L::MidiOutChannel, 0),
                                 s(L::MidiOutNote0, 60),
                                 s(L::MidiOutNote1, 60),
                                 "note handler",
                                 s(L::MidiOut, 1),
                                 "midi port",
                                 "vol follow",
                                 "duration handler"};
  EXPECT_EQ(run(false), ok);

  // Every component refuses: each guarded step stops at its refusal and the next step runs.
  EXPECT_EQ(run(true), ok);
  EXPECT_EQ(view.capture_device, "");
  EXPECT_EQ(view.capture_buffer, 0u) << "a refused value is not taken";
}

TEST_F(SettingsTest, AWriteTheSystemRefusesReportsThePathAndChangesNothing) {
  // The folder is a file: no temporary file can be made beside the settings.
  WriteBytes(folder / "plain", "x");
  std::string inside_file = folder / "plain/tocsin.ini";
  Load();
  TIniWriteResult result = SaveSettings(inside_file, ".", view, Records());
  EXPECT_FALSE(result.Ok);
  EXPECT_EQ(result.Error, std::errc::not_a_directory);
  EXPECT_EQ(CannotWriteMessage(inside_file), "Impossible d'écrire dans " + inside_file);

  std::string missing = folder / "gone/tocsin.ini";
  result = SaveSettings(missing, ".", view, Records());
  EXPECT_FALSE(result.Ok);
  EXPECT_EQ(result.Error, std::errc::no_such_file_or_directory);
}

// Permissions bind only ordinary users: these run as one, whoever starts the tests.
class SettingsAsAUser : public SettingsTest {};

TEST_F(SettingsAsAUser, AFolderTheUserMayNotWriteStillTakesTheWritableFileButNotAReadOnlyOne) {
  RunAsOrdinaryUser(folder.path(), [&] {
    WriteMain("MidiOutChannel=7\n");
    Load();
    audio.RightThres = -12;
    std::filesystem::permissions(
        folder.path(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    TIniWriteResult written = Save();
    chmod(ini.c_str(), 0444);
    const std::string kept = ReadBytes(ini);
    audio.RightThres = -3;
    TIniWriteResult refused = Save();
    std::filesystem::permissions(folder.path(), std::filesystem::perms::owner_all);

    EXPECT_TRUE(written.Ok) << written.Error.message();
    EXPECT_NE(kept.find("MidiOutChannel=7\n"), std::string::npos) << kept;
    EXPECT_NE(kept.find("TocsinRightThres=-12\n"), std::string::npos) << kept;
    EXPECT_FALSE(refused.Ok);
    EXPECT_EQ(refused.Error, std::errc::permission_denied);
    EXPECT_EQ(ReadBytes(ini), kept);
    EXPECT_EQ(CannotWriteMessage(ini), "Impossible d'écrire dans " + ini);
  });
}

// Settings go to the user's folder, for an installed program and a build tree alike; only a
// file already beside the executable (a portable install) keeps them there.
TEST_F(SettingsAsAUser, AnInstalledProgramKeepsItsSettingsInTheUsersConfigurationFolder) {
  RunAsOrdinaryUser(folder.path(), [&] {
    const std::string exe = folder / "bin/tocsin";
    std::filesystem::create_directory(folder / "bin");
    EXPECT_EQ(SettingsFileLocation(exe, "/cfg", "/home/u"), "/cfg/tocsin/tocsin.ini")
        << "a folder the user may write gets no file of its own";
    WriteBytes(folder / "bin/tocsin.ini", "[Main]\n");
    EXPECT_EQ(SettingsFileLocation(exe, "/cfg", "/home/u"), folder / "bin/tocsin.ini")
        << "a file there makes a portable install";
    chmod((folder / "bin/tocsin.ini").c_str(), 0444);
    EXPECT_EQ(SettingsFileLocation(exe, "/cfg", "/home/u"), folder / "bin/tocsin.ini")
        << "even when the file there is read-only: its refusal is said at close";
    std::filesystem::remove(folder / "bin/tocsin.ini");

    chmod((folder / "bin").c_str(), 0555);
    EXPECT_EQ(SettingsFileLocation(exe, "/cfg", "/home/u"), "/cfg/tocsin/tocsin.ini");
    EXPECT_EQ(SettingsFileLocation(exe, nullptr, "/home/u"), "/home/u/.config/tocsin/tocsin.ini");
    EXPECT_EQ(SettingsFileLocation(exe, "", "/home/u"), "/home/u/.config/tocsin/tocsin.ini");
    EXPECT_EQ(SettingsFileLocation(exe, "rel/cfg", "/home/u"), "/home/u/.config/tocsin/tocsin.ini")
        << "a relative configuration folder is no configuration folder";

    // A file an administrator put beside the program for everybody stays in use.
    chmod((folder / "bin").c_str(), 0755);
    WriteBytes(folder / "bin/tocsin.ini", "[Main]\n");
    chmod((folder / "bin/tocsin.ini").c_str(), 0644);
    chmod((folder / "bin").c_str(), 0555);
    EXPECT_EQ(SettingsFileLocation(exe, "/cfg", "/home/u"), folder / "bin/tocsin.ini");
    chmod((folder / "bin/tocsin.ini").c_str(), 0444);
    EXPECT_EQ(SettingsFileLocation(exe, "/cfg", "/home/u"), "/cfg/tocsin/tocsin.ini");
    chmod((folder / "bin").c_str(), 0755);
  });
}

TEST_F(SettingsTest, AFullDiskLeavesTheOldFileWholeAndNoTemporaryFile) {
  WriteMain("MidiOutChannel=7\n");
  std::string before = ReadBytes(ini);
  Load();
  // The file-size limit makes the write fail part way, as a full disk would.
  rlimit old_limit;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old_limit), 0);
  rlimit small = old_limit;
  small.rlim_cur = 100;
  auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  TIniWriteResult result = Save();
  setrlimit(RLIMIT_FSIZE, &old_limit);
  std::signal(SIGXFSZ, old_handler);

  EXPECT_FALSE(result.Ok);
  EXPECT_EQ(result.Error, std::errc::file_too_large);
  EXPECT_EQ(ReadBytes(ini), before);
  EXPECT_EQ(folder.EntryCount(), 1u) << "the temporary file is removed";
}

TEST_F(SettingsTest, TheFileIsNamedAfterTheExecutable) {
  EXPECT_EQ(SettingsFileNameFor("/opt/tocsin/bin/tocsin"), "/opt/tocsin/bin/tocsin.ini");
  EXPECT_EQ(SettingsFileNameFor("/opt/tocsin/bin/tocsin.bin"), "/opt/tocsin/bin/tocsin.ini");
  EXPECT_EQ(SettingsFileNameFor("/opt/v1.2/tocsin"), "/opt/v1.2/tocsin.ini");
  EXPECT_EQ(SettingsFileNameFor("/opt/tocsin.app.x"), "/opt/tocsin.app.ini");
  std::string self = RunningExecutablePath();
  ASSERT_FALSE(self.empty());
  EXPECT_TRUE(std::filesystem::equivalent(self, "/proc/self/exe"));
}

TEST_F(SettingsTest, AnyBytesInTheFileGiveDefaults) {
  const std::string garbage[] = {
      "\0\0\0\xff\xfe[Main\x00]\n=\n==\n["s,
      "[Main]\nAudioInputChannels\nTocsinLeftThres\n" + std::string(300000, 'x'),
      "[Main]\n" + std::string(200000, '=') + "\nMidiOutNote0=" + std::string(5000, '\xE9'),
      "[Main]\nAudioInputChannels=99999999999999999999\nTocsinLeftThres=1e400\n"
      "TocsinRightThres=nan\nAudioOutputTempDisabledDuration=-inf\n",
      std::string(TIniFile::kMaxFileBytes + 1, '\n'),
  };
  for (const auto& bytes : garbage) {
    WriteBytes(ini, bytes);
    Restart();
    EXPECT_EQ(params.Channels, 2);
    EXPECT_EQ(audio.LeftThres, -45);
    EXPECT_EQ(audio.RightThres, -45);
    EXPECT_EQ(view.duration, 40);
    EXPECT_EQ(midi.Channel, 1);
    EXPECT_EQ(view.Selected(L::MidiOutNote1), "Do3");
    EXPECT_TRUE(Save().Ok);
  }
}

}  // namespace
