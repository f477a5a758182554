// Exceptions raised by the audio engine, each with a fixed English message.
#pragma once

#include <stdexcept>
#include <string>

// Base of the engine's errors.
class EALError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// An index or channel outside a buffer.
class ERangeError : public EALError {
 public:
  using EALError::EALError;
};
