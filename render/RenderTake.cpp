#include "RenderTake.h"

void RenderTake(TRenderSource& source, uint32_t block_frames, TRenderChain& chain,
                const std::function<void(uint64_t)>& progress) {
  source.KeepSamples(chain.HitDetection());
  while (IALAudioBufferPtr block = source.Next(block_frames)) {
    // As live: the capture's tap sees the samples before they are a block.
    const float* inputs[2] = {source.Samples(0), source.Samples(1)};
    chain.Capture(inputs, source.Channels(), block->FrameCount());
    chain.Process(block);
    if (progress) progress(source.Position());
  }
  chain.Finish();
}

std::unique_ptr<TRenderChain> RenderWithSettings(TRenderSource& source,
                                                 const TRenderSettings& settings, bool keep_levels,
                                                 const std::function<void(uint64_t)>& progress) {
  auto chain = std::make_unique<TRenderChain>(settings.Controls, source.Channels(), settings.Bits,
                                              source.SampleRate(), keep_levels);
  chain->SetHitSettings(settings.HitSettings());
  RenderTake(source, settings.BufferSize, *chain, progress);
  return chain;
}
