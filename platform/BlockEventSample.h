// Where, in the captured block being handled, the event about to be sent lies: the index of the
// block's sample that caused it (a note-on's first sample above the threshold). Set by the block
// handler on the capture thread around each action; read by back-ends that stamp events inside
// an audio server's cycle. Thread-local; 0 (the block's first sample) unless set.
#pragma once

#include <cstdint>

void SetBlockEventSample(uint32_t index);
uint32_t BlockEventSample();

// Sets the index for the scope of one action, then goes back to the block's first sample.
class TBlockEventSampleScope {
 public:
  explicit TBlockEventSampleScope(uint32_t index) { SetBlockEventSample(index); }
  ~TBlockEventSampleScope() { SetBlockEventSample(0); }
  TBlockEventSampleScope(const TBlockEventSampleScope&) = delete;
  TBlockEventSampleScope& operator=(const TBlockEventSampleScope&) = delete;
};
