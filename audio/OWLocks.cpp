#include "OWLocks.h"

#include <algorithm>
#include <functional>

TOWThreadLocalCounter::TOWThreadLocalCounter() {
  for (Record*& head : buckets_) head = new Record{};
}

TOWThreadLocalCounter::~TOWThreadLocalCounter() {
  for (Record*& head : buckets_) {
    while (head) {
      Record* next = head->next;
      delete head;
      head = next;
    }
  }
}

unsigned TOWThreadLocalCounter::Bucket(std::thread::id id) {
  const size_t v = std::hash<std::thread::id>{}(id);
  return static_cast<unsigned>((v & 0xF) ^ ((v >> 8) & 0xF));
}

TOWThreadLocalCounter::Record* TOWThreadLocalCounter::Find() {
  const auto self = std::this_thread::get_id();
  for (Record* r = buckets_[Bucket(self)]; r; r = r->next)
    if (r->thread == self && r->reads > 0) return r;
  return nullptr;
}

TOWThreadLocalCounter::Record* TOWThreadLocalCounter::TryCurrent() {
  const auto self = std::this_thread::get_id();
  Record* free_record = nullptr;
  for (Record* r = buckets_[Bucket(self)]; r; r = r->next) {
    if (r->thread == self) return r;
    if (r->reads == 0 && !free_record) free_record = r;
  }
  if (free_record) free_record->thread = self;
  return free_record;
}

TOWThreadLocalCounter::Record& TOWThreadLocalCounter::Current() {
  if (Record* r = TryCurrent()) return *r;
  Record*& head = buckets_[Bucket(std::this_thread::get_id())];
  head = new Record{std::this_thread::get_id(), 0, head};
  return *head;
}

void TOWMultiReadExclusiveWriteSynchronizer::BeginRead() {
  std::unique_lock lock(mutex_);
  const auto self = std::this_thread::get_id();
  // A thread that already holds the lock in any way goes straight in: waiting here could never end.
  // Others wait only while a writer holds it, not for writers still waiting: a reader waiting for
  // the capture lock must not leave the capture thread stuck behind a writer waiting for it.
  if (!counts_.Find() && writer_ != self) cv_.wait(lock, [&] { return write_depth_ == 0; });
  ++counts_.Current().reads;
  ++readers_;
}

bool TOWMultiReadExclusiveWriteSynchronizer::TryBeginRead() {
  std::unique_lock lock(mutex_, std::try_to_lock);
  if (!lock.owns_lock()) return false;
  if (!counts_.Find() && writer_ != std::this_thread::get_id() && write_depth_ != 0) return false;
  TOWThreadLocalCounter::Record* record = counts_.TryCurrent();
  if (!record) return false;  // making one would allocate
  ++record->reads;
  ++readers_;
  return true;
}

void TOWMultiReadExclusiveWriteSynchronizer::EndRead() {
  std::lock_guard lock(mutex_);
  auto* mine = counts_.Find();
  if (!mine) return;
  --mine->reads;
  --readers_;
  if (waiting_writers_ > 0) cv_.notify_all();
}

void TOWMultiReadExclusiveWriteSynchronizer::BeginWrite() {
  std::unique_lock lock(mutex_);
  const auto self = std::this_thread::get_id();
  if (writer_ == self) {
    ++write_depth_;
    return;
  }
  auto* mine = counts_.Find();
  ++waiting_writers_;
  cv_.wait(lock, [&] {
    const int own = mine ? mine->reads : 0;
    return write_depth_ == 0 && readers_ == own;
  });
  --waiting_writers_;
  writer_ = self;
  write_depth_ = 1;
}

void TOWMultiReadExclusiveWriteSynchronizer::EndWrite() {
  std::lock_guard lock(mutex_);
  if (writer_ != std::this_thread::get_id() || write_depth_ == 0) return;
  if (--write_depth_ == 0) {
    writer_ = {};
    cv_.notify_all();
  }
}

TOWMultiReadExclusiveWriteSynchronizer& TOWGlobalLockObject() {
  static TOWMultiReadExclusiveWriteSynchronizer global;
  return global;
}

TOWObject::TOWObject() {
  auto lock = std::make_shared<TOWLockObject>();
  TOWGlobalWriteLockSection global;
  MoveTo(lock);
}

TOWObject::~TOWObject() {
  TOWGlobalWriteLockSection global;
  auto& members = lock_->members_;
  members.erase(std::remove(members.begin(), members.end(), this), members.end());
}

void TOWObject::MoveTo(const std::shared_ptr<TOWLockObject>& lock) {
  if (lock_) {
    auto& members = lock_->members_;
    members.erase(std::remove(members.begin(), members.end(), this), members.end());
  }
  lock_ = lock;
  lock_raw_ = lock.get();
  lock_->members_.push_back(this);
}

void TOWObject::JoinLock(TOWObject& other) {
  TOWGlobalWriteLockSection global;
  if (other.lock_ == lock_) return;
  // The other group's lock object stays alive through our copy while its members move over.
  auto old = other.lock_;
  const std::vector<TOWObject*> moving = old->members_;
  for (TOWObject* member : moving) member->MoveTo(lock_);
}

void TOWObject::LeaveLock() {
  auto lock = std::make_shared<TOWLockObject>();
  TOWGlobalWriteLockSection global;
  if (lock_->members_.size() <= 1) return;
  MoveTo(lock);
}

bool TOWObject::SharesLockWith(const TOWObject& other) const {
  TOWGlobalReadLockSection global;
  return lock_raw_ == other.lock_raw_;
}

TOWLockObject* TOWObject::LockGroup() {
  for (;;) {
    TOWLockObject* current = lock_raw_;
    current->Lock();
    if (current == lock_raw_) return current;
    current->Unlock();
  }
}

TOWLockObject* TOWObject::TryLockGroup() {
  TOWLockObject* current = lock_raw_;
  if (!current->TryLock()) return nullptr;
  if (current == lock_raw_) return current;
  current->Unlock();
  return nullptr;
}

bool TOWTryLockSet::TryGlobal() {
  if (!global_) global_ = TOWGlobalLockObject().TryBeginRead();
  if (!global_ && failure_ == TOWTryFailure::kNone) failure_ = TOWTryFailure::kGlobal;
  return global_;
}

bool TOWTryLockSet::TryGroup(TOWObject& object) {
  if (!global_ || count_ == kMaxGroups) return false;
  TOWLockObject* held = object.TryLockGroup();
  if (!held) {
    if (failure_ == TOWTryFailure::kNone) failure_ = TOWTryFailure::kGroup;
    return false;
  }
  groups_[count_++] = held;
  return true;
}

void TOWTryLockSet::Release() {
  while (count_ > 0) groups_[--count_]->Unlock();
  if (global_) TOWGlobalLockObject().EndRead();
  global_ = false;
}
