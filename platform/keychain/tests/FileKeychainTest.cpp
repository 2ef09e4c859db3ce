// What only the file store promises: private modes, a damaged file left alone until it is set aside,
// and the choice of store for a session without a Secret Service.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <functional>

#include "platform/keychain/FileKeychain.h"
#include "platform/testing/TestEnvironment.h"

namespace platform {
namespace {

KeychainQuery password(std::string account) {
  KeychainQuery query;
  query.service = "service";
  query.account = std::move(account);
  return query;
}

mode_t modeOf(const std::filesystem::path& path) {
  struct stat info {};
  ::stat(path.c_str(), &info);
  return info.st_mode & 0777;
}

TEST(FileKeychainTest, TheFolderAndFileAreTheUsersAlone) {
  testing::TemporaryDirectory folder;
  std::filesystem::path file = folder.path() / "keychain" / "items.plist";
  FileKeychain keychain(file);
  ASSERT_EQ(keychain.add(password("a"), Bytes{1}), kKeychainSuccess);
  EXPECT_EQ(modeOf(file.parent_path()), 0700u);
  EXPECT_EQ(modeOf(file), 0600u);
}

TEST(FileKeychainTest, ADamagedFileFailsEveryCallAndIsNeverOverwritten) {
  testing::TemporaryDirectory folder;
  std::filesystem::path file = folder.path() / "items.plist";
  {
    std::ofstream out(file);
    out << "not a property list";
  }
  FileKeychain keychain(file);
  EXPECT_EQ(keychain.copyMatching(password("a")).status, kKeychainDamagedStore);
  EXPECT_EQ(keychain.add(password("a"), Bytes{1}), kKeychainDamagedStore);
  EXPECT_EQ(keychain.update(password("a"), Bytes{1}), kKeychainDamagedStore);
  EXPECT_EQ(keychain.remove(password("a")), kKeychainDamagedStore);
  EXPECT_EQ(testing::fileContents(file), "not a property list");

  // A property list of another shape is damaged too.
  testing::writePropertyListFile(file, Dictionary{{"version", 1}, {"items", "x"}});
  EXPECT_EQ(keychain.copyMatching(password("a")).status, kKeychainDamagedStore);
}

TEST(FileKeychainTest, OnlyADamagedFileIsSetAsideAndKeptWholeThenTheStoreStartsEmpty) {
  testing::TemporaryDirectory folder;
  std::filesystem::path file = folder.path() / "items.plist";
  FileKeychain keychain(file);
  auto missing = keychain.setAsideDamagedStore();
  ASSERT_TRUE(missing.ok());
  EXPECT_FALSE(*missing);
  ASSERT_EQ(keychain.add(password("a"), Bytes{1}), kKeychainSuccess);
  auto healthy = keychain.setAsideDamagedStore();
  ASSERT_TRUE(healthy.ok());
  EXPECT_FALSE(*healthy) << "a store that reads is left where it is";
  EXPECT_EQ(keychain.copyMatching(password("a")).data, Bytes{1});

  std::ofstream(file, std::ios::trunc) << "not a property list";
  auto aside = keychain.setAsideDamagedStore();
  ASSERT_TRUE(aside.ok() && *aside) << (aside.ok() ? "" : aside.error().debugDescription());
  EXPECT_EQ((*aside)->parent_path(), folder.path());
  EXPECT_TRUE((*aside)->filename().string().starts_with("items.plist.damaged-")) << **aside;
  EXPECT_EQ(testing::fileContents(**aside), "not a property list");
  EXPECT_EQ(keychain.copyMatching(password("a")).status, kKeychainItemNotFound);
  EXPECT_EQ(keychain.add(password("a"), Bytes{2}), kKeychainSuccess);
  auto again = keychain.setAsideDamagedStore();
  EXPECT_FALSE(*again) << "set aside once, by whoever came first";

  // A second damaged file, within the same second, never replaces the first one kept.
  std::ofstream(file, std::ios::trunc) << "damaged again";
  auto second = keychain.setAsideDamagedStore();
  ASSERT_TRUE(second.ok() && *second);
  EXPECT_NE(**second, **aside);
  EXPECT_EQ(testing::fileContents(**aside), "not a property list");
}

// A folder, a pipe or a file larger than memory in the store's place is no store this keychain
// wrote: it answers as damaged, so it can be set aside, instead of failing every call for good.
TEST(FileKeychainTest, SomethingThatIsNoStoreFileInItsPlaceIsDamagedAndCanBeSetAside) {
  testing::TemporaryDirectory folder;
  std::filesystem::path file = folder.path() / "items.plist";
  const std::vector<std::function<void()>> makers = {
      [&] { std::filesystem::create_directory(file); },
      [&] { ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0); },
      [&] {
        std::ofstream(file) << "start";
        std::filesystem::resize_file(file, std::uintmax_t{1} << 43);
      },
  };
  for (std::size_t made = 0; made < makers.size(); ++made) {
    makers[made]();
    FileKeychain keychain(file);
    EXPECT_EQ(keychain.copyMatching(password("a")).status, kKeychainDamagedStore) << made;
    auto aside = keychain.setAsideDamagedStore();
    ASSERT_TRUE(aside.ok() && *aside) << made;
    EXPECT_EQ(keychain.add(password("a"), Bytes{1}), kKeychainSuccess) << made;
    std::filesystem::remove_all(**aside);
    std::filesystem::remove(file);
  }
}

TEST(FileKeychainTest, AnItemSetAsideIsKeptWholeBesideTheStoreAndRemovedFromIt) {
  testing::TemporaryDirectory folder;
  std::filesystem::path file = folder.path() / "items.plist";
  FileKeychain keychain(file);
  ASSERT_EQ(keychain.add(password("a"), Bytes{1, 2, 3}), kKeychainSuccess);
  ASSERT_EQ(keychain.add(password("b"), Bytes{4}), kKeychainSuccess);
  auto aside = keychain.setAsideDamagedItem(password("a"));
  ASSERT_TRUE(aside.ok() && *aside) << (aside.ok() ? "" : aside.error().debugDescription());
  EXPECT_EQ((*aside)->parent_path(), folder.path());
  EXPECT_TRUE((*aside)->filename().string().starts_with("items.plist.item.damaged-")) << **aside;
  EXPECT_EQ(modeOf(**aside), 0600u);
  FileKeychain kept(**aside);
  EXPECT_EQ(kept.copyMatching(password("a")).data, (Bytes{1, 2, 3}));
  EXPECT_EQ(kept.copyMatching(password("b")).status, kKeychainItemNotFound) << "only that item";
  EXPECT_FALSE(std::filesystem::exists(file.string() + ".item"));

  EXPECT_EQ(keychain.copyMatching(password("a")).status, kKeychainItemNotFound);
  EXPECT_EQ(keychain.copyMatching(password("b")).data, Bytes{4});
  auto again = keychain.setAsideDamagedItem(password("a"));
  ASSERT_TRUE(again.ok());
  EXPECT_FALSE(*again) << "set aside once, by whoever came first";
  EXPECT_EQ(keychain.add(password("a"), Bytes{5}), kKeychainSuccess);
  // Only the newest item copy stays; a copy of the whole store is not an item's.
  const std::filesystem::path storeCopy = folder.path() / "items.plist.damaged-1600000000";
  std::ofstream(storeCopy) << "a damaged store";
  auto second = keychain.setAsideDamagedItem(password("a"));
  ASSERT_TRUE(second.ok() && *second);
  EXPECT_NE(**second, **aside);
  EXPECT_EQ(FileKeychain(**second).copyMatching(password("a")).data, Bytes{5});
  EXPECT_FALSE(std::filesystem::exists(**aside));
  EXPECT_EQ(testing::fileContents(storeCopy), "a damaged store");

  // A damaged store is the store's business, not an item's: nothing is touched.
  std::ofstream(file, std::ios::trunc) << "not a property list";
  auto damaged = keychain.setAsideDamagedItem(password("b"));
  ASSERT_TRUE(damaged.ok());
  EXPECT_FALSE(*damaged);
  EXPECT_EQ(testing::fileContents(file), "not a property list");
}

TEST(FileKeychainTest, TheFirstAddedMatchIsTheOneRead) {
  testing::TemporaryDirectory folder;
  FileKeychain keychain(folder.path() / "items.plist");
  ASSERT_EQ(keychain.add(password("b"), Bytes{2}), kKeychainSuccess);
  ASSERT_EQ(keychain.add(password("a"), Bytes{1}), kKeychainSuccess);
  KeychainQuery anyAccount;
  anyAccount.service = "service";
  EXPECT_EQ(keychain.copyMatching(anyAccount).data, Bytes{2});
}

TEST(FileKeychainTest, WithoutASessionBusTheSharedKeychainIsTheUsersFile) {
  testing::TemporaryUser user;
  user.environment().set("DBUS_SESSION_BUS_ADDRESS", std::nullopt);
  setSharedKeychain(nullptr);
  std::shared_ptr<Keychain> keychain = sharedKeychain();
  ASSERT_EQ(keychain->add(password("a"), Bytes{5}), kKeychainSuccess);
  EXPECT_TRUE(std::filesystem::exists(user.dataHome() / "velloran-keychain" / "items.plist"));
  EXPECT_EQ(sharedKeychain(), keychain);
  setSharedKeychain(nullptr);
}

}  // namespace
}  // namespace platform
