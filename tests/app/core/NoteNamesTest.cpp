// The MIDI lists' entries and the text conversion between stored and shown note names.
#include <gtest/gtest.h>

#include <set>

#include "Cp1252.h"
#include "NoteNames.h"

TEST(NoteNames, EntriesRunFromDoMinus2ToSi8) {
  const auto names = NoteEntryNames();
  ASSERT_EQ(names.size(), 132u);
  EXPECT_EQ(names[0], "Do-2");
  EXPECT_EQ(names[1], "Do#-2");
  EXPECT_EQ(names[2], "R\xE9-2");  // stored as Windows-1252: 52 E9
  EXPECT_EQ(names[3], "R\xE9#-2");
  EXPECT_EQ(names[11], "Si-2");
  EXPECT_EQ(names[12], "Do-1");
  EXPECT_EQ(names[24], "Do0");
  EXPECT_EQ(names[60], "Do3");
  EXPECT_EQ(names[127], "Sol8");
  EXPECT_EQ(names[131], "Si8");
  std::set<std::string> distinct(names.begin(), names.end());
  EXPECT_EQ(distinct.size(), names.size());
  for (int k = 0; k < kNoteEntryCount; ++k) {
    EXPECT_EQ(NoteEntryName(k), names[k]);
    EXPECT_EQ(NoteEntryIndex(names[k]), k);
  }
  EXPECT_EQ(NoteEntryName(-1), "");
  EXPECT_EQ(NoteEntryName(132), "");
}

TEST(NoteNames, NamesAreFoundByTheirStoredText) {
  EXPECT_EQ(NoteEntryIndex("Do3"), 60);
  EXPECT_EQ(NoteEntryIndex("R\xC3\xA9" "3"), -1);  // UTF-8 is the shown form, not the stored one
  EXPECT_EQ(NoteEntryIndex(Utf8ToCp1252("R\xC3\xA9" "3")), 62);
  EXPECT_EQ(NoteEntryIndex("do3"), -1);
  EXPECT_EQ(NoteEntryIndex(""), -1);
  EXPECT_EQ(NoteEntryNamesUtf8()[62], "R\xC3\xA9" "3");
}

TEST(NoteNames, EveryEntrySendsANoteInTheMidiRange) {
  EXPECT_EQ(MidiNoteForEntry(0), 0);
  EXPECT_EQ(MidiNoteForEntry(60), 60);
  EXPECT_EQ(MidiNoteForEntry(127), 127);
  // Sol#8..Si8 have no MIDI number: the same note names one octave lower.
  EXPECT_EQ(MidiNoteForEntry(128), 116);
  EXPECT_EQ(MidiNoteForEntry(131), 119);
  for (int k = 0; k < kNoteEntryCount; ++k) {
    EXPECT_GE(MidiNoteForEntry(k), 0);
    EXPECT_LT(MidiNoteForEntry(k), 128);
    EXPECT_EQ(MidiNoteForEntry(k) % 12, k % 12);
  }
  EXPECT_EQ(MidiNoteForEntry(-1), -1);
  EXPECT_EQ(MidiNoteForEntry(132), -1);
}

TEST(NoteNames, ChannelEntries) {
  const auto ch = MidiChannelEntries();
  ASSERT_EQ(ch.size(), 16u);
  EXPECT_EQ(ch.front(), "1");
  EXPECT_EQ(ch.back(), "16");
}

TEST(Cp1252, EveryByteRoundTrips) {
  std::string all;
  for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
  EXPECT_EQ(Utf8ToCp1252(Cp1252ToUtf8(all)), all);
}

TEST(Cp1252, KnownCharacters) {
  EXPECT_EQ(Cp1252ToUtf8("R\xE9"), "R\xC3\xA9");
  EXPECT_EQ(Cp1252ToUtf8("\x80"), "\xE2\x82\xAC");  // the euro sign
  EXPECT_EQ(Utf8ToCp1252("\xE2\x82\xAC"), "\x80");
  EXPECT_EQ(Utf8ToCp1252("\xC5\x93"), "\x9C");  // oe ligature
}

TEST(Cp1252, UnrepresentableAndMalformedTextBecomesQuestionMarks) {
  EXPECT_EQ(Utf8ToCp1252("a\xE2\x86\x92" "b"), "a?b");   // an arrow has no Windows-1252 byte
  EXPECT_EQ(Utf8ToCp1252("\xF0\x9F\x8E\xB5"), "?");      // nor does a note outside the BMP
  EXPECT_EQ(Utf8ToCp1252("\xC0\xAF"), "??");             // overlong form
  EXPECT_EQ(Utf8ToCp1252("R\xE9"), "R?");                // a stray Windows-1252 byte
  EXPECT_EQ(Utf8ToCp1252("\xC3"), "?");                  // cut short
}

// Notes typed on a command line: numbers, English names (C1 = 36, the GM kick) and the French
// names with or without accents, all landing on the entry that sends that note.
TEST(NoteNames, NotesAsTypedOnACommandLine) {
  const std::pair<const char*, int> found[] = {
      {"36", 36},   {"0", 0},      {"127", 127},    {"C1", 36},    {"c1", 36},   {"C3", 60},
      {"C-2", 0},   {"G8", 127},   {"B8", 131},     {"C#1", 37},   {"Db1", 37},  {"Cb1", 35},
      {"B#1", 48},  {"Do1", 36},   {"DO1", 36},     {"Ré1", 38},   {"RÉ1", 38},  {"Re1", 38},
      {"re#1", 39}, {"Sol-1", 19}, {"sol#8", 128},  {"Mib2", 51},  {"Si8", 131}, {"Do-2", 0},
  };
  for (const auto& [text, entry] : found) EXPECT_EQ(NoteEntryForText(text), entry) << text;
  for (const char* bad : {"", "128", "-1", "36.0", "H2", "C", "C9", "C-3", "Cb-2", "B#8", "Do",
                          "Re 1", "C1x", "x", "R\xE9" "1"})
    EXPECT_EQ(NoteEntryForText(bad), -1) << bad;
  // Every French entry as the list shows it names itself.
  const auto shown = NoteEntryNamesUtf8();
  for (int k = 0; k < kNoteEntryCount; ++k) EXPECT_EQ(NoteEntryForText(shown[k]), k) << shown[k];
  EXPECT_EQ(EnglishNoteName(36), "C1");
  EXPECT_EQ(EnglishNoteName(61), "C#3");
  EXPECT_EQ(EnglishNoteName(0), "C-2");
  EXPECT_EQ(EnglishNoteName(128), "");
  for (int n = 0; n < 128; ++n) EXPECT_EQ(NoteEntryForText(EnglishNoteName(n)), n);
}
