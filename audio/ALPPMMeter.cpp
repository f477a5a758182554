#include "ALPPMMeter.h"

#include <algorithm>

TALPPMMeter::TALPPMMeter(IMainThreadDispatcher& dispatcher) : TALCommonMeter(dispatcher) {}

TALPPMMeter::~TALPPMMeter() { DisconnectPins(); }

int32_t TALPPMMeter::HalfLife() {
  TOWReadLockSection lock(*this);
  return half_life_;
}

void TALPPMMeter::SetHalfLife(int32_t milliseconds) {
  TOWWriteLockSection lock(*this);
  half_life_ = milliseconds;
}

void TALPPMMeter::Started(const TWaveFormatEx& header) {
  AllocateBlocks();
  filters_.assign(std::min<size_t>(header.nChannels, kMaxChannels),
                  TALDcBlocker(header.nSamplesPerSec));
}

void TALPPMMeter::PeriodChanged() {
  if (!blocks_.empty()) AllocateBlocks();
}

void TALPPMMeter::AllocateBlocks() {
  const TWaveFormatEx& header = StreamHeader();
  const size_t n = MeterPeriodFrames(header.nSamplesPerSec, Period());
  blocks_.assign(std::min<size_t>(header.nChannels, kMaxChannels), std::vector<float>(n, 0.0f));
}

void TALPPMMeter::ComputePeriod(TALMeterBufferQueue& queue, std::vector<double>& values) {
  const TWaveFormatEx& header = StreamHeader();
  const size_t channels = blocks_.size();
  const size_t n = channels ? blocks_[0].size() : MeterPeriodFrames(header.nSamplesPerSec, Period());

  size_t filled = 0;
  queue.Consume(n, [&](const TALMeterBufferQueue::TChunk& chunk) {
    for (size_t c = 0; c < channels; ++c) {
      float* dst = blocks_[c].data() + filled;
      // A buffer narrower than the stream, or of a width the meter cannot read, counts as silence.
      if (c >= chunk.channels || (chunk.bits != 8 && chunk.bits != 16)) {
        std::fill(dst, dst + chunk.frames, 0.0f);
        continue;
      }
      const uint8_t* p = chunk.data + c * (chunk.bits / 8);
      if (chunk.bits == 8) {
        for (uint32_t i = 0; i < chunk.frames; ++i, p += chunk.block_align)
          dst[i] = static_cast<float>(p[0]);
      } else {
        for (uint32_t i = 0; i < chunk.frames; ++i, p += chunk.block_align)
          dst[i] = static_cast<float>(static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8))));
      }
    }
    filled += chunk.frames;
  });

  for (size_t c = 0; c < channels; ++c) {
    filters_[c].Process(blocks_[c].data(), filled);
    peaks_[c].SetRelease(header.nSamplesPerSec, half_life_);
    peaks_[c].Process(blocks_[c].data(), filled);
  }
  // Channels the stream does not carry read 0: nothing outside its data is touched.
  for (size_t c = 0; c < values.size(); ++c) values[c] = c < channels ? peaks_[c].Peak() : 0.0;
}
