#pragma once
// The heartbeat service of one app ID. It logs at most one heartbeat per UTC day, under the
// user-agent text current at the first log of that day, keeps up to 30 of them in the ID's shared
// HeartbeatStorage, and hands them out as a HeartbeatsPayload: everything stored (flush) or only
// today's heartbeat (flushHeartbeatFromToday).
//
// The days already counted are remembered across both flushes, so an ID never gets two heartbeats
// for one day, whatever agents are logged and whatever is flushed in between.
//
// Any thread may call the operations. log never blocks; the flushes wait until every earlier request
// for the same ID has run, so they see every heartbeat logged before them. None may be called from a
// storage queue. Storage and coding failures never reach the caller.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/time/Clock.h"
#include "platform/value/Value.h"
#include "sdk-core/heartbeat/HeartbeatStorage.h"
#include "sdk-core/heartbeat/HeartbeatsPayload.h"

namespace beacon {

class HeartbeatController {
 public:
  using DateProvider = std::function<platform::Date()>;

  static constexpr std::int64_t kHeartbeatsStorageCapacity = 30;

  // The start (00:00:00 UTC) of the UTC day `date` falls on.
  static platform::Date normalizeToDay(platform::Date date);

  // Over the ID's shared storage, reading the date from `clock` (the system clock when not given).
  explicit HeartbeatController(const std::string& id, std::shared_ptr<const platform::Clock> clock = nullptr);
  // Over any storage and any raw date source; dates are normalised to their UTC day all the same.
  HeartbeatController(std::shared_ptr<HeartbeatStorageProtocol> storage, DateProvider dateSource);

  // Records a heartbeat for `agent` when a period is due; returns at once, the work runs on the
  // storage queue.
  void log(const std::string& agent);
  // Takes out everything stored; the empty payload when nothing is stored or the store cannot be
  // written.
  HeartbeatsPayload flush();
  // Takes out today's heartbeat only; the empty payload when there is none.
  HeartbeatsPayload flushHeartbeatFromToday();
  // Waits until every heartbeat logged before is stored.
  void waitForLoggedHeartbeats();

 private:
  std::shared_ptr<HeartbeatStorageProtocol> storage_;
  DateProvider dateProvider_;
};

}  // namespace beacon
