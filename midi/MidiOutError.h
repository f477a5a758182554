// The exception every failure of the MIDI output component raises; its text is the message the
// user sees (a fixed English text or the MIDI service's own text).
#pragma once

#include <stdexcept>

class EmidioutputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
