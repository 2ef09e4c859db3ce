#pragma once
// The value one app ID's heartbeat store holds: a ring of the most recent heartbeats plus, for each
// counting period, the date of the last heartbeat counted for it. The bundle decides what a new
// heartbeat does to the ring, repairs itself when its ring is found damaged, takes out one day's
// heartbeat on request, and turns its contents into a HeartbeatsPayload.
//
// A plain value type without locking: the heartbeat storage's serial queue is its only writer.

#include <cstdint>
#include <map>
#include <optional>

#include "platform/value/Value.h"
#include "sdk-core/heartbeat/Heartbeat.h"
#include "sdk-core/heartbeat/HeartbeatsPayload.h"
#include "sdk-core/heartbeat/RingBuffer.h"

namespace beacon {

// For each period, the date of the last heartbeat counted for it; the distant past stands for never.
using LastAddedHeartbeatDates = std::map<TimePeriod, platform::Date>;

struct HeartbeatsBundle {
  // Every period mapped to the distant past.
  static LastAddedHeartbeatDates initialLastAddedDates();

  // `capacity` empty slots; a negative capacity is a programmer error.
  explicit HeartbeatsBundle(std::int64_t capacity,
                            LastAddedHeartbeatDates lastAddedHeartbeatDates = initialLastAddedDates());
  // A bundle as it was stored, taken as it is.
  HeartbeatsBundle(std::int64_t capacity, LastAddedHeartbeatDates lastAddedHeartbeatDates,
                   RingBuffer<Heartbeat> buffer);

  // Stores `heartbeat` in the ring. The dates of periods whose last heartbeat it pushes out of the
  // ring go back to the distant past, and its own periods take its date. A ring found with its tail
  // outside its slots is replaced by a fresh bundle holding one diagnostic heartbeat whose agent
  // carries the failure. A capacity below 1 stores nothing.
  void append(const Heartbeat& heartbeat);

  // Takes out the heartbeat dated exactly `date`, walking back from the tail until an empty slot;
  // the heartbeats passed on the way are put back. The period dates stay as they are.
  std::optional<Heartbeat> removeHeartbeat(platform::Date date);

  // One entry per agent, sorted by agent; each agent's dates in slot order.
  HeartbeatsPayload makePayload() const;

  friend bool operator==(const HeartbeatsBundle&, const HeartbeatsBundle&) = default;

  std::int64_t capacity;
  LastAddedHeartbeatDates lastAddedHeartbeatDates;
  RingBuffer<Heartbeat> buffer;
};

}  // namespace beacon
