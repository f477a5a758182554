#include "RenderTake.h"

void RenderTake(TRenderSource& source, uint32_t block_frames, TRenderChain& chain,
                const std::function<void(uint64_t)>& progress) {
  while (IALAudioBufferPtr block = source.Next(block_frames)) {
    // As live: the capture's tap sees the samples before they are a block.
    const float* inputs[2] = {source.Samples(0), source.Samples(1)};
    chain.Capture(inputs, source.Channels(), block->FrameCount());
    chain.Process(block);
    if (progress) progress(source.Position());
  }
  chain.Finish();
}
