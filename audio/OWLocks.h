// The engine's locks: the process-wide re-entrant multi-reader lock that every dispatch reads and
// every connection change writes, and the object lock groups that serialise a component with its
// pins. Lock order: global (read) before any group; a source pin's group before its sinks'.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// Per-thread nesting counts of one synchronizer, in 16 buckets chosen from the thread identifier.
// Records are recycled, never freed before the table, so re-entry on the capture thread does not
// allocate after its first use. Guarded by the owning synchronizer's mutex.
class TOWThreadLocalCounter {
 public:
  struct Record {
    std::thread::id thread;
    int reads = 0;
    Record* next = nullptr;
  };
  // One free record per bucket from the start: a thread's first read, on an audio server's
  // real-time thread too, usually finds one.
  TOWThreadLocalCounter();
  ~TOWThreadLocalCounter();
  TOWThreadLocalCounter(const TOWThreadLocalCounter&) = delete;
  TOWThreadLocalCounter& operator=(const TOWThreadLocalCounter&) = delete;

  // The calling thread's record; a free one is reused, or one is created.
  Record& Current();
  // The same without creating one: null when none is free (the real-time thread's way).
  Record* TryCurrent();
  // The calling thread's record if it has one with a non-zero count.
  Record* Find();

 private:
  static unsigned Bucket(std::thread::id id);
  Record* buckets_[16] = {};
};

// Re-entrant multi-reader, single-writer lock. A thread holding it (read or write) may take it
// again for reading; a thread holding it for writing may take it again for writing; a thread
// that holds only reads may take it for writing once no other thread reads. Readers wait only
// while a writer holds the lock; connection changes are rare and dispatches short, so a writer
// finds a gap.
class TOWMultiReadExclusiveWriteSynchronizer {
 public:
  void BeginRead();
  // BeginRead for a thread that must not wait (the audio server's real-time thread): false when
  // a writer holds the lock or the lock's own bookkeeping is busy.
  bool TryBeginRead();
  void EndRead();
  void BeginWrite();
  void EndWrite();

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  TOWThreadLocalCounter counts_;
  int readers_ = 0;  // total read nesting of all threads
  std::thread::id writer_{};
  int write_depth_ = 0;
  int waiting_writers_ = 0;
};

// The one global lock of the process.
TOWMultiReadExclusiveWriteSynchronizer& TOWGlobalLockObject();

class TOWGlobalReadLockSection {
 public:
  TOWGlobalReadLockSection() { TOWGlobalLockObject().BeginRead(); }
  ~TOWGlobalReadLockSection() { TOWGlobalLockObject().EndRead(); }
  TOWGlobalReadLockSection(const TOWGlobalReadLockSection&) = delete;
  TOWGlobalReadLockSection& operator=(const TOWGlobalReadLockSection&) = delete;
};

class TOWGlobalWriteLockSection {
 public:
  TOWGlobalWriteLockSection() { TOWGlobalLockObject().BeginWrite(); }
  ~TOWGlobalWriteLockSection() { TOWGlobalLockObject().EndWrite(); }
  TOWGlobalWriteLockSection(const TOWGlobalWriteLockSection&) = delete;
  TOWGlobalWriteLockSection& operator=(const TOWGlobalWriteLockSection&) = delete;
};

class TOWObject;

// The lock of one group: a re-entrant critical section; read and write take the same section.
class TOWLockObject {
 public:
  void Lock() { mutex_.lock(); }
  bool TryLock() { return mutex_.try_lock(); }
  void Unlock() { mutex_.unlock(); }

 private:
  friend class TOWObject;
  std::recursive_mutex mutex_;
  std::vector<TOWObject*> members_;  // changed only under the global write lock
};

// Anything that belongs to a lock group: components and pins. A new object is a group of its own.
class TOWObject {
 public:
  TOWObject();
  virtual ~TOWObject();
  TOWObject(const TOWObject&) = delete;
  TOWObject& operator=(const TOWObject&) = delete;

  // Moves other's whole group into this object's group: locking any member then locks them all.
  void JoinLock(TOWObject& other);
  // Leaves the group for a group of its own.
  void LeaveLock();
  bool SharesLockWith(const TOWObject& other) const;

  // Takes the group lock. Joining may swap the group's lock object while a thread waits for it,
  // so the loop re-checks after locking. The caller holds the global lock for reading.
  TOWLockObject* LockGroup();
  // LockGroup without waiting: null when another thread holds the group.
  TOWLockObject* TryLockGroup();
  // Releases the group lock taken by LockGroup, under the same global read lock.
  void UnlockGroup() { lock_raw_->Unlock(); }

 private:
  void MoveTo(const std::shared_ptr<TOWLockObject>& lock);
  std::shared_ptr<TOWLockObject> lock_;
  // Set with lock_ under the global write lock; read by LockGroup under the global read lock.
  TOWLockObject* lock_raw_ = nullptr;
};

// Scoped object lock, also holding the global lock for reading.
class TOWWriteLockSection {
 public:
  explicit TOWWriteLockSection(TOWObject& object) : held_(object.LockGroup()) {}
  ~TOWWriteLockSection() { held_->Unlock(); }
  TOWWriteLockSection(const TOWWriteLockSection&) = delete;
  TOWWriteLockSection& operator=(const TOWWriteLockSection&) = delete;

 private:
  TOWGlobalReadLockSection global_;
  TOWLockObject* held_;
};

using TOWReadLockSection = TOWWriteLockSection;

// The locks a dispatch on a thread that must not wait takes ahead, each by a try: the global
// lock for reading, then every group the dispatch will enter. Once all are held, the dispatch's
// own lock calls re-enter them at once. Released in reverse order; holds no memory of its own.
// Which try failed first, for the counts of blocks a cycle could not dispatch.
enum class TOWTryFailure { kNone, kGlobal, kGroup };

class TOWTryLockSet {
 public:
  static constexpr size_t kMaxGroups = 32;
  TOWTryLockSet() = default;
  ~TOWTryLockSet() { Release(); }
  TOWTryLockSet(const TOWTryLockSet&) = delete;
  TOWTryLockSet& operator=(const TOWTryLockSet&) = delete;

  bool TryGlobal();
  // Call with the global lock held (TryGlobal).
  bool TryGroup(TOWObject& object);
  void Release();
  TOWTryFailure Failure() const { return failure_; }

 private:
  TOWTryFailure failure_ = TOWTryFailure::kNone;
  bool global_ = false;
  TOWLockObject* groups_[kMaxGroups] = {};
  size_t count_ = 0;
};
