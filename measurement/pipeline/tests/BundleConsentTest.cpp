// Which identifiers consent lets into a bundle, the DMA fields, data controls, and the checks across
// queued bundles.

#include "measurement/pipeline/BMSBundleConsent.h"

#include <gtest/gtest.h>

#include "measurement/messages/NANOAccessors.h"
#include "measurement/pipeline/tests/BundleTestSupport.h"

namespace beacon {
namespace {

namespace B = MeasurementBundleField;
using testing::attributeNames;

BMSIdentifierFacts fullIdentity() {
  BMSIdentifierFacts identity;
  identity.hasLimitedAdTracking = true;
  identity.limitedAdTracking = false;
  identity.resettableDeviceID = "AD-ID";
  identity.vendorID = "VENDOR";
  identity.appInstanceID = "INSTANCE";
  identity.ephemeralAppInstanceID = "EPHEMERAL";
  return identity;
}

BMSPBUserAttribute attribute(const std::string& name, std::int64_t value) {
  BMSPBUserAttribute made;
  NANOSetString(made, UserAttributeField::kName, name);
  NANOSetInt64(made, UserAttributeField::kIntValue, value);
  return made;
}

TEST(BundleConsent, SignalsShorterThanFourCharactersSayNothing) {
  EXPECT_FALSE(BMSIsAnalyticsStorageDeniedInSignals("C1G"));
  for (char denied : {'0', 'D', 'd'}) {
    const std::string signals = std::string("C1G") + denied;
    EXPECT_TRUE(BMSIsAnalyticsStorageDeniedInSignals(signals));
    EXPECT_FALSE(BMSConsentDenialsInSignals(signals).adStorage);
  }
  EXPECT_TRUE(BMSConsentDenialsInSignals("C1dG").adStorage);
}

struct ConsentCase {
  const char* signals;
  bool gate;
  std::optional<std::uint64_t> trackingStatus;
  const char* resettableID;  // expected fields 19, 20, 22 (nullptr = unset)
  const char* vendorID;
  const char* appInstanceID;
};

TEST(BundleConsent, IdentifiersFollowConsentAndTheTrackingGate) {
  const ConsentCase cases[] = {
      {"C1GG", false, std::nullopt, "AD-ID", nullptr, "INSTANCE"},
      {"C1DG", false, std::nullopt, nullptr, "VENDOR", "INSTANCE"},  // ad storage denied
      {"C1GD", false, std::nullopt, "AD-ID", nullptr, nullptr},      // analytics storage denied
      {"C1DD", false, std::nullopt, nullptr, nullptr, nullptr},      // both denied
      {"C1GG", true, 2, nullptr, "VENDOR", "INSTANCE"},              // gated, not authorised
      {"C1GG", true, 3, "AD-ID", nullptr, "INSTANCE"},               // gated, authorised
      {"", false, std::nullopt, "AD-ID", nullptr, "INSTANCE"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.signals) + (c.gate ? " gated" : ""));
    BMSIdentifierFacts identity = fullIdentity();
    identity.trackingAuthorizationStatus = c.trackingStatus;
    BMSPBMeasurementBundle bundle;
    NANOSetString(bundle, B::kSessionStitchingToken, "TOKEN");
    BMSApplyIdentifiersAndConsent(bundle, c.signals, c.gate, identity, true);
    const auto expect = [&](std::uint32_t field, const char* value) {
      EXPECT_EQ(NANOGetString(bundle, field), value ? std::optional<std::string>(value) : std::nullopt)
          << "field " << field;
    };
    expect(B::kResettableDeviceID, c.resettableID);
    expect(B::kVendorDeviceID, c.vendorID);
    expect(B::kAppInstanceID, c.appInstanceID);
    expect(B::kConsentSignals, *c.signals ? c.signals : nullptr);
    EXPECT_EQ(NANOHasField(bundle, B::kSessionStitchingToken),
              !BMSIsAnalyticsStorageDeniedInSignals(c.signals));
    EXPECT_TRUE(NANOHasField(bundle, B::kLimitedAdTracking));
  }
}

TEST(BundleConsent, UnforcedStoredSignalsDecideAndTrackingStatusSixIsNotWritten) {
  BMSPBMeasurementBundle bundle;
  NANOSetString(bundle, B::kConsentSignals, "C1GD");
  BMSIdentifierFacts identity = fullIdentity();
  identity.trackingAuthorizationStatus = 6;
  BMSApplyIdentifiersAndConsent(bundle, "C1GG", false, identity, false);
  EXPECT_EQ(NANOGetString(bundle, B::kConsentSignals), "C1GD");
  EXPECT_FALSE(NANOHasField(bundle, B::kAppInstanceID));
  EXPECT_FALSE(NANOHasField(bundle, B::kTrackingAuthorizationStatus));

  // Signals of 1-3 characters change nothing and deny nothing.
  BMSPBMeasurementBundle shortSignals;
  BMSApplyIdentifiersAndConsent(shortSignals, "C1", false, fullIdentity(), true);
  EXPECT_FALSE(NANOHasField(shortSignals, B::kConsentSignals));
  EXPECT_EQ(NANOGetString(shortSignals, B::kAppInstanceID), "INSTANCE");
}

TEST(BundleConsent, DMAFieldsAndTheNPAAttribute) {
  BMSDMAFacts dma{"diag", false, true, {"b", "a"}};
  BMSPBMeasurementBundle bundle;
  NANOSetArray(bundle, B::kUserAttributes, std::vector{attribute("_npa", 0), attribute("level", 3)});
  BMSApplyDMAConsent(bundle, dma, attribute("_npa", 1), false);
  EXPECT_EQ(NANOGetString(bundle, B::kConsentDiagnostics), "diag");
  EXPECT_TRUE(NANOGetBool(bundle, B::kDMARegion));
  EXPECT_EQ(NANOGetString(bundle, B::kCorePlatformServices), "ab");
  EXPECT_EQ(NANOGetInt64(*BMSBundleNPAUserAttribute(bundle), UserAttributeField::kIntValue), 0);

  dma.adUserDataDenied = true;
  BMSApplyDMAConsent(bundle, dma, attribute("_npa", 1), false);
  EXPECT_EQ(NANOGetString(bundle, B::kCorePlatformServices), "ab");
  BMSApplyDMAConsent(bundle, dma, attribute("_npa", 1), true);
  EXPECT_EQ(NANOGetString(bundle, B::kCorePlatformServices), "-");
  EXPECT_EQ(NANOGetInt64(*BMSBundleNPAUserAttribute(bundle), UserAttributeField::kIntValue), 1);
  EXPECT_EQ(attributeNames(bundle), (std::vector<std::string>{"_npa", "level"}));

  BMSPBMeasurementBundle outside;
  BMSApplyDMAConsent(outside, {"diag", false, false, {"a"}}, std::nullopt, true);
  EXPECT_FALSE(NANOHasField(outside, B::kCorePlatformServices));
  BMSApplyDMAConsent(outside, {"diag", false, false, {}}, attribute("_npa", 0), true);
  EXPECT_EQ(NANOGetString(outside, B::kCorePlatformServices), "-");
  EXPECT_EQ(attributeNames(outside), (std::vector<std::string>{"_npa"}));
}

TEST(BundleConsent, DataControlsWithholdWhatTheyName) {
  BMSPBMeasurementBundle bundle;
  NANOSetString(bundle, B::kAppInstanceID, "INSTANCE");
  NANOSetString(bundle, B::kOSVersion, "14.2.1");
  NANOSetString(bundle, B::kDeviceModel, "Desktop1,1");
  NANOSetString(bundle, B::kSessionStitchingToken, "TOKEN");
  NANOSetArray(bundle, B::kUserAttributes, std::vector{attribute("_id", 1), attribute("level", 3)});
  BMSApplyDataControls(bundle, {"app_instance_id", "device_info", "enhanced_user_id", "user_id"},
                       fullIdentity());
  EXPECT_FALSE(NANOHasField(bundle, B::kAppInstanceID));
  EXPECT_EQ(NANOGetString(bundle, B::kEphemeralAppInstanceID), "EPHEMERAL");
  EXPECT_EQ(NANOGetString(bundle, B::kOSVersion), "14");
  EXPECT_FALSE(NANOHasField(bundle, B::kDeviceModel));
  EXPECT_FALSE(NANOHasField(bundle, B::kSessionStitchingToken));
  EXPECT_EQ(attributeNames(bundle), (std::vector<std::string>{"level"}));
  EXPECT_EQ(NANOGetArray<std::string>(bundle, B::kDataControls),
            (std::vector<std::string>{"app_instance_id", "device_info", "enhanced_user_id", "user_id"}));

  BMSPBMeasurementBundle denied;
  NANOSetString(denied, B::kConsentSignals, "C1GD");
  BMSApplyDataControls(denied, {"app_instance_id"}, fullIdentity());
  EXPECT_FALSE(NANOHasField(denied, B::kEphemeralAppInstanceID));

  BMSPBMeasurementBundle untouched;
  BMSApplyDataControls(untouched, {}, fullIdentity());
  EXPECT_FALSE(NANOHasField(untouched, B::kDataControls));
}

TEST(BundleConsent, BundlesShareConsentStateFieldByField) {
  BMSPBMeasurementBundle first;
  NANOSetString(first, B::kConsentSignals, "C1GG");
  NANOSetArray(first, B::kUserAttributes, std::vector{attribute("_npa", 1)});
  BMSPBMeasurementBundle second = first;
  EXPECT_TRUE(BMSBundlesShareConsentState(&first, &second));
  EXPECT_FALSE(BMSBundlesShareConsentState(&first, nullptr));

  NANOSetArray(second, B::kUserAttributes, std::vector{attribute("_npa", 0)});
  EXPECT_FALSE(BMSBundlesShareConsentState(&first, &second));
  second = first;
  NANOSetString(second, B::kConsentDiagnostics, "x");
  EXPECT_FALSE(BMSBundlesShareConsentState(&first, &second));
  second = first;
  NANOSetBool(second, B::kDMARegion, true);
  EXPECT_FALSE(BMSBundlesShareConsentState(&first, &second));
}

TEST(BundleConsent, FirstOpenAndRealtimeAreFoundAmongTheEvents) {
  BMSPBEvent plain;
  NANOSetString(plain, EventField::kName, "level_up");
  BMSPBEvent realtime = plain;
  BMSPBEventParam mark;
  NANOSetString(mark, EventParamField::kName, "_r");
  NANOSetInt64(mark, EventParamField::kIntValue, 1);
  NANOSetArray(realtime, EventField::kParams, std::vector{mark});
  EXPECT_FALSE(BMSEventsContainRealtime({plain}));
  EXPECT_TRUE(BMSEventsContainRealtime({plain, realtime}));

  BMSPBMeasurementBundle bundle;
  NANOSetArray(bundle, B::kEvents, std::vector{plain});
  EXPECT_FALSE(BMSBundleContainsFirstOpen(bundle));
  BMSPBEvent firstOpen;
  NANOSetString(firstOpen, EventField::kName, "_f");
  NANOSetArray(bundle, B::kEvents, std::vector{plain, firstOpen});
  EXPECT_TRUE(BMSBundleContainsFirstOpen(bundle));
}

}  // namespace
}  // namespace beacon
