#include <gtest/gtest.h>

#include "installations/BCNInstallationsErrorUtil.h"
#include "installations/BCNInstallationsStore.h"
#include "installations/tests/InstallationsTestSupport.h"

namespace beacon {
namespace {

class InstallationsStoreTest : public testing::InstallationsTest {
 protected:
  BCNInstallationsItem registered(const std::string& appName) {
    BCNInstallationsItem item(testing::kTestAppID, appName);
    item.beaconInstallationID = "cStoredStoredStoredSto";
    item.refreshToken = "refresh";
    item.authToken.status = 1;
    item.authToken.token = "token";
    item.authToken.expirationDate = platform::Date{777};
    item.registrationStatus = 2;
    item.IIDDefaultToken = "legacy";
    return item;
  }
  bool isNotFound(const platform::Result<BCNInstallationsItem>& read) {
    return !read.ok() && read.error().domain == kBCNInstallationsErrorDomain &&
           read.error().description.find("not found") != std::string::npos;
  }

  std::shared_ptr<CVUKeychainStorage> storage = CVUKeychainStorage::initWithService("installations-service");
  BCNInstallationsStore store{storage, std::nullopt};
  CVUUserDefaults flags{std::string("com.corvane.BCNInstallations")};
};

TEST_F(InstallationsStoreTest, ASavedRecordReadsBackEqual) {
  ASSERT_TRUE(settle(store.saveInstallation(registered("app"))).ok());
  auto read = settle(store.installationForAppID(testing::kTestAppID, "app"));
  ASSERT_TRUE(read.ok()) << read.error().debugDescription();
  EXPECT_EQ(*read, registered("app"));
  EXPECT_TRUE(flags.objectForKey(std::string(testing::kTestAppID) + "app"));
}

TEST_F(InstallationsStoreTest, AKeychainItemWithoutItsFlagIsNotFound) {
  ASSERT_TRUE(settle(store.saveInstallation(registered("app"))).ok());
  flags.removeObjectForKey(std::string(testing::kTestAppID) + "app");
  auto read = settle(store.installationForAppID(testing::kTestAppID, "app"));
  EXPECT_TRUE(isNotFound(read));
  EXPECT_EQ(read.error().description,
            "Installation for appID " + std::string(testing::kTestAppID) + " appName app not found");
}

TEST_F(InstallationsStoreTest, AppsOfDifferentNamesKeepSeparateRecords) {
  BCNInstallationsItem other = registered("other");
  other.beaconInstallationID = "dOtherOtherOtherOtherO";
  ASSERT_TRUE(settle(store.saveInstallation(registered("app"))).ok());
  ASSERT_TRUE(settle(store.saveInstallation(other)).ok());
  ASSERT_TRUE(settle(store.removeInstallationForAppID(testing::kTestAppID, "app")).ok());
  EXPECT_TRUE(isNotFound(settle(store.installationForAppID(testing::kTestAppID, "app"))));
  EXPECT_FALSE(flags.objectForKey(std::string(testing::kTestAppID) + "app"));
  EXPECT_EQ(settle(store.installationForAppID(testing::kTestAppID, "other"))->beaconInstallationID,
            "dOtherOtherOtherOtherO");
}

TEST_F(InstallationsStoreTest, AFailedKeychainWriteLeavesNoFlag) {
  keychain->refuseWrites = true;
  auto saved = settle(store.saveInstallation(registered("app")));
  ASSERT_FALSE(saved.ok());
  EXPECT_EQ(saved.error().description, "SecItemAdd (-36)");
  EXPECT_FALSE(flags.objectForKey(std::string(testing::kTestAppID) + "app"));
}

TEST_F(InstallationsStoreTest, AnAccessGroupNamesTheFlagSuite) {
  BCNInstallationsStore grouped(storage, std::string("group.example"));
  ASSERT_TRUE(settle(grouped.saveInstallation(registered("app"))).ok());
  EXPECT_TRUE(
      CVUUserDefaults(std::string("group.example")).objectForKey(std::string(testing::kTestAppID) + "app"));
  EXPECT_TRUE(settle(grouped.installationForAppID(testing::kTestAppID, "app")).ok());
  EXPECT_TRUE(isNotFound(settle(store.installationForAppID(testing::kTestAppID, "app"))));
}

}  // namespace
}  // namespace beacon
