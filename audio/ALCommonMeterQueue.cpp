#include "ALCommonMeterQueue.h"

void TALMeterBufferQueue::Append(const IALAudioBufferPtr& buffer) {
  if (!buffer) return;
  auto copy = TALAudioBuffer::CreateCopy(buffer);
  auto access = copy->GetDataAccess();
  const TWaveFormatEx header = copy->Header();
  TEntry entry{access, access->Data(), access->Count(), header.nChannels, header.wBitsPerSample,
               header.nBlockAlign};
  if (entry.frames == 0) return;
  total_ += entry.frames;
  buffers_.push_back(std::move(entry));
}

void TALMeterBufferQueue::Clear() {
  buffers_.clear();
  total_ = 0;
  position_ = 0;
}

void TALMeterBufferQueue::Pop() {
  total_ -= buffers_.front().frames;
  position_ = 0;
  buffers_.pop_front();
}
