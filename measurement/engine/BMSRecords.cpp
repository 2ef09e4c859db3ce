#include "measurement/engine/BMSRecords.h"

#include "measurement/engine/BMSEngineServices.h"

namespace beacon {

std::optional<BMSRawEventData> BMSRawEventData::initWithRawEvent(const std::optional<BMSEvent>& rawEvent,
                                                                 std::int64_t rowID,
                                                                 std::int64_t metadataFingerprint) {
  if (!rawEvent) {
    BMSLog(4, 28000, "Failed to create raw event data. Received invalid raw event.");
    return std::nullopt;
  }
  if (rowID < 0) {
    BMSLog(4, 28001, "Failed to create raw event data. Received invalid row ID. Row ID", {rowID});
    return std::nullopt;
  }
  return BMSRawEventData(*rawEvent, rowID, metadataFingerprint);
}

}  // namespace beacon
