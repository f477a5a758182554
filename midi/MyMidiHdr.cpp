#include "MyMidiHdr.h"

TMyMidiHdr::TMyMidiHdr(uint16_t length) {
  if (length) data_.reset(new uint8_t[length]());
  header_.Data = data_.get();
  header_.BufferLength = length;
  header_.User = reinterpret_cast<uintptr_t>(this);
}
