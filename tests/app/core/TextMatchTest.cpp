#include <gtest/gtest.h>

#include "Cp1252.h"
#include "TextMatch.h"

namespace {

TEST(Cp1252, NoteNamesHaveTheirWindowsBytes) {
  EXPECT_EQ(Utf8ToCp1252("Ré"), "\x52\xE9");
  EXPECT_EQ(Cp1252ToUtf8("\x52\xE9"), "Ré");
  EXPECT_EQ(Utf8ToCp1252("Ré#-2"), "R\xE9#-2");
  EXPECT_EQ(Cp1252ToUtf8("\x80\x9C\x9F"), "€œŸ");
  EXPECT_EQ(Utf8ToCp1252("€œŸ"), "\x80\x9C\x9F");
}

TEST(Cp1252, EveryByteSurvivesTheRoundTrip) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  std::string utf8 = Cp1252ToUtf8(all);
  size_t pos = 0;
  char32_t c;
  int count = 0;
  while (pos < utf8.size()) {
    ASSERT_TRUE(DecodeUtf8(utf8, pos, c)) << "at " << pos;
    ++count;
  }
  EXPECT_EQ(count, 256);
  EXPECT_EQ(Utf8ToCp1252(utf8), all);
}

TEST(Cp1252, WhatTheSetCannotHoldBecomesAQuestionMark) {
  EXPECT_EQ(Utf8ToCp1252("Ж"), "?");
  EXPECT_EQ(Utf8ToCp1252("a\xFF"
                         "b"),
            "a?b");
  EXPECT_EQ(Utf8ToCp1252("\xC3"), "?") << "cut sequence";
  EXPECT_EQ(Utf8ToCp1252("\xC0\xA9"), "??") << "overlong form";
  EXPECT_EQ(Utf8ToCp1252("\xED\xA0\x80"), "???") << "surrogate";
  EXPECT_EQ(Utf8ToCp1252("\xF4\x90\x80\x80"), "????") << "beyond U+10FFFF";
}

TEST(Cp1252, ACutTextLosesOnlyItsHalfCharacter) {
  EXPECT_EQ(WithoutPartialUtf8Tail("abé"), "abé");
  EXPECT_EQ(WithoutPartialUtf8Tail("ab\xC3"), "ab");
  EXPECT_EQ(WithoutPartialUtf8Tail("ab\xE2\x82"), "ab");
  EXPECT_EQ(WithoutPartialUtf8Tail("ab€"), "ab€");
  EXPECT_EQ(WithoutPartialUtf8Tail("\x80\x80\x80\x80"), "\x80\x80\x80\x80");
  EXPECT_EQ(WithoutPartialUtf8Tail(""), "");
}

TEST(TextMatch, LetterCaseIsIgnored) {
  EXPECT_TRUE(SameTextIgnoringCase("do3", "Do3"));
  EXPECT_TRUE(SameTextIgnoringCase("RÉ#4", "Ré#4"));
  EXPECT_TRUE(SameTextIgnoringCase("ŒUVRE ŸÀ", "œuvre ÿà"));
  EXPECT_TRUE(SameTextIgnoringCase("ŽĹ", "žĺ"));
  EXPECT_FALSE(SameTextIgnoringCase("Do3", "Do#3"));
  EXPECT_FALSE(SameTextIgnoringCase("Do3", "Do"));
  EXPECT_FALSE(SameTextIgnoringCase("×", "÷"));
  EXPECT_FALSE(SameTextIgnoringCase("E", "É"));
  EXPECT_TRUE(SameTextIgnoringCase("a\xFFZ", "A\xFFz")) << "invalid bytes compare as bytes";
  EXPECT_FALSE(SameTextIgnoringCase("\xC3", "\xC3\xA9"));
  EXPECT_TRUE(SameTextIgnoringCase("", ""));
}

TEST(TextMatch, TheFirstMatchingEntryWins) {
  std::vector<std::string> entries = {"Default", "Carte", "CARTE", "carte"};
  EXPECT_EQ(FindListEntry(entries, "carte"), 1);
  EXPECT_EQ(FindListEntry(entries, "default"), 0);
  EXPECT_EQ(FindListEntry(entries, "Cart"), -1);
  EXPECT_EQ(FindListEntry(entries, ""), -1);
  EXPECT_EQ(FindListEntry({}, "x"), -1);
}

}  // namespace
