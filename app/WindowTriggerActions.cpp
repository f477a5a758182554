#include "WindowTriggerActions.h"

#include <QLabel>

#include "IniValues.h"
#include "MainWindowDesign.h"
#include "MidiNoteTrigger.h"
#include "SoundTrigger.h"
#include "platform/MainThreadDispatcher.h"
#include "uVumeter.h"

TWindowTriggerActions::TWindowTriggerActions(IMainThreadDispatcher& ui,
                                             const TMainWindowDesign& design)
    : ui_(ui), d_(design), decimal_point_(QString::fromStdString(UserDecimalSeparator())) {}

void TWindowTriggerActions::SetTargets(TMidiNoteTrigger* notes, TSoundTrigger* sounds) {
  notes_ = notes;
  sounds_ = sounds;
}

QString TWindowTriggerActions::FormatTwoDecimals(double value, const QString& decimal_point) {
  QString text = QString::asprintf("%.2f", value);  // always a point, whatever the C locale
  return text.replace('.', decimal_point);
}

void TWindowTriggerActions::SetClipVisible(bool visible) {
  if (clip_ == int(visible)) return;
  clip_ = visible;
  QLabel* clip = d_.lblClip;
  ui_.Post([clip, visible] { clip->setVisible(visible); });
}

void TWindowTriggerActions::SetThresholdLight(int channel, bool lit) {
  if (light_[channel] == int(lit)) return;
  light_[channel] = lit;
  TApdStatusLight* led = channel == 0 ? d_.ledLeftThres : d_.ledRightThres;
  ui_.Post([led, lit] { led->SetLit(lit); });
}

void TWindowTriggerActions::ShowVelocity(int channel, int velocity) {
  QLabel* label = d_.lblMidiOutLastVel[channel];
  ui_.Post([label, velocity] { label->setText(QString::number(velocity)); });
}

void TWindowTriggerActions::NoteOn(int channel, int velocity) {
  if (notes_) notes_->NoteOn(channel, velocity);
}

void TWindowTriggerActions::NoteOff(int channel) {
  if (notes_) notes_->NoteOff(channel);
}

void TWindowTriggerActions::ShowVolume(int channel, double volume) {
  QLabel* label = d_.lblAudioOutLastVol[channel];
  QString point = decimal_point_;
  ui_.Post([label, volume, point] { label->setText(FormatTwoDecimals(volume, point)); });
}

void TWindowTriggerActions::TriggerSound(int channel, double volume) {
  if (sounds_) sounds_->TriggerSound(channel, volume);
}

void TWindowTriggerActions::RefreshLevels(double left_db, double right_db) {
  QLabel* left = d_.lblLeftLevelInDb;
  QLabel* right = d_.lblRightLevelInDb;
  QString point = decimal_point_;
  ui_.Post([=] {
    SetVumeterLevel(Vumeters.Left, left_db);
    SetVumeterLevel(Vumeters.Right, right_db);
    left->setText(FormatTwoDecimals(left_db, point));
    right->setText(FormatTwoDecimals(right_db, point));
  });
}
