#include "MidiOutService.h"

TMidiResult MidiOutErrorText(TMidiResult code, std::string& text) {
  const char* t = nullptr;
  switch (code) {
    case kMidiOk: t = "The MIDI operation succeeded."; break;
    case kMidiErrUnspecified: t = "The MIDI service reported an unspecified error."; break;
    case kMidiErrBadDeviceId: t = "The MIDI port number is out of range."; break;
    case kMidiErrAllocated: t = "The MIDI port is already in use."; break;
    case kMidiErrInvalidHandle: t = "The MIDI port handle is not valid: the port is not open."; break;
    case kMidiErrNoDriver: t = "No MIDI driver or server is available."; break;
    case kMidiErrNoMem: t = "There is not enough memory for the MIDI operation."; break;
    case kMidiErrInvalidParam: t = "A parameter given to the MIDI service is not valid."; break;
    case kMidiErrUnprepared: t = "The long message header has not been prepared."; break;
    case kMidiErrStillPlaying: t = "Long messages are still being sent on this MIDI port."; break;
    case kMidiErrNotReady: t = "The MIDI port is busy; try again."; break;
    case kMidiErrNoDevice: t = "The MIDI port is no longer present."; break;
    default: return kMidiErrInvalidParam;  // no text for this code
  }
  text = t;
  return kMidiOk;
}
