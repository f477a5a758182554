#include "ALWavePlayer.h"

TALWavePlayer::TALWavePlayer(IMainThreadDispatcher& dispatcher) : TALCommonPlayer(dispatcher) {}

TALWavePlayer::~TALWavePlayer() { Shutdown(); }

TWaveFormatEx TALWavePlayer::SourceFormat() {
  TOWReadLockSection lock(*this);
  return reader_.SourceFormat();
}

bool TALWavePlayer::OpenSource(const std::string& file_name, TSourceInfo& info) {
  if (!reader_.Open(file_name)) return false;
  info.output = reader_.OutputFormat();
  info.converted = reader_.Converted();
  info.total_frames = reader_.Frames();
  info.stream_start = 0;
  return true;
}

void TALWavePlayer::CloseFile() { reader_.Close(); }

int64_t TALWavePlayer::ReadFrames(uint8_t* area, int64_t frames) {
  return reader_.Read(area, frames);
}

void TALWavePlayer::Seek() {
  TALCommonPlayer::Seek();
  reader_.Seek(Position());
}
