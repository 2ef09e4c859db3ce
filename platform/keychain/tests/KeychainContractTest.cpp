// The rules every keychain store keeps, run against both: the per-user file and the Secret Service
// (a private keyring daemon, one for the whole test process and emptied before each test: the Secret
// Service library keeps its first bus connection for as long as the process lives, so a daemon per
// test would leave every test after the first talking to a bus that is gone).
#include <gtest/gtest.h>

#include <memory>

#include "platform/keychain/FileKeychain.h"
#include "platform/keychain/SecretServiceKeychain.h"
#include "platform/keychain/tests/PrivateKeyringSession.h"
#include "platform/testing/TestEnvironment.h"

namespace platform {
namespace {

enum class Store { File, SecretService };

KeychainQuery password(std::string service, std::string account) {
  KeychainQuery query;
  query.service = std::move(service);
  query.account = std::move(account);
  return query;
}

KeychainQuery key(std::string tag, std::int64_t keyClass) {
  KeychainQuery query;
  query.itemClass = KeychainItemClass::Key;
  query.applicationTag = Bytes(tag.begin(), tag.end());
  query.keyType = kKeychainKeyTypeRSA;
  query.keyClass = keyClass;
  return query;
}

class KeychainContractTest : public ::testing::TestWithParam<Store> {
 protected:
  // The daemon goes before its folder.
  static void TearDownTestSuite() {
    keyring().session.reset();
    keyring().folder.reset();
  }

  void SetUp() override {
    if (GetParam() == Store::File) {
      keychain_ = std::make_shared<FileKeychain>(folder_.path() / "keychain" / "items.plist");
      return;
    }
    SharedKeyring& shared = keyring();
    if (!shared.session && shared.failure.empty()) {
      shared.folder = std::make_unique<testing::TemporaryDirectory>();
      auto session = testing::PrivateKeyringSession::start(shared.folder->path());
      if (session)
        shared.session = std::move(*session);
      else
        shared.failure = session.error().description;
    }
    if (!shared.session) GTEST_SKIP() << "Secret Service store not tested: " << shared.failure;
    environment_.set("DBUS_SESSION_BUS_ADDRESS", shared.session->busAddress());
    ASSERT_TRUE(SecretServiceKeychain::isAvailable()) << "bus [" << shared.session->busAddress() << "]";
    keychain_ = std::make_shared<SecretServiceKeychain>();
    KeychainQuery keys;
    keys.itemClass = KeychainItemClass::Key;
    for (const KeychainQuery& everything : {KeychainQuery{}, keys}) {
      KeychainStatus emptied = keychain_->remove(everything);
      ASSERT_TRUE(emptied == kKeychainSuccess || emptied == kKeychainItemNotFound) << emptied;
    }
  }

  struct SharedKeyring {
    std::unique_ptr<testing::TemporaryDirectory> folder;
    std::unique_ptr<testing::PrivateKeyringSession> session;
    std::string failure;
  };
  static SharedKeyring& keyring() {
    static SharedKeyring shared;
    return shared;
  }

  Bytes copy(const KeychainQuery& query) {
    KeychainCopyResult result = keychain_->copyMatching(query);
    EXPECT_EQ(result.status, kKeychainSuccess);
    return result.data.value_or(Bytes{});
  }

  testing::TemporaryDirectory folder_;
  testing::ScopedEnvironment environment_;
  std::shared_ptr<Keychain> keychain_;
};

TEST_P(KeychainContractTest, AnEmptyStoreFindsNothingToReadUpdateOrRemove) {
  KeychainCopyResult result = keychain_->copyMatching(password("s", "a"));
  EXPECT_EQ(result.status, kKeychainItemNotFound);
  EXPECT_FALSE(result.data);
  EXPECT_EQ(keychain_->update(password("s", "a"), Bytes{1}), kKeychainItemNotFound);
  EXPECT_EQ(keychain_->remove(password("s", "a")), kKeychainItemNotFound);
}

TEST_P(KeychainContractTest, AddedDataReadsBackByteForByte) {
  Bytes data{0, 1, 2, 0xff, 0, 0x80};
  ASSERT_EQ(keychain_->add(password("s", "a"), data), kKeychainSuccess);
  EXPECT_EQ(copy(password("s", "a")), data);

  ASSERT_EQ(keychain_->add(password("s", "empty"), Bytes{}), kKeychainSuccess);
  EXPECT_EQ(copy(password("s", "empty")), Bytes{});
}

TEST_P(KeychainContractTest, AddingTheSameItemTwiceIsADuplicateAndKeepsTheFirstData) {
  ASSERT_EQ(keychain_->add(password("s", "a"), Bytes{1}), kKeychainSuccess);
  EXPECT_EQ(keychain_->add(password("s", "a"), Bytes{2}), kKeychainDuplicateItem);
  EXPECT_EQ(copy(password("s", "a")), Bytes{1});

  // Attributes that do not identify an item do not make it another one.
  KeychainQuery withGeneric = password("s", "a");
  withGeneric.generic = Bytes{9};
  EXPECT_EQ(keychain_->add(withGeneric, Bytes{3}), kKeychainDuplicateItem);
}

TEST_P(KeychainContractTest, AnAttributeLeftOutOfAQueryMatchesAnything) {
  KeychainQuery grouped = password("s", "a");
  grouped.accessGroup = "group";
  ASSERT_EQ(keychain_->add(grouped, Bytes{1}), kKeychainSuccess);
  // Another access group, or none, is another item.
  ASSERT_EQ(keychain_->add(password("s", "a"), Bytes{2}), kKeychainSuccess);
  ASSERT_EQ(keychain_->add(password("s", "b"), Bytes{3}), kKeychainSuccess);

  EXPECT_EQ(copy(grouped), Bytes{1});
  KeychainQuery byService;
  byService.service = "s";
  EXPECT_EQ(keychain_->copyMatching(byService).status, kKeychainSuccess);
  EXPECT_EQ(keychain_->copyMatching(password("s", "c")).status, kKeychainItemNotFound);
  EXPECT_EQ(keychain_->copyMatching(password("other", "a")).status, kKeychainItemNotFound);
}

TEST_P(KeychainContractTest, UpdateAndRemoveActOnEveryMatch) {
  KeychainQuery grouped = password("s", "a");
  grouped.accessGroup = "group";
  ASSERT_EQ(keychain_->add(grouped, Bytes{1}), kKeychainSuccess);
  ASSERT_EQ(keychain_->add(password("s", "a"), Bytes{2}), kKeychainSuccess);
  ASSERT_EQ(keychain_->add(password("s", "keep"), Bytes{3}), kKeychainSuccess);

  ASSERT_EQ(keychain_->update(password("s", "a"), Bytes{7}), kKeychainSuccess);
  EXPECT_EQ(copy(grouped), Bytes{7});
  EXPECT_EQ(copy(password("s", "keep")), Bytes{3});

  ASSERT_EQ(keychain_->remove(password("s", "a")), kKeychainSuccess);
  EXPECT_EQ(keychain_->copyMatching(grouped).status, kKeychainItemNotFound);
  EXPECT_EQ(keychain_->copyMatching(password("s", "a")).status, kKeychainItemNotFound);
  EXPECT_EQ(copy(password("s", "keep")), Bytes{3});
}

TEST_P(KeychainContractTest, KeysAndPasswordsAreSeparateClasses) {
  ASSERT_EQ(keychain_->add(key("tag", kKeychainKeyClassPublic), Bytes{1}), kKeychainSuccess);
  ASSERT_EQ(keychain_->add(key("tag", kKeychainKeyClassPrivate), Bytes{2}), kKeychainSuccess);
  EXPECT_EQ(keychain_->add(key("tag", kKeychainKeyClassPublic), Bytes{3}), kKeychainDuplicateItem);

  EXPECT_EQ(copy(key("tag", kKeychainKeyClassPrivate)), Bytes{2});
  EXPECT_EQ(keychain_->copyMatching(KeychainQuery{}).status, kKeychainItemNotFound);

  KeychainQuery anyKeyOfTag = key("tag", 0);
  anyKeyOfTag.keyClass.reset();
  ASSERT_EQ(keychain_->remove(anyKeyOfTag), kKeychainSuccess);
  EXPECT_EQ(keychain_->copyMatching(key("tag", kKeychainKeyClassPrivate)).status, kKeychainItemNotFound);
}

TEST_P(KeychainContractTest, ItemsOutliveTheObjectThatStoredThem) {
  ASSERT_EQ(keychain_->add(password("s", "a"), Bytes{4}), kKeychainSuccess);
  if (GetParam() == Store::File) {
    keychain_ = std::make_shared<FileKeychain>(folder_.path() / "keychain" / "items.plist");
  } else {
    keychain_ = std::make_shared<SecretServiceKeychain>();
  }
  EXPECT_EQ(copy(password("s", "a")), Bytes{4});
}

INSTANTIATE_TEST_SUITE_P(Stores, KeychainContractTest, ::testing::Values(Store::File, Store::SecretService),
                         [](const ::testing::TestParamInfo<Store>& info) {
                           return info.param == Store::File ? std::string("File")
                                                            : std::string("SecretService");
                         });

}  // namespace
}  // namespace platform
