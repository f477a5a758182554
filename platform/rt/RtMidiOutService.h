// The MIDI output service on RtMidi: the ALSA sequencer's ports first (when the sequencer can be
// opened), then JACK MIDI's input ports (when a JACK server runs). Port -1 opens a virtual output
// port named "Tocsin" that other programs connect to.
// Enumeration, Open and Close run on the main thread; ShortMsg runs on the capture thread and
// never waits for it: ports live in fixed slots, and Close waits for a send in progress instead.
#pragma once

#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/MidiOutService.h"

class RtMidiOut;

class TRtMidiOutService final : public IMidiOutService {
 public:
  // client_name: the name our clients take in ALSA and JACK, and the virtual port's name.
  explicit TRtMidiOutService(std::string client_name = "Tocsin");
  ~TRtMidiOutService() override;

  uint32_t GetNumDevs() override;
  TMidiResult GetDevCaps(int32_t device, TMidiOutCaps& caps) override;
  TMidiResult Open(TMidiOutHandle& handle, int32_t device, TMidiOutCallback callback,
                   void* context) override;
  TMidiResult Close(TMidiOutHandle handle) override;
  TMidiResult ShortMsg(TMidiOutHandle handle, uint32_t message) override;
  TMidiResult PrepareHeader(TMidiOutHandle handle, TMidiOutHeader& header) override;
  TMidiResult LongMsg(TMidiOutHandle handle, TMidiOutHeader& header) override;
  TMidiResult UnprepareHeader(TMidiOutHandle handle, TMidiOutHeader& header) override;
  TMidiResult GetErrorText(TMidiResult code, std::string& text) override;

  static constexpr size_t kSlots = 16;

 private:
  struct TPortEntry {
    int Api;       // RtMidi::Api
    std::string Full;  // name as the back-end reports it
  };
  struct TSlot;
  std::vector<TPortEntry> List();  // mutex_ held
  TSlot* Acquire(TMidiOutHandle handle);  // counts a user; null when the handle is not open
  TMidiResult Send(TSlot& slot, const unsigned char* bytes, size_t size);

  std::string client_name_;
  std::mutex mutex_;  // enumeration, Open, Close: main thread only, never taken by senders
  std::unique_ptr<RtMidiOut> alsa_;
  std::unique_ptr<RtMidiOut> jack_;
  uint64_t jack_losses_ = 0;  // JackServerLosses() when jack_ was made
  std::array<std::unique_ptr<TSlot>, kSlots> slots_;
};
