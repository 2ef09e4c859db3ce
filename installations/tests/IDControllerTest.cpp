// The installation lifecycle against a scripted installations service.
#include <gtest/gtest.h>

#include <chrono>
#include <deque>

#include "installations/BCNInstallationsErrorUtil.h"
#include "installations/tests/InstallationsTestSupport.h"
#include "platform/time/ManualClock.h"
#include "sdk-core/BCNApp.h"

namespace beacon {
namespace {

using Item = BCNInstallationsItem;

class IDControllerTest : public testing::InstallationsTest {
 protected:
  std::shared_ptr<BCNInstallationsIDController> makeController(const std::string& appName) {
    std::shared_ptr<platform::ManualClock> clock = dispatch.sharedClock();
    BCNInstallationsIDController::Collaborators collaborators{
        store,
        api,
        std::make_shared<BCNInstallationsIIDStore>(),
        std::make_shared<BCNInstallationsIIDTokenStore>("123456789012"),
        std::make_shared<BCNInstallationsBackoffController>([clock] { return clock->now(); }),
        clock};
    return BCNInstallationsIDController::initWithCorvaneAppID(testing::kTestAppID, appName, collaborators);
  }
  platform::Result<Item> stored(const std::string& appName = "app") {
    return settle(store->installationForAppID(testing::kTestAppID, appName));
  }
  // A registered record whose token expires `secondsLeft` from now.
  void storeRegistered(double secondsLeft) {
    Item item(testing::kTestAppID, "app");
    item.beaconInstallationID = "cRegisteredRegistered1";
    item.refreshToken = "refresh";
    item.authToken.status = 1;
    item.authToken.token = "old-token";
    item.authToken.expirationDate =
        platform::Date{dispatch.clock().now().secondsSinceReferenceDate + secondsLeft};
    item.registrationStatus = kBCNInstallationsRegistrationStatusRegistered;
    ASSERT_TRUE(settle(store->saveInstallation(item)).ok());
  }

  std::shared_ptr<BCNInstallationsStore> store = std::make_shared<BCNInstallationsStore>(
      CVUKeychainStorage::initWithService(
          BCNInstallationsIDController::keychainServiceWithAppID(testing::kTestAppID)),
      std::nullopt);
  std::shared_ptr<testing::ScriptedAPIService> api =
      std::make_shared<testing::ScriptedAPIService>(dispatch.clock());
  testing::IDChangeRecorder changes;
};

TEST_F(IDControllerTest, ConcurrentRequestsShareOneNewInstallation) {
  auto controller = makeController("app");
  CVPPromise<Item> first = controller->getInstallationItem();
  CVPPromise<Item> second = controller->getInstallationItem();
  auto a = settle(first);
  auto b = settle(second);
  ASSERT_TRUE(a.ok()) << a.error().debugDescription();
  EXPECT_EQ(a->beaconInstallationID, b->beaconInstallationID);
  EXPECT_EQ(a->beaconInstallationID->size(), 22u);
  EXPECT_EQ(changes.appNames(), std::vector<std::string>{"app"});
  // Registration started by itself and its result is stored.
  EXPECT_EQ(api->registered.size(), 1u);
  EXPECT_EQ(stored()->registrationStatus, kBCNInstallationsRegistrationStatusRegistered);
  EXPECT_EQ(stored()->beaconInstallationID, a->beaconInstallationID);
}

TEST_F(IDControllerTest, ASecondControllerReusesTheStoredInstallation) {
  auto first = settle(makeController("app")->getAuthTokenForcingRefresh(false));
  ASSERT_TRUE(first.ok());
  auto second = settle(makeController("app")->getAuthTokenForcingRefresh(false));
  ASSERT_TRUE(second.ok());
  EXPECT_EQ(second->beaconInstallationID, first->beaconInstallationID);
  EXPECT_EQ(api->registered.size(), 1u);
  EXPECT_TRUE(api->refreshed.empty());
}

TEST_F(IDControllerTest, ATokenIsRenewedWhenLessThanAnHourIsLeft) {
  storeRegistered(3600);
  auto controller = makeController("app");
  EXPECT_EQ(settle(controller->getAuthTokenForcingRefresh(false))->authToken.token, "old-token");
  EXPECT_TRUE(api->refreshed.empty());

  storeRegistered(3599);
  controller = makeController("app");
  auto renewed = settle(controller->getAuthTokenForcingRefresh(false));
  EXPECT_EQ(renewed->authToken.token, "token");
  EXPECT_EQ(api->refreshed.size(), 1u);
  EXPECT_EQ(stored()->authToken.token, "token");
}

TEST_F(IDControllerTest, ForcedRequestsNeverJoinUnforcedOnes) {
  storeRegistered(7200);
  auto controller = makeController("app");
  CVPPromise<Item> unforced = controller->getAuthTokenForcingRefresh(false);
  CVPPromise<Item> forced = controller->getAuthTokenForcingRefresh(true);
  CVPPromise<Item> joining = controller->getAuthTokenForcingRefresh(false);
  EXPECT_EQ(settle(unforced)->authToken.token, "old-token");
  EXPECT_EQ(settle(forced)->authToken.token, "token");
  EXPECT_EQ(settle(joining)->authToken.token, "token");  // joined the forced one
  EXPECT_EQ(api->refreshed.size(), 1u);
}

TEST_F(IDControllerTest, A401OnRefreshReplacesTheInstallationOnce) {
  storeRegistered(10);
  api->refreshScript = {401, 0};
  auto controller = makeController("app");
  auto renewed = settle(controller->getAuthTokenForcingRefresh(false));
  ASSERT_TRUE(renewed.ok()) << renewed.error().debugDescription();
  EXPECT_NE(renewed->beaconInstallationID, "cRegisteredRegistered1");
  EXPECT_EQ(renewed->registrationStatus, kBCNInstallationsRegistrationStatusRegistered);
  EXPECT_EQ(api->registered.size(), 1u);
  // One for the deletion, one for the new ID.
  EXPECT_EQ(changes.appNames(), (std::vector<std::string>{"app", "app"}));
  EXPECT_EQ(stored()->beaconInstallationID, renewed->beaconInstallationID);
}

TEST_F(IDControllerTest, AServiceThatAnswers401ForeverCannotLoop) {
  api->registerScript = {401};
  auto controller = makeController("app");
  auto token = settle(controller->getAuthTokenForcingRefresh(true));
  ASSERT_FALSE(token.ok());
  EXPECT_TRUE(BCNInstallationsErrorUtil::isAPIError(token.error(), 401));
  // The forced operation and the registration its first lookup starts may each regenerate once.
  EXPECT_LE(api->registered.size(), 4u);
  dispatch.drain();
  EXPECT_LE(api->registered.size(), 4u);
}

TEST_F(IDControllerTest, AServerChosenIDIsStoredAndAnnounced) {
  api->serverChosenID = "fServerServerServerSer";
  auto controller = makeController("app");
  auto token = settle(controller->getAuthTokenForcingRefresh(false));
  EXPECT_EQ(token->beaconInstallationID, "fServerServerServerSer");
  EXPECT_EQ(stored()->beaconInstallationID, "fServerServerServerSer");
  EXPECT_EQ(changes.appNames(), (std::vector<std::string>{"app", "app"}));
}

TEST_F(IDControllerTest, ServerTroubleBacksOffAndARefusedRequestFailsWithCode2) {
  api->registerScript = {503};
  auto controller = makeController("app");
  auto first = settle(controller->getAuthTokenForcingRefresh(false));
  EXPECT_TRUE(BCNInstallationsErrorUtil::isAPIError(first.error(), 503));
  std::size_t calls = api->registered.size();
  auto refused = settle(controller->getAuthTokenForcingRefresh(false));
  ASSERT_FALSE(refused.ok());
  EXPECT_EQ(refused.error().code, kBCNInstallationsErrorCodeServerUnreachable);
  EXPECT_EQ(refused.error().description, "Too many server requests.");
  EXPECT_EQ(api->registered.size(), calls);
  dispatch.clock().advance(std::chrono::seconds(3));
  api->registerScript = {0};
  EXPECT_TRUE(settle(controller->getAuthTokenForcingRefresh(false)).ok());
}

TEST_F(IDControllerTest, A400WaitsADay) {
  api->registerScript = {400};
  auto controller = makeController("app");
  EXPECT_FALSE(settle(controller->getAuthTokenForcingRefresh(false)).ok());
  api->registerScript = {0};
  dispatch.clock().advance(std::chrono::hours(23));
  EXPECT_EQ(settle(controller->getAuthTokenForcingRefresh(false)).error().code, 2);
  dispatch.clock().advance(std::chrono::hours(1));
  EXPECT_TRUE(settle(controller->getAuthTokenForcingRefresh(false)).ok());
}

TEST_F(IDControllerTest, DeletingWithNothingStoredFailsWithoutARequest) {
  auto controller = makeController("app");
  auto deleted = settle(controller->deleteInstallation());
  ASSERT_FALSE(deleted.ok());
  EXPECT_EQ(deleted.error().code, 0);
  EXPECT_NE(deleted.error().description.find("not found"), std::string::npos);
  EXPECT_TRUE(api->deleted.empty());
}

TEST_F(IDControllerTest, DeletingAnUnregisteredInstallationNeedsNoRequest) {
  Item item(testing::kTestAppID, "app");
  item.beaconInstallationID = "cUnregisteredUnregiste";
  item.registrationStatus = kBCNInstallationsRegistrationStatusUnregistered;
  ASSERT_TRUE(settle(store->saveInstallation(item)).ok());
  ASSERT_TRUE(settle(makeController("app")->deleteInstallation()).ok());
  EXPECT_TRUE(api->deleted.empty());
  EXPECT_FALSE(stored().ok());
  EXPECT_EQ(changes.appNames(), std::vector<std::string>{"app"});
}

TEST_F(IDControllerTest, DeletingAnInstallationTheServiceNoLongerKnowsSucceeds) {
  storeRegistered(7200);
  api->deleteScript = {404};
  ASSERT_TRUE(settle(makeController("app")->deleteInstallation()).ok());
  EXPECT_EQ(api->deleted.size(), 1u);
  EXPECT_FALSE(stored().ok());

  storeRegistered(7200);
  api->deleteScript = {500};
  auto failed = settle(makeController("app")->deleteInstallation());
  EXPECT_TRUE(BCNInstallationsErrorUtil::isAPIError(failed.error(), 500));
  EXPECT_TRUE(stored().ok());
}

TEST_F(IDControllerTest, AnInvalidStoredRecordIsReplaced) {
  Item broken(testing::kTestAppID, "app");
  broken.beaconInstallationID = "cBrokenBrokenBrokenBro";
  broken.registrationStatus = kBCNInstallationsRegistrationStatusRegistered;  // but no tokens
  ASSERT_TRUE(settle(store->saveInstallation(broken)).ok());
  auto item = settle(makeController("app")->getInstallationItem());
  ASSERT_TRUE(item.ok());
  EXPECT_NE(item->beaconInstallationID, "cBrokenBrokenBrokenBro");
}

TEST_F(IDControllerTest, TheDefaultAppTakesOverTheLegacyIdentity) {
  testing::writeLegacyMarker(platform::Dictionary{{"|S|cre", "x"}});
  testing::addLegacyKeys(*keychain);
  testing::addLegacyToken(*keychain, "legacy-token");
  auto controller = makeController(kBCNDefaultAppName);
  auto token = settle(controller->getAuthTokenForcingRefresh(false));
  ASSERT_TRUE(token.ok()) << token.error().debugDescription();
  EXPECT_EQ(token->beaconInstallationID,
            BCNInstallationsIIDStore::IIDWithPublicKeyData(testing::kLegacyPublicKey));
  ASSERT_EQ(api->registered.size(), 1u);
  EXPECT_EQ(api->registered[0].IIDDefaultToken, "legacy-token");
  EXPECT_FALSE(token->IIDDefaultToken);

  // Deleting the installation deletes the legacy identity with it.
  ASSERT_TRUE(settle(controller->deleteInstallation()).ok());
  EXPECT_EQ(keychain->copyMatching(testing::legacyKeyQuery(true)).status, platform::kKeychainItemNotFound);
}

// The record is gone although the legacy keys stayed: the ID did change, so it is announced, and
// the failure reaches the caller.
TEST_F(IDControllerTest, ALegacyIdentityThatWillNotGoStillLetsTheDeletionBeHeard) {
  testing::writeLegacyMarker(platform::Dictionary{{"|S|cre", "x"}});
  testing::addLegacyKeys(*keychain);
  testing::addLegacyToken(*keychain, "legacy-token");
  auto controller = makeController(kBCNDefaultAppName);
  ASSERT_TRUE(settle(controller->getAuthTokenForcingRefresh(false)).ok());
  std::size_t announced = changes.appNames().size();

  keychain->refuseKeyRemovals = true;
  auto deleted = settle(controller->deleteInstallation());
  ASSERT_FALSE(deleted.ok());
  EXPECT_EQ(deleted.error().code, kBCNInstallationsErrorCodeKeychain);
  EXPECT_FALSE(stored(kBCNDefaultAppName).ok());
  EXPECT_EQ(changes.appNames().size(), announced + 1);
}

TEST_F(IDControllerTest, OtherAppsNeverTouchTheLegacyIdentity) {
  testing::writeLegacyMarker(platform::Dictionary{{"|S|cre", "x"}});
  testing::addLegacyKeys(*keychain);
  testing::addLegacyToken(*keychain, "legacy-token");
  auto controller = makeController("app");
  auto token = settle(controller->getAuthTokenForcingRefresh(false));
  ASSERT_TRUE(token.ok());
  EXPECT_EQ(token->beaconInstallationID->size(), 22u);
  EXPECT_FALSE(api->registered[0].IIDDefaultToken);
  ASSERT_TRUE(settle(controller->deleteInstallation()).ok());
  EXPECT_EQ(keychain->copyMatching(testing::legacyKeyQuery(true)).status, platform::kKeychainSuccess);
}

TEST_F(IDControllerTest, WithoutTheLegacyTokenTheDefaultAppGetsANewID) {
  testing::writeLegacyMarker(platform::Dictionary{{"|S|cre", "x"}});
  testing::addLegacyKeys(*keychain);
  auto item = settle(makeController(kBCNDefaultAppName)->getInstallationItem());
  ASSERT_TRUE(item.ok());
  EXPECT_EQ(item->beaconInstallationID->size(), 22u);
}

// The store read under way when the controller winds down is waited for; the steps after it, and
// every later operation, are refused: nothing is stored and nothing is sent.
TEST_F(IDControllerTest, AWoundDownControllerStoresAndSendsNothing) {
  auto controller = makeController("app");
  CVPPromise<Item> pending = controller->getInstallationItem();

  EXPECT_TRUE(controller->windDown(std::chrono::seconds(5)));

  EXPECT_FALSE(settle(pending).ok());
  EXPECT_FALSE(settle(controller->getAuthTokenForcingRefresh(true)).ok());
  EXPECT_FALSE(settle(controller->deleteInstallation()).ok());
  EXPECT_FALSE(stored().ok());
  EXPECT_TRUE(api->registered.empty());
  EXPECT_TRUE(api->refreshed.empty());
  EXPECT_TRUE(changes.appNames().empty());
}

}  // namespace
}  // namespace beacon
