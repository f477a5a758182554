// Peak programme meter: per period, each channel is converted to floats, passed through the
// DC-blocking filter and followed by the peak detector with exponential release (HalfLife ms).
// Computation runs on the thread delivering buffers, on blocks allocated at start, not per period.
#pragma once

#include <array>
#include <vector>

#include "ALCommonMeter.h"
#include "ALPPMMeterDsp.h"

class TALPPMMeter : public TALCommonMeter {
 public:
  explicit TALPPMMeter(IMainThreadDispatcher& dispatcher);
  ~TALPPMMeter() override;

  int32_t HalfLife();
  void SetHalfLife(int32_t milliseconds);

 protected:
  void Started(const TWaveFormatEx& header) override;
  void PeriodChanged() override;
  void ComputePeriod(TALMeterBufferQueue& queue, std::vector<double>& values) override;

 private:
  void AllocateBlocks();

  // Guarded by the component's lock.
  int32_t half_life_ = 1000;
  std::vector<std::vector<float>> blocks_;  // one period per stream channel
  std::vector<TALDcBlocker> filters_;       // one per stream channel
  std::array<TALPeakRelease, kMaxChannels> peaks_{};
};
