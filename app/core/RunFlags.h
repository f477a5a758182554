// The run-state flags shared by the UI thread and the capture thread: one byte each, written by
// one side and read by the other without locks.
#pragma once

#include <atomic>

struct TRunFlags {
  std::atomic<bool> StopRequest{false};  // set by Stop: the block handler must fire nothing
  std::atomic<bool> StopAck{false};      // set by the capture side when it sees StopRequest
  std::atomic<bool> Running{false};      // triggering is on
  std::atomic<bool> Closing{false};      // the window is closing
  std::atomic<bool> Finalizing{false};   // the program is ending

  // The gate: true when the caller must return at once. A seen StopRequest is acknowledged.
  bool GateClosed() {
    if (StopRequest.load(std::memory_order_acquire)) {
      StopAck.store(true, std::memory_order_release);
      return true;
    }
    return Closing.load(std::memory_order_acquire) || Finalizing.load(std::memory_order_acquire);
  }

  void Reset() {
    StopRequest = false;
    StopAck = false;
    Running = false;
    Closing = false;
    Finalizing = false;
  }
};
