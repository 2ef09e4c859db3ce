// The raw-event metadata message: what it holds, in a form that gives equal facts equal bytes.

#include "measurement/pipeline/BMSRawEventMetadata.h"

#include <gtest/gtest.h>

#include "measurement/engine/BMSDigest.h"
#include "measurement/engine/testing/EngineTestSupport.h"
#include "measurement/messages/NANOAccessors.h"
#include "measurement/pipeline/tests/BundleTestSupport.h"

namespace beacon {
namespace {

namespace B = MeasurementBundleField;
using testing::attributeNames;

BMSRawEventMetadataFacts facts() {
  BMSRawEventMetadataFacts facts;
  facts.appID = "com.example.velloran";
  facts.appVersion = "2.4.1";
  facts.appVersionMajor = 2;
  facts.appVersionMinor = 4;
  facts.appVersionRelease = 1;
  facts.cnpAppID = "1:123:macos:abc";
  facts.adReachAppID = "ca-app-1";
  facts.libraryVersion = 120300;
  facts.installationID = "fid-1";
  facts.sessionStitchingToken = "token";
  facts.consentSignals = "C111";
  facts.identifiers.appInstanceID = "instance-1";
  facts.deviceModel = "x86_64";
  facts.deviceOSVersion = "6.1.0";
  facts.timeZoneOffsetMinutes = 60;
  facts.userDefaultLanguage = "de-de";
  return facts;
}

BMSUserAttribute userAttribute(const std::string& name, std::int64_t value) {
  return *BMSUserAttribute::initWithOrigin("auto", name, BMSValue::initWithInt64(value), 100);
}

TEST(RawEventMetadataTest, HoldsTheAppDeviceAndIdentityFacts) {
  testing::ScopedEngineServices services;
  const BMSPBMeasurementBundle metadata = BMSCreateRawEventMetadata(facts(), {});
  EXPECT_EQ(NANOGetString(metadata, B::kPlatform), "macos");
  EXPECT_EQ(NANOGetInt32(metadata, B::kProtocolVersion), 1);
  EXPECT_EQ(NANOGetString(metadata, B::kAppID), "com.example.velloran");
  EXPECT_EQ(NANOGetString(metadata, B::kInstallSource), "manual_install");
  EXPECT_EQ(NANOGetString(metadata, B::kAppVersion), "2.4.1");
  EXPECT_EQ(NANOGetString(metadata, B::kCNPAppID), "1:123:macos:abc");
  EXPECT_FALSE(NANOHasField(metadata, B::kAdReachAppID));
  EXPECT_EQ(NANOGetInt64(metadata, B::kLibraryVersion), 120300);
  EXPECT_EQ(NANOGetString(metadata, B::kInstallationID), "fid-1");
  EXPECT_EQ(NANOGetString(metadata, B::kSessionStitchingToken), "token");
  EXPECT_EQ(NANOGetInt32(metadata, B::kAppVersionMajor), 2);
  EXPECT_EQ(NANOGetInt32(metadata, B::kAppVersionRelease), 1);
  EXPECT_EQ(NANOGetString(metadata, B::kConsentSignals), "C111");
  EXPECT_EQ(NANOGetString(metadata, B::kAppInstanceID), "instance-1");
  EXPECT_EQ(NANOGetString(metadata, B::kDeviceModel), "x86_64");
  EXPECT_EQ(NANOGetString(metadata, B::kOSVersion), "6.1.0");
  EXPECT_EQ(NANOGetInt32(metadata, B::kTimeZoneOffsetMinutes), 60);
  EXPECT_EQ(NANOGetString(metadata, B::kLanguage), "de-de");
  EXPECT_FALSE(NANOHasField(metadata, B::kUserAttributes));
  EXPECT_FALSE(NANOHasField(metadata, B::kConsentDiagnostics));
}

TEST(RawEventMetadataTest, TheAdReachIDStandsInOnlyWithoutAnAppIDAndStoreBuildsHaveNoInstallSource) {
  BMSRawEventMetadataFacts store = facts();
  store.cnpAppID = "";
  store.isFromAppStore = true;
  const BMSPBMeasurementBundle metadata = BMSCreateRawEventMetadata(store, {});
  EXPECT_FALSE(NANOHasField(metadata, B::kCNPAppID));
  EXPECT_EQ(NANOGetString(metadata, B::kAdReachAppID), "ca-app-1");
  EXPECT_FALSE(NANOHasField(metadata, B::kInstallSource));
}

TEST(RawEventMetadataTest, EqualFactsGiveEqualFingerprintsAndAnyChangeANewOne) {
  const auto fingerprint = [](const BMSRawEventMetadataFacts& facts) {
    return BMS64LSBMD5(*BMSCreateRawEventMetadata(facts, {userAttribute("_fot", 1)}).protoBuffer());
  };
  EXPECT_EQ(fingerprint(facts()), fingerprint(facts()));
  BMSRawEventMetadataFacts denied = facts();
  denied.consentSignals = "C110";
  EXPECT_NE(fingerprint(facts()), fingerprint(denied));
}

TEST(RawEventMetadataTest, WithDMATheStoredNPAJoinsAttributesThatLackIt) {
  BMSRawEventMetadataFacts dma = facts();
  dma.DMAConsentEnabled = true;
  dma.dma.consentDiagnostics = "G1--";
  BMSPBUserAttribute storedNPA = userAttribute("_npa", 1).protoUserAttribute();
  dma.storedNPA = storedNPA;

  const BMSPBMeasurementBundle withoutNPA = BMSCreateRawEventMetadata(dma, {userAttribute("_fot", 1)});
  EXPECT_EQ(attributeNames(withoutNPA), (std::vector<std::string>{"_fot", "_npa"}));
  EXPECT_EQ(NANOGetString(withoutNPA, B::kConsentDiagnostics), "G1--");

  const BMSPBMeasurementBundle withNPA =
      BMSCreateRawEventMetadata(dma, {userAttribute("_npa", 0), userAttribute("_fot", 1)});
  EXPECT_EQ(attributeNames(withNPA), (std::vector<std::string>{"_npa", "_fot"}));

  // Without attributes the stored one is not added either.
  EXPECT_FALSE(NANOHasField(BMSCreateRawEventMetadata(dma, {}), B::kUserAttributes));
  dma.DMAConsentEnabled = false;
  EXPECT_EQ(attributeNames(BMSCreateRawEventMetadata(dma, {userAttribute("_fot", 1)})),
            std::vector<std::string>{"_fot"});
}

TEST(RawEventMetadataTest, TheBuilderHandsOutWhatTheFactsAndAttributesOfEachCallBuild) {
  testing::ScopedEngineServices services;
  BMSRawEventMetadataBuilder builder;
  std::optional<platform::Bytes> previous;
  int steps = 0;
  // Each step changes the message (so a kept one would be wrong) except where `changes` is false.
  const auto step = [&](const BMSRawEventMetadataFacts& facts,
                        const std::vector<BMSUserAttribute>& attributes, bool changes) {
    SCOPED_TRACE(++steps);
    const std::optional<platform::Bytes> built = builder.metadata(facts, attributes).protoBuffer();
    EXPECT_EQ(built, BMSCreateRawEventMetadata(facts, attributes).protoBuffer());
    EXPECT_EQ(built != previous, changes);
    previous = built;
  };
  const auto timed = [](double value, double at) {
    return *BMSUserAttribute::initWithOrigin("auto", "_ltv", BMSValue::initWithDouble(value), at);
  };
  BMSRawEventMetadataFacts changed = facts();
  step(changed, {userAttribute("_fot", 1)}, true);
  step(changed, {userAttribute("_fot", 1)}, false);
  changed.timeZoneOffsetMinutes = 120;
  step(changed, {userAttribute("_fot", 1)}, true);
  changed.userDefaultLanguage = "en-us";
  step(changed, {userAttribute("_fot", 1)}, true);
  changed.identifiers.appInstanceID = "instance-2";
  step(changed, {userAttribute("_fot", 1)}, true);
  changed.consentSignals = "C100";
  step(changed, {userAttribute("_fot", 1)}, true);
  changed.DMAConsentEnabled = true;
  changed.dma.corePlatformServices = {"psm"};
  step(changed, {userAttribute("_fot", 1)}, true);
  step(changed, {userAttribute("_fot", 2)}, true);
  step(changed, {userAttribute("_fot", 2), timed(0.0, 100)}, true);
  step(changed, {userAttribute("_fot", 2), timed(-0.0, 100)}, true);
  step(changed, {userAttribute("_fot", 2), timed(-0.0, 101)}, true);
  step(changed, {timed(-0.0, 101)}, true);
  step(facts(), {userAttribute("_fot", 1)}, true);
}

}  // namespace
}  // namespace beacon
