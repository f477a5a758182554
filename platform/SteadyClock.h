// The real time sources, on std::chrono::steady_clock.
#pragma once

#include "TickClock.h"

class TSteadyTickClock final : public ITickClock {
 public:
  uint32_t GetTickCount() override;
};

class TSteadyCounter final : public IHighResCounter {
 public:
  int64_t Counter() override;
  int64_t Frequency() override;
};

// The process-wide real clocks.
ITickClock& SystemTickClock();
IHighResCounter& SystemCounter();
