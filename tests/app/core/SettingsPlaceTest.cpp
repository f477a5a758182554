// Which settings file an instance takes and when the window must leave a file alone: files that
// cannot be read or hold no settings, folders that refuse a new file, and a second instance
// kept off the first one's file while it runs.
#include <sys/stat.h>

#include "SettingsPlace.h"
#include "SettingsTestSupport.h"

namespace {
class SettingsPlaceTest : public ::testing::Test {
 protected:
  TTempFolder folder;
};
using SettingsPlaceAsAUser = SettingsPlaceTest;
}  // namespace

TEST_F(SettingsPlaceTest, TellsSettingsFromWhatIsNoneOfThem) {
  EXPECT_EQ(CheckSettingsFile(folder / "none.ini"), ESettingsFileState::Missing);
  WriteBytes(folder / "good.ini", "[Main]\nMidiOutChannel=3\n");
  EXPECT_EQ(CheckSettingsFile(folder / "good.ini"), ESettingsFileState::Usable);
  WriteBytes(folder / "empty.ini", "");
  EXPECT_EQ(CheckSettingsFile(folder / "empty.ini"), ESettingsFileState::Usable);
  std::filesystem::create_directory(folder / "folder.ini");
  EXPECT_EQ(CheckSettingsFile(folder / "folder.ini"), ESettingsFileState::Unreadable);
  // --settings take.wav by mistake: a sound is no settings file, however small.
  WriteBytes(folder / "take.wav", std::string("RIFF\x24\0\0\0WAVEfmt ", 16));
  EXPECT_EQ(CheckSettingsFile(folder / "take.wav"), ESettingsFileState::NotSettings);
  WriteBytes(folder / "huge.ini", std::string(2 << 20, '\n'));
  EXPECT_EQ(CheckSettingsFile(folder / "huge.ini"), ESettingsFileState::NotSettings);
}

TEST_F(SettingsPlaceAsAUser, FilesAndFoldersTheUserMayNotTouch) {
  RunAsOrdinaryUser(folder.path(), [&] {
    WriteBytes(folder / "secret.ini", "[Main]\n");
    chmod((folder / "secret.ini").c_str(), 0200);
    EXPECT_EQ(CheckSettingsFile(folder / "secret.ini"), ESettingsFileState::Unreadable);
    EXPECT_TRUE(SettingsFileWritable(folder / "secret.ini"));

    WriteBytes(folder / "frozen.ini", "[Main]\n");
    chmod((folder / "frozen.ini").c_str(), 0444);
    EXPECT_EQ(CheckSettingsFile(folder / "frozen.ini"), ESettingsFileState::Usable);
    EXPECT_FALSE(SettingsFileWritable(folder / "frozen.ini"));

    // A missing file: the nearest folder that exists decides, the others are made at save.
    EXPECT_TRUE(SettingsFileWritable(folder / "a/b/c/tocsin.ini"));
    std::filesystem::create_directory(folder / "shut");
    chmod((folder / "shut").c_str(), 0555);
    EXPECT_FALSE(SettingsFileWritable(folder / "shut/tocsin.ini"));
    EXPECT_FALSE(SettingsFileWritable(folder / "shut/deeper/tocsin.ini"));
    chmod((folder / "shut").c_str(), 0755);
  });
}

TEST_F(SettingsPlaceTest, AnInstanceNamedOtherwiseHasAFileOfItsOwn) {
  const std::string usual = "/home/u/.config/tocsin/tocsin.ini";
  EXPECT_EQ(InstanceSettingsFile(usual, "Tocsin"), usual);
  EXPECT_EQ(InstanceSettingsFile(usual, "Tocsin-01"), "/home/u/.config/tocsin/Tocsin-01.ini");
  EXPECT_EQ(InstanceSettingsFile(usual, "drums"), "/home/u/.config/tocsin/drums.ini");
  for (const char* odd : {"", "..", "a/b"}) EXPECT_EQ(InstanceSettingsFile(usual, odd), usual);
}

TEST_F(SettingsPlaceTest, ASecondInstanceTakesTheNextFreeFile) {
  const std::string file = folder / "cfg/tocsin.ini";  // its folder is made for the lock
  TSettingsLock first, second, third;
  EXPECT_EQ(ClaimSettingsFile(file, first), file);
  EXPECT_EQ(ClaimSettingsFile(file, second), folder / "cfg/tocsin-2.ini");
  EXPECT_EQ(ClaimSettingsFile(file, third), folder / "cfg/tocsin-3.ini");
  // The first one gone, the next instance gets its file back.
  first.Release();
  TSettingsLock fourth;
  EXPECT_EQ(ClaimSettingsFile(file, fourth), file);
}

TEST_F(SettingsPlaceTest, MessagesSayWhatHappensToTheFile) {
  const std::string unread = CannotReadMessage("/x/t.ini", ESettingsFileState::Unreadable);
  EXPECT_EQ(unread.rfind("Impossible de lire /x/t.ini", 0), 0u) << unread;
  EXPECT_NE(unread.find("ne sera pas modifié"), std::string::npos) << unread;
  EXPECT_NE(CannotReadMessage("/x/t.wav", ESettingsFileState::NotSettings)
                .find("pas un fichier de réglages"),
            std::string::npos);
  EXPECT_EQ(WillNotSaveMessage("/x/t.ini").rfind("Impossible d'écrire dans /x/t.ini", 0), 0u);
}
