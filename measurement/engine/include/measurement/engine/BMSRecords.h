#pragma once
// Plain records that carry rows of the measurement database between storage, audience evaluation and
// the event pipeline: audience event and property filters, stored audience results, and one stored raw
// event with its row and metadata fingerprint. Only the raw-event record checks its input. Made and
// used on the worker queue.

#include <cstdint>
#include <optional>
#include <string>

#include "measurement/engine/BMSEvent.h"
#include "platform/value/Value.h"

namespace beacon {

// What an audience's event and property filters share.
struct BMSAudienceFilter {
  std::int32_t audienceID = 0;
  std::int32_t filterID = 0;
  platform::Bytes data;  // the serialized filter message
  bool sessionScoped = false;
  bool dynamic = false;
  bool sequence = false;
};

struct BMSEventFilter : BMSAudienceFilter {
  std::string eventName;
};

struct BMSPropertyFilter : BMSAudienceFilter {
  std::string propertyName;
};

struct BMSFilterResult {
  std::int32_t audienceID = 0;
  platform::Bytes currentResults;
  platform::Bytes previousResults;
};

class BMSRawEventData {
 public:
  // Nothing for a missing event (logs 28000) or a negative row ID (logs 28001).
  static std::optional<BMSRawEventData> initWithRawEvent(const std::optional<BMSEvent>& rawEvent,
                                                         std::int64_t rowID,
                                                         std::int64_t metadataFingerprint);

  const BMSEvent& rawEvent() const { return rawEvent_; }
  std::int64_t rowID() const { return rowID_; }
  std::int64_t metadataFingerprint() const { return metadataFingerprint_; }

 private:
  BMSRawEventData(BMSEvent rawEvent, std::int64_t rowID, std::int64_t metadataFingerprint)
      : rawEvent_(std::move(rawEvent)), rowID_(rowID), metadataFingerprint_(metadataFingerprint) {}

  BMSEvent rawEvent_;
  std::int64_t rowID_;
  std::int64_t metadataFingerprint_;
};

}  // namespace beacon
