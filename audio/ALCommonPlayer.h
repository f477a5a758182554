// Base of the file players: sends a file's audio through OutputPin in blocks of BufferSize frames,
// paced by its internal clock or by pump requests from a master sink (an audio output), playing
// a segment or the whole file, once or in a loop. Subclasses open, read and seek the file.
// Threads: properties and stop handling on the main thread; blocks are produced on the clock's
// thread or the thread delivering pump requests (the output's wave thread), under the
// component's lock, which is also held for every operation sent through OutputPin. Progress and
// end-of-playback reach the main thread only through IMainThreadDispatcher.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "ALAudioOutOperations.h"
#include "ALCommonPlayerClock.h"
#include "ALCommonPlayerPins.h"
#include "ALCommonPlayerSegment.h"
#include "OWMainThread.h"
#include "OWPins.h"
#include "platform/MainThreadDispatcher.h"

enum class TSLClockSource { csInternal, csExternal };
using enum TSLClockSource;

class TALCommonPlayer : public TOWComponentBase {
 public:
  using TProgressEvent =
      std::function<void(TALCommonPlayer& sender, int64_t start, int64_t stop, int64_t current)>;
  using TStopEvent = std::function<void(TALCommonPlayer& sender)>;

  explicit TALCommonPlayer(IMainThreadDispatcher& dispatcher);
  ~TALCommonPlayer() override;

  // Main thread. Assigning a new name while Enabled restarts on the new file.
  std::string FileName();
  void SetFileName(const std::string& name);
  bool RestartOnNewFile();
  void SetRestartOnNewFile(bool value);
  int32_t PumpPriority();
  void SetPumpPriority(int32_t value);
  bool Enabled();
  void SetEnabled(bool value);
  bool Paused();
  void SetPaused(bool value);
  bool Loop();
  void SetLoop(bool value);
  TSLClockSource ClockSource();
  void SetClockSource(TSLClockSource value);
  TALAudioPlayerSegment PlaySegment();
  void SetPlaySegment(const TALAudioPlayerSegment& segment);
  int32_t BufferSize();
  void SetBufferSize(int32_t frames);  // below 1 gives 1
  void SetOnProgress(TProgressEvent handler);
  void SetOnStop(TStopEvent handler);

  TALOWAudioSourcePin& OutputPin() { return output_pin_; }
  TOWStringSinkPin& FileNamePin() { return file_name_pin_; }
  TOWIntProgressSourcePin& ProgressPin() { return progress_pin_; }
  TOWBoolStatePin& EnablePin() { return enable_pin_; }
  TOWBoolStatePin& PausePin() { return pause_pin_; }
  TOWClockSinkPin& ClockPin() { return clock_pin_; }

  // Settings being applied: Enabled is stored, and EndLoad starts if it is true.
  void BeginLoad();
  void EndLoad();

  // One pump step, as the internal clock runs it (an external clock calls it through ClockPin).
  void Pump();

  // State, for tests and a progress display.
  int64_t Position();
  int64_t TotalFrames();
  int64_t SegmentStart();
  int64_t SegmentStop();
  uint32_t BlockInterval();
  bool FileOpen();
  bool SelfMaster();
  bool ClockRunning();
  TWaveFormatEx OutputFormat();

 protected:
  // What a subclass found when opening its file.
  struct TSourceInfo {
    TWaveFormatEx output;     // format of the frames ReadFrames returns
    bool converted = false;   // frames are decoded rather than passed as stored
    int64_t total_frames = 0; // in output frames
    int64_t stream_start = 0;
  };
  // Each runs under the component's lock.
  virtual bool OpenSource(const std::string& file_name, TSourceInfo& info) = 0;
  virtual void CloseFile() = 0;
  virtual int64_t ReadFrames(uint8_t* area, int64_t frames) = 0;
  // Moves the source to Position(); the base forgets frames read ahead.
  virtual void Seek();
  // Called first by the most derived destructor: stops, closes and disconnects.
  void Shutdown();

 private:
  struct TStopRequest {
    bool send_stop = false;
    bool stop_clock = false;
    bool end_of_stream = false;
  };

  void Start();
  void StartClock();
  void StopClock();
  void OpenFile(bool restart);
  void Negotiate(float rate);
  void StopPlayback(const TStopRequest& request);
  void PostStop(const TStopRequest& request);
  void OnStopNotice();      // main thread
  void OnProgressNotice();  // main thread
  void PumpStep(bool from_master);
  IALAudioBufferPtr ProduceBlock();
  IALAudioBufferPtr NewBlock(uint32_t frames);
  void CopyFrames(const IALAudioBufferPtr& from, int64_t from_frame, const IALAudioBufferPtr& to,
                  int64_t to_frame, int64_t frames);
  bool OnUpstream(const IOWNotifyOperationPtr& op, uint32_t flags);

  IMainThreadDispatcher& dispatcher_;
  // Guarded by the component's lock.
  std::string file_name_;
  bool restart_on_new_file_ = true;
  int32_t pump_priority_ = 0;
  std::atomic<bool> enabled_{true};
  std::atomic<bool> paused_{false};
  bool loop_ = false;
  TSLClockSource clock_source_ = csInternal;
  TALAudioPlayerSegment segment_;
  int32_t buffer_size_ = 1024;
  TProgressEvent on_progress_;
  TStopEvent on_stop_;
  bool loading_ = false;

  uint32_t block_interval_ = 0;
  TSourceInfo source_;
  IALAudioBufferPtr read_buffer_;
  int64_t read_offset_ = 0;
  int64_t read_count_ = 0;
  int64_t segment_start_ = 0;
  int64_t segment_stop_ = 0;
  int64_t position_ = 0;
  bool file_open_ = false;
  bool self_master_ = true;
  double clock_rate_ = 1.0;
  TOWComponentBase* master_ = nullptr;
  int32_t blocks_before_resume_ = 0;
  bool started_ = false;
  int32_t owed_pumps_ = 0;
  TStopRequest stop_request_;
  bool guard_lifted_ = true;  // the next pump request is served even if it repeats the last one
  std::weak_ptr<TOWNotifyOperation> last_pump_;

  TALOWAudioSourcePin output_pin_;
  TOWStringSinkPin file_name_pin_;
  TOWIntProgressSourcePin progress_pin_;
  TOWBoolStatePin enable_pin_;
  TOWBoolStatePin pause_pin_;
  TOWClockSinkPin clock_pin_;
  std::unique_ptr<TSLMainThreadNotify> progress_notify_;
  std::unique_ptr<TSLMainThreadNotify> stop_notify_;
  std::unique_ptr<TALPlayerClock> clock_;
};
