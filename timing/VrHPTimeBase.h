// The time base shared by the high-precision timers: the counter they read, its rate, and the
// processor's identification where the machine offers it. Created and destroyed on the main
// thread; its counter is read from any thread.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/TickClock.h"

class TVrHPCustomTimer;

class TVrHPTimeBase {
 public:
  // The counter must outlive every timer that was enabled on this time base.
  explicit TVrHPTimeBase(IHighResCounter& counter);
  TVrHPTimeBase();  // the system's steady counter
  // Every timer bound to this time base is disabled and loses it.
  ~TVrHPTimeBase();
  TVrHPTimeBase(const TVrHPTimeBase&) = delete;
  TVrHPTimeBase& operator=(const TVrHPTimeBase&) = delete;

  IHighResCounter& CounterSource() const { return counter_; }
  int64_t Counter() const { return counter_.Counter(); }
  // Counts since a mark; raises std::overflow_error when the difference does not fit.
  int64_t TicksSince(int64_t mark) const;
  // The counter's rate; 0 when it has none, and then no timer can run on this time base.
  double TicksPerSecond() const { return ticks_per_second_; }

  int32_t ProcessorType() const { return processor_type_; }
  int32_t Family() const { return family_; }
  int32_t Model() const { return model_; }
  int32_t Stepping() const { return stepping_; }
  int64_t CPUSpeedHz() const { return cpu_speed_hz_; }
  double CPUSpeedMhz() const { return cpu_speed_mhz_; }
  double MeasuredMhz() const { return measured_mhz_; }  // the counter's rate is known: 0
  bool IDAvailable() const { return id_available_; }
  bool HasTimeStamp() const { return has_time_stamp_; }
  bool SupportTimeStamp() const { return support_time_stamp_; }
  bool HasFPU() const { return has_fpu_; }
  bool HasAPIC() const { return has_apic_; }
  // Processor identification leaf 1: signature, brand/APIC word, extended features, features.
  const uint32_t (&Signature() const)[4] { return signature_; }

 private:
  friend class TVrHPCustomTimer;
  void Attach(TVrHPCustomTimer* timer);
  void Detach(TVrHPCustomTimer* timer);
  void Identify();
  void ReadCpuSpeed();

  IHighResCounter& counter_;
  double ticks_per_second_ = 0;
  int32_t processor_type_ = 0;
  int32_t family_ = 0;
  int32_t model_ = 0;
  int32_t stepping_ = 0;
  int64_t cpu_speed_hz_ = 0;
  double cpu_speed_mhz_ = 0;
  double measured_mhz_ = 0;
  bool id_available_ = false;
  uint32_t signature_[4] = {0, 0, 0, 0};
  bool has_fpu_ = false;
  bool has_time_stamp_ = false;
  bool support_time_stamp_ = false;
  bool has_apic_ = false;

  std::mutex timers_mutex_;
  std::vector<TVrHPCustomTimer*> timers_;
};
