#include "Velloran/sync/SyncErrorMapping.h"

#include <gtest/gtest.h>

#include "Velloran/data/PromptError.h"
#include "Velloran/data/SyncProblem.h"
#include "platform/mirror/CloudMirrorError.h"
#include "platform/pstore/PersistentStoreError.h"

namespace velloran {
namespace {

platform::Error cloudError(std::int64_t code) {
  return platform::Error(std::string(platform::kCloudMirrorErrorDomain), code, "mirror says no");
}

std::optional<SyncProblem> problemOf(const platform::Error& error) {
  return syncProblem(appSyncError(error));
}

TEST(SyncErrorMappingTest, MirroringFailuresAreToldApartByCode) {
  EXPECT_EQ(problemOf(cloudError(3)), SyncProblem::temporarilyUnavailable);
  EXPECT_EQ(problemOf(cloudError(4)), SyncProblem::temporarilyUnavailable);
  EXPECT_EQ(problemOf(cloudError(6)), SyncProblem::temporarilyUnavailable);
  EXPECT_EQ(problemOf(cloudError(9)), SyncProblem::noAccount);
  EXPECT_EQ(problemOf(cloudError(102)), SyncProblem::clockAhead);
  EXPECT_EQ(problemOf(cloudError(100)), SyncProblem::unavailable);
  EXPECT_EQ(problemOf(cloudError(7)), SyncProblem::unavailable);
  EXPECT_EQ(problemOf(cloudError(0)), SyncProblem::unavailable);
}

TEST(SyncErrorMappingTest, StoreFailuresOfAnyCodeAreUnavailable) {
  EXPECT_EQ(problemOf(platform::persistentStoreError(platform::PersistentStoreErrorCode::MergeConflict,
                                                     "conflict")),
            SyncProblem::unavailable);
  EXPECT_EQ(problemOf(platform::Error(std::string(platform::kSQLiteErrorDomain), 26, "not a database")),
            SyncProblem::unavailable);
}

TEST(SyncErrorMappingTest, TheOriginalFailureIsKeptAsCauseAndDescription) {
  const platform::Error mapped = appSyncError(cloudError(9));
  EXPECT_EQ(mapped.description, "mirror says no");
  ASSERT_NE(mapped.underlying, nullptr);
  EXPECT_TRUE(mapped.underlying->is(platform::kCloudMirrorErrorDomain, 9));
}

TEST(SyncErrorMappingTest, OtherFailuresPassUnchanged) {
  const platform::Error own = makeError(PromptError::notFound);
  EXPECT_TRUE(appSyncError(own).is(own.domain, own.code));
  // A code that means something in the mirroring's domain means nothing in another.
  const platform::Error net("platform.net", 9, "Verbindung abgebrochen");
  EXPECT_EQ(problemOf(net), std::nullopt);
  EXPECT_EQ(appSyncError(net).description, "Verbindung abgebrochen");
}

TEST(SyncErrorMappingTest, MirrorEventsBecomeSyncEventsOfTheSameStep) {
  platform::MirrorEvent event;
  event.type = platform::MirrorEvent::Type::Export;
  event.succeeded = true;
  EXPECT_EQ(appSyncEvent(event), (SyncEvent{SyncEvent::Type::Export, true, std::nullopt}));
  event.type = platform::MirrorEvent::Type::Import;
  event.succeeded = false;
  event.error = cloudError(3);
  const SyncEvent failed = appSyncEvent(event);
  EXPECT_EQ(failed.type, SyncEvent::Type::Import);
  EXPECT_FALSE(failed.succeeded);
  ASSERT_TRUE(failed.error);
  EXPECT_EQ(syncProblem(*failed.error), SyncProblem::temporarilyUnavailable);
  event.type = platform::MirrorEvent::Type::Setup;
  EXPECT_EQ(appSyncEvent(event).type, SyncEvent::Type::Setup);
}

}  // namespace
}  // namespace velloran
