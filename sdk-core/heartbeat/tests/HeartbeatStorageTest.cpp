// The per-ID heartbeat store: sharing, the file beneath it, and its failures.

#include "sdk-core/heartbeat/HeartbeatStorage.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/dispatch/DeterministicDispatch.h"
#include "platform/testing/ProcessesAtOnce.h"
#include "sdk-core/heartbeat/FileStorage.h"
#include "sdk-core/heartbeat/tests/HeartbeatTestSupport.h"

namespace beacon {
namespace {

using testing::kTestAppID;

using Stored = std::optional<HeartbeatsBundle>;

HeartbeatsBundle oneHeartbeat(const std::string& agent = "agent") {
  HeartbeatsBundle bundle(30);
  bundle.append(Heartbeat{agent, platform::Date{86400.0}, 0, {TimePeriod::daily}});
  return bundle;
}

// A byte store whose reads and writes fail on request and which counts the writes that reached it.
class ScriptedStorage final : public Storage {
 public:
  platform::Result<platform::Bytes> read() override {
    if (!data) return storageError(StorageError::readError, "nothing stored");
    return *data;
  }
  platform::Result<void> write(const std::optional<platform::Bytes>& bytes) override {
    if (failWrites) return storageError(StorageError::writeError, "disk full");
    data = bytes.value_or(platform::Bytes{});
    ++writes;
    return platform::Result<void>::success();
  }
  std::optional<platform::Bytes> data;
  bool failWrites = false;
  int writes = 0;
};

class HeartbeatStorageTest : public ::testing::Test {
 protected:
  platform::DeterministicDispatch dispatch;
  testing::TemporaryApplication app;
};

TEST_F(HeartbeatStorageTest, OneLivingStoragePerIDAndANewOneAfterItDied) {
  auto first = HeartbeatStorage::sharedStorage(kTestAppID);
  EXPECT_EQ(HeartbeatStorage::sharedStorage(kTestAppID), first);
  EXPECT_NE(HeartbeatStorage::sharedStorage("1:456:macos:def"), first);

  std::weak_ptr<HeartbeatStorage> gone = first;
  first.reset();
  EXPECT_TRUE(gone.expired());
  auto second = HeartbeatStorage::sharedStorage(kTestAppID);
  EXPECT_EQ(HeartbeatStorage::sharedStorage(kTestAppID), second);
}

TEST_F(HeartbeatStorageTest, ADyingStorageLeavesAnotherStoragesCacheEntryAlone) {
  auto shared = HeartbeatStorage::sharedStorage(kTestAppID);
  HeartbeatStorage::make(kTestAppID, std::make_shared<ScriptedStorage>()).reset();
  // Had the dying storage removed the ID's entry, this would make a second storage over the file.
  EXPECT_EQ(HeartbeatStorage::sharedStorage(kTestAppID), shared);
}

TEST_F(HeartbeatStorageTest, QueuedWorkKeepsItsStorageTheOneSharedForItsID) {
  auto storage = HeartbeatStorage::sharedStorage(kTestAppID);
  storage->updateAsync([](Stored) -> Stored { return oneHeartbeat(); });
  std::weak_ptr<HeartbeatStorage> queued = storage;
  storage.reset();

  // Until the queued write has run, a new caller must get the same storage (one queue per file).
  EXPECT_FALSE(queued.expired());
  EXPECT_EQ(HeartbeatStorage::sharedStorage(kTestAppID), queued.lock());
  dispatch.drain();
  EXPECT_TRUE(queued.expired());

  auto exchanged =
      HeartbeatStorage::sharedStorage(kTestAppID)->exchangeSync([](Stored stored) { return stored; });
  ASSERT_TRUE(exchanged.ok());
  EXPECT_EQ(*exchanged, oneHeartbeat());
}

TEST_F(HeartbeatStorageTest, TheBundleIsKeptInAFileNamedAfterTheID) {
  EXPECT_EQ(FileStorage::fileName("1:123:macos:abc"), "heartbeats-1_123_macos_abc");
  EXPECT_EQ(FileStorage::fileName("plain-id"), "heartbeats-plain-id");

  HeartbeatStorage::sharedStorage(kTestAppID)->updateSync([](Stored) -> Stored { return oneHeartbeat(); });
  ASSERT_TRUE(std::filesystem::exists(app.heartbeatFile(kTestAppID)));
  EXPECT_NE(app.contents(kTestAppID).find("\"agent\":\"agent\""), std::string::npos);
}

TEST_F(HeartbeatStorageTest, ExchangeHandsBackWhatWasStoredBeforeTheTransform) {
  auto storage = HeartbeatStorage::sharedStorage(kTestAppID);
  auto first = storage->exchangeSync([](Stored stored) -> Stored {
    EXPECT_FALSE(stored.has_value());
    return oneHeartbeat("a");
  });
  ASSERT_TRUE(first.ok());
  EXPECT_EQ(*first, std::nullopt);

  auto second = storage->exchangeSync([](Stored) -> Stored { return oneHeartbeat("b"); });
  ASSERT_TRUE(second.ok());
  EXPECT_EQ(*second, oneHeartbeat("a"));
}

TEST_F(HeartbeatStorageTest, ReturningNothingClearsTheStoreToZeroBytes) {
  auto storage = HeartbeatStorage::sharedStorage(kTestAppID);
  storage->updateSync([](Stored) -> Stored { return oneHeartbeat(); });
  storage->updateSync([](Stored) -> Stored { return std::nullopt; });
  EXPECT_TRUE(std::filesystem::exists(app.heartbeatFile(kTestAppID)));
  EXPECT_EQ(std::filesystem::file_size(app.heartbeatFile(kTestAppID)), 0u);
  storage->updateSync([](Stored stored) {
    EXPECT_FALSE(stored.has_value());
    return stored;
  });
}

TEST_F(HeartbeatStorageTest, AnUndecodableFileCountsAsNothingAndIsOverwritten) {
  app.store(kTestAppID, "{not json");
  auto storage = HeartbeatStorage::sharedStorage(kTestAppID);
  storage->updateSync([](Stored stored) -> Stored {
    EXPECT_FALSE(stored.has_value());
    return oneHeartbeat();
  });
  storage->updateSync([](Stored stored) {
    EXPECT_EQ(stored, oneHeartbeat());
    return stored;
  });
}

TEST_F(HeartbeatStorageTest, AFailedSaveIsDroppedByUpdatesAndReportedByExchange) {
  auto bytes = std::make_shared<ScriptedStorage>();
  auto storage = HeartbeatStorage::make(kTestAppID, bytes);
  storage->updateSync([](Stored) -> Stored { return oneHeartbeat(); });
  ASSERT_EQ(bytes->writes, 1);

  bytes->failWrites = true;
  storage->updateSync([](Stored) -> Stored { return std::nullopt; });
  storage->updateAsync([](Stored) -> Stored { return std::nullopt; });
  dispatch.drain();
  auto exchanged = storage->exchangeSync([](Stored) -> Stored { return std::nullopt; });
  ASSERT_FALSE(exchanged.ok());
  EXPECT_TRUE(exchanged.error().is(kStorageErrorDomain, static_cast<std::int64_t>(StorageError::writeError)));

  bytes->failWrites = false;
  auto after = storage->exchangeSync([](Stored stored) { return stored; });
  ASSERT_TRUE(after.ok());
  EXPECT_EQ(*after, oneHeartbeat());
}

TEST_F(HeartbeatStorageTest, WithoutAnApplicationSupportFolderNothingIsWrittenAnywhere) {
  app.store(kTestAppID, "");
  std::filesystem::remove(app.user().bundle() / "Info.plist");
  platform::Bundle::resetMainForTesting();

  auto storage = HeartbeatStorage::sharedStorage(kTestAppID);
  auto exchanged = storage->exchangeSync([](Stored stored) -> Stored {
    EXPECT_FALSE(stored.has_value());
    return oneHeartbeat();
  });
  ASSERT_FALSE(exchanged.ok());
  EXPECT_TRUE(exchanged.error().is(kStorageErrorDomain, static_cast<std::int64_t>(StorageError::writeError)));
  ASSERT_NE(exchanged.error().underlying, nullptr);
  EXPECT_EQ(app.contents(kTestAppID), "");
  EXPECT_FALSE(std::filesystem::exists("corvane-heartbeat-storage"));
}

// The ID comes from the app's options: one that cannot name a single file inside the heartbeat folder
// has no store there, and its heartbeats are never written anywhere else.
TEST_F(HeartbeatStorageTest, AnIDThatIsNoFileNameWritesNothingAnywhere) {
  const std::string climbing = "2:x/../../../../escaped";
  auto storage = HeartbeatStorage::sharedStorage(climbing);
  auto exchanged = storage->exchangeSync([](Stored stored) -> Stored {
    EXPECT_FALSE(stored.has_value());
    return oneHeartbeat();
  });
  EXPECT_FALSE(std::filesystem::exists(app.user().root() / "escaped"));
  EXPECT_FALSE(std::filesystem::exists(app.heartbeatFile(kTestAppID).parent_path() / "heartbeats-2_x"));
  ASSERT_FALSE(exchanged.ok());
  EXPECT_TRUE(exchanged.error().is(kStorageErrorDomain, static_cast<std::int64_t>(StorageError::writeError)));
}

// Two runs of the app at once share one heartbeat file: each change is made over what the other has
// stored, never over what it read before the other's write.
TEST_F(HeartbeatStorageTest, ProcessesChangingOneFileAtOnceLoseNoHeartbeat) {
  constexpr int kProcesses = 4;
  constexpr int kHeartbeatsEach = 25;
  const auto addHeartbeats = [](int process) {
    auto storage = HeartbeatStorage::sharedStorage(kTestAppID);
    for (int day = 1; day <= kHeartbeatsEach; ++day) {
      storage->updateSync([&](Stored stored) -> Stored {
        HeartbeatsBundle bundle = stored.value_or(HeartbeatsBundle(kProcesses * kHeartbeatsEach));
        bundle.append(Heartbeat{"process-" + std::to_string(process), platform::Date{86400.0 * day}, 0, {}});
        return bundle;
      });
    }
    return 0;
  };
  EXPECT_EQ(platform::testing::runAtOnce(kProcesses, addHeartbeats), std::vector<int>(kProcesses, 0));

  auto stored = HeartbeatStorage::sharedStorage(kTestAppID)->exchangeSync([](Stored same) { return same; });
  ASSERT_TRUE(stored.ok());
  ASSERT_TRUE(stored->has_value());
  std::size_t heartbeats = 0;
  for (const HeartbeatsPayload::UserAgentPayload& agent : (*stored)->makePayload().userAgentPayloads)
    heartbeats += agent.dates.size();
  EXPECT_EQ(heartbeats, static_cast<std::size_t>(kProcesses * kHeartbeatsEach));
}

}  // namespace
}  // namespace beacon
