// The MIDI output service as the MIDI output component needs it: count ports, query one port's
// capabilities, open with a completion callback, close, short and long messages, error texts.
// Back-ends: platform/rt (RtMidi: ALSA sequencer and JACK) and platform/virtual (tests).
#pragma once

#include <cstdint>
#include <string>

// 0 when no port is open.
using TMidiOutHandle = uintptr_t;
// 0 is success; other values are the codes below.
using TMidiResult = uint32_t;

inline constexpr TMidiResult kMidiOk = 0;
inline constexpr TMidiResult kMidiErrUnspecified = 1;
inline constexpr TMidiResult kMidiErrBadDeviceId = 2;
inline constexpr TMidiResult kMidiErrAllocated = 4;
inline constexpr TMidiResult kMidiErrInvalidHandle = 5;
inline constexpr TMidiResult kMidiErrNoDriver = 6;
inline constexpr TMidiResult kMidiErrNoMem = 7;
inline constexpr TMidiResult kMidiErrInvalidParam = 11;
inline constexpr TMidiResult kMidiErrUnprepared = 64;
inline constexpr TMidiResult kMidiErrStillPlaying = 65;
inline constexpr TMidiResult kMidiErrNotReady = 67;
inline constexpr TMidiResult kMidiErrNoDevice = 68;

// Notices passed to the completion callback.
inline constexpr uint32_t kMidiNoticeOpen = 967;
inline constexpr uint32_t kMidiNoticeClose = 968;
inline constexpr uint32_t kMidiNoticeDone = 969;  // a long message has been sent; param1 = header

// Port number of the mapper. Linux has none: the back-ends open a virtual output port instead.
inline constexpr int32_t kMidiMapper = -1;

// Longest product name a port reports, in bytes.
inline constexpr size_t kMidiProductNameMax = 31;

// Technology codes.
inline constexpr uint16_t kMidiTechPort = 1;
inline constexpr uint16_t kMidiTechMapper = 5;

struct TMidiOutCaps {
  std::string ProductName;  // at most kMidiProductNameMax bytes, distinct between ports
  uint32_t DriverVersion = 0;
  uint16_t Technology = 0;
  uint16_t Voices = 0;
  uint16_t Notes = 0;
  uint16_t ChannelMask = 0;
  uint32_t Support = 0;
};

inline constexpr uint32_t kMidiHdrPrepared = 1;
inline constexpr uint32_t kMidiHdrDone = 2;

// One long message. The caller owns it and keeps it alive until the done notice.
struct TMidiOutHeader {
  uint8_t* Data = nullptr;
  uint32_t BufferLength = 0;
  uintptr_t User = 0;  // the caller's own word
  uint32_t Flags = 0;  // kept by the service
};

// Called on a platform thread (or on the sending thread) with the handle, a notice, the context
// given to Open and two parameters. It must only hand the notice over, never block.
using TMidiOutCallback = void (*)(TMidiOutHandle handle, uint32_t notice, void* context,
                                  uintptr_t param1, uintptr_t param2);

class IMidiOutService {
 public:
  virtual ~IMidiOutService() = default;
  virtual uint32_t GetNumDevs() = 0;
  // device: 0..GetNumDevs()-1 or kMidiMapper.
  virtual TMidiResult GetDevCaps(int32_t device, TMidiOutCaps& caps) = 0;
  virtual TMidiResult Open(TMidiOutHandle& handle, int32_t device, TMidiOutCallback callback,
                           void* context) = 0;
  virtual TMidiResult Close(TMidiOutHandle handle) = 0;
  // Called on the capture thread: sent before it returns, no allocation, never waits for another
  // thread. message: status in bits 0-7, data bytes in bits 8-15 and 16-23.
  virtual TMidiResult ShortMsg(TMidiOutHandle handle, uint32_t message) = 0;
  // The same for a message caused at a known frame of the capture (ICaptureTap's count), sent
  // from inside the capture's tap: a back-end whose cycle is under way writes it at that frame's
  // place in the cycle (clamped into it, never before the frame); others send it at once.
  virtual TMidiResult ShortMsgAt(TMidiOutHandle handle, uint32_t message, uint64_t frame) {
    (void)frame;
    return ShortMsg(handle, message);
  }
  virtual TMidiResult PrepareHeader(TMidiOutHandle handle, TMidiOutHeader& header) = 0;
  // Queues a prepared long message; kMidiNoticeDone reaches the callback once it has been sent.
  virtual TMidiResult LongMsg(TMidiOutHandle handle, TMidiOutHeader& header) = 0;
  virtual TMidiResult UnprepareHeader(TMidiOutHandle handle, TMidiOutHeader& header) = 0;
  // Non-zero when there is no text for the code.
  virtual TMidiResult GetErrorText(TMidiResult code, std::string& text) = 0;
};

// The texts shared by the back-ends; non-zero when the code has none.
TMidiResult MidiOutErrorText(TMidiResult code, std::string& text);
