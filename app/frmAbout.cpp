#include "frmAbout.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>

#include "AppIcon.h"

#ifndef TOCSIN_VERSION
#error "TOCSIN_VERSION is set by the build"
#endif

namespace {

// The program name in raised letters: a light edge above-left, a dark one below-right.
class TRaisedTitle : public QWidget {
 public:
  TRaisedTitle(const QString& text, QWidget* parent) : QWidget(parent), text_(text) {
    font_ = QFont("Arial");
    font_.setPixelSize(24);
    font_.setBold(true);
    resize(QFontMetrics(font_).horizontalAdvance(text_) + 4, QFontMetrics(font_).height() + 2);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.setFont(font_);
    const int base = QFontMetrics(font_).ascent();
    p.setPen(Qt::white);
    p.drawText(0, base, text_);
    p.setPen(QColor(64, 64, 64));
    p.drawText(2, base + 2, text_);
    p.setPen(QColor(0, 0, 128));
    p.drawText(1, base + 1, text_);
  }

 private:
  QString text_;
  QFont font_;
};

QLabel* Bullet(QWidget* parent, int x, int y) {
  QPixmap pix(12, 12);
  pix.fill(Qt::transparent);
  QPainter p(&pix);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QColor(0, 90, 0));
  p.setBrush(QColor(0, 170, 0));
  p.drawEllipse(2, 2, 8, 8);
  p.end();
  auto* l = new QLabel(parent);
  l->setPixmap(pix);
  l->setGeometry(x, y, 12, 12);
  return l;
}

QFrame* Bevel(QWidget* parent, int x, int y, int w) {
  auto* f = new QFrame(parent);
  f->setFrameShape(QFrame::HLine);
  f->setFrameShadow(QFrame::Sunken);
  f->setGeometry(x, y, w, 2);
  return f;
}

QLabel* Text(QWidget* parent, const char* name, const QString& text, int x, int y) {
  auto* l = new QLabel(text, parent);
  l->setObjectName(name);
  l->adjustSize();
  l->move(x, y);
  return l;
}

}  // namespace

QString TfmAbout::ProgramVersion() { return QStringLiteral(TOCSIN_VERSION); }
QString TfmAbout::LegalCopyright() { return QString::fromUtf8(TOCSIN_COPYRIGHT); }
QString TfmAbout::Comments() { return QString::fromUtf8(TOCSIN_COMMENTS); }
QString TfmAbout::ThanksText() {
  return QString::fromUtf8(
      "Merci aux auteurs de Qt, RtAudio et RtMidi,\n"
      "libsndfile, libsamplerate et JACK.");
}

TfmAbout::TfmAbout(QWidget* owner) : QDialog(owner) {
  setObjectName("fmAbout");
  setWindowTitle("À propos…");
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);
  setFixedSize(305, 193);
  QFont font("Arial");
  font.setPixelSize(11);
  setFont(font);

  auto* icon = new QLabel(this);
  icon->setObjectName("ProgramIcon");
  icon->setGeometry(16, 16, 32, 32);
  icon->setScaledContents(true);
  QIcon app_icon = QApplication::windowIcon().isNull() ? TocsinIcon() : QApplication::windowIcon();
  icon->setPixmap(app_icon.pixmap(32, 32));

  (new TRaisedTitle("Tocsin", this))->move(88, 8);
  QLabel* subtitle = Text(this, "Label2", "Données MIDI depuis entrée audio", 0, 40);
  subtitle->move(289 - subtitle->width(), 40);
  Bevel(this, 16, 56, 273);

  static const char* const kCaption[3] = {"Version :", "Copyright :", "Commentaires :"};
  static const char* const kName[3] = {"Version", "Copyright", "Comments"};
  const QString values[3] = {ProgramVersion(), LegalCopyright(), Comments()};
  for (int i = 0; i < 3; ++i) {
    const int y = 72 + i * 16;
    Bullet(this, 16, y + 1);
    QLabel* caption = Text(this, kName[i], kCaption[i], 32, y);
    QFont small = caption->font();
    small.setPixelSize(10);  // the captions end before the fields at 112
    caption->setFont(small);
    caption->adjustSize();
    auto* value = new QLabel(values[i], this);
    value->setObjectName(QString(kName[i]) + "Value");
    value->setGeometry(112, y, 177, 16);
    value->setStyleSheet("QLabel { color: green; }");
  }

  Bevel(this, 8, 136, 289);
  Text(this, "lblThanks", "Remerciements", 8, 144);
  auto* frame = new QWidget(this);  // clips the scrolling text
  frame->setGeometry(8, 160, 200, 25);
  thanks_ = new QLabel(ThanksText(), frame);
  thanks_->setObjectName("ThanksText");
  thanks_->setStyleSheet("QLabel { color: blue; }");
  thanks_->setFixedWidth(200);
  thanks_->adjustSize();
  thanks_height_ = thanks_->height();
  thanks_->move(0, 0);

  btnOK = new QPushButton("OK", this);
  btnOK->setObjectName("btnOK");
  btnOK->setGeometry(216, 160, 81, 25);
  btnOK->setDefault(true);
  connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);

  scroll_.setInterval(60);
  connect(&scroll_, &QTimer::timeout, this, [this] { ScrollStep(); });
  scroll_.start();

  connect(this, &QDialog::finished, &scroll_, &QTimer::stop);

  // Centred on the screen.
  if (QScreen* screen = owner ? owner->screen() : QGuiApplication::primaryScreen()) {
    QRect r = frameGeometry();
    r.moveCenter(screen->availableGeometry().center());
    move(r.topLeft());
  }
}

TfmAbout::~TfmAbout() { scroll_.stop(); }

void TfmAbout::closeEvent(QCloseEvent* event) {
  scroll_.stop();
  QDialog::closeEvent(event);
}

// The text rises one pixel a step and comes back in from below once it has left the frame.
void TfmAbout::ScrollStep() {
  int y = thanks_->y() - 1;
  if (y < -thanks_height_) y = thanks_->parentWidget()->height();
  thanks_->move(0, y);
}
