#include "OWPins.h"

#include <algorithm>

namespace {
const char kLoopMessage[] = "The pin depends on itself. Please protect with functional dependency.";

// Releases a group lock taken by hand, also when a handler throws.
class TGroupHold {
 public:
  explicit TGroupHold(TOWObject& object) : object_(object) { object_.LockGroup(); }
  ~TGroupHold() { object_.UnlockGroup(); }
  TGroupHold(const TGroupHold&) = delete;
  TGroupHold& operator=(const TGroupHold&) = delete;

 private:
  TOWObject& object_;
};
}  // namespace

void TOWComponentBase::BeginWrite() {
  TOWGlobalLockObject().BeginRead();
  LockGroup();
}

void TOWComponentBase::EndWrite() {
  UnlockGroup();
  TOWGlobalLockObject().EndRead();
}

bool TOWPin::Supports(const TOWStreamTypeId& type) const {
  return std::find(types_.begin(), types_.end(), type) != types_.end();
}

TOWSourcePin::TOWSourcePin(TOWComponentBase* owner, std::vector<TOWStreamTypeId> types,
                           TOWOperationHandler upstream)
    : TOWStreamPin(owner, std::move(types)), upstream_(std::move(upstream)) {}

TOWSourcePin::~TOWSourcePin() {
  DisconnectAll();
}

bool TOWSourcePin::Connect(TOWSinkPin& sink) {
  TOWGlobalWriteLockSection global;
  if (sink.source_ == this) return true;
  auto common = std::find_if(StreamTypes().begin(), StreamTypes().end(),
                             [&](const TOWStreamTypeId& t) { return sink.Supports(t); });
  if (common == StreamTypes().end()) return false;
  if (sink.source_) sink.source_->RemoveEntry(sink);
  {
    TOWWriteLockSection lock(*this);
    entries_.push_back({&sink, *common, sink.Handler()});
    sink_count_.store(entries_.size(), std::memory_order_release);
  }
  sink.source_ = this;
  SinkJoined(entries_.back());
  return true;
}

void TOWSourcePin::Disconnect(TOWSinkPin& sink) {
  TOWGlobalWriteLockSection global;
  if (sink.source_ == this) RemoveEntry(sink);
}

void TOWSourcePin::DisconnectAll() {
  TOWGlobalWriteLockSection global;
  while (!entries_.empty()) RemoveEntry(*entries_.front().sink);
}

void TOWSourcePin::RemoveEntry(TOWSinkPin& sink) {
  auto it = std::find_if(entries_.begin(), entries_.end(),
                         [&](const TOWSinkEntry& e) { return e.sink == &sink; });
  if (it == entries_.end()) return;
  // The sink leaves even if its handler rejects the stop with an exception.
  struct Remove {
    TOWSourcePin* pin;
    TOWSinkPin* sink;
    ~Remove() {
      auto& list = pin->entries_;
      list.erase(std::remove_if(list.begin(), list.end(),
                                [&](const TOWSinkEntry& e) { return e.sink == sink; }),
                 list.end());
      pin->sink_count_.store(list.size(), std::memory_order_release);
      sink->source_ = nullptr;
    }
  } remove{this, &sink};
  const TOWSinkEntry entry = *it;
  SinkLeaving(entry);
}

bool TOWSourcePin::IsConnectedTo(const TOWSinkPin& sink) const {
  TOWGlobalReadLockSection global;
  return sink.source_ == this;
}

bool TOWSourcePin::DispatchToOne(const TOWSinkEntry& entry, const IOWNotifyOperationPtr& op) {
  TOWGlobalReadLockSection global;
  TGroupHold sink_lock(*entry.sink);
  return entry.handler ? entry.handler(op, kOWLastSinkFlag) : false;
}

bool TOWSourcePin::Notify(const IOWNotifyOperationPtr& op) {
  TOWGlobalReadLockSection global;
  TGroupHold own(*this);

  // The snapshot lets a handler connect or disconnect without disturbing this walk. Up to eight
  // sinks it lives on the stack, so a dispatch on the capture thread does not allocate for it.
  constexpr size_t kInline = 8;
  const size_t count = entries_.size();
  TOWSinkEntry stack_snapshot[kInline];
  std::vector<TOWSinkEntry> heap_snapshot;
  TOWSinkEntry* snapshot = stack_snapshot;
  if (count > kInline) {
    heap_snapshot = entries_;
    snapshot = heap_snapshot.data();
  } else {
    std::copy(entries_.begin(), entries_.end(), stack_snapshot);
  }

  if (depth_ > kOWMaxDispatchDepth) throw EOWError(kLoopMessage);
  ++depth_;
  struct DepthGuard {
    int32_t& depth;
    ~DepthGuard() { --depth; }
  } depth_guard{depth_};

  const bool result = NotifySelf(op);
  for (size_t i = 0; i < count; ++i) {
    const TOWSinkEntry& entry = snapshot[i];
    TGroupHold sink_lock(*entry.sink);
    if (entry.handler) entry.handler(op, i + 1 == count ? kOWLastSinkFlag : 0);
  }

  // Entries carry no lasting priority: the list is turned by one so no sink is always first.
  if (entries_.size() > 1) std::rotate(entries_.begin(), entries_.begin() + 1, entries_.end());
  Record(op);
  return result;
}

bool TOWSourcePin::TryNotifyInCycle(const IOWNotifyOperationPtr& op, bool& deferred,
                                    TOWTryFailure* failure) {
  deferred = false;
  TOWTryLockSet held;
  struct TTell {
    const TOWTryLockSet& held;
    TOWTryFailure* failure;
    ~TTell() {
      if (failure) *failure = held.Failure();
    }
  } tell{held, failure};
  if (!held.TryGlobal() || !held.TryGroup(*this)) return false;
  // Under the global read lock the list cannot change, so indices stand in for a snapshot.
  constexpr size_t kMaxInCycle = 8;
  size_t chosen[kMaxInCycle];
  size_t count = 0;
  for (size_t i = 0; i < entries_.size(); ++i) {
    TOWComponentBase* owner = entries_[i].sink->Owner();
    if (!owner || !owner->RunsInCycle()) {
      if (!owner || !owner->TryIdleInCycle(held)) deferred = true;
      continue;
    }
    if (count == kMaxInCycle || !held.TryGroup(*entries_[i].sink) || !owner->TryLockOutputs(held))
      return false;
    chosen[count++] = i;
  }
  if (depth_ > kOWMaxDispatchDepth) return false;
  ++depth_;
  struct DepthGuard {
    int32_t& depth;
    ~DepthGuard() { --depth; }
  } depth_guard{depth_};
  NotifySelf(op);
  for (size_t k = 0; k < count; ++k) {
    const TOWSinkEntry& entry = entries_[chosen[k]];
    if (entry.handler) entry.handler(op, k + 1 == count ? kOWLastSinkFlag : 0);
  }
  return true;
}

void TOWSourcePin::NotifyDeferred(const IOWNotifyOperationPtr& op) {
  TOWGlobalReadLockSection global;
  TGroupHold own(*this);
  std::vector<TOWSinkEntry> rest;
  for (const auto& entry : entries_) {
    TOWComponentBase* owner = entry.sink->Owner();
    if (!owner || !owner->RunsInCycle()) rest.push_back(entry);
  }
  for (size_t i = 0; i < rest.size(); ++i) {
    TGroupHold sink_lock(*rest[i].sink);
    if (rest[i].handler) rest[i].handler(op, i + 1 == rest.size() ? kOWLastSinkFlag : 0);
  }
}

bool TOWSourcePin::TryLockTree(TOWTryLockSet& held) {
  if (!held.TryGroup(*this)) return false;
  for (const auto& entry : entries_) {
    TOWComponentBase* owner = entry.sink->Owner();
    if (!owner || !held.TryGroup(*entry.sink) || !owner->TryLockOutputs(held)) return false;
  }
  return true;
}

bool TOWSourcePin::HandleUpstream(const IOWNotifyOperationPtr& op, uint32_t flags) {
  return upstream_ ? upstream_(op, flags) : false;
}

TOWSinkPin::~TOWSinkPin() {
  Disconnect();
}

void TOWSinkPin::Disconnect() {
  TOWGlobalWriteLockSection global;
  if (source_) source_->RemoveEntry(*this);
}

TOWSourcePin* TOWSinkPin::SourcePin() const {
  TOWGlobalReadLockSection global;
  return source_;
}

bool TOWSinkPin::Notify(const IOWNotifyOperationPtr& op) {
  // Only the global lock: the source's component may take its own locks (the capture lock)
  // in its handler, and must be free to do so in its own order.
  TOWGlobalReadLockSection global;
  return source_ ? source_->HandleUpstream(op, kOWLastSinkFlag) : false;
}

bool TSLOWSourcePin::SendData(const IALAudioBufferPtr& buffer) {
  return Notify(std::make_shared<TOWSuppliedBufferOperation>(buffer));
}

IOWNotifyOperationPtr TSLOWSourcePin::RememberedStart() const {
  TOWGlobalReadLockSection global;
  TGroupHold own(const_cast<TSLOWSourcePin&>(*this));
  return start_;
}

void TSLOWSourcePin::Record(const IOWNotifyOperationPtr& op) {
  if (op->Is<TOWStartOperation>()) {
    start_ = op;
  } else if (op->Is<TOWStopOperation>()) {
    start_.reset();
    resume_.reset();
  }
}

void TSLOWSourcePin::SinkJoined(const TOWSinkEntry& entry) {
  // Under the global write lock: no buffer can reach the new sink before its start.
  if (start_) DispatchToOne(entry, start_);
  if (start_ && resume_) DispatchToOne(entry, resume_);
}

void TSLOWSourcePin::SinkLeaving(const TOWSinkEntry& entry) {
  DispatchToOne(entry, std::make_shared<TOWStopOperation>());
}

IOWNotifyOperationPtr TALOWAudioSourcePin::RememberedResume() const {
  TOWGlobalReadLockSection global;
  TGroupHold own(const_cast<TALOWAudioSourcePin&>(*this));
  return resume_;
}

void TALOWAudioSourcePin::Record(const IOWNotifyOperationPtr& op) {
  if (op->Is<TOWSLResumeOperation>()) {
    resume_ = op;
    return;
  }
  TSLOWSourcePin::Record(op);
}

TOWBoolSinkPin::TOWBoolSinkPin(TOWComponentBase* owner, std::function<void(bool)> setter)
    : TOWSinkPin(owner, {kOWBoolStreamType},
                 [setter = std::move(setter)](const IOWNotifyOperationPtr& op, uint32_t) {
                   auto* state = op->As<TOWBoolStateOperation>();
                   if (!state || !setter) return false;
                   setter(state->Value());
                   return true;
                 }) {}
