#include <gtest/gtest.h>

#include "installations/BCNInstallationsErrorUtil.h"
#include "installations/BCNInstallationsIIDStore.h"
#include "installations/BCNInstallationsIIDTokenStore.h"
#include "installations/tests/InstallationsTestSupport.h"
#include "platform/plist/PropertyList.h"

namespace beacon {
namespace {

class LegacyIIDTest : public testing::InstallationsTest {
 protected:
  BCNInstallationsIIDStore IIDStore;
  BCNInstallationsIIDTokenStore tokenStore{"123456789012"};
};

TEST_F(LegacyIIDTest, TheLegacyIDComesFromThePublicKey) {
  testing::writeLegacyMarker(platform::Dictionary{{"|S|cre", "x"}});
  testing::addLegacyKeys(*keychain);
  auto iid = settle(IIDStore.existingIID());
  ASSERT_TRUE(iid.ok()) << iid.error().debugDescription();
  EXPECT_EQ(iid->size(), 11u);
  EXPECT_NE(std::string("cdef").find((*iid)[0]), std::string::npos);
  EXPECT_EQ(*iid, BCNInstallationsIIDStore::IIDWithPublicKeyData(testing::kLegacyPublicKey));
}

TEST_F(LegacyIIDTest, WithoutMarkerOrKeyThereIsNoLegacyID) {
  testing::addLegacyKeys(*keychain);
  EXPECT_FALSE(settle(IIDStore.existingIID()).ok());
  ASSERT_EQ(keychain->remove(testing::legacyKeyQuery(true)), platform::kKeychainSuccess);
  testing::writeLegacyMarker(platform::Dictionary{{"|S|cre", "x"}});
  auto iid = settle(IIDStore.existingIID());
  ASSERT_FALSE(iid.ok());
  EXPECT_TRUE(iid.error().is(kCVPPromiseErrorDomain, kCVPPromiseErrorCodeValidationFailure));
}

TEST_F(LegacyIIDTest, TheTokenIsReadFromItsLegacyArchive) {
  testing::addLegacyToken(*keychain, "legacy-token");
  EXPECT_EQ(*settle(tokenStore.existingIIDDefaultToken()), "legacy-token");
}

TEST_F(LegacyIIDTest, AnEmptyOrMissingTokenIsCorruptedData) {
  auto missing = settle(tokenStore.existingIIDDefaultToken());
  ASSERT_FALSE(missing.ok());
  EXPECT_EQ(missing.error().description,
            "IID token data stored in Keychain is corrupted or in an incompatible format.");
  testing::addLegacyToken(*keychain, "");
  auto empty = settle(tokenStore.existingIIDDefaultToken());
  ASSERT_FALSE(empty.ok());
  EXPECT_EQ(empty.error().description, missing.error().description);
}

TEST_F(LegacyIIDTest, DeletingRemovesTheMarkerKeyAndBothKeys) {
  EXPECT_TRUE(settle(IIDStore.deleteExistingIID()).ok());  // nothing there
  testing::writeLegacyMarker(platform::Dictionary{{"|S|cre", "x"}, {"other", 1}});
  testing::addLegacyKeys(*keychain);
  ASSERT_TRUE(settle(IIDStore.deleteExistingIID()).ok());
  EXPECT_EQ(*platform::readPropertyListFile(*BCNInstallationsIIDStore::markerFilePath()),
            platform::Value(platform::Dictionary{{"other", 1}}));
  EXPECT_EQ(keychain->copyMatching(testing::legacyKeyQuery(true)).status, platform::kKeychainItemNotFound);
  EXPECT_EQ(keychain->copyMatching(testing::legacyKeyQuery(false)).status, platform::kKeychainItemNotFound);
}

TEST_F(LegacyIIDTest, AMarkerFileThatIsNotADictionaryDoesNotStopTheDelete) {
  testing::writeLegacyMarker(platform::Array{platform::Value("|S|cre")});
  std::filesystem::path marker = *BCNInstallationsIIDStore::markerFilePath();
  testing::addLegacyKeys(*keychain);
  ASSERT_TRUE(settle(IIDStore.deleteExistingIID()).ok());
  EXPECT_EQ(keychain->copyMatching(testing::legacyKeyQuery(true)).status, platform::kKeychainItemNotFound);
  EXPECT_TRUE(std::filesystem::exists(marker));
}

}  // namespace
}  // namespace beacon
