// The main window's global records, shared by its parts: capture parameters, audio and MIDI
// choices, the two sound slots and the run-state flags. Fields read on the capture thread while
// the UI thread may write them are atomic.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "RunFlags.h"

class TMidiOutput;
class TVrWave;

struct TAudioInParams {
  uint16_t Channels = 2;
  uint16_t Bits = 16;
  uint32_t SampleRate = 44100;
  uint32_t BufferSize = 1024;  // frames per captured block
  int32_t FullScale = 32767;
  double MinDb = -96;
  double MaxDb = 0;
};

struct TMyAudio {
  std::string InputDeviceName;
  std::string OutputDeviceName;
  double LeftThres = -45;
  double RightThres = -45;
  bool VolFollowAudioInLevel[2] = {false, false};
};

struct TMyMidi {
  TMidiOutput* Output = nullptr;  // none when its creation failed
  std::string DeviceName;
  bool VelFollowAudioInLevel[2] = {true, true};
  uint8_t Channel = 1;  // 1..16
  std::atomic<bool> NoteOn0{false};
  std::string NoteName0 = "Do3";
  uint8_t NoteNumber0 = 0;  // reserved
  std::atomic<bool> NoteOn1{false};
  std::string NoteName1 = "Do3";
  uint8_t NoteNumber1 = 0;  // reserved

  std::atomic<bool>& NoteOn(int channel) { return channel == 0 ? NoteOn0 : NoteOn1; }
};

struct TMySound {
  TVrWave* Wave = nullptr;
  std::atomic<bool> Inhibited{false};
};

extern TRunFlags RunFlags;
extern TAudioInParams AudioInParams;
extern TMyAudio MyAudio;
extern TMyMidi MyMidi;
extern TMySound Sounds[2];
