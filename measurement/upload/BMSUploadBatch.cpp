#include "measurement/upload/BMSUploadBatch.h"

#include "measurement/engine/BMSDigest.h"
#include "measurement/engine/BMSEngineServices.h"
#include "measurement/messages/NANOAccessors.h"

namespace beacon {
namespace {

namespace B = MeasurementBundleField;

std::optional<std::string> nonEmpty(const BMSPBMeasurementBundle& bundle, std::uint32_t field) {
  auto value = NANOGetString(bundle, field);
  if (!value || value->empty()) return std::nullopt;
  return value;
}

bool deviceIDMatches(const BMSPBMeasurementBundle& bundle, std::uint32_t field,
                     const std::optional<std::string>& id) {
  const auto own = nonEmpty(bundle, field);
  return !id || !own || own == id;
}

}  // namespace

void BMSApplyUploadConsent(BMSQueuedBundles& bundles, const BMSUploadConsent& consent) {
  bool firstOpenSeen = !consent.DMAConsentEnabled || consent.consentSignals.find('0') != std::string::npos;
  for (auto& queued : bundles) {
    if (!firstOpenSeen) firstOpenSeen = BMSBundleContainsFirstOpen(queued.bundle);
    BMSApplyIdentifiersAndConsent(queued.bundle, consent.consentSignals,
                                  consent.gateAdvertisingIDOnAuthorization, consent.identifiers,
                                  firstOpenSeen);
    if (consent.DMAConsentEnabled)
      BMSApplyDMAConsent(queued.bundle, consent.dma, consent.npaUserAttribute, firstOpenSeen);
  }
}

BMSQueuedBundles BMSFilteredBundlesWithCompatibleAppID(const std::optional<std::string>& appID,
                                                       const std::optional<std::string>& resettableDeviceID,
                                                       const std::optional<std::string>& vendorDeviceID,
                                                       const BMSQueuedBundles& bundles) {
  if (resettableDeviceID && vendorDeviceID) {
    BMSLog(2, 23042, "Bundle filter must not specify both resettableDeviceID and vendorDeviceID");
    return {};
  }
  BMSQueuedBundles kept;
  for (const auto& queued : bundles) {
    if (NANOGetString(queued.bundle, B::kAppID) != appID ||
        !deviceIDMatches(queued.bundle, B::kResettableDeviceID, resettableDeviceID) ||
        !deviceIDMatches(queued.bundle, B::kVendorDeviceID, vendorDeviceID))
      break;
    kept.push_back(queued);
  }
  return kept;
}

BMSQueuedBundles BMSBundlesOfFirstAppAndDevice(const BMSQueuedBundles& bundles) {
  if (bundles.empty()) return {};
  std::optional<std::string> resettable;
  std::optional<std::string> vendor;
  for (const auto& queued : bundles) {
    if ((resettable = nonEmpty(queued.bundle, B::kResettableDeviceID))) break;
  }
  if (!resettable) {
    for (const auto& queued : bundles) {
      if ((vendor = nonEmpty(queued.bundle, B::kVendorDeviceID))) break;
    }
  }
  return BMSFilteredBundlesWithCompatibleAppID(NANOGetString(bundles.front().bundle, B::kAppID), resettable,
                                               vendor, bundles);
}

BMSUploadBatch BMSMakeUploadBatch(const BMSQueuedBundles& bundles, const BMSUploadBatchSettings& settings) {
  BMSUploadBatch upload;
  std::vector<BMSPBMeasurementBundle> sent;
  for (const auto& queued : bundles) {
    BMSPBMeasurementBundle bundle = queued.bundle;
    NANOSetInt64(bundle, B::kUploadLibraryVersion, settings.libraryVersion);
    NANOSetInt64(bundle, B::kUploadTimestampMillis, settings.uploadTimeMillis);
    BMSApplyDataControls(bundle, settings.dataControls, settings.identifiers);
    if (settings.checksumEnabled) {
      // The digest covers the bundle as sent, without a checksum of its own.
      NANOClearField(bundle, B::kChecksum);
      if (auto bytes = bundle.protoBuffer()) NANOSetInt64(bundle, B::kChecksum, BMS64LSBMD5(*bytes));
    }
    if (settings.DMAConsentEnabled && !sent.empty() && !BMSBundlesShareConsentState(&sent.front(), &bundle))
      break;
    sent.push_back(std::move(bundle));
    upload.rowIDs.push_back(queued.rowID);
  }
  NANOSetArray(upload.batch, MeasurementBatchField::kBundles, sent);
  return upload;
}

}  // namespace beacon
