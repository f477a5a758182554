#include "ALCommonPlayer.h"

#include <algorithm>
#include <cstring>

TALCommonPlayer::TALCommonPlayer(IMainThreadDispatcher& dispatcher)
    : dispatcher_(dispatcher),
      output_pin_(this, [this](const IOWNotifyOperationPtr& op,
                               uint32_t flags) { return OnUpstream(op, flags); }),
      file_name_pin_(this, [this](const std::string& name) { SetFileName(name); }),
      progress_pin_(this),
      enable_pin_(this, [this](bool value) { SetEnabled(value); }),
      pause_pin_(this, [this](bool value) { SetPaused(value); }),
      clock_pin_(this, [this] { Pump(); }) {
  JoinLock(output_pin_);
  enable_pin_.Mirror(true);
  progress_notify_ = std::make_unique<TSLMainThreadNotify>(dispatcher_, [this] { OnProgressNotice(); });
  stop_notify_ = std::make_unique<TSLMainThreadNotify>(dispatcher_, [this] { OnStopNotice(); });
  clock_ = std::make_unique<TALPlayerClock>([this] { PumpStep(false); });
}

TALCommonPlayer::~TALCommonPlayer() { Shutdown(); }

void TALCommonPlayer::Shutdown() {
  {
    TOWWriteLockSection lock(*this);
    StopClock();
    if (file_open_) {
      CloseFile();
      file_open_ = false;
    }
  }
  // No lock held: the clock's worker may be waiting for it to run a last tick.
  clock_.reset();
  output_pin_.DisconnectAll();
  file_name_pin_.Disconnect();
  progress_pin_.DisconnectAll();
  clock_pin_.Disconnect();
}

std::string TALCommonPlayer::FileName() {
  TOWReadLockSection lock(*this);
  return file_name_;
}

void TALCommonPlayer::SetFileName(const std::string& name) {
  bool restart = false;
  {
    TOWWriteLockSection lock(*this);
    if (name == file_name_) return;
    file_name_ = name;
    if (!enabled_.load(std::memory_order_acquire)) return;
    restart = restart_on_new_file_;
    if (!restart) {
      if (loading_) return;
      // The old file is closed here, not through a posted request, which would arrive after the
      // new file had been opened and close that one instead.
      StopPlayback({});
      Start();
      return;
    }
  }
  SetEnabled(false);
  SetEnabled(true);
}

bool TALCommonPlayer::RestartOnNewFile() {
  TOWReadLockSection lock(*this);
  return restart_on_new_file_;
}

void TALCommonPlayer::SetRestartOnNewFile(bool value) {
  TOWWriteLockSection lock(*this);
  restart_on_new_file_ = value;
}

int32_t TALCommonPlayer::PumpPriority() {
  TOWReadLockSection lock(*this);
  return pump_priority_;
}

void TALCommonPlayer::SetPumpPriority(int32_t value) {
  TOWWriteLockSection lock(*this);
  pump_priority_ = value;
}

bool TALCommonPlayer::Enabled() { return enabled_.load(std::memory_order_acquire); }

void TALCommonPlayer::SetEnabled(bool value) {
  {
    TOWWriteLockSection lock(*this);
    if (value == enabled_.load(std::memory_order_acquire)) return;
    enabled_.store(value, std::memory_order_release);
    if (value) {
      if (!loading_) Start();
    } else {
      StopPlayback({true, true, restart_on_new_file_});
    }
  }
  enable_pin_.Mirror(value);
}

bool TALCommonPlayer::Paused() { return paused_.load(std::memory_order_acquire); }

void TALCommonPlayer::SetPaused(bool value) {
  if (value == paused_.load(std::memory_order_acquire)) return;
  if (value) {
    TOWWriteLockSection lock(*this);
    paused_.store(true, std::memory_order_release);
    output_pin_.Notify(std::make_shared<TOWSLPauseOperation>());
    StopClock();
  } else {
    int32_t owed = 0;
    {
      TOWWriteLockSection lock(*this);
      paused_.store(false, std::memory_order_release);
      output_pin_.Notify(std::make_shared<TOWSLResumeOperation>());
      PumpStep(false);
      if (file_open_ && self_master_ && clock_source_ == csInternal && !ClockRunning())
        StartClock();
      owed = owed_pumps_;
      owed_pumps_ = 0;
    }
    for (int32_t i = 0; i < owed; ++i) PumpStep(true);
  }
  pause_pin_.Mirror(value);
}

bool TALCommonPlayer::Loop() {
  TOWReadLockSection lock(*this);
  return loop_;
}

void TALCommonPlayer::SetLoop(bool value) {
  TOWWriteLockSection lock(*this);
  loop_ = value;
}

TSLClockSource TALCommonPlayer::ClockSource() {
  TOWReadLockSection lock(*this);
  return clock_source_;
}

void TALCommonPlayer::SetClockSource(TSLClockSource value) {
  TOWWriteLockSection lock(*this);
  clock_source_ = value;
}

TALAudioPlayerSegment TALCommonPlayer::PlaySegment() {
  TOWReadLockSection lock(*this);
  return segment_;
}

void TALCommonPlayer::SetPlaySegment(const TALAudioPlayerSegment& segment) {
  TOWWriteLockSection lock(*this);
  segment_ = segment;
}

int32_t TALCommonPlayer::BufferSize() {
  TOWReadLockSection lock(*this);
  return buffer_size_;
}

void TALCommonPlayer::SetBufferSize(int32_t frames) {
  TOWWriteLockSection lock(*this);
  buffer_size_ = std::max(frames, 1);
}

void TALCommonPlayer::SetOnProgress(TProgressEvent handler) {
  TOWWriteLockSection lock(*this);
  on_progress_ = std::move(handler);
}

void TALCommonPlayer::SetOnStop(TStopEvent handler) {
  TOWWriteLockSection lock(*this);
  on_stop_ = std::move(handler);
}

void TALCommonPlayer::BeginLoad() {
  TOWWriteLockSection lock(*this);
  loading_ = true;
}

void TALCommonPlayer::EndLoad() {
  TOWWriteLockSection lock(*this);
  loading_ = false;
  if (enabled_.load(std::memory_order_acquire)) Start();
}

void TALCommonPlayer::Pump() { PumpStep(false); }

int64_t TALCommonPlayer::Position() {
  TOWReadLockSection lock(*this);
  return position_;
}

int64_t TALCommonPlayer::TotalFrames() {
  TOWReadLockSection lock(*this);
  return source_.total_frames;
}

int64_t TALCommonPlayer::SegmentStart() {
  TOWReadLockSection lock(*this);
  return segment_start_;
}

int64_t TALCommonPlayer::SegmentStop() {
  TOWReadLockSection lock(*this);
  return segment_stop_;
}

uint32_t TALCommonPlayer::BlockInterval() {
  TOWReadLockSection lock(*this);
  return block_interval_;
}

bool TALCommonPlayer::FileOpen() {
  TOWReadLockSection lock(*this);
  return file_open_;
}

bool TALCommonPlayer::SelfMaster() {
  TOWReadLockSection lock(*this);
  return self_master_;
}

TWaveFormatEx TALCommonPlayer::OutputFormat() {
  TOWReadLockSection lock(*this);
  return source_.output;
}

bool TALCommonPlayer::ClockRunning() { return clock_ && clock_->Running(); }

void TALCommonPlayer::StopClock() {
  if (clock_) clock_->Stop();
}

void TALCommonPlayer::StartClock() {
  if (clock_) clock_->Start(block_interval_);
}

void TALCommonPlayer::Seek() {
  read_offset_ = 0;
  read_count_ = 0;
}

// Under the lock.
void TALCommonPlayer::Negotiate(float rate) {
  auto request = std::make_shared<TOWPumpRequestOperation>(this, rate, pump_priority_, 2);
  output_pin_.Notify(request);
  if (request->Winner() == this) {
    clock_rate_ = request->Rate();
    self_master_ = true;
    master_ = nullptr;
  } else {
    self_master_ = false;
    master_ = request->Winner();
  }
}

// Under the lock.
void TALCommonPlayer::Start() {
  if (clock_source_ == csExternal) {
    self_master_ = true;
  } else {
    Negotiate(1.0f);
  }
  OpenFile(false);
}

// Under the lock.
void TALCommonPlayer::OpenFile(bool restart) {
  blocks_before_resume_ = 2;
  guard_lifted_ = true;
  if (file_open_) {
    CloseFile();
    file_open_ = false;
  }
  TSourceInfo info;
  if (file_name_.empty() || !OpenSource(file_name_, info)) return;
  source_ = info;

  if (segment_.Enabled()) {
    segment_start_ = std::min(segment_.StartSample(), source_.total_frames - 1);
    segment_stop_ = std::min(segment_.StopSample(), source_.total_frames - 1);
  } else {
    segment_start_ = source_.stream_start;
    segment_stop_ = source_.total_frames - 1;
  }
  const uint32_t rate = std::max<uint32_t>(source_.output.nSamplesPerSec, 1);
  if (source_.converted)
    block_interval_ = static_cast<uint32_t>((999.0 * buffer_size_) / rate + 0.5);
  else
    block_interval_ = static_cast<uint32_t>(static_cast<int64_t>(buffer_size_) * 1000 / rate);

  position_ = segment_start_;
  file_open_ = true;
  Seek();
  // Made before the stream starts: a sink that pumps at once may ask for the first blocks
  // during the start-pumping below.
  read_buffer_ = NewBlock(static_cast<uint32_t>(buffer_size_));

  if (restart || !started_) {
    // The stream's real sample rate goes in the start, where a sink may look for it.
    output_pin_.Notify(std::make_shared<TOWStartWaveOperation>(
        static_cast<int32_t>(source_.output.nSamplesPerSec), source_.output, clock_rate_));
    if (clock_source_ == csInternal && !self_master_)
      output_pin_.Notify(std::make_shared<TOWStartPumpOperation>());
  }
  Negotiate(static_cast<float>(block_interval_));
  if (block_interval_ == 0) block_interval_ = 10;
  if (!paused_.load(std::memory_order_acquire) && self_master_ && clock_source_ == csInternal &&
      !ClockRunning())
    StartClock();
  started_ = true;
}

// Under the lock (main thread).
void TALCommonPlayer::StopPlayback(const TStopRequest& request) {
  if (!file_open_) return;
  guard_lifted_ = true;
  if (on_stop_) on_stop_(*this);
  if (request.stop_clock) StopClock();
  if (request.send_stop) {
    if (request.end_of_stream)
      output_pin_.Notify(std::make_shared<TOWEndStopOperation>());
    else
      output_pin_.Notify(std::make_shared<TOWStopOperation>());
    started_ = false;
  }
  CloseFile();
  file_open_ = false;
}

// Under the lock.
void TALCommonPlayer::PostStop(const TStopRequest& request) {
  stop_request_ = request;
  stop_notify_->Post();
}

void TALCommonPlayer::OnStopNotice() {
  TOWWriteLockSection lock(*this);
  const TStopRequest request = stop_request_;
  if (!file_open_) return;
  StopPlayback(request);
  // The end of the stream switches the player off without running its setter again.
  if (request.end_of_stream) {
    enabled_.store(false, std::memory_order_release);
    enable_pin_.Mirror(false);
  }
}

void TALCommonPlayer::OnProgressNotice() {
  TProgressEvent handler;
  int64_t start, stop, position;
  {
    TOWReadLockSection lock(*this);
    handler = on_progress_;
    start = segment_start_;
    stop = segment_stop_;
    position = position_;
  }
  if (handler) handler(*this, start, stop, position);
  if (progress_pin_.SinkCount() > 0) progress_pin_.SetProgress(start, position, stop);
}

void TALCommonPlayer::PumpStep(bool from_master) {
  if (!enabled_.load(std::memory_order_acquire)) return;
  TOWWriteLockSection lock(*this);
  if (paused_.load(std::memory_order_acquire)) {
    if (from_master) owed_pumps_ = 2;
    return;
  }
  if (!file_open_) return;
  IALAudioBufferPtr block = ProduceBlock();
  if (block && output_pin_.SinkCount() > 0) output_pin_.SendData(block);
  if (blocks_before_resume_ > 0 && --blocks_before_resume_ == 0)
    output_pin_.Notify(std::make_shared<TOWSLResumeOperation>());
  if (file_open_ && position_ > segment_stop_) {
    if (loop_) {
      position_ = segment_start_;
      Seek();
    } else {
      position_ = segment_stop_;
      PostStop({restart_on_new_file_, true, true});
    }
  }
}

IALAudioBufferPtr TALCommonPlayer::NewBlock(uint32_t frames) {
  const TWaveFormatEx& f = source_.output;
  auto block = TALAudioBuffer::Create(f.wBitsPerSample, frames, f.nChannels);
  f.WriteTo(block->Block()->Begin());  // the block tells its real rate
  return block;
}

void TALCommonPlayer::CopyFrames(const IALAudioBufferPtr& from, int64_t from_frame,
                                 const IALAudioBufferPtr& to, int64_t to_frame, int64_t frames) {
  if (frames <= 0) return;
  const size_t align = source_.output.nBlockAlign;
  auto src = from->GetAccess();
  auto dst = to->GetAccess();
  std::memcpy(dst->Data() + to_frame * align, src->Data() + from_frame * align, frames * align);
}

// Under the lock. Reads straight into the block; frames a short read leaves over wait in the read
// buffer for the next block.
IALAudioBufferPtr TALCommonPlayer::ProduceBlock() {
  if (output_pin_.SinkCount() == 0) return nullptr;
  if (!enabled_.load(std::memory_order_acquire)) return NewBlock(0);
  const int64_t size = buffer_size_;
  const int64_t end = std::min(position_ + size, source_.total_frames);
  if (end <= position_) return nullptr;
  IALAudioBufferPtr block = NewBlock(static_cast<uint32_t>(size));
  const int64_t want = end - position_;
  int64_t filled = 0;
  uint8_t* read_area = read_buffer_->GetAccess()->Data();

  // Reads into the read buffer and copies what fits; false when the source gave nothing.
  auto top_up = [&](int64_t ask, int64_t limit) {
    const int64_t got = ReadFrames(read_area, ask);
    read_count_ = std::max<int64_t>(got, 0);
    if (got <= 0) return false;
    const int64_t take = std::min(read_count_, limit - filled);
    CopyFrames(read_buffer_, 0, block, filled, take);
    filled += take;
    read_offset_ = take >= read_count_ ? 0 : take;
    return true;
  };

  if (read_offset_ == 0) {
    const int64_t got = ReadFrames(block->GetAccess()->Data(), size);
    if (got > 0) {
      filled = got;
      while (filled < size) {
        if (!top_up(size, size)) {
          read_offset_ = 0;
          break;
        }
      }
    }
  } else if (read_count_ > 0) {
    const int64_t take = std::min(read_count_ - read_offset_, want);
    CopyFrames(read_buffer_, read_offset_, block, 0, take);
    filled = take;
    read_offset_ += take;
    if (read_offset_ >= read_count_) read_offset_ = 0;
    while (filled < want)
      if (!top_up(want, want)) break;
  }

  if (filled < size) {
    IALAudioBufferPtr shorter = NewBlock(static_cast<uint32_t>(filled));
    CopyFrames(block, 0, shorter, 0, filled);
    block = shorter;
  }
  position_ += filled;
  if (on_progress_ || progress_pin_.SinkCount() > 0) progress_notify_->Post();
  return block;
}

bool TALCommonPlayer::OnUpstream(const IOWNotifyOperationPtr& op, uint32_t) {
  if (auto* pump = op->As<TOWMasterPumpOperation>()) {
    bool serve = false;
    {
      TOWWriteLockSection lock(*this);
      const bool repeat = !guard_lifted_ && last_pump_.lock() == op;
      if (!self_master_ && pump->Master() == master_ && !repeat) {
        guard_lifted_ = false;
        last_pump_ = op;
        serve = true;
      }
    }
    if (serve) PumpStep(true);
    return serve;
  }
  TOWWriteLockSection lock(*this);
  if (op->Is<TOWStartSampleRateOperation>()) {
    OpenFile(true);
  } else if (op->Is<TOWStopOperation>()) {
    PostStop({true, true, false});
  } else if (op->Is<TOWQueryStreamOperation>()) {
    if (!enabled_.load(std::memory_order_acquire) || file_name_.empty())
      output_pin_.Notify(std::make_shared<TOWIgnoreStreamOperation>());
  }
  return output_pin_.Notify(op);
}
