#pragma once
// Turning queued bundles into one upload batch: consent and identifiers applied again as they stand
// now, the leading run of bundles of one app and one device, the upload fields (upload time, library
// version, data controls, checksum), and - with DMA consent handling - only bundles that share the
// first one's consent state. Pure functions over messages; any thread.

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "measurement/messages/NANOMessage.h"
#include "measurement/pipeline/BMSBundleConsent.h"
#include "measurement/storage/BMSDatabase.h"

namespace beacon {

using BMSQueuedBundles = std::vector<BMSDatabase::QueuedBundle>;

// The consent and identity in force at upload time.
struct BMSUploadConsent {
  std::string consentSignals;
  bool gateAdvertisingIDOnAuthorization = false;
  bool DMAConsentEnabled = true;
  BMSDMAFacts dma;
  std::optional<BMSPBUserAttribute> npaUserAttribute;
  BMSIdentifierFacts identifiers;
};

// Applies identifiers and consent (and the DMA fields) to every bundle, forced once a first open was
// seen - from the start with DMA when the consent signals hold a '0'.
void BMSApplyUploadConsent(BMSQueuedBundles& bundles, const BMSUploadConsent& consent);

// The longest leading run of bundles with the compatible app ID whose device-ID field (19 for a
// resettable ID, 20 for a vendor ID) is empty or equal to the one given. Both IDs given: nothing
// (logged).
BMSQueuedBundles BMSFilteredBundlesWithCompatibleAppID(const std::optional<std::string>& appID,
                                                       const std::optional<std::string>& resettableDeviceID,
                                                       const std::optional<std::string>& vendorDeviceID,
                                                       const BMSQueuedBundles& bundles);
// The app ID is the first bundle's; the device ID the first resettable one found, else the first
// vendor one.
BMSQueuedBundles BMSBundlesOfFirstAppAndDevice(const BMSQueuedBundles& bundles);

struct BMSUploadBatchSettings {
  std::int64_t uploadTimeMillis = 0;
  std::int64_t libraryVersion = 0;
  std::set<std::string> dataControls;
  BMSIdentifierFacts identifiers;
  bool checksumEnabled = false;
  bool DMAConsentEnabled = true;
};

struct BMSUploadBatch {
  BMSPBMeasurementBatch batch;
  // The row IDs of the bundles in the batch, in batch order.
  std::vector<std::int64_t> rowIDs;
};

// Sets the upload fields on each bundle and collects them into the batch; with DMA, the first bundle
// whose consent state differs from the first one's ends the batch.
BMSUploadBatch BMSMakeUploadBatch(const BMSQueuedBundles& bundles, const BMSUploadBatchSettings& settings);

}  // namespace beacon
