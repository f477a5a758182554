#include "SteadyClock.h"

#include <chrono>

uint32_t TSteadyTickClock::GetTickCount() {
  using namespace std::chrono;
  auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
  return static_cast<uint32_t>(static_cast<uint64_t>(ms));
}

int64_t TSteadyCounter::Counter() {
  using namespace std::chrono;
  return duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count();
}

int64_t TSteadyCounter::Frequency() { return 1'000'000'000; }

ITickClock& SystemTickClock() {
  static TSteadyTickClock clock;
  return clock;
}

IHighResCounter& SystemCounter() {
  static TSteadyCounter counter;
  return counter;
}
