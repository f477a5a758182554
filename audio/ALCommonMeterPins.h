// The meter's value outputs: one source pin per measured channel carrying a 64-bit float level.
// Setting a pin's value passes it to the pin's sinks on the calling thread.
#pragma once

#include "OWPins.h"

// {6C0B2A51-3E8D-4F57-A1C4-0D29E7B83F16}
inline constexpr TOWStreamTypeId kOWRealStreamType{0x6C0B2A513E8D4F57ull, 0xA1C40D29E7B83F16ull};

class TOWRealStateOperation final : public TOWNotifyOperation {
 public:
  explicit TOWRealStateOperation(double value) : value_(value) {}
  double Value() const { return value_; }

 private:
  double value_;
};

class TOWRealSourcePin final : public TOWSourcePin {
 public:
  explicit TOWRealSourcePin(TOWComponentBase* owner)
      : TOWSourcePin(owner, {kOWRealStreamType}, nullptr) {}
  // Read under the owner's lock.
  double Value() const { return value_; }
  // Stores value and passes it to the connected sinks (none in the window's design).
  void SetValue(double value) {
    value_ = value;
    if (SinkCount() > 0) Notify(std::make_shared<TOWRealStateOperation>(value));
  }

 private:
  double value_ = 0.0;
};
