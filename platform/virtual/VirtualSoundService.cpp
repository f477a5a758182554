#include "VirtualSoundService.h"

TVirtualSoundService::TVirtualSoundService(ITickClock& clock) : clock_(clock) {}

void TVirtualSoundService::Play(TSoundImagePtr image, uint32_t flags) {
  std::lock_guard lock(mutex_);
  events_.push_back({TSoundEvent::TKind::kPlay, image, flags, clock_.GetTickCount()});
  if ((flags & kSndNoStop) && current_) return;
  // Like the real service: anything it is asked to play replaces the sound playing.
  current_ = (image && !image->empty()) ? image : nullptr;
}

void TVirtualSoundService::Stop() {
  std::lock_guard lock(mutex_);
  events_.push_back({TSoundEvent::TKind::kStop, nullptr, 0, clock_.GetTickCount()});
  current_.reset();
}

std::vector<TSoundEvent> TVirtualSoundService::Events() const {
  std::lock_guard lock(mutex_);
  return events_;
}

size_t TVirtualSoundService::PlayCount() const {
  std::lock_guard lock(mutex_);
  size_t n = 0;
  for (const auto& e : events_) n += e.Kind == TSoundEvent::TKind::kPlay;
  return n;
}

TSoundImagePtr TVirtualSoundService::Current() const {
  std::lock_guard lock(mutex_);
  return current_;
}

void TVirtualSoundService::Clear() {
  std::lock_guard lock(mutex_);
  events_.clear();
  current_.reset();
}

void TVirtualSoundService::Prepare(const std::vector<TSoundImagePtr>& images) {
  std::lock_guard lock(mutex_);
  prepared_ = images;
}

std::vector<TSoundImagePtr> TVirtualSoundService::Prepared() const {
  std::lock_guard lock(mutex_);
  return prepared_;
}
