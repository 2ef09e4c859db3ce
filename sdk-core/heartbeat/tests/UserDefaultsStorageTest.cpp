// Heartbeats kept among preferences.

#include "sdk-core/heartbeat/UserDefaultsStorage.h"

#include <gtest/gtest.h>

#include "platform/dispatch/DeterministicDispatch.h"
#include "sdk-core/heartbeat/HeartbeatStorage.h"
#include "sdk-core/heartbeat/tests/HeartbeatTestSupport.h"

namespace beacon {
namespace {

constexpr const char* kKey = "heartbeats-1_123_macos_abc";

class UserDefaultsStorageTest : public ::testing::Test {
 protected:
  testing::TemporaryApplication app;
  std::shared_ptr<CVUUserDefaults> defaults = std::make_shared<CVUUserDefaults>("heartbeat-tests");
  UserDefaultsStorage storage{defaults, kKey};
};

TEST_F(UserDefaultsStorageTest, NothingStoredIsAReadError) {
  const platform::Result<platform::Bytes> read = storage.read();
  ASSERT_FALSE(read.ok());
  EXPECT_TRUE(read.error().is(kStorageErrorDomain, static_cast<std::int64_t>(StorageError::readError)));

  defaults->setObject(platform::Value("not bytes"), kKey);
  EXPECT_FALSE(storage.read().ok()) << "a value of another kind is no heartbeat data";
}

TEST_F(UserDefaultsStorageTest, WrittenBytesAreReadBackAndNothingRemovesTheKey) {
  const platform::Bytes bytes{'{', '}'};
  ASSERT_TRUE(storage.write(bytes).ok());
  EXPECT_EQ(storage.read().value(), bytes);
  EXPECT_EQ(UserDefaultsStorage(std::make_shared<CVUUserDefaults>("heartbeat-tests"), kKey).read().value(),
            bytes)
      << "another holder of the same suite sees them";

  ASSERT_TRUE(storage.write(std::nullopt).ok());
  EXPECT_EQ(defaults->objectForKey(kKey), std::nullopt);
  EXPECT_FALSE(storage.read().ok());
}

TEST_F(UserDefaultsStorageTest, AHeartbeatStorageKeepsItsBundleThere) {
  platform::DeterministicDispatch dispatch;
  auto heartbeats =
      HeartbeatStorage::make("1:123:macos:abc", std::make_shared<UserDefaultsStorage>(defaults, kKey));
  heartbeats->updateSync([](std::optional<HeartbeatsBundle>) -> std::optional<HeartbeatsBundle> {
    HeartbeatsBundle bundle(30);
    bundle.append(Heartbeat{"agent", platform::Date{86400.0}, 0, {TimePeriod::daily}});
    return bundle;
  });
  ASSERT_TRUE(defaults->objectForKey(kKey).has_value());

  const auto loaded = heartbeats->exchangeSync([](std::optional<HeartbeatsBundle>) { return std::nullopt; });
  ASSERT_TRUE(loaded.ok());
  ASSERT_TRUE(loaded.value().has_value());
  EXPECT_EQ(defaults->objectForKey(kKey), std::nullopt) << "clearing removes the key";
}

}  // namespace
}  // namespace beacon
