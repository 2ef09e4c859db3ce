#pragma once
// Stores one event as a raw event, inside the event pipeline's storage transaction: the per-name
// aggregate row (which bounds the number of distinct public names), the raw-event metadata message
// stored once under its fingerprint, the trim to the stored-events limit, the raw-event row, and the
// first-open bookkeeping. Any storage failure is logged and answers false so the caller rolls the
// whole transaction back.
//
// Also makes the "_fx" event that matches a first open stored without an advertising identifier to
// the first later event whose metadata carries one.
//
// Made and used on the engine's worker queue.

#include <functional>
#include <memory>
#include <vector>

#include "measurement/engine/BMSEvent.h"
#include "measurement/engine/BMSUserAttribute.h"
#include "measurement/messages/NANOMessage.h"
#include "measurement/storage/BMSDatabase.h"
#include "measurement/storage/BMSPersistedConfig.h"
#include "measurement/storage/BMSRemoteConfig.h"

namespace beacon {

class BMSRawEventWriter {
 public:
  struct Collaborators {
    std::shared_ptr<BMSDatabase> database;
    std::shared_ptr<const BMSRemoteConfig> remoteConfig;
    std::shared_ptr<BMSPersistedConfig> persistedConfig;
    // The raw-event metadata message for the current app, device, identity and consent state.
    std::function<BMSPBMeasurementBundle(const std::vector<BMSUserAttribute>&)> createRawEventMetadata;
    // The identity asks for the last-advertising-ID-reset user property; the engine sets it.
    std::function<bool()> shouldSetLastAdvertisingIDResetUserProperty;
    std::function<void()> setLastAdvertisingIDResetUserProperty;
    // Writes an event through the pipeline later, on the worker queue (never within this call).
    std::function<void(BMSEvent)> writeEventLater;
  };

  explicit BMSRawEventWriter(Collaborators collaborators) : collaborators_(std::move(collaborators)) {}

  // Stores the event; false (logged) when it must not be or could not be.
  bool writeEvent(const BMSEvent& event, bool isPublicEvent, bool isRealtime);
  // Clears the unmatched-first-open flag and hands a real-time "_fx" at `timestamp` to the pipeline.
  void logFirstOpenConsentedEvent(double timestamp);

 private:
  bool ensureEventAggregates(const BMSEvent& event, bool isPublicEvent);
  void matchFirstOpen(const BMSEvent& event, const BMSPBMeasurementBundle& metadata);
  bool trimRawEvents();
  std::int64_t previousFirstOpenCount() const;
  void countFirstOpen();

  Collaborators collaborators_;
};

}  // namespace beacon
