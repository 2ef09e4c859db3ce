#include "measurement/runtime/BMSIdentity.h"

#include <gtest/gtest.h>

#include "AnalyticsTestWorld.h"
#include "measurement/engine/BMSDigest.h"
#include "measurement/engine/BMSUserDefaults.h"
#include "measurement/runtime/BMSIdentitySupport.h"
#include "measurement/storage/BMSPersistedConfig.h"
#include "platform/testing/TestEnvironment.h"

namespace beacon {
namespace {

using namespace std::chrono_literals;

class FakeIdentitySupport : public BMSIdentitySupport {
 public:
  bool hasAppDataConsentStatus() override { return true; }
  std::uint64_t appDataConsentStatus() override { return status; }
  bool hasLimitedAdTracking() override { return true; }
  bool limitedAdTracking() override { return !deviceID; }
  std::optional<std::string> resettableDeviceID() override {
    ++reads;
    return deviceID;
  }

  std::uint64_t status = 3;
  std::optional<std::string> deviceID;
  int reads = 0;
};

class IdentityTest : public ::testing::Test {
 protected:
  std::shared_ptr<BMSIdentity> makeIdentity() {
    return BMSIdentity::initWithCollaborators(
        world.context(), {persisted, &support, [this] { return settings; },
                          [this] { return analyticsDenied; }, [this] { return adDenied; }});
  }

  platform::testing::TemporaryUser user;
  testing::AnalyticsTestWorld world;
  std::shared_ptr<BMSPersistedConfig> persisted = std::make_shared<BMSPersistedConfig>(
      std::make_shared<BMSUserDefaults>("identity-tests"), [] { return 0.5; });
  FakeIdentitySupport support;
  BMSIdentity::RefreshSettings settings{0, false};
  bool analyticsDenied = false;
  bool adDenied = false;
};

TEST_F(IdentityTest, CreationDrawsAndKeepsAnAppInstanceID) {
  auto identity = makeIdentity();
  const std::optional<std::string> first = identity->appInstanceID();
  ASSERT_TRUE(first);
  EXPECT_EQ(first->size(), 32u);
  EXPECT_EQ(makeIdentity()->appInstanceID(), first);  // a later launch keeps it
}

TEST_F(IdentityTest, NoAppInstanceIDWhileAnalyticsStorageIsDenied) {
  analyticsDenied = true;
  auto identity = makeIdentity();
  EXPECT_EQ(identity->appInstanceID(), std::nullopt);
  EXPECT_EQ(persisted->appInstanceID(), std::nullopt);
}

TEST_F(IdentityTest, FirstAdvertisingIDKeepsTheInstanceAndANewOneReplacesIt) {
  auto identity = makeIdentity();
  const std::optional<std::string> original = identity->appInstanceID();
  support.deviceID = "6D92078A-8246-4BA4-AE5B-76104861E7DC";
  identity->updateIdentifiersAndWait();
  EXPECT_EQ(identity->appInstanceID(), original);
  EXPECT_EQ(identity->hashedResettableDeviceID(), BMSMD5String(*support.deviceID));
  EXPECT_FALSE(identity->shouldSetLastAdvertisingIDResetUserProperty());

  support.deviceID = "0F1A2B3C-8246-4BA4-AE5B-76104861E7DC";
  identity->updateIdentifiersAndWait();
  EXPECT_NE(identity->appInstanceID(), original);
  EXPECT_TRUE(identity->shouldSetLastAdvertisingIDResetUserProperty());
  EXPECT_EQ(identity->resettableDeviceID(), support.deviceID);
}

TEST_F(IdentityTest, AdStorageDeniedReadsNoIdentifierAndWritesNoHash) {
  adDenied = true;
  support.deviceID = "6D92078A-8246-4BA4-AE5B-76104861E7DC";
  auto identity = makeIdentity();
  identity->updateIdentifiersAndWait();
  EXPECT_EQ(support.reads, 0);
  EXPECT_EQ(persisted->hashedResettableDeviceID(), std::nullopt);
  EXPECT_EQ(identity->hashedResettableDeviceID(), std::nullopt);
  EXPECT_EQ(identity->resettableDeviceID(), std::nullopt);
}

TEST_F(IdentityTest, GateKeepsTheLastIdentifierWithoutReadingANewOne) {
  support.deviceID = "6D92078A-8246-4BA4-AE5B-76104861E7DC";
  auto identity = makeIdentity();
  identity->updateIdentifiersAndWait();
  settings.gateIDFAOnATTMASEnabled = true;
  support.status = 2;  // denied
  const int readsBefore = support.reads;
  support.deviceID = "0F1A2B3C-8246-4BA4-AE5B-76104861E7DC";
  EXPECT_EQ(identity->resettableDeviceID(), "6D92078A-8246-4BA4-AE5B-76104861E7DC");
  EXPECT_EQ(support.reads, readsBefore);
  EXPECT_EQ(identity->appleConsentStatus(), 2u);
}

TEST_F(IdentityTest, RefreshWithinTheCacheTimeIsSkipped) {
  settings.adIDCacheTime = 60;
  support.deviceID = "6D92078A-8246-4BA4-AE5B-76104861E7DC";
  auto identity = makeIdentity();
  identity->updateIdentifiersAndWait();
  const int reads = support.reads;
  identity->updateIdentifiersAndWait();
  EXPECT_EQ(support.reads, reads);
  world.clock().advance(60s);
  identity->updateIdentifiersAndWait();
  EXPECT_EQ(support.reads, reads + 1);
}

TEST_F(IdentityTest, AllZeroIdentifierClearsTheStoredOne) {
  support.deviceID = "6D92078A-8246-4BA4-AE5B-76104861E7DC";
  auto identity = makeIdentity();
  identity->updateIdentifiersAndWait();
  support.deviceID = kBMSZeroResettableDeviceID;
  EXPECT_EQ(identity->resettableDeviceID(), std::nullopt);
}

TEST_F(IdentityTest, AppIDsTakeTheFirstNonEmptyValueOfTheProcess) {
  auto identity = makeIdentity();
  identity->setAppIDFromCNP("");
  identity->setAppIDFromCNP("1:1:ios:aa");
  identity->setAppIDFromCNP("1:1:ios:bb");
  identity->setAppIDFromAdReach("");
  identity->setAppIDFromAdReach("ar-1");
  identity->setAppIDFromAdReach("ar-2");
  EXPECT_EQ(identity->appIDFromCNP(), "1:1:ios:aa");
  EXPECT_EQ(identity->appIDFromAdReach(), "ar-1");
  EXPECT_EQ(world.log().codes(), (std::vector<std::int64_t>{20005, 20007}));
}

TEST_F(IdentityTest, DiversionKeyIsFiveCharactersAndKept) {
  auto identity = makeIdentity();
  const std::string key = identity->diversionKey();
  EXPECT_EQ(key.size(), 5u);
  EXPECT_EQ(identity->diversionKey(), key);
  EXPECT_EQ(persisted->diversionKey(), key);
}

TEST_F(IdentityTest, EphemeralIDIsRedrawnOnlyAfterAReset) {
  auto identity = makeIdentity();
  const std::string first = identity->ephemeralAppInstanceID();
  EXPECT_EQ(identity->ephemeralAppInstanceID(), first);
  identity->resetEphemeralAppInstanceID();
  EXPECT_NE(identity->ephemeralAppInstanceID(), first);
}

TEST_F(IdentityTest, StitchingTokenIsWithheldWhileAnalyticsStorageIsDenied) {
  auto identity = makeIdentity();
  EXPECT_TRUE(identity->sessionStitchingTokenWithSessionNumber(1, false, false));
  analyticsDenied = true;
  EXPECT_EQ(identity->sessionStitchingTokenWithSessionNumber(1, false, false), std::nullopt);
}

TEST_F(IdentityTest, SnapshotSeesWritesQueuedBeforeItAndItsOwnRefresh) {
  auto identity = makeIdentity();
  identity->setAppInstanceID("QUEUEDBEFORE");
  identity->setShouldSetLastAdvertisingIDResetUserProperty(true);
  support.deviceID = "6D92078A-8246-4BA4-AE5B-76104861E7DC";
  const BMSIdentity::Snapshot snapshot =
      identity->refreshedSnapshot(BMSIdentity::SessionFacts{4, false, [] { return false; }});
  EXPECT_EQ(snapshot.appInstanceID, "QUEUEDBEFORE");
  EXPECT_TRUE(snapshot.shouldSetLastAdvertisingIDResetUserProperty);
  EXPECT_EQ(snapshot.resettableDeviceID, support.deviceID);
  EXPECT_EQ(snapshot.appleConsentStatus, 3u);
  EXPECT_TRUE(snapshot.hasLimitedAdTracking);
  EXPECT_FALSE(snapshot.limitedAdTracking);
  // The same answers as the reads one by one.
  EXPECT_EQ(snapshot.ephemeralAppInstanceID, identity->ephemeralAppInstanceID());
  EXPECT_EQ(snapshot.sessionStitchingToken,
            identity->sessionStitchingTokenWithSessionNumber(4, false, false));
  EXPECT_EQ(identity->refreshedSnapshot(std::nullopt).sessionStitchingToken, std::nullopt);
}

TEST_F(IdentityTest, SnapshotWithholdsIdentifiersWhileStorageIsDenied) {
  analyticsDenied = true;
  adDenied = true;
  support.deviceID = "6D92078A-8246-4BA4-AE5B-76104861E7DC";
  const BMSIdentity::Snapshot snapshot =
      makeIdentity()->refreshedSnapshot(BMSIdentity::SessionFacts{1, false, [] { return false; }});
  EXPECT_EQ(snapshot.appInstanceID, std::nullopt);
  EXPECT_EQ(snapshot.resettableDeviceID, std::nullopt);
  EXPECT_EQ(snapshot.sessionStitchingToken, std::nullopt);
  EXPECT_EQ(support.reads, 0);
}

TEST_F(IdentityTest, WithoutPersistedStoreThereIsNoIdentity) {
  EXPECT_EQ(BMSIdentity::initWithCollaborators(world.context(), {}), nullptr);
  EXPECT_EQ(world.log().codes(), std::vector<std::int64_t>{20004});
}

}  // namespace
}  // namespace beacon
