#pragma once
// Sampling of a bundle's events: an event name the configuration gives a sampling rate R > 1 keeps
// about one event in R, chosen at random, but always the first of each day in the analytics
// account's time zone (marked "_efs" = 1); kept sampled events carry "_sr" = R. What was decided is
// remembered in the per-name aggregates (last bundled time and day, last rate, last dropped complex
// event ID, whether the last was exempt).
//
// Made and used on the engine's worker queue, inside the bundling transaction: failures are logged
// and give nothing, so the caller rolls back.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "measurement/messages/NANOMessage.h"
#include "measurement/storage/BMSDatabase.h"
#include "measurement/storage/BMSRemoteConfig.h"

namespace beacon {

class BMSEventSampler {
 public:
  // A uniform random integer in [0, bound).
  using RandomBelow = std::function<std::int64_t(std::int64_t bound)>;

  BMSEventSampler(std::shared_ptr<BMSDatabase> database, std::shared_ptr<const BMSRemoteConfig> remoteConfig,
                  RandomBelow randomBelow)
      : database_(std::move(database)),
        remoteConfig_(std::move(remoteConfig)),
        randomBelow_(std::move(randomBelow)) {}

  // The events to keep, in order, with their sampling parameters; nothing when storage failed.
  std::optional<std::vector<BMSPBEvent>> sampleEvents(const std::vector<BMSPBEvent>& events);
  // Sampling is on and the configuration gives the event's name a rate above 1.
  bool canEventBeSampled(const BMSPBEvent& event) const;
  // Picks an event of a name sampled at `rate`.
  bool isEventBundledAfterRoll(std::int32_t rate) const { return randomBelow_(rate) == 0; }

 private:
  std::shared_ptr<BMSDatabase> database_;
  std::shared_ptr<const BMSRemoteConfig> remoteConfig_;
  RandomBelow randomBelow_;
};

}  // namespace beacon
