#include "measurement/pipeline/BMSRawEventSelection.h"

#include <cmath>

#include "measurement/engine/BMSEngineServices.h"
#include "measurement/engine/BMSError.h"

namespace beacon {

std::optional<std::vector<BMSRawEventData>> BMSRawEventsForBundle(BMSDatabase& database,
                                                                  const BMSRemoteConfig& remoteConfig,
                                                                  std::int64_t metadataFingerprint) {
  const std::int64_t maxEvents = remoteConfig.uploadMaxEventsPerBundle();
  const std::int64_t maxBytes = remoteConfig.uploadMaxSizeLimitBytes();
  std::int64_t hour = 0;
  std::int64_t previousRowID = 0;
  std::int64_t totalBytes = 0;
  auto selected = database.rawEventsWithMetadataFingerprint(
      metadataFingerprint, [&](const BMSDatabase::RawEventRow& row, std::size_t index) {
        if (index > 0 && static_cast<std::int64_t>(index) >= maxEvents) return false;
        // Decided on the stored row, so a row that is refused is never decoded.
        const std::int64_t rowHour =
            static_cast<std::int64_t>(std::floor(static_cast<double>(row.timestampMilliseconds) / 1000)) /
            3600;
        const std::int64_t size = row.dataSize;
        if (index == 0) {
          hour = rowHour;
        } else if (rowHour != hour || row.rowID != previousRowID + 1 || totalBytes + size >= maxBytes) {
          return false;
        }
        previousRowID = row.rowID;
        totalBytes += size;
        return true;
      });
  if (!selected) {
    BMSLog(1, 23097, "Inconsistent state, raw event is expected. Error",
           {BMSContextFromError(selected.error())});
    return std::nullopt;
  }
  return std::move(*selected);
}

}  // namespace beacon
