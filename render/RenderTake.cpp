#include "RenderTake.h"

void RenderTake(TRenderSource& source, uint32_t block_frames, TRenderChain& chain,
                const std::function<void(uint64_t)>& progress) {
  while (IALAudioBufferPtr block = source.Next(block_frames)) {
    chain.Process(block);
    if (progress) progress(source.Position());
  }
  chain.Finish();
}
