// Pins: how components connect. A source pin hands every operation to each connected sink's
// handler, one after the other, on the sender's thread, under the global read lock, its own group
// lock and each sink's group lock. Audio source pins remember the running stream's start and
// resume so that a sink joining late learns the format, and send a stop to a sink that leaves.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ALErrors.h"
#include "OWLocks.h"
#include "OWOperations.h"
#include "OWOwnerLock.h"

// An error of the pin model (a connection loop).
class EOWError : public EALError {
 public:
  using EALError::EALError;
};

// A stream type: a 128-bit interface identifier.
struct TOWStreamTypeId {
  uint64_t hi = 0;
  uint64_t lo = 0;
  bool operator==(const TOWStreamTypeId&) const = default;
};

// {1D5BD085-492E-4979-8F76-9C97D5C3C5B6}
inline constexpr TOWStreamTypeId kALAudioStreamType{0x1D5BD085492E4979ull, 0x8F769C97D5C3C5B6ull};
// {3F310E66-6D97-4C1A-900B-B0ACE3A6BA88}
inline constexpr TOWStreamTypeId kOWBoolStreamType{0x3F310E666D974C1Aull, 0x900BB0ACE3A6BA88ull};

// Flags value passed to the last sink of a dispatch.
inline constexpr uint32_t kOWLastSinkFlag = 2;
inline constexpr int32_t kOWMaxDispatchDepth = 200;

// Receives an operation and the flags value; returns whether it was accepted.
using TOWOperationHandler = std::function<bool(const IOWNotifyOperationPtr& op, uint32_t flags)>;

// A component: the lock group that its pins may join, and the owner lock of its sub-objects.
class TOWComponentBase : public TOWObject, public IOWOwnerLock {
 public:
  void BeginWrite() override;
  void EndWrite() override;

  // Whether buffers may reach this component inside the audio server's cycle, a thread that
  // must not wait or allocate (TOWSourcePin::TryNotifyInCycle); the others get theirs later on
  // the source's wave thread (NotifyDeferred).
  virtual bool RunsInCycle() const { return false; }
  // Takes, by tries, the groups of every pin this component dispatches to when it receives a
  // buffer; false when one is held elsewhere or the component cannot tell which.
  virtual bool TryLockOutputs(TOWTryLockSet&) { return false; }
  // For a component that does not run in the cycle: true when nothing would read what it made of
  // a buffer now, so a dispatch in the cycle may leave it out rather than hand the buffer on to
  // a waiting thread. Called with the global lock held in held; takes anything more by tries
  // only; false when it cannot tell.
  virtual bool TryIdleInCycle(TOWTryLockSet&) { return false; }
};

class TOWPin : public TOWObject {
 public:
  TOWPin(TOWComponentBase* owner, std::vector<TOWStreamTypeId> types)
      : owner_(owner), types_(std::move(types)) {}
  TOWComponentBase* Owner() const { return owner_; }
  const std::vector<TOWStreamTypeId>& StreamTypes() const { return types_; }
  bool Supports(const TOWStreamTypeId& type) const;

 private:
  TOWComponentBase* owner_;
  std::vector<TOWStreamTypeId> types_;
};

class TOWStreamPin : public TOWPin {
 public:
  using TOWPin::TOWPin;
};

class TOWSinkPin;

struct TOWSinkEntry {
  TOWSinkPin* sink;
  TOWStreamTypeId type;
  TOWOperationHandler handler;
};

class TOWSourcePin : public TOWStreamPin {
 public:
  // upstream handles operations that sinks send back up (TOWSinkPin::Notify); may be empty.
  TOWSourcePin(TOWComponentBase* owner, std::vector<TOWStreamTypeId> types,
               TOWOperationHandler upstream);
  ~TOWSourcePin() override;

  // Appends sink (leaving its previous source); false when the pins share no stream type.
  bool Connect(TOWSinkPin& sink);
  void Disconnect(TOWSinkPin& sink);
  void DisconnectAll();
  // Takes no lock: an audio server's cycle asks it too. A connection change under way may or may
  // not be counted yet.
  size_t SinkCount() const { return sink_count_.load(std::memory_order_acquire); }
  bool IsConnectedTo(const TOWSinkPin& sink) const;

  // Dispatches op to every sink in turn on the calling thread; returns the pin's own result.
  // Raises EOWError when re-entered more than 200 levels deep (a connection loop).
  bool Notify(const IOWNotifyOperationPtr& op);

  // Notify for a thread that must not wait: takes every lock of the dispatch ahead by tries and
  // hands op to the sinks whose components run in the cycle. Returns false, having dispatched
  // nothing, when a lock is held elsewhere. deferred tells whether other sinks remain: they are
  // for NotifyDeferred, on a thread that may wait, in the same order of operations. Sinks that
  // are idle in the cycle (TryIdleInCycle) are left out.
  // failure, when given, tells which try failed.
  bool TryNotifyInCycle(const IOWNotifyOperationPtr& op, bool& deferred,
                        TOWTryFailure* failure = nullptr);
  void NotifyDeferred(const IOWNotifyOperationPtr& op);
  // Takes, by tries, this pin's group and, for every sink, its group and what it dispatches to.
  // Any sink that cannot tell fails it.
  bool TryLockTree(TOWTryLockSet& held);

 protected:
  // The pin's own step before the sinks; nothing is linked to it in this system, so it accepts.
  virtual bool NotifySelf(const IOWNotifyOperationPtr&) { return true; }
  // Called under the pin's lock after a dispatch completed.
  virtual void Record(const IOWNotifyOperationPtr&) {}
  // Called under the global write lock once a sink was appended, and before one is removed.
  virtual void SinkJoined(const TOWSinkEntry&) {}
  virtual void SinkLeaving(const TOWSinkEntry&) {}
  // Hands op to one sink alone, as the last sink.
  static bool DispatchToOne(const TOWSinkEntry& entry, const IOWNotifyOperationPtr& op);

 private:
  friend class TOWSinkPin;
  bool HandleUpstream(const IOWNotifyOperationPtr& op, uint32_t flags);
  void RemoveEntry(TOWSinkPin& sink);  // caller holds the global write lock

  std::vector<TOWSinkEntry> entries_;
  std::atomic<size_t> sink_count_{0};  // entries_.size(), written under the global write lock
  int32_t depth_ = 0;
  TOWOperationHandler upstream_;
};

class TOWSinkPin : public TOWStreamPin {
 public:
  TOWSinkPin(TOWComponentBase* owner, std::vector<TOWStreamTypeId> types,
             TOWOperationHandler handler)
      : TOWStreamPin(owner, std::move(types)), handler_(std::move(handler)) {}
  ~TOWSinkPin() override;

  bool Connect(TOWSourcePin& source) { return source.Connect(*this); }
  void Disconnect();
  TOWSourcePin* SourcePin() const;
  bool IsConnected() const { return SourcePin() != nullptr; }
  // Hands op upstream to the source pin's handler; false when unconnected.
  bool Notify(const IOWNotifyOperationPtr& op);
  const TOWOperationHandler& Handler() const { return handler_; }

 private:
  friend class TOWSourcePin;
  TOWOperationHandler handler_;
  TOWSourcePin* source_ = nullptr;  // guarded by the global lock
};

// Signal-stream source: sends buffers and remembers the running stream's start.
class TSLOWSourcePin : public TOWSourcePin {
 public:
  using TOWSourcePin::TOWSourcePin;
  // Wraps buffer in a TOWSuppliedBufferOperation and dispatches it.
  bool SendData(const IALAudioBufferPtr& buffer);
  IOWNotifyOperationPtr RememberedStart() const;

 protected:
  void Record(const IOWNotifyOperationPtr& op) override;
  void SinkJoined(const TOWSinkEntry& entry) override;
  void SinkLeaving(const TOWSinkEntry& entry) override;
  IOWNotifyOperationPtr start_;   // under the pin's lock
  IOWNotifyOperationPtr resume_;  // audio pins only
};

class TSLOWSinkPin : public TOWSinkPin {
 public:
  using TOWSinkPin::TOWSinkPin;
};

class TALOWAudioSourcePin final : public TSLOWSourcePin {
 public:
  TALOWAudioSourcePin(TOWComponentBase* owner, TOWOperationHandler upstream)
      : TSLOWSourcePin(owner, {kALAudioStreamType}, std::move(upstream)) {}
  IOWNotifyOperationPtr RememberedResume() const;

 protected:
  void Record(const IOWNotifyOperationPtr& op) override;
};

class TALOWAudioSinkPin final : public TSLOWSinkPin {
 public:
  TALOWAudioSinkPin(TOWComponentBase* owner, TOWOperationHandler handler)
      : TSLOWSinkPin(owner, {kALAudioStreamType}, std::move(handler)) {}
};

// A component's Boolean state as a pin: reading mirrors the property; setting sets the property.
class TOWStatePin : public TOWPin {
 public:
  using TOWPin::TOWPin;
};

class TOWBoolStatePin final : public TOWStatePin {
 public:
  // setter runs when a state is set through the pin; it is expected to call Mirror.
  TOWBoolStatePin(TOWComponentBase* owner, std::function<void(bool)> setter)
      : TOWStatePin(owner, {kOWBoolStreamType}), setter_(std::move(setter)) {}
  bool Value() const { return value_.load(std::memory_order_acquire); }
  void SetValue(bool value) {
    if (setter_) setter_(value);
  }
  // Updates the pin's value from the property, without calling the setter back.
  void Mirror(bool value) { value_.store(value, std::memory_order_release); }

 private:
  std::function<void(bool)> setter_;
  std::atomic<bool> value_{false};
};

// A Boolean input: a TOWBoolStateOperation received here runs the setter.
class TOWBoolSinkPin final : public TOWSinkPin {
 public:
  TOWBoolSinkPin(TOWComponentBase* owner, std::function<void(bool)> setter);
};

// A numbered list of pins owned by a component (for components with a variable pin count).
class TOWPinList : public TOWObject {
 public:
  explicit TOWPinList(TOWComponentBase* owner) : owner_(owner) {}
  void Add(TOWPin& pin) { pins_.push_back(&pin); }
  size_t Count() const { return pins_.size(); }
  TOWPin& operator[](size_t index) const { return *pins_.at(index); }
  TOWComponentBase* PinsOwner() const { return owner_; }

 private:
  TOWComponentBase* owner_;
  std::vector<TOWPin*> pins_;
};
