#include "Velloran/sync/CloudKitSyncService.h"

#include <gtest/gtest.h>

#include <fstream>

#include "Velloran/data/SyncProblem.h"
#include "Velloran/sync/SyncErrorMapping.h"
#include "Velloran/sync/tests/SyncTestSupport.h"
#include "platform/pstore/PersistentStoreError.h"

namespace velloran::testing {
namespace {

using platform::HistoryToken;
using platform::MirrorEvent;

class CloudKitSyncServiceTest : public MonitorTest {
 protected:
  CloudKitSyncServiceTest() { loadStore(); }
};

TEST_F(CloudKitSyncServiceTest, PublishesEventsThatEndedOrFailedInTheirOrderAndNothingElse) {
  auto monitor = makeMonitor();
  EventLog log(*monitor);
  const MirrorEvent started = mirrorEvent(MirrorEvent::Type::Import, false, false);
  const MirrorEvent ended = mirrorEvent(MirrorEvent::Type::Import, true, true);
  const MirrorEvent failedWithoutEnd = mirrorEvent(MirrorEvent::Type::Export, false, false,
                                                   platform::Error("CloudMirrorErrorDomain", 3, "offline"));
  const MirrorEvent setup = mirrorEvent(MirrorEvent::Type::Setup, true, true);

  postEvent(started);
  postEvent(ended);
  postEvent(failedWithoutEnd);
  center.post(std::string(platform::kMirrorEventChangedNotification), container->notificationSender());
  center.post(std::string(platform::kMirrorEventChangedNotification), container->notificationSender(),
              platform::Dictionary{{std::string(platform::kMirrorEventUserInfoKey), "not an event"}});
  center.post(std::string(platform::kMirrorEventChangedNotification), &center,
              platform::Dictionary{{std::string(platform::kMirrorEventUserInfoKey), setup.toValue()}});
  postEvent(setup);
  EXPECT_TRUE(log.events.empty()) << "events reach subscribers on the main queue, not inline";
  dispatch.drain();

  ASSERT_EQ(log.events.size(), 3u);
  EXPECT_EQ(log.events[0], appSyncEvent(ended));
  EXPECT_EQ(log.events[1], appSyncEvent(failedWithoutEnd));
  EXPECT_EQ(log.events[2], appSyncEvent(setup));
}

TEST_F(CloudKitSyncServiceTest, ALocalSaveRaisesTheLocalFlagWhichOneTakeClears) {
  auto monitor = makeMonitor();
  dispatch.drain();  // the monitor starts following remote-change notifications
  writePrompt(std::string(kTransactionAuthor));
  dispatch.drain();  // the notification alone makes the monitor process history

  EXPECT_TRUE(monitor->takePendingLocalChanges());
  EXPECT_FALSE(monitor->takePendingLocalChanges()) << "a later export finds nothing new";
  EXPECT_FALSE(monitor->takePendingRemoteChanges());
  ASSERT_TRUE(process(*monitor).ok());
  EXPECT_FALSE(monitor->takePendingLocalChanges()) << "history already processed raises nothing again";
}

TEST_F(CloudKitSyncServiceTest, ChangesOfAnyOtherAuthorOrOfNoAuthorAreRemote) {
  auto monitor = makeMonitor();
  writePrompt(std::nullopt);
  ASSERT_TRUE(process(*monitor).ok());
  EXPECT_TRUE(monitor->takePendingRemoteChanges());
  EXPECT_FALSE(monitor->takePendingLocalChanges());

  writePrompt(std::string("CloudMirror.import"));
  writePrompt(std::string(kTransactionAuthor));
  ASSERT_TRUE(process(*monitor).ok());
  EXPECT_TRUE(monitor->takePendingRemoteChanges());
  EXPECT_TRUE(monitor->takePendingLocalChanges());
}

TEST_F(CloudKitSyncServiceTest, ProcessingSavesTheLastTransactionsTokenAndMergesIntoTheViewContext) {
  auto monitor = makeMonitor();
  writePrompt(std::nullopt);
  auto viewed = container->viewContext()->fetch(platform::FetchRequest{std::string(model::kPromptEntity)});
  ASSERT_TRUE(viewed.ok());
  const platform::ManagedObject shown = viewed->at(0);
  EXPECT_EQ(shown.value(model::kTitle).as<std::string>(), "");

  auto writer = container->newBackgroundContext();
  auto stored = writer->fetch(platform::FetchRequest{std::string(model::kPromptEntity)});
  ASSERT_TRUE(stored.ok());
  stored->at(0).setValue(model::kTitle, std::string("Renamed elsewhere"));
  ASSERT_TRUE(writer->save().ok());
  EXPECT_EQ(shown.value(model::kTitle).as<std::string>(), "") << "the view context keeps what it read";

  ASSERT_TRUE(process(*monitor).ok());
  EXPECT_EQ(shown.value(model::kTitle).as<std::string>(), "Renamed elsewhere");
  const HistoryToken expected{storeIdentifier(), 2};
  EXPECT_EQ(monitor->historyToken(), expected);
  EXPECT_EQ(fileContents(tokenFile()), expected.serialized());
}

TEST_F(CloudKitSyncServiceTest, AnEmptyHistoryLeavesTokenFileAndFlagsAlone) {
  auto monitor = makeMonitor();
  ASSERT_TRUE(process(*monitor).ok());
  EXPECT_FALSE(monitor->historyToken());
  EXPECT_FALSE(std::filesystem::exists(tokenFile()));

  writePrompt(std::nullopt);
  ASSERT_TRUE(process(*monitor).ok());
  ASSERT_TRUE(monitor->takePendingRemoteChanges());
  const std::string saved = fileContents(tokenFile());
  ASSERT_TRUE(process(*monitor).ok());
  EXPECT_EQ(fileContents(tokenFile()), saved);
  EXPECT_FALSE(monitor->takePendingRemoteChanges());
  EXPECT_FALSE(monitor->takePendingLocalChanges());
}

TEST_F(CloudKitSyncServiceTest, AnExpiredTokenIsDroppedAndAllHistoryReadAgain) {
  // The token of a store that has since been replaced.
  const HistoryToken stale{platform::UUID::random(), 40};
  std::ofstream(tokenFile()) << stale.serialized();
  writePrompt(std::string(kTransactionAuthor));
  auto monitor = makeMonitor();
  EXPECT_EQ(monitor->historyToken(), stale);

  ASSERT_TRUE(process(*monitor).ok());
  EXPECT_TRUE(monitor->takePendingLocalChanges());
  const HistoryToken fresh{storeIdentifier(), 1};
  EXPECT_EQ(monitor->historyToken(), fresh);
  EXPECT_EQ(fileContents(tokenFile()), fresh.serialized());
}

TEST_F(CloudKitSyncServiceTest, AnUnreadableTokenFileMeansReadingAllHistoryAndIsOverwritten) {
  writePrompt(std::nullopt);
  std::ofstream(tokenFile()) << "\x01\x02 not a token";
  auto monitor = makeMonitor();
  EXPECT_FALSE(monitor->historyToken());
  ASSERT_TRUE(process(*monitor).ok());
  EXPECT_TRUE(monitor->takePendingRemoteChanges());
  EXPECT_EQ(fileContents(tokenFile()), (HistoryToken{storeIdentifier(), 1}).serialized());
}

TEST_F(CloudKitSyncServiceTest, ATokenFileFromALaunchBeforeKeepsOldHistoryProcessed) {
  writePrompt(std::nullopt);
  ASSERT_TRUE(process(*makeMonitor()).ok());
  auto relaunched = makeMonitor();
  ASSERT_TRUE(process(*relaunched).ok());
  EXPECT_FALSE(relaunched->takePendingRemoteChanges());
}

TEST_F(CloudKitSyncServiceTest, ManualPullProcessesHistoryAndPushSavesTheViewContext) {
  auto monitor = makeMonitor();
  writePrompt(std::nullopt);
  ASSERT_TRUE(runToCompletion<void>(dispatch, [&](auto done) { monitor->pullChanges(done); }).ok());
  EXPECT_TRUE(monitor->takePendingRemoteChanges());

  ASSERT_TRUE(runToCompletion<void>(dispatch, [&](auto done) { monitor->pushChanges(done); }).ok());
  container->viewContext()->setTransactionAuthor(std::string(kTransactionAuthor));
  container->viewContext()->insertNewObject(model::kPromptEntity);
  ASSERT_TRUE(runToCompletion<void>(dispatch, [&](auto done) { monitor->pushChanges(done); }).ok());
  EXPECT_FALSE(container->viewContext()->hasChanges());
  ASSERT_TRUE(process(*monitor).ok());
  EXPECT_TRUE(monitor->takePendingLocalChanges());
}

// A failure in the app's terms that wraps the store's error `code`.
::testing::AssertionResult isUnavailableWrapping(const platform::Error& error,
                                                 platform::PersistentStoreErrorCode code) {
  if (syncProblem(error) != SyncProblem::unavailable)
    return ::testing::AssertionFailure() << error.debugDescription();
  if (!error.underlying || !platform::isPersistentStoreError(*error.underlying, code)) {
    return ::testing::AssertionFailure() << "cause: " << error.debugDescription();
  }
  return ::testing::AssertionSuccess();
}

TEST_F(CloudKitSyncServiceTest, AFailedPushPassesTheStoresErrorOnInTheAppsTerms) {
  auto monitor = makeMonitor();
  platform::ManagedObject prompt = container->viewContext()->insertNewObject(model::kPromptEntity);
  prompt.setValue(model::kTitle, std::nullopt);  // required
  platform::Result<void> pushed =
      runToCompletion<void>(dispatch, [&](auto done) { monitor->pushChanges(done); });
  ASSERT_FALSE(pushed.ok());
  EXPECT_TRUE(isUnavailableWrapping(pushed.error(),
                                    platform::PersistentStoreErrorCode::ValidationMissingMandatoryProperty));
}

class MonitorWithoutStore : public MonitorTest {};

TEST_F(MonitorWithoutStore, FetchFailuresReachTheCallerAndLeaveTheToken) {
  const HistoryToken saved{platform::UUID::random(), 3};
  std::ofstream(tokenFile()) << saved.serialized();
  auto monitor = makeMonitor();

  platform::Result<void> processed = process(*monitor);
  ASSERT_FALSE(processed.ok());
  EXPECT_TRUE(
      isUnavailableWrapping(processed.error(), platform::PersistentStoreErrorCode::StoreOperationFailed));
  EXPECT_EQ(monitor->historyToken(), saved);
  EXPECT_EQ(fileContents(tokenFile()), saved.serialized());

  platform::Result<void> pulled =
      runToCompletion<void>(dispatch, [&](auto done) { monitor->pullChanges(done); });
  ASSERT_FALSE(pulled.ok());
  EXPECT_TRUE(
      isUnavailableWrapping(pulled.error(), platform::PersistentStoreErrorCode::StoreOperationFailed));
}

TEST_F(CloudKitSyncServiceTest, AReleasedMonitorHearsNothingMore) {
  auto monitor = makeMonitor();
  std::weak_ptr<CloudKitSyncService> weak = monitor;
  dispatch.drain();
  monitor.reset();
  EXPECT_TRUE(weak.expired()) << "its observers hold it weakly";
  writePrompt(std::nullopt);
  postEvent(mirrorEvent(MirrorEvent::Type::Import, true, true));
  dispatch.drain();
}

}  // namespace
}  // namespace velloran::testing
