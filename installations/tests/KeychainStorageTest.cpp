#include <gtest/gtest.h>

#include "installations/BCNInstallationsStoredItem.h"
#include "installations/CVUKeychainStorage.h"
#include "installations/tests/InstallationsTestSupport.h"

namespace beacon {
namespace {

using Stored = BCNInstallationsStoredItem;

std::shared_ptr<const Stored> record(std::string id) {
  auto item = std::make_shared<Stored>();
  item->beaconInstallationID = std::move(id);
  item->registrationStatus = 1;
  return item;
}

class KeychainStorageTest : public testing::InstallationsTest {
 protected:
  platform::KeychainQuery query(const std::string& key) {
    platform::KeychainQuery q;
    q.service = "service";
    q.account = key;
    return q;
  }
  // Puts an archive straight into the keychain, past the storage and its cache.
  void writeBehindTheCache(const std::string& key, const platform::KeyedCodable& object) {
    platform::Bytes data = *platform::archivedData(object);
    if (keychain->update(query(key), data) == platform::kKeychainItemNotFound)
      keychain->add(query(key), data);
  }
  std::optional<std::string> readID(const std::string& key) {
    auto read = settle(storage->getObjectForKey<Stored>(key, std::nullopt));
    if (!read.ok() || !*read) return std::nullopt;
    return (*read)->beaconInstallationID;
  }

  std::shared_ptr<CVUKeychainStorage> storage = CVUKeychainStorage::initWithService("service");
};

TEST_F(KeychainStorageTest, AKeyNeverWrittenReadsAsNothingAndIsNotCached) {
  auto read = settle(storage->getObjectForKey<Stored>("key", std::nullopt));
  ASSERT_TRUE(read.ok());
  EXPECT_FALSE(*read);
  writeBehindTheCache("key", *record("cLater"));
  EXPECT_EQ(readID("key"), "cLater");
}

TEST_F(KeychainStorageTest, AWriteUpdatesTheOneItemAndLaterReadsComeFromTheCache) {
  ASSERT_TRUE(settle(storage->setObject(record("cFirst"), "key", std::nullopt)).ok());
  ASSERT_TRUE(settle(storage->setObject(record("cSecond"), "key", std::nullopt)).ok());
  platform::KeychainCopyResult stored = keychain->copyMatching(query("key"));
  ASSERT_EQ(stored.status, platform::kKeychainSuccess);
  EXPECT_EQ((*platform::unarchivedObject<Stored>(*stored.data))->beaconInstallationID, "cSecond");

  writeBehindTheCache("key", *record("cBehind"));
  EXPECT_EQ(readID("key"), "cSecond");
}

TEST_F(KeychainStorageTest, TheCacheKeepsOnlyTheLastFiveObjects) {
  for (int i = 0; i < 6; ++i)
    ASSERT_TRUE(
        settle(storage->setObject(record("c" + std::to_string(i)), "key" + std::to_string(i), std::nullopt))
            .ok());
  writeBehindTheCache("key0", *record("cBehind0"));
  writeBehindTheCache("key5", *record("cBehind5"));
  EXPECT_EQ(readID("key0"), "cBehind0");
  EXPECT_EQ(readID("key5"), "c5");
}

TEST_F(KeychainStorageTest, RemovingAMissingKeySucceedsAndRemovalReachesTheKeychain) {
  EXPECT_TRUE(settle(storage->removeObjectForKey("missing", std::nullopt)).ok());
  ASSERT_TRUE(settle(storage->setObject(record("cGone"), "key", std::nullopt)).ok());
  ASSERT_TRUE(settle(storage->removeObjectForKey("key", std::nullopt)).ok());
  EXPECT_EQ(keychain->copyMatching(query("key")).status, platform::kKeychainItemNotFound);
  EXPECT_EQ(readID("key"), std::nullopt);
}

TEST_F(KeychainStorageTest, DataOfAnotherClassFailsTheReadAndIsSetAsideBeforeAWriteReplacesIt) {
  writeBehindTheCache("key", BCNInstallationsStoredAuthToken{});
  auto read = settle(storage->getObjectForKey<Stored>("key", std::nullopt));
  ASSERT_FALSE(read.ok());
  EXPECT_EQ(read.error().domain, platform::kKeyedArchiveErrorDomain);
  EXPECT_EQ(keychain->copyMatching(query("key")).status, platform::kKeychainItemNotFound);
  ASSERT_TRUE(settle(storage->setObject(record("cNew"), "key", std::nullopt)).ok());
  EXPECT_EQ(readID("key"), "cNew");
}

TEST_F(KeychainStorageTest, AFailedWriteIsNotServedFromTheCache) {
  ASSERT_TRUE(settle(storage->setObject(record("cKept"), "key", std::nullopt)).ok());
  keychain->refuseWrites = true;
  auto failed = settle(storage->setObject(record("cLost"), "key", std::nullopt));
  ASSERT_FALSE(failed.ok());
  EXPECT_EQ(failed.error().domain, kCVUKeychainErrorDomain);
  EXPECT_EQ(failed.error().description, "SecItemUpdate (-36)");
  EXPECT_EQ(readID("key"), "cKept");
}

TEST_F(KeychainStorageTest, AccessGroupsNameSeparateItems) {
  ASSERT_TRUE(settle(storage->setObject(record("cGroup"), "key", std::string("group"))).ok());
  platform::KeychainQuery grouped = query("key");
  grouped.accessGroup = "group";
  EXPECT_EQ(keychain->copyMatching(grouped).status, platform::kKeychainSuccess);
  grouped.accessGroup = "other";
  EXPECT_EQ(keychain->copyMatching(grouped).status, platform::kKeychainItemNotFound);
}

}  // namespace
}  // namespace beacon
