#include "WindowTriggerActions.h"

#include <QLabel>

#include "IniValues.h"
#include "MainWindowDesign.h"
#include "MidiNoteTrigger.h"
#include "SoundTrigger.h"
#include "platform/MainThreadDispatcher.h"
#include "platform/RealtimeThread.h"
#include "uVumeter.h"

TWindowTriggerActions::TWindowTriggerActions(IMainThreadDispatcher& ui,
                                             const TMainWindowDesign& design)
    : ui_(ui),
      d_(design),
      decimal_point_(QString::fromStdString(UserDecimalSeparator())),
      relay_(ui, [this] { Drain(); }) {}

void TWindowTriggerActions::Send(const TChange& change) {
  TQueue& q = queue_;
  // Out of the cycle, and with nothing queued before it, a change is posted as it is.
  if (!InRealtimeThread() && !relay_.Woken() && q.overflow.load(std::memory_order_acquire) == 0) {
    ui_.Post([d = &d_, point = decimal_point_, change] { Apply(*d, point, change); });
    return;
  }
  Queue(change);
}

void TWindowTriggerActions::Queue(const TChange& change) {
  TQueue& q = queue_;
  const int slot = Slot(change);
  const uint32_t bit = 1u << slot;
  if ((q.overflow.load(std::memory_order_acquire) & bit) || !q.changes.Push(change)) {
    q.value[slot].store(change.value, std::memory_order_relaxed);
    q.a[slot].store(change.a, std::memory_order_relaxed);
    q.b[slot].store(change.b, std::memory_order_relaxed);
    q.overflow.fetch_or(bit, std::memory_order_release);
  }
  relay_.Wake();  // the relay posts, which the cycle must not
}

void TWindowTriggerActions::Drain() {
  TQueue& q = queue_;
  TChange change;
  while (q.changes.Pop(change)) Apply(d_, decimal_point_, change);
  const uint32_t overflow = q.overflow.exchange(0, std::memory_order_acq_rel);
  for (int slot = 0; slot < 10; ++slot) {
    if (!(overflow & (1u << slot))) continue;
    change.kind = static_cast<TChange::TKind>(slot / 2);
    change.channel = static_cast<uint8_t>(slot % 2);
    change.value = q.value[slot].load(std::memory_order_relaxed);
    change.a = q.a[slot].load(std::memory_order_relaxed);
    change.b = q.b[slot].load(std::memory_order_relaxed);
    Apply(d_, decimal_point_, change);
  }
}

void TWindowTriggerActions::Apply(const TMainWindowDesign& d, const QString& point,
                                  const TChange& change) {
  const int c = change.channel;
  switch (change.kind) {
    case TChange::kClip:
      d.lblClip->setVisible(change.value != 0);
      break;
    case TChange::kLight:
      (c == 0 ? d.ledLeftThres : d.ledRightThres)->SetLit(change.value != 0);
      break;
    case TChange::kVelocity:
      d.lblMidiOutLastVel[c]->setText(QString::number(change.value));
      break;
    case TChange::kVolume:
      d.lblAudioOutLastVol[c]->setText(FormatTwoDecimals(change.a, point));
      break;
    case TChange::kLevels:
      SetVumeterLevel(Vumeters.Left, change.a);
      SetVumeterLevel(Vumeters.Right, change.b);
      d.lblLeftLevelInDb->setText(FormatTwoDecimals(change.a, point));
      d.lblRightLevelInDb->setText(FormatTwoDecimals(change.b, point));
      break;
  }
}

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
  Send({TChange::kClip, 0, visible, 0, 0});
}

void TWindowTriggerActions::SetThresholdLight(int channel, bool lit) {
  if (light_[channel].exchange(lit, std::memory_order_relaxed) == int(lit)) return;
  Send({TChange::kLight, static_cast<uint8_t>(channel), lit, 0, 0});
}

void TWindowTriggerActions::HitLight(int channel, bool lit) {
  if (channel != 0 && channel != 1) return;
  if (light_[channel].exchange(lit, std::memory_order_relaxed) == int(lit)) return;
  Queue({TChange::kLight, static_cast<uint8_t>(channel), lit, 0, 0});
}

void TWindowTriggerActions::HitVelocity(int channel, int velocity) {
  if (channel != 0 && channel != 1) return;
  Queue({TChange::kVelocity, static_cast<uint8_t>(channel), velocity, 0, 0});
}

void TWindowTriggerActions::HitVolume(int channel, double volume) {
  if (channel != 0 && channel != 1) return;
  Queue({TChange::kVolume, static_cast<uint8_t>(channel), 0, volume, 0});
}

void TWindowTriggerActions::ShowVelocity(int channel, int velocity) {
  Send({TChange::kVelocity, static_cast<uint8_t>(channel), velocity, 0, 0});
}

void TWindowTriggerActions::NoteOn(int channel, int velocity) {
  if (notes_) notes_->NoteOn(channel, velocity);
}

void TWindowTriggerActions::NoteOff(int channel) {
  if (notes_) notes_->NoteOff(channel);
}

void TWindowTriggerActions::ShowVolume(int channel, double volume) {
  Send({TChange::kVolume, static_cast<uint8_t>(channel), 0, volume, 0});
}

void TWindowTriggerActions::TriggerSound(int channel, double volume) {
  if (sounds_) sounds_->TriggerSound(channel, volume);
}

void TWindowTriggerActions::RefreshLevels(double left_db, double right_db) {
  Send({TChange::kLevels, 0, 0, left_db, right_db});
}
