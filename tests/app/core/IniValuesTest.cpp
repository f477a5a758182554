#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <random>

#include "IniValues.h"
#include "SettingsTestSupport.h"

namespace {

TEST(IniValues, IntegersAreDecimalOrHexadecimal) {
  EXPECT_EQ(ParseIniInteger("44100"), 44100);
  EXPECT_EQ(ParseIniInteger("-45"), -45);
  EXPECT_EQ(ParseIniInteger("+7"), 7);
  EXPECT_EQ(ParseIniInteger("0x5622"), 22050);
  EXPECT_EQ(ParseIniInteger("0X5622"), 22050);
  EXPECT_EQ(ParseIniInteger("$5622"), 22050);
  EXPECT_EQ(ParseIniInteger("$ff"), 255);
  EXPECT_EQ(ParseIniInteger("$FFFFFFFF"), -1) << "hexadecimal covers all 32 bits";
  EXPECT_EQ(ParseIniInteger("0x00000000000010"), 16);
  EXPECT_EQ(ParseIniInteger("2147483647"), 2147483647);
  EXPECT_EQ(ParseIniInteger("-2147483648"), INT32_MIN);
  EXPECT_EQ(ParseIniInteger("007"), 7);
}

TEST(IniValues, AnythingElseIsNoInteger) {
  for (const char* bad : {"",           "-",           "+",
                          "0x",         "0X",          "$",
                          "0x1g",       "$-1",         "-$10",
                          "--1",        "+-1",         "1.5",
                          "1,5",        "12a",         "a12",
                          " 12",        "2147483648",  "-2147483649",
                          "$100000000", "0x123456789", "99999999999999999999999",
                          "1e3"}) {
    EXPECT_EQ(ParseIniInteger(bad), std::nullopt) << '"' << bad << '"';
  }
}

TEST(IniValues, FloatsReadWithTheGivenSeparatorOnly) {
  EXPECT_EQ(ParseIniFloat("-45", "."), -45.0);
  EXPECT_EQ(ParseIniFloat("-45.5", "."), -45.5);
  EXPECT_EQ(ParseIniFloat("-45,5", ","), -45.5);
  EXPECT_EQ(ParseIniFloat(",5", ","), 0.5);
  EXPECT_EQ(ParseIniFloat("5,", ","), 5.0);
  EXPECT_EQ(ParseIniFloat("+1E3", "."), 1000.0);
  EXPECT_EQ(ParseIniFloat("2,5e-1", ","), 0.25);
  EXPECT_EQ(ParseIniFloat("1\xD9\xAB"
                          "5",
                          "\xD9\xAB"),
            1.5)
      << "a separator of several bytes";
  for (auto [text, sep] :
       std::initializer_list<std::pair<const char*, const char*>>{{"-45,5", "."},
                                                                  {"-45.5", ","},
                                                                  {"", "."},
                                                                  {"-", "."},
                                                                  {".", "."},
                                                                  {"1e", "."},
                                                                  {"1e+", "."},
                                                                  {"1.2.3", "."},
                                                                  {"1 000", "."},
                                                                  {"inf", "."},
                                                                  {"nan", "."},
                                                                  {"1e400", "."},
                                                                  {"-1e400", "."},
                                                                  {"0x10", "."},
                                                                  {" 1", "."},
                                                                  {"1 ", "."}}) {
    EXPECT_EQ(ParseIniFloat(text, sep), std::nullopt) << '"' << text << "\" with " << sep;
  }
}

TEST(IniValues, FloatsAreWrittenInTheirShortestForm) {
  EXPECT_EQ(FormatIniFloat(-45, "."), "-45");
  EXPECT_EQ(FormatIniFloat(30, ","), "30");
  EXPECT_EQ(FormatIniFloat(-12.5, ","), "-12,5");
  EXPECT_EQ(FormatIniFloat(0.1 + 0.2, "."), "0.3") << "15 significant digits";
  EXPECT_EQ(FormatIniFloat(-0.0, "."), "0");
  EXPECT_EQ(FormatIniFloat(1e20, "."), "1E20");
  EXPECT_EQ(FormatIniFloat(1.5e-5, ","), "1,5E-5");
  EXPECT_EQ(FormatIniFloat(123456789012345.0, "."), "123456789012345");
}

TEST(IniValues, WrittenFloatsReadBackToFifteenDigits) {
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> mantissa(-10, 10);
  std::uniform_int_distribution<int> exponent(-30, 30);
  for (const char* sep : {".", ","}) {
    for (int i = 0; i < 2000; ++i) {
      double v = mantissa(rng) * std::pow(10.0, exponent(rng));
      auto back = ParseIniFloat(FormatIniFloat(v, sep), sep);
      ASSERT_TRUE(back) << FormatIniFloat(v, sep);
      EXPECT_NEAR(*back, v, std::abs(v) * 1e-14) << FormatIniFloat(v, sep);
    }
  }
}

TEST(IniValues, TheSeparatorComesFromTheUsersLocale) {
  EXPECT_EQ(DecimalSeparatorOfLocale("C"), ".");
  EXPECT_EQ(DecimalSeparatorOfLocale("xx_NOWHERE.UTF-8"), ".") << "not installed";

  // A French locale compiled into a private folder, found through LOCPATH.
  TTempFolder folder;
  std::string command =
      "localedef -i fr_FR -f UTF-8 " + (folder / "fr_FR.UTF-8") + " >/dev/null 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0)
      << "localedef cannot build fr_FR: the locales package is missing (scripts/install-deps.sh)";
  // In a child process: the environment stays untouched here, and the C library's cache of
  // the private locale folder, kept until exit, goes with the child.
  int pipe_fds[2];
  ASSERT_EQ(pipe(pipe_fds), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    setenv("LOCPATH", folder.path().c_str(), 1);
    setenv("LC_ALL", "fr_FR.UTF-8", 1);
    std::string found = UserDecimalSeparator();
    (void)!write(pipe_fds[1], found.data(), found.size());
    _exit(0);
  }
  close(pipe_fds[1]);
  char buf[16];
  ssize_t n = read(pipe_fds[0], buf, sizeof buf);
  close(pipe_fds[0]);
  waitpid(child, nullptr, 0);
  std::string separator(buf, n > 0 ? static_cast<size_t>(n) : 0);
  EXPECT_EQ(separator, ",");
  EXPECT_EQ(UserDecimalSeparator(), DecimalSeparatorOfLocale(""));
}

}  // namespace
