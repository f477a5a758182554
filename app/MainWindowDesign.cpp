#include "MainWindowDesign.h"

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QToolButton>
#include <string>

#include "HitRecord.h"
#include "VrColors.h"

namespace {

template <typename T>
T* Place(QWidget* parent, const char* name, int x, int y, int w, int h) {
  auto* c = new T(parent);
  c->setObjectName(name);
  c->setGeometry(x, y, w, h);
  return c;
}

QLabel* Caption(QWidget* parent, const QString& text, int x, int y, int w = -1) {
  auto* l = new QLabel(text, parent);
  l->adjustSize();
  l->move(x, y);
  if (w > 0) l->resize(w, l->height());
  return l;
}

QComboBox* List(QWidget* parent, const char* name, int x, int y, int w,
                const QStringList& items = {}) {
  auto* c = Place<QComboBox>(parent, name, x, y, w, 21);
  c->setEditable(false);  // pick-only lists
  c->addItems(items);
  return c;
}

QGroupBox* Group(QWidget* parent, const QString& title, int x, int y, int w, int h) {
  auto* g = new QGroupBox(title, parent);
  g->setGeometry(x, y, w, h);
  return g;
}

TApdStatusLight* Light(QWidget* parent, const char* name, int x, int y, QColor lit, QColor unlit) {
  auto* l = Place<TApdStatusLight>(parent, name, x, y, 13, 13);
  l->SetLitColor(lit);
  l->SetNotLitColor(unlit);
  return l;
}

// A push button that shows its action's caption and enabled state and runs it when clicked.
QPushButton* ActionButton(QWidget* parent, const char* name, QAction* action, int x, int y, int w,
                          int h) {
  auto* b = Place<QPushButton>(parent, name, x, y, w, h);
  auto sync = [b, action] {
    b->setText(action->text());
    b->setEnabled(action->isEnabled());
  };
  sync();
  QObject::connect(action, &QAction::changed, b, sync);
  QObject::connect(b, &QPushButton::clicked, action, &QAction::trigger);
  return b;
}

void BuildMenu(QMainWindow& w, TMainWindowDesign& d) {
  auto action = [&w](const char* name, const QString& caption) {
    auto* a = new QAction(caption, &w);
    a->setObjectName(name);
    return a;
  };
  // Alt accelerators: Alt+F, Alt+T and Alt+A open the menus; the buttons that show Start and
  // Stop answer Alt+S and Alt+O.
  d.ActAppClose = action("ActAppClose", "&Quitter");
  d.ActTriggerStart = action("ActTriggerStart", "&Start");
  d.ActTriggerStop = action("ActTriggerStop", "St&op");
  d.ActAppAbout = action("ActAppAbout", "À &propos…");
  QMenuBar* bar = w.menuBar();
  bar->addMenu("&Fichier")->addAction(d.ActAppClose);
  QMenu* trigger = bar->addMenu("&Trigger");
  trigger->addAction(d.ActTriggerStart);
  trigger->addAction(d.ActTriggerStop);
  bar->addMenu("&Aide")->addAction(d.ActAppAbout);
}

// Enter and Return click the button that has the focus, as Space does.
class TEnterClicks final : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* target, QEvent* event) override {
    if (event->type() != QEvent::KeyPress) return false;
    const int key = static_cast<QKeyEvent*>(event)->key();
    auto* button = qobject_cast<QAbstractButton*>(target);
    if ((key != Qt::Key_Return && key != Qt::Key_Enter) || !button || !button->isEnabled())
      return false;
    button->animateClick();
    return true;
  }
};

// VuAudioLeft / VuAudioRight: -96..0 dB in 56 segments of 2 pixels behind a one-pixel grey frame.
TVrLevelBar* LevelBar(QWidget* parent, const char* name, int y) {
  auto* bar = Place<TVrLevelBar>(parent, name, 16, y, 169, 14);
  bar->SetLoading(true);
  bar->SetOrientation(TVrOrientation::voHorizontal);
  bar->SetTickHeight(2);
  bar->SetSpacing(1);
  bar->SetStep(1);
  bar->SetPercent1(80);
  bar->SetPercent2(15);
  bar->SetMinValue(-96);
  bar->SetMaxValue(0);
  bar->SetPosition(-96);
  TVrBevel bevel = bar->Bevel();
  bevel.InnerWidth = 1;
  bevel.InnerStyle = TVrBevelStyle::bsNone;
  bevel.InnerSpace = 1;
  bevel.InnerColor = VrColor::Gray;
  bevel.OuterStyle = TVrBevelStyle::bsNone;
  bevel.OuterOutline = TVrBevelOutlineStyle::osNone;
  bar->SetBevel(bevel);
  bar->SetShowHint(true);
  bar->SetLoading(false);
  return bar;
}

// The threshold strips hugging the bars: maroon up to the threshold, fuchsia beyond.
TrmScale* ThresholdScale(QWidget* parent, const char* name, bool left) {
  auto* scale = Place<TrmScale>(parent, name, 16, left ? 19 : 56, 169, left ? 4 : 3);
  scale->SetOrientation(left ? TOrientation::stBottom : TOrientation::stTop);
  scale->SetBGColor(VrColor::BtnFace);
  scale->SetLineColor(VrColor::Black);
  scale->SetLineActiveColor(VrColor::Maroon);
  scale->SetLineInactiveColor(VrColor::Fuchsia);
  scale->SetLineWidth(6);
  scale->SetTicksColor(VrColor::Gray);
  scale->SetTicksActiveColor(VrColor::Lime);
  scale->SetTicksInactiveColor(VrColor::Green);
  scale->SetTicksLength(4);
  scale->SetTicksWidth(1);
  scale->SetTicksCount(left ? 2 : 5);
  scale->SetTicksOffset(0);
  scale->SetShowText(false);
  scale->SetShowTickMarker(true);
  scale->SetMarkerColor(VrColor::Red);
  scale->SetBorderSpacing(0);
  scale->SetMinValue(-96);
  scale->SetMaxValue(0);
  return scale;
}

void BuildLevelDisplay(QWidget* c, TMainWindowDesign& d) {
  d.scTocsinLeftThres = ThresholdScale(c, "scTocsinLeftThres", true);
  d.VuAudioLeft = LevelBar(c, "VuAudioLeft", 24);
  d.VuAudioRight = LevelBar(c, "VuAudioRight", 40);
  d.scTocsinRightThres = ThresholdScale(c, "scTocsinRightThres", false);
  Caption(c, "G", 192, 24);
  Caption(c, "D", 192, 40);

  auto level_label = [c](const char* name, int y) {
    auto* l = Place<QLabel>(c, name, 208, y, 49, 13);
    l->setText("--.-");
    l->setAlignment(Qt::AlignCenter);
    l->setAutoFillBackground(true);
    l->setStyleSheet("QLabel { background: black; color: aqua; }");
    return l;
  };
  d.lblLeftLevelInDb = level_label("lblLeftLevelInDb", 24);
  d.lblRightLevelInDb = level_label("lblRightLevelInDb", 40);
  d.ledLeftThres = Light(c, "ledLeftThres", 258, 24, VrColor::Lime, VrColor::Gray);
  d.ledRightThres = Light(c, "ledRightThres", 258, 40, VrColor::Lime, VrColor::Gray);

  d.lblClip = Place<QLabel>(c, "lblClip", 272, 24, 49, 29);
  d.lblClip->setText("CLIP");
  d.lblClip->setAlignment(Qt::AlignCenter);
  d.lblClip->setStyleSheet("QLabel { background: red; color: yellow; font-weight: bold; }");
  d.lblClip->setVisible(false);

  d.Button1 = ActionButton(c, "Button1", d.ActTriggerStart, 336, 20, 57, 33);
  d.Button2 = ActionButton(c, "Button2", d.ActTriggerStop, 400, 20, 57, 33);
}

void BuildStateLights(QWidget* c, TMainWindowDesign& d) {
  const QColor lime = VrColor::Lime, navy = VrColor::Navy, aqua = VrColor::Aqua;
  d.ledAudioInState = Light(c, "ledAudioInState", 16, 72, lime, navy);
  Caption(c, "Audio In", 34, 72);
  d.ledAudioOutState = Light(c, "ledAudioOutState", 104, 72, lime, navy);
  Caption(c, "Audio Out", 122, 72);
  d.LedMidiOutState = Light(c, "LedMidiOutState", 200, 72, lime, navy);
  Caption(c, "Midi Out", 218, 72);
  d.LedMidiOutData = Light(c, "LedMidiOutData", 288, 72, aqua, navy);
  Caption(c, "Données Midi", 306, 72);
}

void BuildAudioInPage(QWidget* p, TMainWindowDesign& d) {
  QGroupBox* in = Group(p, "Entrée audio", 8, 8, 425, 64);
  Caption(in, "Interface d'entrée audio", 12, 18);
  d.lstInputDevices = List(in, "lstInputDevices", 12, 34, 401);

  QGroupBox* params = Group(p, "Paramètres audio", 8, 80, 425, 112);
  Caption(params, "Nombre de canaux", 12, 18);
  d.lstAudioInputChannels =
      List(params, "lstAudioInputChannels", 12, 34, 190, {"1 - Mono", "2 - Stéréo"});
  d.lstAudioInputChannels->setCurrentIndex(1);
  d.lstAudioInputChannels->setEnabled(false);
  Caption(params, "Buffers (octets)", 222, 18);
  d.lstAudioInputBufferSize =
      List(params, "lstAudioInputBufferSize", 222, 34, 190,
           {"32", "64", "128", "256", "512", "1024", "2048", "4096", "8192"});
  // The caption says bytes; the numbers are frames.
  d.lstAudioInputBufferSize->setToolTip(
      "Trames par bloc capturé (un échantillon par voie chacune) : plus petit, plus réactif");
  Caption(params, "Fréq. échant. (Hz)", 12, 62);
  d.lstAudioInputSampleRate = List(params, "lstAudioInputSampleRate", 12, 78, 190,
                                   {"11025", "22050", "44100", "48000", "96000"});
  Caption(params, "Résolution (bits)", 222, 62);
  d.lstAudioInputBits = List(params, "lstAudioInputBits", 222, 78, 190, {"8", "16", "20", "24"});
  d.lstAudioInputBits->setEnabled(false);
}

void BuildProcessingPage(QWidget* p, TMainWindowDesign& d) {
  static const char* const kGroup[2] = {"Voie Gauche", "Voie Droite"};
  static const char* const kThres[2] = {"edTocsinLeftThres", "edTocsinRightThres"};
  static const char* const kMidi[2] = {"rbStartMidiNote0", "rbStartMidiNote1"};
  static const char* const kFile[2] = {"rbStartAudioFile0", "rbStartAudioFile1"};
  static const char* const kNote[2] = {"lstMidiOutNote0", "lstMidiOutNote1"};
  static const char* const kName[2] = {"edAudioOutFileName0", "edAudioOutFileName1"};
  static const char* const kDetection[2] = {"lstTocsinDetection0", "lstTocsinDetection1"};
  for (int ch = 0; ch < 2; ++ch) {
    QGroupBox* g = Group(p, kGroup[ch], 8 + ch * 217, 8, 208, 192);
    Caption(g, "Seuil, en dB", 12, 26);
    auto* thres = Place<QSpinBox>(g, kThres[ch], 112, 22, 80, 21);
    thres->setRange(-144, 0);
    thres->setSingleStep(1);
    thres->setValue(-45);
    d.edTocsinThres[ch] = thres;

    d.rbStartMidiNote[ch] = Place<QRadioButton>(g, kMidi[ch], 12, 56, 180, 17);
    d.rbStartMidiNote[ch]->setText("Note MIDI");
    d.rbStartMidiNote[ch]->setChecked(true);
    d.lstMidiOutNote[ch] = List(g, kNote[ch], 30, 76, 162);

    d.rbStartAudioFile[ch] = Place<QRadioButton>(g, kFile[ch], 12, 112, 180, 17);
    d.rbStartAudioFile[ch]->setText("Fichier son");
    d.edAudioOutFileName[ch] = Place<QLineEdit>(g, kName[ch], 30, 132, 136, 21);
    d.edAudioOutFileName[ch]->setEnabled(false);
    d.btnAudioOutFileName[ch] = Place<QToolButton>(g, "", 168, 132, 24, 21);
    d.btnAudioOutFileName[ch]->setText("...");
    d.btnAudioOutFileName[ch]->setEnabled(false);

    Caption(g, "Détection", 12, 166);
    d.lstTocsinDetection[ch] =
        List(g, kDetection[ch], 112, 162, 80, {kDetectionLevel, kDetectionHit});
    d.lstTocsinDetection[ch]->setCurrentIndex(0);
  }
}

// "Frappe": one row per setting, the left channel's box then the right's, the velocity curves,
// and in the last row the three crosstalk settings both channels share.
void BuildHitPage(QWidget* p, TMainWindowDesign& d) {
  struct TRow {
    const char* caption;
    const char* name;  // the boxes' names end in 0 and 1
    double lo, hi, step;
    int decimals;
  };
  // The ranges are the engine's limits (THitSettings::Clamped).
  static const TRow kRows[TMainWindowDesign::kHitFields] = {
      {"Balayage, en ms", "edHitScanMs", 0, 20, 0.5, 1},
      {"Masque, en ms", "edHitMaskMs", 0, 1000, 1, 0},
      {"Retombée du seuil, en ms", "edHitDecayMs", 0, 5000, 10, 0},
      {"Marge de relance, en dB", "edHitRetriggerDb", 0, 40, 1, 0},
      {"Hystérésis, en dB", "edHitReleaseDb", 0, 40, 1, 0},
      {"Durée de note, en ms", "edHitNoteLengthMs", 0, 10000, 5, 0},
      {"Passe-haut, en Hz (0 : aucun)", "edHitHighPassHz", 0, 20000, 10, 0},
      {"Passe-bas, en Hz (0 : aucun)", "edHitLowPassHz", 0, 20000, 10, 0},
      {"Vélocité 127 à, en dB", "edHitFullVelocityDb", -144, 0, 1, 0},
  };
  auto box = [p](const std::string& name, int x, int y, int w, double lo, double hi, double step,
                 int decimals) {
    auto* b = Place<QDoubleSpinBox>(p, name.c_str(), x, y, w, 20);
    b->setRange(lo, hi);
    b->setSingleStep(step);
    b->setDecimals(decimals);
    return b;
  };
  Caption(p, "Voie Gauche", 232, 6);
  Caption(p, "Voie Droite", 330, 6);
  const THitPadSettings defaults;
  int y = 22;
  for (int f = 0; f < TMainWindowDesign::kHitFields; ++f, y += 22) {
    const TRow& row = kRows[f];
    Caption(p, row.caption, 16, y + 3);
    for (int ch = 0; ch < 2; ++ch) {
      d.edHit[f][ch] = box(std::string(row.name) + char('0' + ch), 232 + ch * 98, y, 80, row.lo,
                           row.hi, row.step, row.decimals);
      d.edHit[f][ch]->setValue(defaults.*TMainWindowDesign::kHitPadFields[f]);
    }
  }
  Caption(p, "Courbe de vélocité", 16, y + 3);
  static const char* const kCurve[2] = {"lstHitVelocityCurve0", "lstHitVelocityCurve1"};
  for (int ch = 0; ch < 2; ++ch) {
    d.lstHitVelocityCurve[ch] =
        List(p, kCurve[ch], 232 + ch * 98, y, 80, {kCurveNames[0], kCurveNames[1], kCurveNames[2]});
    d.lstHitVelocityCurve[ch]->setCurrentIndex(static_cast<int>(defaults.Curve));
  }
  y += 28;
  const THitSettings shared;
  Caption(p, "Diaphonie entre voies :", 16, y + 3);
  y += 20;
  Caption(p, "fenêtre, ms", 16, y + 3);
  d.edHitCrosstalkMs = box("edHitCrosstalkMs", 84, y, 60, 0, 200, 1, 0);
  d.edHitCrosstalkMs->setValue(shared.CrosstalkWindowMs);
  Caption(p, "écart, dB", 160, y + 3);
  d.edHitCrosstalkDb = box("edHitCrosstalkDb", 216, y, 60, 0, 60, 1, 0);
  d.edHitCrosstalkDb->setValue(shared.CrosstalkRatioDb);
  Caption(p, "attente, ms", 292, y + 3);
  d.edHitCrosstalkHoldMs = box("edHitCrosstalkHoldMs", 360, y, 60, 0, 20, 0.5, 1);
  d.edHitCrosstalkHoldMs->setValue(shared.CrosstalkHoldMs);
}

void BuildMidiOutPage(QWidget* p, TMainWindowDesign& d) {
  Caption(p, "Interface de sortie MIDI", 16, 12);
  d.lstMidiOut = List(p, "lstMidiOut", 16, 28, 409);
  Caption(p, "Canal MIDI", 16, 60);
  d.lstMidiOutChannel = List(p, "lstMidiOutChannel", 16, 76, 80);
  d.cbMidiOutVelFollowAudioInLevel =
      Place<QCheckBox>(p, "cbMidiOutVelFollowAudioInLevel", 16, 108, 409, 17);
  d.cbMidiOutVelFollowAudioInLevel->setText(
      "Vélocité fonction de l'amplitude du signal audio d'entrée");
  d.cbMidiOutVelFollowAudioInLevel->setChecked(true);

  QGroupBox* duration = Group(p, "Durée des notes", 8, 134, 425, 92);
  d.rbMidiNoteWhileAbove = Place<QRadioButton>(duration, "rbMidiNoteWhileAbove", 12, 22, 400, 17);
  d.rbMidiNoteWhileAbove->setText("Temps pendant lequel le seuil audio est dépassé");
  d.rbMidiNoteWhileAbove->setChecked(true);
  d.rbMidiNoteFixedDuration =
      Place<QRadioButton>(duration, "rbMidiNoteFixedDuration", 12, 44, 400, 17);
  d.rbMidiNoteFixedDuration->setText(
      "Durée fixe, à partir du moment où le seuil audio a été dépassé");
  d.rbMidiNoteFixedDuration->setEnabled(false);
  d.edMidiNoteDuration = Place<QLineEdit>(duration, "edMidiNoteDuration", 30, 64, 60, 21);
  d.edMidiNoteDuration->setText("500");
  d.edMidiNoteDuration->setEnabled(false);
  QLabel* ms = Caption(duration, "ms", 96, 68);
  ms->setEnabled(false);

  Caption(p, "Dernière vélocité :", 16, 240);
  static const char* const kVel[2] = {"lblMidiOutLastVel0", "lblMidiOutLastVel1"};
  for (int ch = 0; ch < 2; ++ch) {
    Caption(p, ch == 0 ? "G" : "D", 130 + ch * 80, 240);
    d.lblMidiOutLastVel[ch] = Place<QLabel>(p, kVel[ch], 144 + ch * 80, 240, 40, 13);
    d.lblMidiOutLastVel[ch]->setText("0");
  }
}

void BuildAudioOutPage(QWidget* p, TMainWindowDesign& d) {
  Caption(p, "Interface de sortie audio", 16, 12);
  d.lstOutputDevices = List(p, "lstOutputDevices", 16, 28, 409);
  d.cbAudioOutputTempDisabled = Place<QCheckBox>(p, "cbAudioOutputTempDisabled", 16, 64, 409, 17);
  d.cbAudioOutputTempDisabled->setText(
      "Inhiber temporairement les déclenchements audio à chaque détection");
  d.cbAudioOutputTempDisabled->setChecked(true);
  Caption(p, "Durée d'inhibition, en ms", 34, 92);
  d.edAudioOutputTempDisabledDuration =
      Place<QSpinBox>(p, "edAudioOutputTempDisabledDuration", 200, 88, 80, 21);
  d.edAudioOutputTempDisabledDuration->setRange(1, 10000);
  d.edAudioOutputTempDisabledDuration->setSingleStep(1);
  d.edAudioOutputTempDisabledDuration->setValue(30);
  d.cbAudioOutVolFollowAudioInLevel =
      Place<QCheckBox>(p, "cbAudioOutVolFollowAudioInLevel", 16, 124, 409, 17);
  d.cbAudioOutVolFollowAudioInLevel->setText(
      "Volume fonction de l'amplitude du signal audio d'entrée");
  d.cbAudioOutVolFollowAudioInLevel->setEnabled(false);

  QLabel* last = Caption(p, "Dernier volume :", 16, 156);
  last->setEnabled(false);
  static const char* const kVol[2] = {"lblAudioOutLastVol0", "lblAudioOutLastVol1"};
  for (int ch = 0; ch < 2; ++ch) {
    Caption(p, ch == 0 ? "G" : "D", 130 + ch * 80, 156)->setEnabled(false);
    d.lblAudioOutLastVol[ch] = Place<QLabel>(p, kVol[ch], 144 + ch * 80, 156, 50, 13);
    d.lblAudioOutLastVol[ch]->setText("100");
    d.lblAudioOutLastVol[ch]->setEnabled(false);
  }
}

void BuildStatusBar(QMainWindow& w, TMainWindowDesign& d) {
  d.StatusBar1 = new QStatusBar(&w);
  d.StatusBar1->setObjectName("StatusBar1");
  d.StatusBar1->setSizeGripEnabled(false);
  for (int i = 0; i < 2; ++i) {
    const int width = i == 0 ? 300 : 50;
    auto* panel = new QLabel(d.StatusBar1);
    d.StatusPanel[i] = panel;
    panel->setFixedWidth(width);
    panel->setFrameShape(QFrame::Panel);
    panel->setFrameShadow(QFrame::Sunken);
    d.StatusBar1->addWidget(panel);
  }
  w.setStatusBar(d.StatusBar1);
}

}  // namespace

void BuildMainWindowDesign(QMainWindow& w, TMainWindowDesign& d) {
  w.setObjectName("fmMain");
  w.setWindowTitle("Tocsin");
  // Single fixed border, system menu and minimise button only.
  w.setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
  QFont font = w.font();
  font.setPixelSize(11);
  w.setFont(font);

  BuildMenu(w, d);
  BuildStatusBar(w, d);
  auto* central = new QWidget(&w);
  w.setCentralWidget(central);
  BuildLevelDisplay(central, d);
  BuildStateLights(central, d);

  d.PageControl1 = Place<QTabWidget>(central, "PageControl1", 8, 92, 449, 0);
  auto page = [&d](const char* name, const QString& caption) {
    auto* p = new QWidget;
    p->setObjectName(name);
    d.PageControl1->addTab(p, caption);
    return p;
  };
  d.TabAudioIn = page("TabAudioIn", "Entrée audio");
  d.TabProcessing = page("TabProcessing", "Traitement");
  d.TabMidiOut = page("TabMidiOut", "Sortie MIDI");
  d.TabAudioOut = page("TabAudioOut", "Sortie Audio");
  d.TabHit = page("TabHit", kDetectionHit);
  BuildAudioInPage(d.TabAudioIn, d);
  BuildProcessingPage(d.TabProcessing, d);
  BuildMidiOutPage(d.TabMidiOut, d);
  BuildAudioOutPage(d.TabAudioOut, d);
  BuildHitPage(d.TabHit, d);

  // The client area (menu bar excluded) is fixed; the pages fill what the status bar leaves.
  const int status_height = d.StatusBar1->sizeHint().height();
  const int central_height = kMainClientHeight - status_height;
  d.PageControl1->resize(449, central_height - 92 - 6);
  const int menu_height = w.menuBar()->sizeHint().height();
  w.setFixedSize(kMainClientWidth, kMainClientHeight + menu_height);

  auto* enter = new TEnterClicks(&w);
  for (QAbstractButton* button : w.findChildren<QAbstractButton*>()) {
    if (qobject_cast<QPushButton*>(button) || qobject_cast<QToolButton*>(button))
      button->installEventFilter(enter);
  }
}

double THitPadSettings::*const TMainWindowDesign::kHitPadFields[kHitFields] = {
    &THitPadSettings::ScanMs,      &THitPadSettings::MaskMs,    &THitPadSettings::DecayMs,
    &THitPadSettings::RetriggerDb, &THitPadSettings::ReleaseDb, &THitPadSettings::NoteLengthMs,
    &THitPadSettings::HighPassHz,  &THitPadSettings::LowPassHz, &THitPadSettings::FullVelocityDb};
