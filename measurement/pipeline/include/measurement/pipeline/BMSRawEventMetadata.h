#pragma once
// The raw-event metadata message: a bundle message that holds everything about the app, device,
// identity and consent at the time of an event, but no events. Events logged under the same
// conditions share one stored metadata row (keyed by the fingerprint of its bytes), and bundling
// later turns that message into the upload bundle.
//
// The engine gathers the facts (identity, environment, consent, configuration) and this builds the
// message from them alone; pure, any thread.

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "measurement/engine/BMSUserAttribute.h"
#include "measurement/messages/NANOMessage.h"
#include "measurement/pipeline/BMSBundleConsent.h"

namespace beacon {

inline constexpr const char* kBMSBundlePlatform = "macos";

struct BMSRawEventMetadataFacts {
  std::optional<std::string> appID;
  bool isFromAppStore = false;
  std::optional<std::string> appVersion;
  std::optional<std::int64_t> appVersionMajor;
  std::optional<std::int64_t> appVersionMinor;
  std::optional<std::int64_t> appVersionRelease;
  std::optional<std::string> cnpAppID;
  std::optional<std::string> adReachAppID;
  std::int64_t libraryVersion = 0;
  std::optional<std::string> installationID;
  std::optional<std::string> sessionStitchingToken;

  std::string consentSignals;
  bool gateAdvertisingIDOnAuthorization = false;
  BMSIdentifierFacts identifiers;
  // With DMA consent handling on, the DMA fields are written and the stored "_npa" attribute joins
  // the user attributes when the list given has none.
  bool DMAConsentEnabled = false;
  BMSDMAFacts dma;
  std::optional<BMSPBUserAttribute> storedNPA;

  std::string deviceModel;
  std::string deviceOSVersion;
  std::int64_t timeZoneOffsetMinutes = 0;
  std::optional<std::string> userDefaultLanguage;

  friend bool operator==(const BMSRawEventMetadataFacts&, const BMSRawEventMetadataFacts&) = default;
};

// Whether the metadata of `userAttributes` takes the stored "_npa" attribute (so the caller need
// read it only then): DMA consent handling on, and a non-empty list without one.
bool BMSRawEventMetadataTakesStoredNPA(bool DMAConsentEnabled,
                                       const std::vector<BMSUserAttribute>& userAttributes);

// The metadata message for `facts`, with `userAttributes` (in order) as its user attributes; an
// empty list leaves them unset.
BMSPBMeasurementBundle BMSCreateRawEventMetadata(const BMSRawEventMetadataFacts& facts,
                                                 const std::vector<BMSUserAttribute>& userAttributes);

// Hands out the metadata message of each event, building it only when the facts or the attributes
// differ from the last ones it built for: events logged one after another nearly always share them,
// and a copy of the kept message costs less than building it. A difference in any fact or attribute
// member (a double down to its bits) builds afresh, so what it hands out is always what
// BMSCreateRawEventMetadata gives for the same arguments. Safe on any thread.
class BMSRawEventMetadataBuilder {
 public:
  BMSPBMeasurementBundle metadata(const BMSRawEventMetadataFacts& facts,
                                  const std::vector<BMSUserAttribute>& userAttributes);

 private:
  struct Built {
    BMSRawEventMetadataFacts facts;
    std::vector<BMSUserAttribute> userAttributes;
    BMSPBMeasurementBundle metadata;
  };

  std::mutex mutex_;
  std::optional<Built> last_;
};

}  // namespace beacon
