#pragma once
// What consent and data controls let into a bundle message: the identifiers, the consent signals, the
// DMA consent fields, the data controls, and the checks the upload step makes across queued bundles.
// Applied to raw-event metadata when it is made and again, forced, to queued bundles before upload.
// Pure functions over the message; any thread.

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "measurement/messages/NANOMessage.h"

namespace beacon {

// The identity's values the appliers read, taken from the engine's identity at the time of use.
struct BMSIdentifierFacts {
  // The tracking-authorisation status; none where the platform has no such permission.
  std::optional<std::uint64_t> trackingAuthorizationStatus;
  // Whether the limited-ad-tracking state is known, and that state.
  bool hasLimitedAdTracking = false;
  bool limitedAdTracking = false;
  std::optional<std::string> resettableDeviceID;
  std::optional<std::string> vendorID;
  std::optional<std::string> appInstanceID;
  std::string ephemeralAppInstanceID;

  friend bool operator==(const BMSIdentifierFacts&, const BMSIdentifierFacts&) = default;
};

// The DMA facts of the downloaded configuration.
struct BMSDMAFacts {
  std::string consentDiagnostics;
  bool adUserDataDenied = false;
  bool isDMARegion = false;
  std::set<std::string> corePlatformServices;

  friend bool operator==(const BMSDMAFacts&, const BMSDMAFacts&) = default;
};

struct BMSConsentDenials {
  bool adStorage = false;
  bool analyticsStorage = false;
};

// Index 2 of the signals is ad storage, index 3 analytics storage; '0', 'D' and 'd' deny. Fewer than
// four characters say nothing.
BMSConsentDenials BMSConsentDenialsInSignals(std::string_view consentSignals);
bool BMSIsAnalyticsStorageDeniedInSignals(std::string_view consentSignals);

// Writes the consent signals (when forced, or none are stored yet) and the identifiers consent allows.
void BMSApplyIdentifiersAndConsent(BMSPBMeasurementBundle& bundle, const std::string& consentSignals,
                                   bool gateAdvertisingIDOnAuthorization, const BMSIdentifierFacts& identity,
                                   bool force);
// Writes the DMA fields (each only when unset, or forced) and, when given, the "_npa" user attribute.
void BMSApplyDMAConsent(BMSPBMeasurementBundle& bundle, const BMSDMAFacts& dma,
                        const std::optional<BMSPBUserAttribute>& npaUserAttribute, bool force);
// Removes or trims what each named data control withholds and records the controls applied.
void BMSApplyDataControls(BMSPBMeasurementBundle& bundle, const std::set<std::string>& dataControls,
                          const BMSIdentifierFacts& identity);

// Both present, with the same consent signals, diagnostics, core platform services, DMA region flag and
// "_npa" value (absent on both sides counts as the same).
bool BMSBundlesShareConsentState(const BMSPBMeasurementBundle* first, const BMSPBMeasurementBundle* second);
bool BMSBundleContainsFirstOpen(const BMSPBMeasurementBundle& bundle);
std::optional<BMSPBUserAttribute> BMSBundleNPAUserAttribute(const BMSPBMeasurementBundle& bundle);
// Any of the events carries the real-time mark.
bool BMSEventsContainRealtime(const std::vector<BMSPBEvent>& events);

}  // namespace beacon
