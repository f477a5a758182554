// Where the window keeps what it must keep: its place on the screen in the settings file beside
// the settings themselves ("Frappe" page included), a settings file that cannot be read (or
// holds no settings, when named by the user) left alone with the defaults in use, a named file
// that cannot be written said at start, and a quiet close that writes nothing.
#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QScreen>
#include <QSpinBox>

#include "PickEntry.h"
#include "WindowFixture.h"

namespace {
QByteArray ReadFile(const std::string& path) {
  QFile f(QString::fromStdString(path));
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
void WriteFile(const std::string& path, const QByteArray& bytes) {
  QFile f(QString::fromStdString(path));
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(bytes);
}
}  // namespace

TEST_F(WindowTest, TheWindowComesBackWhereItWasUnlessThatIsOffEveryScreen) {
  Make();
  const QPoint centred = window->pos();
  const QPoint elsewhere = centred + QPoint(-37, -21);
  window->move(elsewhere);
  ASSERT_TRUE(window->close());
  EXPECT_TRUE(ReadFile(IniPath()).contains(
      QString("MainWindowPosition=%1,%2\n").arg(elsewhere.x()).arg(elsewhere.y()).toUtf8()))
      << ReadFile(IniPath()).toStdString();
  window.reset();
  Make();
  EXPECT_EQ(window->pos(), elsewhere);
  window.reset();

  const QByteArray off = "[Main]\nMainWindowPosition=30000,30000\n";
  for (const QByteArray& stored : {off, QByteArray("[Main]\nMainWindowPosition=abc\n")}) {
    WriteFile(IniPath(), stored);
    Make();
    EXPECT_EQ(window->pos(), centred) << stored.toStdString();
    window.reset();
  }
}

TEST_F(WindowTest, TheSessionsSaveKeepsTheFrappePageBesideTheWindowsPlace) {
  Make();
  ASSERT_TRUE(Pick(D().lstTocsinDetection[1], "Frappe"));
  D().edHit[TMainWindowDesign::kHitScanMs][1]->setValue(2.5);
  D().edHitCrosstalkMs->setValue(17);
  EXPECT_EQ(window->SaveSettingsNow(), "");
  const QByteArray saved = ReadFile(IniPath());
  for (const char* line :
       {"\nTocsinDetection1=1\n", "\nTocsinHitCrosstalkMs=17\n", "\nMainWindowPosition="})
    EXPECT_TRUE(saved.contains(line)) << line << " in\n" << saved.toStdString();
  window.reset();
  MyHit = TMyHit();

  Make();
  EXPECT_EQ(D().lstTocsinDetection[1]->currentText(), "Frappe");
  EXPECT_EQ(D().lstTocsinDetection[0]->currentText(), "Niveau");
  EXPECT_EQ(D().edHit[TMainWindowDesign::kHitScanMs][1]->value(), 2.5);
  EXPECT_EQ(D().edHitCrosstalkMs->value(), 17);
  EXPECT_TRUE(MyHit.HitDetection[1]);
  window.reset();
  MyHit = TMyHit();
}

TEST_F(WindowTest, AFileThatCannotBeReadGivesTheDefaultsAndIsNeverOverwritten) {
  // A folder where the file should be: no reading it, and (unlike a missing folder) no close
  // may replace it.
  ASSERT_TRUE(QDir().mkpath(QString::fromStdString(IniPath())));
  Make();
  ASSERT_TRUE(PumpUntil([&] { return !errors.empty(); }));
  EXPECT_TRUE(errors[0].startsWith("Impossible de lire " + QString::fromStdString(IniPath())))
      << errors[0].toStdString();
  EXPECT_EQ(D().edTocsinThres[0]->value(), -45);
  D().edTocsinThres[0]->setValue(-20);
  ASSERT_TRUE(window->close());
  EXPECT_EQ(errors.size(), 1u) << "nothing more said at close";
  EXPECT_TRUE(QFileInfo(QString::fromStdString(IniPath())).isDir());
}

TEST_F(WindowTest, ANamedFileThatHoldsNoSettingsIsLeftAsItWas) {
  ini_name = "take.wav";
  const QByteArray sound("RIFF\x24\0\0\0WAVEfmt \x10\0\0\0\x01\0\x02\0", 24);
  WriteFile(IniPath(), sound);
  TWindowOptions named;
  named.settings_named = true;
  Make(named);
  ASSERT_TRUE(PumpUntil([&] { return !errors.empty(); }));
  EXPECT_TRUE(errors[0].contains("pas un fichier de réglages")) << errors[0].toStdString();
  ASSERT_TRUE(window->close());
  EXPECT_EQ(ReadFile(IniPath()), sound);
  window.reset();
  errors.clear();

  // The usual file, damaged the same way, is simply replaced by good settings at close.
  Make();
  PumpUntil([] { return false; }, std::chrono::milliseconds(50));
  EXPECT_TRUE(errors.empty());
  ASSERT_TRUE(window->close());
  EXPECT_TRUE(ReadFile(IniPath()).startsWith("RIFF")) << "its unknown lines are kept";
  EXPECT_TRUE(ReadFile(IniPath()).contains("\n[Main]\nAudioInputDeviceName=Default\n"));
}

TEST_F(WindowTest, ANamedFileThatCannotBeWrittenIsSaidAtStartAndNotAgainAtClose) {
  // Its folder would have to be made inside a file.
  WriteFile(IniPath(), "[Main]\n");
  ini_name = "tocsin.ini/inside.ini";
  TWindowOptions named;
  named.settings_named = true;
  Make(named);
  ASSERT_TRUE(PumpUntil([&] { return !errors.empty(); }));
  EXPECT_TRUE(errors[0].startsWith("Impossible d'écrire dans ")) << errors[0].toStdString();
  EXPECT_TRUE(errors[0].contains("ne seront pas enregistrés"));
  ASSERT_TRUE(window->close());
  EXPECT_EQ(errors.size(), 1u);
}

TEST_F(WindowTest, AQuietCloseShowsNothingAndWritesNothing) {
  Make();
  D().ActTriggerStart->trigger();
  ASSERT_TRUE(RunFlags.Running);
  window->CloseQuietly();
  EXPECT_TRUE(window->Closed());
  EXPECT_FALSE(QFile::exists(QString::fromStdString(IniPath())));
  EXPECT_TRUE(errors.empty());
  EXPECT_FALSE(capture_->Running());

  // Asked to save, the window writes at once and says what went wrong instead of showing it.
  window.reset();
  Make();
  EXPECT_EQ(window->SaveSettingsNow(), "");
  EXPECT_TRUE(ReadFile(IniPath()).startsWith("[Main]\n"));
  ASSERT_TRUE(QFile::remove(QString::fromStdString(IniPath())));
  ASSERT_TRUE(QDir().mkpath(QString::fromStdString(IniPath())));
  EXPECT_EQ(window->SaveSettingsNow(), "Impossible d'écrire dans " + IniPath());
  EXPECT_TRUE(errors.empty());
}
