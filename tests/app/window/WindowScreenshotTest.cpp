// Renders the main window, each of its pages and the about window to PNG files in the build
// folder, for a look by eye; checks that each picture is the window's size and not blank.
#include <QDir>
#include <QImage>
#include <QPixmap>
#include <QStatusBar>

#include "WindowFixture.h"
#include "frmAbout.h"

namespace {
// More than a handful of colours: the picture holds controls, not an empty fill.
int DistinctColours(const QImage& image) {
  QSet<QRgb> colours;
  for (int y = 0; y < image.height(); y += 3)
    for (int x = 0; x < image.width(); x += 3) colours.insert(image.pixel(x, y));
  return colours.size();
}

QString Save(QWidget& widget, const QString& name) {
  const QString path = QDir(TOCSIN_SCREENSHOT_DIR).filePath(name);
  QImage image = widget.grab().toImage();
  EXPECT_TRUE(image.save(path)) << path.toStdString();
  EXPECT_GT(DistinctColours(image), 8) << name.toStdString();
  return path;
}
}  // namespace

TEST_F(WindowTest, GrabsTheMainWindowItsPagesAndTheAboutWindow) {
  Make();
  window->show();
  ASSERT_TRUE(PumpUntil([&] { return window->isVisible(); }));
  EXPECT_EQ(window->centralWidget()->width(), kMainClientWidth);
  EXPECT_EQ(window->centralWidget()->height() + D().StatusBar1->height(), kMainClientHeight);
  const char* const pages[4] = {"entree_audio", "traitement", "sortie_midi", "sortie_audio"};
  for (int i = 0; i < 4; ++i) {
    D().PageControl1->setCurrentIndex(i);
    QCoreApplication::processEvents();
    Save(*window, QString("window_%1.png").arg(pages[i]));
  }

  // Running, with a loud left block: bars, readouts, lights and CLIP lit.
  D().PageControl1->setCurrentIndex(0);
  D().ActTriggerStart->trigger();
  DeliverOnCaptureThread(BlockAtDb(0, -12));
  ASSERT_TRUE(PumpUntil([&] { return !D().lblClip->isHidden(); }));
  Save(*window, "window_running.png");

  TfmAbout about(window.get());
  about.show();
  QCoreApplication::processEvents();
  Save(about, "about.png");
}
