// State shared between a capture component's main-thread side and its wave thread: the capture
// lock, the active and driving flags, and the blocks currently handed to the device.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "ALAudioBuffer.h"
#include "OWOperations.h"
#include "platform/WaveIn.h"

class TALAudioParams;

// One block of the capture: its header points into the sample area of buffer, and the header's
// user value points back at the record. Records delivered in the audio server's cycle are used
// again rather than freed, so that road never allocates.
struct TALWaveBuffer {
  enum class TState {
    kQueued,    // with the device
    kDeferred,  // delivered in the cycle; sinks outside it still to be served on the wave thread
    kLent,      // delivered; a sink may still hold the buffer
    kSpare,     // free for the next block
  };
  IWaveInDevice* device = nullptr;
  TWaveInBlock header;
  TALAudioParams* params = nullptr;
  IALAudioBufferPtr buffer;
  IOWNotifyOperationPtr op;  // the buffer's operation, made once
  TState state = TState::kQueued;
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
