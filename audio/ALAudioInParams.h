// State shared between a capture component's main-thread side and its wave thread: the capture
// lock, the active and driving flags, and the blocks currently handed to the device.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "ALAudioBuffer.h"
#include "platform/WaveIn.h"

class TALAudioParams;

// One block handed to the device: its header points into the sample area of buffer, and the
// header's user value points back at the record.
struct TALWaveBuffer {
  IWaveInDevice* device = nullptr;
  TWaveInBlock header;
  TALAudioParams* params = nullptr;
  IALAudioBufferPtr buffer;
};

class TALAudioParams {
 public:
  // Re-entrant: a sink running on the wave thread may stop the capture that is delivering to it.
  std::recursive_mutex capture_lock;
  std::atomic<bool> active{false};
  std::atomic<bool> driving{false};
  std::vector<std::unique_ptr<TALWaveBuffer>> blocks;  // under capture_lock
};
using IALAudioParams = TALAudioParams;
