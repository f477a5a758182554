#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <random>

#include "IniFile.h"
#include "SettingsTestSupport.h"

namespace {

using namespace std::string_literals;

TEST(IniFileReading, SectionsAndKeysAreFoundIgnoringCaseAndSpaces) {
  TIniFile ini("\xEF\xBB\xBF[ MAIN ]\r\n  channel\t=  7 \r\nName = deux mots \r\n[Other]\nkey=o\n");
  EXPECT_EQ(ini.ReadInteger("Main", "Channel", 0), 7);
  EXPECT_EQ(ini.ReadString("main", "NAME", ""), "deux mots");
  EXPECT_EQ(ini.ReadString("Main", "Key", "none"), "none") << "keys belong to their own section";
  EXPECT_EQ(ini.ReadString("Other", "key", ""), "o");
}

TEST(IniFileReading, TheFirstSectionAndTheFirstKeyWin) {
  TIniFile ini("key=outside\n[Main]\nA=1\nA=2\n[Main]\nA=3\nB=4\n");
  EXPECT_EQ(ini.ReadInteger("Main", "A", 0), 1);
  EXPECT_EQ(ini.ReadInteger("Main", "B", 0), 0) << "only the first [Main] is read";
  EXPECT_EQ(ini.Value("", "key"), std::nullopt) << "lines before any section belong to none";
}

TEST(IniFileReading, MalformedLinesAreSkipped) {
  TIniFile ini("[Main\nA=1\n[Main]\nno equals sign\n=5\n; note=x\n[]\nB=2\n[Main]x\nC=3\n");
  EXPECT_EQ(ini.Value("Main", "A"), std::nullopt) << "no closing bracket: no section";
  EXPECT_EQ(ini.Value("Main", "no equals sign"), std::nullopt);
  EXPECT_EQ(ini.Value("Main", ""), std::nullopt);
  EXPECT_EQ(ini.ReadString("", "B", ""), "2") << "\"[]\" is a section with an empty name";
}

TEST(IniFileReading, ValuesStopAtANulAndStringsAtTheLengthLimit) {
  TIniFile ini("[Main]\nA=ab\0cd\nB="s + std::string(5000, 'x') + "\nC=a=b\n");
  EXPECT_EQ(ini.ReadString("Main", "A", ""), "ab");
  EXPECT_EQ(ini.ReadString("Main", "B", "").size(), TIniFile::kMaxStringLength);
  EXPECT_EQ(ini.ReadString("Main", "C", ""), "a=b");
}

TEST(IniFileReading, TypedValuesFallBackWhenMissingOrUnparsable) {
  TIniFile ini("[Main]\nI=12x\nB=yes\nF=1,5\nE=\n");
  EXPECT_EQ(ini.ReadInteger("Main", "I", 3), 3);
  EXPECT_EQ(ini.ReadInteger("Main", "Missing", 3), 3);
  EXPECT_TRUE(ini.ReadBool("Main", "B", true));
  EXPECT_FALSE(ini.ReadBool("Main", "B", false));
  EXPECT_EQ(ini.ReadFloat("Main", "F", 40, "."), 40);
  EXPECT_EQ(ini.ReadFloat("Main", "F", 40, ","), 1.5);
  EXPECT_EQ(ini.ReadFloat("Main", "E", 40, ","), 40);
  EXPECT_EQ(ini.ReadString("Main", "E", "d"), "") << "an empty string is a value";
}

TEST(IniFileWriting, KeysAreUpdatedInPlaceOrAddedAtTheEndOfTheirSection) {
  TIniFile ini("; top\n[main]\nb=1\nA=old\n\n[Next]\nX=1\n");
  ini.WriteString("Main", "a", "new");
  ini.WriteInteger("Main", "C", -3);
  ini.WriteBool("Third", "D", true);
  ini.WriteFloat("Third", "E", 0.5, ",");
  EXPECT_EQ(ini.Text(), "; top\n[main]\nb=1\nA=new\nC=-3\n\n[Next]\nX=1\n\n[Third]\nD=1\nE=0,5\n");
}

TEST(IniFileWriting, AValueCannotBreakTheFile) {
  TIniFile ini;
  ini.WriteString("Main", "A", "line\n[Evil]\nB=1");
  ini.WriteString("Main", "C", "x\ry");
  ini.WriteString("Main", "D", "p\0q"s);
  EXPECT_EQ(ini.Text(), "[Main]\nA=line\nC=x\nD=p\n");
}

class IniFileSaving : public ::testing::Test {
 protected:
  TTempFolder folder;
  std::string path = folder / "t.ini";
};

TEST_F(IniFileSaving, ReplacesTheFileWholeAndKeepsItsPermissions) {
  WriteBytes(path, "[Main]\nA=1\n");
  chmod(path.c_str(), 0640);
  TIniFile ini = TIniFile::Load(path);
  ini.WriteInteger("Main", "A", 2);
  ASSERT_TRUE(ini.Save(path).Ok);
  EXPECT_EQ(ReadBytes(path), "[Main]\nA=2\n");
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(folder.EntryCount(), 1u);
}

TEST_F(IniFileSaving, ALinkKeepsPointingAtTheSettings) {
  std::string real = folder / "real.ini";
  WriteBytes(real, "[Main]\nA=1\n");
  std::filesystem::create_symlink(real, path);
  TIniFile ini = TIniFile::Load(path);
  ini.WriteInteger("Main", "A", 5);
  ASSERT_TRUE(ini.Save(path).Ok);
  EXPECT_TRUE(std::filesystem::is_symlink(path));
  EXPECT_EQ(ReadBytes(real), "[Main]\nA=5\n");
}

// Permissions bind only ordinary users: these run as one, whoever starts the tests.
class IniFileSavingAsAUser : public IniFileSaving {};

TEST_F(IniFileSavingAsAUser, AReadOnlyFileIsRefused) {
  RunAsOrdinaryUser(folder.path(), [&] {
    WriteBytes(path, "[Main]\nA=1\n");
    chmod(path.c_str(), 0444);
    TIniFile ini;
    ini.WriteInteger("Main", "A", 2);
    TIniWriteResult result = ini.Save(path);
    EXPECT_FALSE(result.Ok);
    EXPECT_EQ(result.Error, std::errc::permission_denied);
  });
  EXPECT_EQ(ReadBytes(path), "[Main]\nA=1\n");
}

TEST_F(IniFileSavingAsAUser, AWritableFileInAFolderThatIsNotIsRewrittenInPlace) {
  RunAsOrdinaryUser(folder.path(), [&] {
    WriteBytes(path, "[Main]\nA=1\nlong line that the new text no longer has\n");
    chmod(path.c_str(), 0620);
    struct stat before, after;
    ASSERT_EQ(stat(path.c_str(), &before), 0);
    chmod(folder.path().c_str(), 0555);
    TIniFile ini;  // shorter than the file: the rest must go
    ini.WriteInteger("Main", "A", 2);
    TIniWriteResult result = ini.Save(path);
    chmod(folder.path().c_str(), 0755);
    EXPECT_TRUE(result.Ok) << result.Error.message();
    EXPECT_EQ(ReadBytes(path), "[Main]\nA=2\n");
    ASSERT_EQ(stat(path.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino) << "the same file, not a replacement";
    EXPECT_EQ(after.st_mode & 07777, 0620u);
    EXPECT_EQ(folder.EntryCount(), 1u);

    // A write that fails part way, as on a full disk (the file-size limit stands in for it),
    // puts the old bytes back.
    chmod(folder.path().c_str(), 0555);
    TIniFile longer;
    longer.WriteString("Main", "A", std::string(200, 'x'));
    rlimit old_limit;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old_limit), 0);
    rlimit small = old_limit;
    small.rlim_cur = 100;
    auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    TIniWriteResult full = longer.Save(path);
    setrlimit(RLIMIT_FSIZE, &old_limit);
    std::signal(SIGXFSZ, old_handler);
    chmod(folder.path().c_str(), 0755);
    EXPECT_EQ(full.Error, std::errc::file_too_large);
    EXPECT_EQ(ReadBytes(path), "[Main]\nA=2\n");
  });

  // No file and a folder that takes none: refused.
  std::string none = folder / "sub/none.ini";
  RunAsOrdinaryUser(folder.path(), [&] {
    std::filesystem::create_directory(folder / "sub");
    chmod((folder / "sub").c_str(), 0555);
    TIniFile ini;
    ini.WriteInteger("Main", "A", 2);
    EXPECT_EQ(ini.Save(none).Error, std::errc::permission_denied);
  });
  EXPECT_FALSE(std::filesystem::exists(none));
}

// Root saving a user's file, and a user saving a file root shares with them: the file keeps its
// owner and mode either way. Only root can set up a file of someone else's.
TEST_F(IniFileSaving, TheFileKeepsItsOwnerWhoeverSavesIt) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to give a file to another user";
  WriteBytes(path, "[Main]\nA=1\n");
  ASSERT_EQ(chown(path.c_str(), OrdinaryUid(), OrdinaryGid()), 0);
  ASSERT_EQ(chmod(path.c_str(), 0600), 0);
  TIniFile ini = TIniFile::Load(path);
  ini.WriteInteger("Main", "A", 2);
  ASSERT_TRUE(ini.Save(path).Ok);
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, OrdinaryUid());
  EXPECT_EQ(st.st_gid, OrdinaryGid());
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  EXPECT_EQ(ReadBytes(path), "[Main]\nA=2\n");

  std::string shared = folder / "shared.ini";
  WriteBytes(shared, "[Main]\nA=1\n");
  ASSERT_EQ(chmod(shared.c_str(), 0666), 0);
  // The ordinary user may write into the folder, so a replacement could be made, but not given
  // to root.
  std::filesystem::remove(path);
  RunAsOrdinaryUser(folder.path(), [&] {
    TIniFile mine = TIniFile::Load(shared);
    mine.WriteInteger("Main", "A", 3);
    EXPECT_TRUE(mine.Save(shared).Ok);
  });
  ASSERT_EQ(stat(shared.c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, 0u);
  EXPECT_EQ(st.st_mode & 07777, 0666u);
  EXPECT_EQ(ReadBytes(shared), "[Main]\nA=3\n");
  EXPECT_EQ(folder.EntryCount(), 1u) << "no temporary file left";
}

TEST_F(IniFileSaving, AFolderInPlaceOfTheFileIsRefusedAndCleanedUp) {
  std::filesystem::create_directory(path);
  WriteBytes(path + "/inside", "x");
  TIniFile ini;
  ini.WriteInteger("Main", "A", 2);
  EXPECT_FALSE(ini.Save(path).Ok);
  EXPECT_EQ(folder.EntryCount(), 1u);
}

TEST(IniFileLoading, MissingAndOversizedFilesReadAsEmpty) {
  TTempFolder folder;
  EXPECT_EQ(TIniFile::Load(folder / "none.ini").Text(), "");
  EXPECT_EQ(TIniFile::Load(folder.path().string()).Text(), "") << "a folder";
  std::string big = "[Main]\nA=1\n" + std::string(TIniFile::kMaxFileBytes, ';');
  WriteBytes(folder / "big.ini", big);
  EXPECT_EQ(TIniFile::Load(folder / "big.ini").Value("Main", "A"), std::nullopt);
  big.resize(TIniFile::kMaxFileBytes);
  WriteBytes(folder / "big.ini", big);
  EXPECT_EQ(TIniFile::Load(folder / "big.ini").Value("Main", "A"), "1");
}

// The reader's contract on any input: no crash, and a key just written reads back as written.
void CheckAnyBytes(const std::string& bytes) {
  TIniFile ini(bytes);
  (void)ini.ReadString("Main", "A", "");
  (void)ini.ReadInteger("Main", "B", 0);
  (void)ini.ReadFloat("Main", "C", 0, ",");
  ini.WriteString("Main", "Written", "value");
  ini.WriteInteger("Main", "Number", -45);
  ASSERT_EQ(ini.ReadString("Main", "Written", ""), "value");
  ASSERT_EQ(ini.ReadInteger("Main", "Number", 0), -45);
  // What is written out reads back the same.
  TIniFile again(ini.Text());
  ASSERT_EQ(again.Text(), ini.Text());
  ASSERT_EQ(again.ReadString("Main", "Written", ""), "value");
  ASSERT_EQ(again.ReadInteger("Main", "Number", 0), -45);
}

TEST(IniFileAnyBytes, RandomAndPathologicalInputsNeverBreakTheReader) {
  std::mt19937 rng(2024);
  // Bytes drawn mostly from the characters that mean something to the reader.
  const std::string meaningful =
      "[]=\n\r\t ;$0xX-.,eE\0\xEF\xBB\xBF"
      "MainAB"s;
  for (int round = 0; round < 3000; ++round) {
    std::string bytes(rng() % 200, '\0');
    for (char& c : bytes) {
      c = (rng() % 3 == 0) ? static_cast<char>(rng() % 256) : meaningful[rng() % meaningful.size()];
    }
    CheckAnyBytes(bytes);
    if (HasFatalFailure()) {
      ADD_FAILURE() << "round " << round;
      return;
    }
  }
  for (const std::string& bytes :
       {""s, "\n"s, "["s, "]"s, "="s, "[Main]"s, "[Main]\n=\n"s, "\0\0\0"s,
        std::string(100000, '['), std::string(100000, '='), "[Main]\n" + std::string(100000, 'A'),
        "[Main]\nMain=" + std::string(100000, ']'), std::string(50000, '\n'),
        "[Main]\nWritten\n[Main]\nWritten=first\n"s, "\r\r\r[Main]\r\rWritten=x\r"s,
        "*\r\r\r\n\n[]a\x01a"s, "\xEF\xBB\xBF\xEF\xBB\xBF[Main]\nWritten=x\n"s}) {
    CheckAnyBytes(bytes);
  }
}

}  // namespace
