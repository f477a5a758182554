// One long message in transit: its header and a private copy of its bytes, alive from the send
// until the done notice has been handled on the main thread.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/MidiOutService.h"

class TMyMidiHdr {
 public:
  // Zero-filled; nothing is allocated for a length of 0.
  explicit TMyMidiHdr(uint16_t length);
  TMyMidiHdr(const TMyMidiHdr&) = delete;
  TMyMidiHdr& operator=(const TMyMidiHdr&) = delete;

  TMidiOutHeader& Header() { return header_; }
  uint8_t* Data() { return data_.get(); }
  uint16_t Length() const { return static_cast<uint16_t>(header_.BufferLength); }

  // The header's user word names its owner, so that the completion can find and free it.
  static TMyMidiHdr* Owner(const TMidiOutHeader& header) {
    return reinterpret_cast<TMyMidiHdr*>(header.User);
  }

 private:
  std::unique_ptr<uint8_t[]> data_;
  TMidiOutHeader header_;
};
