// The operations that travel between pins: stream start, one buffer, pause/resume, stop, and the
// pump request that decides who drives a stream. Reference-counted; receivers tell them apart by
// class (Is<T>/As<T>), so a subclass is also seen as its base (an end-stop is a stop).
#pragma once

#include <cstdint>
#include <memory>

#include "ALAudioBuffer.h"
#include "WaveFormat.h"

class TOWNotifyOperation;
using IOWNotifyOperation = TOWNotifyOperation;
using IOWNotifyOperationPtr = std::shared_ptr<TOWNotifyOperation>;

class TOWNotifyOperation {
 public:
  virtual ~TOWNotifyOperation() = default;
  template <class T>
  bool Is() const {
    return dynamic_cast<const T*>(this) != nullptr;
  }
  template <class T>
  T* As() {
    return dynamic_cast<T*>(this);
  }
};

// A component taking part in a stream, as named by operations (requester, winner, master).
class TOWComponentBase;

class TOWPumpRequestOperation final : public TOWNotifyOperation {
 public:
  TOWPumpRequestOperation(TOWComponentBase* requester, float rate, int32_t priority,
                          uint8_t mode = 3)
      : requester_(requester), winner_(requester), rate_(rate), priority_(priority), mode_(mode) {}
  TOWComponentBase* Requester() const { return requester_; }
  TOWComponentBase* Winner() const { return winner_; }
  void SetWinner(TOWComponentBase* winner) { winner_ = winner; }
  float Rate() const { return rate_; }
  int32_t Priority() const { return priority_; }
  uint8_t Mode() const { return mode_; }

 private:
  TOWComponentBase* requester_;
  TOWComponentBase* winner_;
  float rate_;
  int32_t priority_;
  uint8_t mode_;
};

class TOWStartOperation : public TOWNotifyOperation {};

class TOWStartRateOperation : public TOWStartOperation {
 public:
  explicit TOWStartRateOperation(double rate) : rate_(rate) {}
  double Rate() const { return rate_; }

 private:
  double rate_;
};

class TOWStartSampleRateOperation : public TOWStartRateOperation {
 public:
  TOWStartSampleRateOperation(int32_t sample_rate, double rate)
      : TOWStartRateOperation(rate), sample_rate_(sample_rate) {}
  int32_t SampleRate() const { return sample_rate_; }
  // The rate divided by the sample rate; the rate itself when the sample rate is below 1.
  double RatePerSample() const { return sample_rate_ >= 1 ? Rate() / sample_rate_ : Rate(); }

 private:
  int32_t sample_rate_;
};

class TOWStartWaveOperation final : public TOWStartSampleRateOperation {
 public:
  TOWStartWaveOperation(int32_t sample_rate, const TWaveFormatEx& header, double rate)
      : TOWStartSampleRateOperation(sample_rate, rate), header_(header) {}
  // The operation's own copy of the stream's PCM header.
  const TWaveFormatEx* WaveFormat() const { return &header_; }

 private:
  TWaveFormatEx header_;
};

class TOWClockOperation : public TOWNotifyOperation {};
class TOWSuppliedOperation : public TOWClockOperation {};

class TOWSuppliedBufferOperation final : public TOWSuppliedOperation {
 public:
  explicit TOWSuppliedBufferOperation(IALAudioBufferPtr buffer) : buffer_(std::move(buffer)) {}
  const IALAudioBufferPtr& Buffer() const { return buffer_; }

 private:
  IALAudioBufferPtr buffer_;
};

class TOWSLResumeOperation final : public TOWNotifyOperation {};
class TOWSLPauseOperation final : public TOWNotifyOperation {};
class TOWStopOperation : public TOWNotifyOperation {};
class TOWEndStopOperation final : public TOWStopOperation {};

class TOWMasterPumpOperation final : public TOWNotifyOperation {
 public:
  explicit TOWMasterPumpOperation(TOWComponentBase* master) : master_(master) {}
  TOWComponentBase* Master() const { return master_; }

 private:
  TOWComponentBase* master_;
};

// A Boolean state sent to a Boolean sink pin (an EnablePin).
class TOWBoolStateOperation final : public TOWNotifyOperation {
 public:
  explicit TOWBoolStateOperation(bool value) : value_(value) {}
  bool Value() const { return value_; }

 private:
  bool value_;
};
