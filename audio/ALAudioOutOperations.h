// Operations of sink-paced streams, between a player and an audio output: the request to start
// pumping, the stream query and its ignore answer, and how an answering sink states the priority
// of its claim to drive the pumping.
#pragma once

#include <cstdint>

#include "OWOperations.h"
#include "OWPins.h"

// Sent by a source that does not pace itself: its master sink starts asking for buffers.
class TOWStartPumpOperation final : public TOWNotifyOperation {};

// Asks a source whether it has a stream to offer.
class TOWQueryStreamOperation final : public TOWNotifyOperation {};

// A source's answer to a stream query: it has nothing to play (disabled or no file).
class TOWIgnoreStreamOperation final : public TOWNotifyOperation {};

// A component that can answer a pump negotiation (become the winner of a
// TOWPumpRequestOperation) tells the priority of its claim through this interface, so that a
// later sink only takes the stream over with a higher priority.
class IOWPumpAnswerer {
 public:
  virtual ~IOWPumpAnswerer() = default;
  virtual int32_t PumpPriority() const = 0;
};

// Whether a sink answered op already; *priority receives its priority when it tells one.
inline bool PumpRequestAnswered(const TOWPumpRequestOperation& op, int32_t* priority) {
  if (op.Winner() == op.Requester()) return false;
  if (auto* answerer = dynamic_cast<const IOWPumpAnswerer*>(op.Winner()))
    *priority = answerer->PumpPriority();
  else
    *priority = INT32_MAX;  // an answerer that tells no priority is never outbid
  return true;
}
