// Renders the main window, each of its pages and the about window to PNG files in the build
// folder, for a look by eye, and probes the pixels of the indicators in the window's picture.
// Its "tocsin.png" is the README's picture (docs/tocsin.png: cmake --build build --target
// readme_screenshot makes it anew).
#include <QDir>
#include <QImage>
#include <QPixmap>
#include <QStatusBar>

#include "WindowFixture.h"
#include "AdStatLt.h"
#include "frmAbout.h"

namespace {
QImage Save(QWidget& widget, const QString& name) {
  const QString path = QDir(TOCSIN_SCREENSHOT_DIR).filePath(name);
  QImage image = widget.grab().toImage();
  EXPECT_TRUE(image.save(path)) << path.toStdString();
  return image;
}

// The colour the window's picture shows at a point of one of its controls (in the control's
// own coordinates).
QColor Probe(const QImage& image, QWidget& window, const QWidget* control, QPoint at) {
  const QPoint p = control->mapTo(&window, at) * image.devicePixelRatio();
  return image.pixelColor(p);
}

::testing::AssertionResult Near(const QColor& got, const QColor& want) {
  const int d = std::abs(got.red() - want.red()) + std::abs(got.green() - want.green()) +
                std::abs(got.blue() - want.blue());
  if (d <= 60) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << got.name().toStdString() << " is not "
                                       << want.name().toStdString();
}

QPoint Centre(const QWidget* w) { return QPoint(w->width() / 2, w->height() / 2); }

// Whether any pixel of a bar's middle row between x0 and x1 (in the bar's coordinates) differs
// from one picture to the other.
bool BarChanged(const QImage& before, const QImage& after, QWidget& window, const QWidget* bar,
                int x0, int x1) {
  for (int x = x0; x < x1; ++x) {
    const QPoint at(x, bar->height() / 2);
    if (Probe(before, window, bar, at) != Probe(after, window, bar, at)) return true;
  }
  return false;
}
}  // namespace

TEST_F(WindowTest, GrabsTheMainWindowItsPagesAndTheAboutWindow) {
  TWindowOptions o;
  o.system = TAudioSystemInfo{"JACK", 48000, 256};
  Make(o);
  window->show();
  ASSERT_TRUE(PumpUntil([&] { return window->isVisible(); }));
  EXPECT_EQ(window->centralWidget()->width(), kMainClientWidth);
  EXPECT_EQ(window->centralWidget()->height() + D().StatusBar1->height(), kMainClientHeight);
  const char* const pages[5] = {"entree_audio", "traitement", "sortie_midi", "sortie_audio",
                                "frappe"};
  QImage stopped;
  for (int i = 0; i < 5; ++i) {
    D().PageControl1->setCurrentIndex(i);
    QCoreApplication::processEvents();
    QImage image = Save(*window, QString("window_%1.png").arg(pages[i]));
    if (i == 0) stopped = image;
  }
  const TMainWindowDesign& d = D();
  for (const TApdStatusLight* led : {d.ledAudioInState, d.LedMidiOutState, d.ledLeftThres})
    EXPECT_TRUE(Near(Probe(stopped, *window, led, Centre(led)), led->NotLitColor()))
        << led->objectName().toStdString() << " shows unlit";

  // Running, with a loud left block: bars, readouts, lights and CLIP lit.
  d.PageControl1->setCurrentIndex(0);
  d.ActTriggerStart->trigger();
  DeliverOnCaptureThread(BlockAtDb(0, -12));
  ASSERT_TRUE(PumpUntil([&] { return !d.lblClip->isHidden(); }));
  ASSERT_TRUE(PumpUntil([&] { return d.VuAudioLeft->Position() == 0; }));
  QImage running = Save(*window, "window_running.png");
  for (const TApdStatusLight* led : {d.ledAudioInState, d.LedMidiOutState, d.ledLeftThres})
    EXPECT_TRUE(Near(Probe(running, *window, led, Centre(led)), led->LitColor()))
        << led->objectName().toStdString() << " shows lit";
  EXPECT_TRUE(Near(Probe(running, *window, d.lblClip, QPoint(3, 3)), Qt::red)) << "CLIP shows";
  // 0 dB fills the left bar to its end; -12 dB leaves the right bar's last tenth dark.
  const int w = d.VuAudioLeft->width();
  EXPECT_TRUE(BarChanged(stopped, running, *window, d.VuAudioLeft, w * 9 / 10, w));
  EXPECT_TRUE(BarChanged(stopped, running, *window, d.VuAudioRight, 0, w / 10));
  EXPECT_FALSE(BarChanged(stopped, running, *window, d.VuAudioRight, w * 9 / 10, w));

  // The README's picture: a first start at work on "Traitement", a hit on the left pad.
  d.PageControl1->setCurrentIndex(1);
  // Blocks until the display's 100 ms refresh takes one (nothing is refreshed sooner).
  ASSERT_TRUE(PumpUntil([&] {
    DeliverOnCaptureThread(BlockAtDb(-9, -62));
    return d.lblLeftLevelInDb->text().startsWith("-9");
  }));
  Save(*window, "tocsin.png");

  TfmAbout about(window.get());
  about.show();
  QCoreApplication::processEvents();
  Save(about, "about.png");
}
