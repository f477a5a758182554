#include "BlockEventSample.h"

namespace {
thread_local uint32_t t_index = 0;
}  // namespace

void SetBlockEventSample(uint32_t index) {
  t_index = index;
}
uint32_t BlockEventSample() {
  return t_index;
}
