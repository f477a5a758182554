// Whether the calling thread is inside an audio server's real-time callback, where nothing may
// allocate, wait or call the window toolkit: code reached from both that callback and ordinary
// threads (the block handler's actions) picks its road by it. Set by the back-end's callback.
#pragma once

bool InRealtimeThread();

class TRealtimeThreadMark {
 public:
  TRealtimeThreadMark();
  ~TRealtimeThreadMark();
  TRealtimeThreadMark(const TRealtimeThreadMark&) = delete;
  TRealtimeThreadMark& operator=(const TRealtimeThreadMark&) = delete;
};
