#include "Velloran/persistence/StoreRecovery.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "platform/pstore/PersistentStoreError.h"

namespace velloran {
namespace {

platform::Error storeError(platform::PersistentStoreErrorCode code) {
  return platform::persistentStoreError(code, "made by another model");
}

// Plays the given load outcomes in turn and records every step taken.
class ScriptedStore {
 public:
  ScriptedStore(std::vector<std::optional<platform::Error>> loads, platform::Result<void> reset = {})
      : loads_(loads.begin(), loads.end()), reset_(std::move(reset)) {}

  std::optional<StoreLoadFailure> run() {
    StoreLoadOutcome outcome = loadRecoveringStore(
        [this] {
          steps.push_back("load");
          if (loads_.empty()) throw std::logic_error("loaded more often than scripted");
          std::optional<platform::Error> outcome = loads_.front();
          loads_.pop_front();
          return outcome;
        },
        [this] {
          steps.push_back("reset");
          return reset_;
        },
        [this]() -> platform::Result<std::optional<std::filesystem::path>> {
          steps.push_back("set aside");
          if (!reset_) return reset_.error();
          if (setAsideByAnotherStart) return std::optional<std::filesystem::path>();
          return std::optional<std::filesystem::path>("/kept/Velloran.sqlite.damaged");
        });
    setAside = outcome.damagedStore;
    return outcome.failure;
  }

  // The damaged file was gone aside by the time this start came to it.
  bool setAsideByAnotherStart = false;
  std::optional<std::filesystem::path> setAside;

  std::vector<std::string> steps;

 private:
  std::deque<std::optional<platform::Error>> loads_;
  platform::Result<void> reset_;
};

using Steps = std::vector<std::string>;

TEST(StoreRecovery, IncompatibleModelCodesWhateverTheDomain) {
  for (std::int64_t code : {134100, 134110, 134130}) {
    EXPECT_TRUE(isIncompatibleStoreError(platform::Error("SomeOtherDomain", code))) << code;
  }
  for (std::int64_t code : {26, 11, 14, 134080, 134501, 513}) {
    EXPECT_FALSE(
        isIncompatibleStoreError(platform::Error(std::string(platform::kPersistentStoreErrorDomain), code)))
        << code;
  }
}

TEST(StoreRecovery, LoadedStoreIsUsedAsItIs) {
  ScriptedStore store({std::nullopt});
  EXPECT_FALSE(store.run());
  EXPECT_EQ(store.steps, Steps{"load"});
}

TEST(StoreRecovery, IncompatibleStoreIsResetAndLoadedOnceMore) {
  for (auto code : {platform::PersistentStoreErrorCode::IncompatibleModel,
                    platform::PersistentStoreErrorCode::MigrationFailed,
                    platform::PersistentStoreErrorCode::MissingSourceModel}) {
    ScriptedStore store({storeError(code), std::nullopt});
    EXPECT_FALSE(store.run());
    EXPECT_EQ(store.steps, (Steps{"load", "reset", "load"}));
  }
}

TEST(StoreRecovery, OtherLoadFailuresEndWithoutTouchingTheStore) {
  ScriptedStore store({platform::Error(std::string(platform::kSQLiteErrorDomain), 14, "unable to open")});
  std::optional<StoreLoadFailure> failure = store.run();
  ASSERT_TRUE(failure);
  EXPECT_EQ(store.steps, Steps{"load"});
  EXPECT_EQ(failure->message, "Failed to load CloudKit store: ");
  EXPECT_EQ(failure->report(), "Failed to load CloudKit store: SQLiteErrorDomain 14: unable to open");
}

TEST(StoreRecovery, ADamagedStoreIsSetAsideAndLoadedAfreshOnce) {
  for (std::int64_t code : {11, 26}) {
    ScriptedStore store({platform::Error(std::string(platform::kSQLiteErrorDomain), code), std::nullopt});
    EXPECT_FALSE(store.run());
    EXPECT_EQ(store.steps, (Steps{"load", "set aside", "load"}));
    EXPECT_EQ(store.setAside, std::filesystem::path("/kept/Velloran.sqlite.damaged"));
  }
  ScriptedStore stillDamaged({platform::Error(std::string(platform::kSQLiteErrorDomain), 11),
                              platform::Error(std::string(platform::kSQLiteErrorDomain), 11)});
  std::optional<StoreLoadFailure> failure = stillDamaged.run();
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->message, kLoadAfterSetAsideFailedMessage);
  EXPECT_EQ(stillDamaged.steps, (Steps{"load", "set aside", "load"}));

  ScriptedStore stuck({platform::Error(std::string(platform::kSQLiteErrorDomain), 26)},
                      platform::Error(std::string(platform::kPersistentStoreErrorDomain), 513));
  failure = stuck.run();
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->message, kSetAsideFailedMessage);
  EXPECT_EQ(stuck.steps, (Steps{"load", "set aside"}));
}

TEST(StoreRecovery, ADamagedStoreAnotherStartSetAsideIsLoadedAfreshWithNothingToTell) {
  ScriptedStore store({platform::Error(std::string(platform::kSQLiteErrorDomain), 26), std::nullopt});
  store.setAsideByAnotherStart = true;
  EXPECT_FALSE(store.run());
  EXPECT_EQ(store.steps, (Steps{"load", "set aside", "load"}));
  EXPECT_FALSE(store.setAside);
}

TEST(StoreRecovery, FailedResetEndsBeforeAnotherLoad) {
  ScriptedStore store({storeError(platform::PersistentStoreErrorCode::MigrationFailed)},
                      platform::persistentStoreError(platform::PersistentStoreErrorCode::WriteNoPermission,
                                                     "Cannot remove Velloran.sqlite"));
  std::optional<StoreLoadFailure> failure = store.run();
  ASSERT_TRUE(failure);
  EXPECT_EQ(store.steps, (Steps{"load", "reset"}));
  EXPECT_EQ(failure->message, "Failed to reset incompatible store: ");
  EXPECT_EQ(failure->error.code, 513);
}

TEST(StoreRecovery, SecondFailureAfterAResetEndsWithoutAThirdAttempt) {
  // Even an incompatible store again: there is exactly one reset.
  ScriptedStore store({storeError(platform::PersistentStoreErrorCode::MigrationFailed),
                       storeError(platform::PersistentStoreErrorCode::IncompatibleModel)});
  std::optional<StoreLoadFailure> failure = store.run();
  ASSERT_TRUE(failure);
  EXPECT_EQ(store.steps, (Steps{"load", "reset", "load"}));
  EXPECT_EQ(failure->message, "Failed to load CloudKit store after resetting local store: ");
  EXPECT_EQ(failure->error.code, 134100);
}

}  // namespace
}  // namespace velloran
