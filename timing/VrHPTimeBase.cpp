#include "VrHPTimeBase.h"

#include <algorithm>
#include <fstream>
#include <stdexcept>
#include <string>

#include "VrHPTimer.h"
#include "platform/SteadyClock.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#define TOCSIN_HAS_CPUID 1
#endif

TVrHPTimeBase::TVrHPTimeBase() : TVrHPTimeBase(SystemCounter()) {}

TVrHPTimeBase::TVrHPTimeBase(IHighResCounter& counter) : counter_(counter) {
  // The counter's rate is known, so there is nothing to measure and no second to wait.
  const int64_t f = counter_.Frequency();
  ticks_per_second_ = f > 0 ? static_cast<double>(f) : 0.0;
  Identify();
  ReadCpuSpeed();
  if (measured_mhz_ > 0) {
    cpu_speed_mhz_ = measured_mhz_;
  } else if (cpu_speed_hz_ > 0) {
    cpu_speed_mhz_ = static_cast<double>(cpu_speed_hz_) / 1e6;
  }
}

TVrHPTimeBase::~TVrHPTimeBase() {
  std::vector<TVrHPCustomTimer*> timers;
  {
    std::lock_guard lock(timers_mutex_);
    timers.swap(timers_);
  }
  for (auto* t : timers) t->TimeBaseRemoved(this);
}

int64_t TVrHPTimeBase::TicksSince(int64_t mark) const {
  int64_t d;
  if (__builtin_sub_overflow(counter_.Counter(), mark, &d))
    throw std::overflow_error("Integer overflow");
  return d;
}

void TVrHPTimeBase::Attach(TVrHPCustomTimer* timer) {
  std::lock_guard lock(timers_mutex_);
  if (std::find(timers_.begin(), timers_.end(), timer) == timers_.end()) timers_.push_back(timer);
}

void TVrHPTimeBase::Detach(TVrHPCustomTimer* timer) {
  std::lock_guard lock(timers_mutex_);
  timers_.erase(std::remove(timers_.begin(), timers_.end(), timer), timers_.end());
}

void TVrHPTimeBase::Identify() {
#ifdef TOCSIN_HAS_CPUID
  unsigned a, b, c, d;
  id_available_ = __get_cpuid(1, &a, &b, &c, &d) != 0;
  if (!id_available_) return;
  signature_[0] = a;
  signature_[1] = b;
  signature_[2] = c;
  signature_[3] = d;
  processor_type_ = static_cast<int32_t>((a >> 12) & 0x3);
  family_ = static_cast<int32_t>((a >> 8) & 0xf);
  model_ = static_cast<int32_t>((a >> 4) & 0xf);
  stepping_ = static_cast<int32_t>(a & 0xf);
  has_fpu_ = d & (1u << 0);
  has_time_stamp_ = d & (1u << 4);
  has_apic_ = d & (1u << 9);
  unsigned a2, b2, c2, d2;
  support_time_stamp_ = __get_cpuid(1, &a2, &b2, &c2, &d2) && (d2 & (1u << 4));
#endif
}

// The nominal clock as the kernel reports it; stays 0 where it reports none.
void TVrHPTimeBase::ReadCpuSpeed() {
  std::ifstream max_freq("/sys/devices/system/cpu/cpu0/cpufreq/cpuinfo_max_freq");
  long long khz = 0;
  if (max_freq >> khz && khz > 0) {
    cpu_speed_hz_ = khz * 1000;
    return;
  }
  std::ifstream cpuinfo("/proc/cpuinfo");
  std::string line;
  while (std::getline(cpuinfo, line)) {
    if (line.rfind("cpu MHz", 0) != 0) continue;
    const auto colon = line.find(':');
    if (colon == std::string::npos) break;
    try {
      const double mhz = std::stod(line.substr(colon + 1));
      if (mhz > 0) cpu_speed_hz_ = static_cast<int64_t>(mhz * 1e6);
    } catch (...) {
    }
    break;
  }
}
