#include "RealtimeThread.h"

namespace {
thread_local int t_depth = 0;
}  // namespace

bool InRealtimeThread() {
  return t_depth > 0;
}
TRealtimeThreadMark::TRealtimeThreadMark() {
  ++t_depth;
}
TRealtimeThreadMark::~TRealtimeThreadMark() {
  --t_depth;
}
