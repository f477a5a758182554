// The tocsin program's command line: help and version printed, bad options refused with exit
// status 2, its own options read, Qt's window options let through.
#include <gtest/gtest.h>

#include <QDialogButtonBox>
#include <QPushButton>
#include <QTranslator>

#include "CommandLine.h"
#include "QtTestApp.h"
#include "Translations.h"

namespace {
TCommandLine Parse(const QStringList& args) {
  return ParseCommandLine(QStringList{"tocsin"} + args, "1.2.3");
}
}  // namespace

TEST(CommandLine, HelpAndVersionPrintAndStop) {
  const TCommandLine none = Parse({});
  EXPECT_FALSE(none.Exit);
  EXPECT_TRUE(none.SettingsFile.empty());
  EXPECT_FALSE(none.Start);
  EXPECT_TRUE(none.JackName.empty());

  for (const char* help : {"--help", "-h"}) {
    const TCommandLine c = Parse({help});
    EXPECT_TRUE(c.Exit);
    EXPECT_EQ(c.ExitCode, 0);
    for (const char* option : {"--settings <FILE>", "--start", "--jack-name <NAME>", "--version"})
      EXPECT_NE(c.Out.find(option), std::string::npos) << option;
    EXPECT_EQ(c.Out.find("platform"), std::string::npos) << "Qt's own options stay hidden";
    EXPECT_TRUE(c.Err.empty());
  }
  for (const char* version : {"--version", "-v"}) {
    const TCommandLine c = Parse({version});
    EXPECT_TRUE(c.Exit);
    EXPECT_EQ(c.ExitCode, 0);
    EXPECT_EQ(c.Out, "tocsin 1.2.3\n");
  }
}

TEST(CommandLine, OptionsAreReadAndQtsOwnLetThrough) {
  const TCommandLine c = Parse({"--settings", "/tmp/live.ini", "--start", "--jack-name=drums",
                                "-platform", "offscreen", "-reverse"});
  EXPECT_FALSE(c.Exit) << c.Err;
  EXPECT_EQ(c.SettingsFile, "/tmp/live.ini");
  EXPECT_TRUE(c.Start);
  EXPECT_EQ(c.JackName, "drums");
}

TEST(CommandLine, BadCommandLinesExitWithStatus2AndTheUsageOnStandardError) {
  const QStringList bad[] = {{"--frobnicate"},
                             {"-x"},
                             {"take.wav"},
                             {"--settings"},
                             {"--settings="},
                             {"--jack-name", ""},
                             {"--jack-name", QString(64, 'n')}};
  for (const QStringList& args : bad) {
    const TCommandLine c = Parse(args);
    EXPECT_TRUE(c.Exit) << args.join(' ').toStdString();
    EXPECT_EQ(c.ExitCode, 2) << args.join(' ').toStdString();
    EXPECT_TRUE(c.Out.empty());
    EXPECT_EQ(c.Err.rfind("tocsin: ", 0), 0u) << c.Err;
    EXPECT_NE(c.Err.find("Usage: "), std::string::npos) << c.Err;
  }
  EXPECT_NE(Parse({"--frobnicate"}).Err.find("frobnicate"), std::string::npos);
}

// Qt's standard texts in French, from the system's translations.
TEST(Translations, StandardButtonsSpeakFrench) {
  QTranslator* installed = InstallFrenchTranslations(*QCoreApplication::instance());
  ASSERT_NE(installed, nullptr) << "qt6-translations-l10n is not installed";
  QDialogButtonBox box(QDialogButtonBox::Cancel | QDialogButtonBox::Open);
  const QString cancel = box.button(QDialogButtonBox::Cancel)->text().remove('&');
  const QString open = box.button(QDialogButtonBox::Open)->text().remove('&');
  QCoreApplication::removeTranslator(installed);
  delete installed;
  EXPECT_EQ(cancel, "Annuler");
  EXPECT_EQ(open, "Ouvrir");
}
