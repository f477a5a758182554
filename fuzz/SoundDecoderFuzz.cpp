// Feeds arbitrary bytes to the sound decoder as a user's "wave" file would, then shapes the
// result for devices of a few rates: nothing may crash, hang or allocate without bound.
#include <cstddef>
#include <cstdint>

#include "platform/rt/SoundDecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto sound = DecodeSoundImage(data, size);
  if (!sound) return 0;
  if (sound->Frames() > 48000) return 0;  // conversion cost grows with length, not with risk
  const uint32_t rates[] = {8000, 44100, 48000};
  for (uint32_t rate : rates) {
    auto out = ToStereo(*sound, rate);
    if (out.size() % 2) __builtin_trap();
  }
  return 0;
}
