// The player's side pins: a string input for the file name, a progress output (minimum,
// position, maximum) and a clock input through which an external clock paces the player.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "OWPins.h"

// {0E5F7C2B-91A4-4D36-B8E1-5A7C3D2F9B40}
inline constexpr TOWStreamTypeId kOWStringStreamType{0x0E5F7C2B91A44D36ull, 0xB8E15A7C3D2F9B40ull};
// {A83D1F62-4C7E-4B95-9F20-6E1B8C4D7A13}
inline constexpr TOWStreamTypeId kOWIntProgressStreamType{0xA83D1F624C7E4B95ull,
                                                          0x9F206E1B8C4D7A13ull};
// {52C9E0A4-7B18-4F3D-A6E5-1D8F2B7C9E04}
inline constexpr TOWStreamTypeId kOWClockStreamType{0x52C9E0A47B184F3Dull, 0xA6E51D8F2B7C9E04ull};

class TOWStringStateOperation final : public TOWNotifyOperation {
 public:
  explicit TOWStringStateOperation(std::string value) : value_(std::move(value)) {}
  const std::string& Value() const { return value_; }

 private:
  std::string value_;
};

class TOWIntProgressOperation final : public TOWNotifyOperation {
 public:
  TOWIntProgressOperation(int64_t minimum, int64_t position, int64_t maximum)
      : minimum_(minimum), position_(position), maximum_(maximum) {}
  int64_t Minimum() const { return minimum_; }
  int64_t Position() const { return position_; }
  int64_t Maximum() const { return maximum_; }

 private:
  int64_t minimum_, position_, maximum_;
};

// A received string runs the setter (the player assigns it to FileName).
class TOWStringSinkPin final : public TOWSinkPin {
 public:
  TOWStringSinkPin(TOWComponentBase* owner, std::function<void(const std::string&)> setter)
      : TOWSinkPin(owner, {kOWStringStreamType},
                   [setter = std::move(setter)](const IOWNotifyOperationPtr& op, uint32_t) {
                     auto* state = op->As<TOWStringStateOperation>();
                     if (!state || !setter) return false;
                     setter(state->Value());
                     return true;
                   }) {}
};

class TOWIntProgressSourcePin final : public TOWSourcePin {
 public:
  explicit TOWIntProgressSourcePin(TOWComponentBase* owner)
      : TOWSourcePin(owner, {kOWIntProgressStreamType}, nullptr) {}
  void SetProgress(int64_t minimum, int64_t position, int64_t maximum) {
    Notify(std::make_shared<TOWIntProgressOperation>(minimum, position, maximum));
  }
};

// Every clock operation received runs tick once (one pump step of the player).
class TOWClockSinkPin final : public TOWSinkPin {
 public:
  TOWClockSinkPin(TOWComponentBase* owner, std::function<void()> tick)
      : TOWSinkPin(owner, {kOWClockStreamType},
                   [tick = std::move(tick)](const IOWNotifyOperationPtr& op, uint32_t) {
                     if (!op->Is<TOWClockOperation>() || !tick) return false;
                     tick();
                     return true;
                   }) {}
};
