// The write side of a component's lock, as seen by the objects it owns (its audio format):
// every property change of an owned object is made while holding it.
#pragma once

class IOWOwnerLock {
 public:
  virtual ~IOWOwnerLock() = default;
  virtual void BeginWrite() = 0;
  virtual void EndWrite() = 0;
};

// Holds an owner lock for writing for the lifetime of the guard; a null lock is no lock.
class TOWOwnerWriteGuard {
 public:
  explicit TOWOwnerWriteGuard(IOWOwnerLock* lock) : lock_(lock) {
    if (lock_) lock_->BeginWrite();
  }
  ~TOWOwnerWriteGuard() {
    if (lock_) lock_->EndWrite();
  }
  TOWOwnerWriteGuard(const TOWOwnerWriteGuard&) = delete;
  TOWOwnerWriteGuard& operator=(const TOWOwnerWriteGuard&) = delete;

 private:
  IOWOwnerLock* lock_;
};
