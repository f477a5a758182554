// The about window: texts from the build, the thanks text, OK, and the scrolling.
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "QtTestApp.h"
#include "WindowFixture.h"
#include "frmAbout.h"

TEST(AboutWindow, ShowsTheBuildsVersionCopyrightAndComments) {
  TfmAbout about(nullptr);
  EXPECT_EQ(about.windowTitle(), "À propos…");
  EXPECT_EQ(about.size(), QSize(305, 193));
  EXPECT_EQ(TfmAbout::ProgramVersion(), "1.0.0.0");
  auto text = [&](const char* name) {
    auto* l = about.findChild<QLabel*>(name);
    return l ? l->text() : QString("<missing %1>").arg(name);
  };
  EXPECT_EQ(text("Label2"), "Données MIDI depuis entrée audio");
  EXPECT_EQ(text("Version"), "Version :");
  EXPECT_EQ(text("Copyright"), "Copyright :");
  EXPECT_EQ(text("Comments"), "Commentaires :");
  EXPECT_EQ(text("VersionValue"), "1.0.0.0");
  EXPECT_EQ(text("CopyrightValue"), "© 2026 les auteurs de Tocsin");
  EXPECT_EQ(text("CommentsValue"), "Seuil audio vers notes MIDI");
  EXPECT_EQ(text("lblThanks"), "Remerciements");
  EXPECT_EQ(text("ThanksText"),
            "Merci aux auteurs de Qt, RtAudio et RtMidi,\nlibsndfile, libsamplerate et JACK.");
}

TEST(AboutWindow, ThanksScrollUntilOkClosesWithOk) {
  TfmAbout about(nullptr);
  EXPECT_TRUE(about.Scrolling());
  auto* thanks = about.findChild<QLabel*>("ThanksText");
  ASSERT_NE(thanks, nullptr);
  const int y0 = thanks->y();
  ASSERT_TRUE(PumpUntil([&] { return thanks->y() != y0; }));
  about.show();
  EXPECT_EQ(about.OkButton()->text(), "OK");
  EXPECT_TRUE(about.OkButton()->isDefault());
  about.OkButton()->click();
  EXPECT_EQ(about.result(), QDialog::Accepted);
  EXPECT_FALSE(about.Scrolling());
}

TEST_F(WindowTest, TheAboutActionShowsTheDialogModallyAndFreesIt) {
  Make();
  window->show();
  QString title;
  QWidget* owner = nullptr;
  // OK is clicked as soon as the dialog is up; should it never close, every dialog is rejected
  // after 10 s so that the modal loop ends and the test fails instead of hanging.
  QTimer click;
  QObject::connect(&click, &QTimer::timeout, [&] {
    if (auto* about = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
      click.stop();
      title = about->windowTitle();
      owner = about->parentWidget();
      about->findChild<QPushButton*>("btnOK")->click();
    }
  });
  click.start(20);
  QTimer deadline;
  deadline.setSingleShot(true);
  QObject::connect(&deadline, &QTimer::timeout, [] {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* dialog = qobject_cast<QDialog*>(w)) dialog->reject();
  });
  deadline.start(10000);
  D().ActAppAbout->trigger();  // returns when the dialog closes
  EXPECT_TRUE(deadline.isActive()) << "the dialog did not close on OK";
  EXPECT_EQ(title, "À propos…");
  EXPECT_EQ(owner, window.get());
  EXPECT_TRUE(window->findChildren<TfmAbout*>().isEmpty());
}
