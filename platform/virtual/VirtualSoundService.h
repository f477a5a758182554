// A sound service for tests: plays nothing, records every request with its time, and keeps
// which image would be playing (a sound plays until it is stopped or replaced).
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/SoundService.h"
#include "platform/TickClock.h"

struct TSoundEvent {
  enum class TKind { kPlay, kStop } Kind;
  TSoundImagePtr Image;  // kPlay only
  uint32_t Flags = 0;
  uint32_t Tick = 0;  // the clock's milliseconds when the request came
};

class TVirtualSoundService final : public ISoundService {
 public:
  explicit TVirtualSoundService(ITickClock& clock);

  void Play(TSoundImagePtr image, uint32_t flags) override;
  void Stop() override;
  void Prepare(const std::vector<TSoundImagePtr>& images) override;

  std::vector<TSoundEvent> Events() const;
  // The images of the last Prepare.
  std::vector<TSoundImagePtr> Prepared() const;
  size_t PlayCount() const;
  // The image playing now, none when nothing plays.
  TSoundImagePtr Current() const;
  void Clear();

 private:
  ITickClock& clock_;
  mutable std::mutex mutex_;
  std::vector<TSoundEvent> events_;
  TSoundImagePtr current_;
  std::vector<TSoundImagePtr> prepared_;
};
