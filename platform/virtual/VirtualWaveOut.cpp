#include "VirtualWaveOut.h"

namespace {
class TVirtualWaveOutDevice final : public IWaveOutDevice {
 public:
  explicit TVirtualWaveOutDevice(TVirtualWaveOutStreamPtr stream) : stream_(std::move(stream)) {}
  ~TVirtualWaveOutDevice() override { stream_->Close(); }
  void Write(TWaveOutBlock* block) override { stream_->Write(this, block); }
  void Pause() override { stream_->Pause(); }
  void Restart() override { stream_->Restart(); }
  void Reset() override { stream_->Reset(this); }
  void Close() override { stream_->Close(); }

 private:
  TVirtualWaveOutStreamPtr stream_;
};
}  // namespace

size_t TVirtualWaveOutStream::PlayBlocks(size_t max_blocks, bool even_paused) {
  // The callback runs under the mutex so that Close, once returned, guarantees no more reports.
  std::lock_guard lock(mutex_);
  size_t played = 0;
  while (played < max_blocks && (even_paused || !paused_) && !closed_ && !queue_.empty()) {
    TWaveOutBlock* block = queue_.front();
    queue_.erase(queue_.begin());
    played_.insert(played_.end(), block->data, block->data + block->bytes);
    ++played_blocks_;
    ++played;
    if (callback_) callback_(device_object_, kWomDone, block);
  }
  return played;
}

size_t TVirtualWaveOutStream::Pending() const {
  std::lock_guard lock(mutex_);
  return queue_.size();
}

size_t TVirtualWaveOutStream::Written() const {
  std::lock_guard lock(mutex_);
  return written_;
}

std::vector<uint8_t> TVirtualWaveOutStream::Played() const {
  std::lock_guard lock(mutex_);
  return played_;
}

size_t TVirtualWaveOutStream::PlayedBlocks() const {
  std::lock_guard lock(mutex_);
  return played_blocks_;
}

bool TVirtualWaveOutStream::Paused() const {
  std::lock_guard lock(mutex_);
  return paused_;
}

bool TVirtualWaveOutStream::Closed() const {
  std::lock_guard lock(mutex_);
  return closed_;
}

int TVirtualWaveOutStream::Pauses() const {
  std::lock_guard lock(mutex_);
  return pauses_;
}

int TVirtualWaveOutStream::Restarts() const {
  std::lock_guard lock(mutex_);
  return restarts_;
}

int TVirtualWaveOutStream::Resets() const {
  std::lock_guard lock(mutex_);
  return resets_;
}

void TVirtualWaveOutStream::Write(IWaveOutDevice* device, TWaveOutBlock* block) {
  std::lock_guard lock(mutex_);
  if (closed_) return;
  device_object_ = device;
  queue_.push_back(block);
  ++written_;
}

void TVirtualWaveOutStream::Pause() {
  std::lock_guard lock(mutex_);
  paused_ = true;
  ++pauses_;
}

void TVirtualWaveOutStream::Restart() {
  std::lock_guard lock(mutex_);
  paused_ = false;
  ++restarts_;
}

void TVirtualWaveOutStream::Reset(IWaveOutDevice* device) {
  std::lock_guard lock(mutex_);
  ++resets_;
  std::vector<TWaveOutBlock*> returned;
  returned.swap(queue_);
  if (!callback_) return;
  for (TWaveOutBlock* block : returned) callback_(device, kWomDone, block);
}

void TVirtualWaveOutStream::Close() {
  std::lock_guard lock(mutex_);
  if (closed_) return;
  closed_ = true;
  queue_.clear();
  callback_ = nullptr;
  device_object_ = nullptr;
}

TVirtualWaveOut::TVirtualWaveOut(std::vector<std::string> names) : names_(std::move(names)) {}

std::vector<std::string> TVirtualWaveOut::DeviceNames() {
  std::lock_guard lock(mutex_);
  return names_;
}

std::unique_ptr<IWaveOutDevice> TVirtualWaveOut::Open(int device, const TWaveOutFormat& format,
                                                      TWaveOutCallback callback) {
  std::lock_guard lock(mutex_);
  if (open_fails_) return nullptr;
  if (device != kWaveOutDefault && (device < 0 || static_cast<size_t>(device) >= names_.size()))
    return nullptr;
  if (format.channels == 0 || (format.bits != 8 && format.bits != 16) || format.sample_rate == 0)
    return nullptr;
  auto stream = std::make_shared<TVirtualWaveOutStream>(device, format, std::move(callback));
  streams_.push_back(stream);
  return std::make_unique<TVirtualWaveOutDevice>(stream);
}

void TVirtualWaveOut::SetDeviceNames(std::vector<std::string> names) {
  std::lock_guard lock(mutex_);
  names_ = std::move(names);
}

void TVirtualWaveOut::SetOpenFails(bool fails) {
  std::lock_guard lock(mutex_);
  open_fails_ = fails;
}

std::vector<TVirtualWaveOutStreamPtr> TVirtualWaveOut::Streams() const {
  std::lock_guard lock(mutex_);
  return streams_;
}

TVirtualWaveOutStreamPtr TVirtualWaveOut::Current() const {
  std::lock_guard lock(mutex_);
  for (auto it = streams_.rbegin(); it != streams_.rend(); ++it)
    if (!(*it)->Closed()) return *it;
  return nullptr;
}

size_t TVirtualWaveOut::OpenCount() const {
  std::lock_guard lock(mutex_);
  return streams_.size();
}
