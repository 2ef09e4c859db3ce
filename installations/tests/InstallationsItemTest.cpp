#include <gtest/gtest.h>

#include <set>

#include "installations/BCNInstallationsErrorUtil.h"
#include "installations/BCNInstallationsItem.h"

namespace beacon {
namespace {

BCNInstallationsItem registeredItem() {
  BCNInstallationsItem item("1:1:ios:ab", "app");
  item.beaconInstallationID = "cXXXXXXXXXXXXXXXXXXXXX";
  item.refreshToken = "refresh";
  item.authToken.status = kBCNInstallationsAuthTokenStatusTokenReceived;
  item.authToken.token = "token";
  item.authToken.expirationDate = platform::Date{100};
  item.registrationStatus = kBCNInstallationsRegistrationStatusRegistered;
  return item;
}

TEST(InstallationsItemTest, GeneratedIDsAre22UrlSafeCharactersStartingWithCToF) {
  std::set<std::string> seen;
  for (int i = 0; i < 10000; ++i) {
    std::string bid = BCNInstallationsItem::generateBID();
    ASSERT_EQ(bid.size(), 22u) << bid;
    ASSERT_NE(std::string("cdef").find(bid[0]), std::string::npos) << bid;
    ASSERT_EQ(bid.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_"),
              std::string::npos)
        << bid;
    seen.insert(bid);
  }
  EXPECT_EQ(seen.size(), 10000u);
}

TEST(InstallationsItemTest, UrlSafeBase64KeepsItsPadding) {
  EXPECT_EQ(BCNInstallationsItem::base64URLEncodedStringWithData(platform::Bytes{0xfb, 0xff}), "-_8=");
}

TEST(InstallationsItemTest, TheIdentifierIsAppIDThenAppNameWithNothingBetween) {
  EXPECT_EQ(BCNInstallationsItem("1:1:ios:ab", "app").identifier(), "1:1:ios:abapp");
  EXPECT_EQ(BCNInstallationsItem("1:1:ios:ab", "").identifier(), "1:1:ios:ab");
}

TEST(InstallationsItemTest, ValidationListsEveryProblemInOrder) {
  platform::Result<void> empty = BCNInstallationsItem("", "").isValid();
  ASSERT_FALSE(empty.ok());
  EXPECT_EQ(empty.error().domain, kBCNInstallationsErrorDomain);
  EXPECT_EQ(empty.error().code, 0);
  EXPECT_EQ(
      empty.error().description,
      "BCNInstallationsItem validation errors: `appID` must not be empty, `beaconAppName` must not be empty, "
      "`beaconInstallationID` must not be empty, invalid `registrationStatus`");

  BCNInstallationsItem registered("1:1:ios:ab", "app");
  registered.beaconInstallationID = "c";
  registered.registrationStatus = kBCNInstallationsRegistrationStatusRegistered;
  EXPECT_EQ(
      registered.isValid().error().description,
      "BCNInstallationsItem validation errors: registered installation must have non-empty `refreshToken`, "
      "registered installation must have non-empty `authToken.token`, registered installation must have "
      "non-empty `authToken.expirationDate`");
}

TEST(InstallationsItemTest, OnlyAbsenceOfTokensFailsValidation) {
  BCNInstallationsItem unregistered("1:1:ios:ab", "app");
  unregistered.beaconInstallationID = "c";
  unregistered.registrationStatus = kBCNInstallationsRegistrationStatusUnregistered;
  EXPECT_TRUE(unregistered.isValid().ok());

  BCNInstallationsItem emptyRefresh = registeredItem();
  emptyRefresh.refreshToken = "";
  EXPECT_TRUE(emptyRefresh.isValid().ok());
}

TEST(InstallationsItemTest, CopiesShareNothingAndStoredFormRoundTrips) {
  BCNInstallationsItem original = registeredItem();
  original.IIDDefaultToken = "legacy";
  BCNInstallationsItem copy = original;
  copy.beaconInstallationID = "dOther";
  copy.authToken.token = "other";
  EXPECT_EQ(original.beaconInstallationID, "cXXXXXXXXXXXXXXXXXXXXX");
  EXPECT_EQ(original.authToken.token, "token");

  BCNInstallationsItem restored(original.appID(), original.beaconAppName());
  restored.updateWithStoredItem(original.storedItem());
  EXPECT_EQ(restored, original);
}

}  // namespace
}  // namespace beacon
