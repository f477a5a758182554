// Wave file player: plays a WAV file through OutputPin (see TALCommonPlayer), 8- and 16-bit PCM
// as stored and compressed codings decoded to 16-bit PCM.
#pragma once

#include "ALCommonPlayer.h"
#include "ALWavePlayerFile.h"

class TALWavePlayer : public TALCommonPlayer {
 public:
  explicit TALWavePlayer(IMainThreadDispatcher& dispatcher);
  ~TALWavePlayer() override;

  // The file's own format while a file is open.
  TWaveFormatEx SourceFormat();

 protected:
  bool OpenSource(const std::string& file_name, TSourceInfo& info) override;
  void CloseFile() override;
  int64_t ReadFrames(uint8_t* area, int64_t frames) override;
  void Seek() override;

 private:
  TALWaveFileReader reader_;  // under the component's lock
};
