#pragma once
// Which raw events of one metadata fingerprint go into the next bundle: consecutive rows (by row
// ID) of one clock hour, at most the configured number of events, while their encoded events stay
// below the configured size. The first row is always taken, whatever its size, so one large event
// can never hold the queue up for good. Worker queue, inside the bundling transaction.

#include <cstdint>
#include <optional>
#include <vector>

#include "measurement/engine/BMSRecords.h"
#include "measurement/storage/BMSDatabase.h"
#include "measurement/storage/BMSRemoteConfig.h"

namespace beacon {

// The selected rows in ascending row ID; nothing (logged) when the database fails.
std::optional<std::vector<BMSRawEventData>> BMSRawEventsForBundle(BMSDatabase& database,
                                                                  const BMSRemoteConfig& remoteConfig,
                                                                  std::int64_t metadataFingerprint);

}  // namespace beacon
