#include "VirtualWaveIn.h"

#include <algorithm>
#include <limits>

#include "platform/CaptureTap.h"

// One open device: a queue of blocks and a filler thread that reports each block it fills.
class TVirtualWaveIn::TDevice final : public IWaveInDevice {
 public:
  TDevice(TVirtualWaveIn& owner, const TWaveInFormat& format, TWaveInCallback callback,
          TSignal signal, bool free_run, ICaptureTap* tap)
      : owner_(owner),
        format_(format),
        callback_(std::move(callback)),
        signal_(std::move(signal)),
        tap_(tap),
        credits_(free_run ? std::numeric_limits<uint64_t>::max() : 0),
        thread_([this] { Run(); }) {}

  ~TDevice() override {
    Close();
    std::lock_guard lock(owner_.mutex_);
    if (owner_.current_ == this) owner_.current_ = nullptr;
  }

  void AddBuffer(TWaveInBlock* block) override {
    {
      std::lock_guard lock(mutex_);
      if (closed_) return;
      queue_.push_back(block);
    }
    cv_.notify_all();
  }

  void Start() override {
    {
      std::lock_guard lock(mutex_);
      started_ = true;
    }
    cv_.notify_all();
  }

  void Reset() override {
    std::deque<TWaveInBlock*> returned;
    {
      std::unique_lock lock(mutex_);
      started_ = false;
      cv_.wait(lock, [&] { return !filling_; });
      returned.swap(queue_);
    }
    for (TWaveInBlock* block : returned) callback_(this, kWimData, block);
  }

  void Close() override {
    {
      std::lock_guard lock(mutex_);
      if (closed_) return;
      closed_ = true;
      started_ = false;
    }
    cv_.notify_all();
    if (thread_.joinable()) thread_.join();
  }

  void Deliver(uint32_t blocks) {
    {
      std::lock_guard lock(mutex_);
      if (credits_ != std::numeric_limits<uint64_t>::max()) credits_ += blocks;
    }
    cv_.notify_all();
  }
  size_t Queued() {
    std::lock_guard lock(mutex_);
    return queue_.size();
  }
  uint64_t Frames() {
    std::lock_guard lock(mutex_);
    return frame_;
  }

 private:
  void Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
      cv_.wait(lock, [&] { return closed_ || (started_ && credits_ > 0 && !queue_.empty()); });
      if (closed_) return;
      TWaveInBlock* block = queue_.front();
      queue_.pop_front();
      if (credits_ != std::numeric_limits<uint64_t>::max()) --credits_;
      filling_ = true;
      Fill(*block);
      filling_ = false;
      cv_.notify_all();
      lock.unlock();
      callback_(this, kWimData, block);
      lock.lock();
    }
  }

  void Fill(TWaveInBlock& block) {
    const uint32_t align = format_.BlockAlign();
    const uint32_t frames = align ? block.bytes / align : 0;
    if (tap_) Tap(frames);
    uint8_t* p = block.data;
    for (uint32_t f = 0; f < frames; ++f, ++frame_) {
      for (uint32_t c = 0; c < format_.channels; ++c) {
        const int32_t v = signal_ ? signal_(frame_, c) : 0;
        if (format_.bits == 8) {
          *p++ = static_cast<uint8_t>(v);
        } else {
          *p++ = static_cast<uint8_t>(v & 0xFF);
          *p++ = static_cast<uint8_t>((v >> 8) & 0xFF);
        }
      }
    }
    block.recorded = frames * align;
  }

  // The block's samples as the server's floats would have been, before they are made a block.
  void Tap(uint32_t frames) {
    const uint32_t inputs = std::min<uint32_t>(format_.channels, 2);
    for (uint32_t c = 0; c < inputs; ++c) {
      tap_samples_[c].resize(frames);
      for (uint32_t f = 0; f < frames; ++f) {
        const int32_t v = signal_ ? signal_(frame_ + f, c) : (format_.bits == 8 ? 128 : 0);
        tap_samples_[c][f] = format_.bits == 8 ? static_cast<float>(v - 128) / 128.0f
                                               : static_cast<float>(v) / 32768.0f;
      }
    }
    const float* planes[2] = {tap_samples_[0].data(), tap_samples_[1].data()};
    tap_->Capture(planes, inputs, frames, frame_, format_.sample_rate);
  }

  TVirtualWaveIn& owner_;
  TWaveInFormat format_;
  TWaveInCallback callback_;
  TSignal signal_;
  ICaptureTap* tap_;
  std::vector<float> tap_samples_[2];
  std::mutex mutex_;
  std::condition_variable cv_;
  std::deque<TWaveInBlock*> queue_;
  uint64_t credits_;
  uint64_t frame_ = 0;
  bool started_ = false;
  bool closed_ = false;
  bool filling_ = false;
  std::thread thread_;
};

TVirtualWaveIn::TVirtualWaveIn(std::vector<std::string> names, TPacing pacing)
    : names_(std::move(names)), pacing_(pacing) {}

TVirtualWaveIn::~TVirtualWaveIn() = default;

std::vector<std::string> TVirtualWaveIn::DeviceNames() {
  std::lock_guard lock(mutex_);
  return names_;
}

std::unique_ptr<IWaveInDevice> TVirtualWaveIn::Open(int device, const TWaveInFormat& format,
                                                    TWaveInCallback callback) {
  std::lock_guard lock(mutex_);
  ++open_count_;
  last_device_ = device;
  last_format_ = format;
  if (open_fails_ || device < kWaveInDefault || device >= static_cast<int>(names_.size()))
    return nullptr;
  auto opened = std::make_unique<TDevice>(*this, format, std::move(callback), signal_,
                                          pacing_ == TPacing::kFreeRun, tap_);
  current_ = opened.get();
  return opened;
}

void TVirtualWaveIn::SetCaptureTap(ICaptureTap* tap) {
  std::lock_guard lock(mutex_);
  tap_ = tap;
}

void TVirtualWaveIn::SetSignal(TSignal signal) {
  std::lock_guard lock(mutex_);
  signal_ = std::move(signal);
}

void TVirtualWaveIn::SetNames(std::vector<std::string> names) {
  std::lock_guard lock(mutex_);
  names_ = std::move(names);
}

void TVirtualWaveIn::SetOpenFails(bool fails) {
  std::lock_guard lock(mutex_);
  open_fails_ = fails;
}

void TVirtualWaveIn::Deliver(uint32_t blocks) {
  std::lock_guard lock(mutex_);
  if (current_) current_->Deliver(blocks);
}

int TVirtualWaveIn::OpenCount() const {
  std::lock_guard lock(mutex_);
  return open_count_;
}

int TVirtualWaveIn::LastDevice() const {
  std::lock_guard lock(mutex_);
  return last_device_;
}

TWaveInFormat TVirtualWaveIn::LastFormat() const {
  std::lock_guard lock(mutex_);
  return last_format_;
}

size_t TVirtualWaveIn::QueuedBlocks() const {
  std::lock_guard lock(mutex_);
  return current_ ? current_->Queued() : 0;
}

uint64_t TVirtualWaveIn::FramesDelivered() const {
  std::lock_guard lock(mutex_);
  return current_ ? current_->Frames() : 0;
}

bool TVirtualWaveIn::DeviceOpen() const {
  std::lock_guard lock(mutex_);
  return current_ != nullptr;
}
