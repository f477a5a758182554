// Renders the indicators as the main window lays them out (level bars, threshold strips, dB
// readouts, threshold and state lights, "CLIP") to PNG files in the build folder, stopped and
// running, at 1:1 and enlarged 4 times, so that anyone can look at the panel.
#include <gtest/gtest.h>

#include <QDir>
#include <QLabel>
#include <QLocale>

#include "WidgetsTestSupport.h"

namespace {

struct Panel {
  QWidget window;
  TrmScale left_thres{&window}, right_thres{&window};
  TVrLevelBar left_bar{&window}, right_bar{&window};
  QLabel g{QStringLiteral("G"), &window}, d{QStringLiteral("D"), &window};
  QLabel left_db{&window}, right_db{&window};
  TApdStatusLight left_led{&window}, right_led{&window};
  QLabel clip{QStringLiteral("CLIP"), &window};
  TApdStatusLight state_leds[4] = {TApdStatusLight(&window), TApdStatusLight(&window),
                                   TApdStatusLight(&window), TApdStatusLight(&window)};
  QLabel captions[4] = {QLabel(QStringLiteral("Audio In"), &window),
                        QLabel(QStringLiteral("Audio Out"), &window),
                        QLabel(QStringLiteral("Midi Out"), &window),
                        QLabel(QString::fromUtf8("Données Midi"), &window)};

  Panel() {
    window.resize(384, 84);
    QPalette pal = window.palette();
    pal.setColor(QPalette::Window, VrColor::BtnFace);
    pal.setColor(QPalette::WindowText, VrColor::Black);
    window.setPalette(pal);
    window.setAutoFillBackground(true);

    SetUpWindowBar(left_bar);
    SetUpWindowBar(right_bar);
    left_bar.move(16, 24);
    right_bar.move(16, 40);
    SetUpWindowScale(left_thres, true);
    SetUpWindowScale(right_thres, false);
    left_thres.move(16, 19);
    right_thres.move(16, 56);
    g.setGeometry(192, 24, 12, 13);
    d.setGeometry(192, 40, 12, 13);
    for (QLabel* db : {&left_db, &right_db}) {
      db->setStyleSheet(QStringLiteral("background: black; color: aqua;"));
      db->setAlignment(Qt::AlignCenter);
    }
    left_db.setGeometry(208, 24, 49, 13);
    right_db.setGeometry(208, 40, 49, 13);
    SetUpWindowLight(left_led, VrColor::Lime, VrColor::Gray);
    SetUpWindowLight(right_led, VrColor::Lime, VrColor::Gray);
    left_led.move(258, 24);
    right_led.move(258, 40);
    clip.setStyleSheet(QStringLiteral("background: red; color: yellow; font-weight: bold;"));
    clip.setAlignment(Qt::AlignCenter);
    clip.setGeometry(272, 24, 49, 29);
    for (int i = 0; i < 4; ++i) {
      SetUpWindowLight(state_leds[i], i == 3 ? VrColor::Aqua : VrColor::Lime, VrColor::Navy);
      state_leds[i].move(16 + i * 84, 66);
      captions[i].setGeometry(33 + i * 84, 66, 100, 13);
    }
  }

  void ShowLevels(double left, double right) {
    QLocale french(QLocale::French);
    for (auto [bar, label, db] : {std::tuple{&left_bar, &left_db, left},
                                  std::tuple{&right_bar, &right_db, right}}) {
      bar->BeginUpdate();
      bar->SetPosition(static_cast<int>(db));
      bar->EndUpdate();
      label->setText(french.toString(db, 'f', 2));
    }
  }

  void Stopped() {
    left_thres.SetPosition(-30);
    right_thres.SetPosition(-20);
    ShowLevels(-96, -96);
    left_db.setText(QStringLiteral("-.--"));
    right_db.setText(QStringLiteral("-.--"));
    clip.hide();
  }

  void Running() {
    left_thres.SetPosition(-30);
    right_thres.SetPosition(-20);
    ShowLevels(-4.4, -45.2);
    left_led.SetLit(true);
    clip.show();
    for (int i = 0; i < 4; ++i) state_leds[i].SetLit(true);
  }

  QImage Picture() {
    QImage image(window.size(), QImage::Format_RGB32);
    window.render(&image);
    return image;
  }
};

void Save(const QImage& image, const QString& name) {
  QDir dir(QStringLiteral(TOCSIN_WIDGETS_PNG_DIR));
  ASSERT_TRUE(dir.mkpath(QStringLiteral(".")));
  EXPECT_TRUE(image.save(dir.filePath(name + QStringLiteral(".png"))));
  QImage large = image.scaled(image.size() * 4, Qt::IgnoreAspectRatio, Qt::FastTransformation);
  EXPECT_TRUE(large.save(dir.filePath(name + QStringLiteral("-x4.png"))));
}

// The window draws a control through its off-screen bitmap; that must be the very picture the
// control renders on its own.
void ExpectSameAs(const QImage& panel, TPaintedControl& control) {
  QImage own = control.Render();
  QImage placed = panel.copy(QRect(control.pos(), own.size()));
  EXPECT_EQ(placed, own) << control.metaObject()->className() << " at " << control.x() << ","
                         << control.y();
}

class PanelPreviewTest : public WidgetTest {
 protected:
};

TEST_F(PanelPreviewTest, StoppedPanel) {
  Panel panel;
  panel.Stopped();
  QImage image = panel.Picture();
  Save(image, QStringLiteral("panel-stopped"));
  for (TPaintedControl* c : std::initializer_list<TPaintedControl*>{
           &panel.left_bar, &panel.right_bar, &panel.left_thres, &panel.right_thres,
           &panel.left_led, &panel.state_leds[0]})
    ExpectSameAs(image, *c);
  EXPECT_EQ(At(image, 16 + 1, 24 + 7), VrColor::Green);   // empty left bar
  EXPECT_EQ(At(image, 258 + 6, 24 + 6), VrColor::Gray);   // unlit threshold light
  EXPECT_EQ(At(image, 16 + 6, 66 + 6), VrColor::Navy);    // unlit "Audio In"
  EXPECT_EQ(At(image, 272 + 24, 24 + 2), VrColor::BtnFace);  // no "CLIP"
}

TEST_F(PanelPreviewTest, RunningPanel) {
  Panel panel;
  panel.Running();
  QImage image = panel.Picture();
  Save(image, QStringLiteral("panel-running"));
  for (TPaintedControl* c : std::initializer_list<TPaintedControl*>{
           &panel.left_bar, &panel.right_bar, &panel.left_thres, &panel.right_thres,
           &panel.left_led, &panel.state_leds[3]})
    ExpectSameAs(image, *c);
  EXPECT_EQ(At(image, 16 + 1 + 52 * 3, 24 + 7), VrColor::Red);  // -4 dB reaches zone 3
  EXPECT_EQ(At(image, 258 + 6, 24 + 6), VrColor::Lime);
  EXPECT_EQ(At(image, 16 + 3 * 84 + 6, 66 + 6), VrColor::Aqua);  // "Données Midi"
  EXPECT_EQ(At(image, 272 + 1, 24 + 1), VrColor::Red);
}

}  // namespace
