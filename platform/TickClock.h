// Time sources: a 32-bit millisecond tick that wraps around (about every 49.7 days) and a
// high-resolution counter. Real ones run on steady_clock; tests use fake ones they move by hand.
#pragma once

#include <cstdint>

class ITickClock {
 public:
  virtual ~ITickClock() = default;
  // Milliseconds since an arbitrary origin, modulo 2^32.
  virtual uint32_t GetTickCount() = 0;
};

class IHighResCounter {
 public:
  virtual ~IHighResCounter() = default;
  virtual int64_t Counter() = 0;    // counts since an arbitrary origin
  virtual int64_t Frequency() = 0;  // counts per second, > 0
};
