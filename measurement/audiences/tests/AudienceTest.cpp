// Audience definitions are kept across restarts and replaced as a whole; evaluation has no effect and
// bundling gets no results.

#include "measurement/audiences/BMSAudience.h"

#include <gtest/gtest.h>

#include "measurement/messages/NANOAccessors.h"
#include "measurement/storage/BMSDatabase.h"
#include "platform/testing/TestEnvironment.h"

namespace beacon {
namespace {

class AudienceTest : public ::testing::Test {
 protected:
  AudienceTest() { reopen(); }

  void reopen() {
    audience.reset();
    database.reset();
    database = BMSDatabase::openAtPath(folder.path() / kBMSMeasurementDatabaseName).value();
    audience = BMSAudience::initWithDatabase(database);
    ASSERT_TRUE(audience);
  }

  static BMSPBAudience audienceWithID(std::int32_t id) {
    BMSPBAudience message;
    NANOSetInt32(message, AudienceField::kAudienceID, id);
    return message;
  }

  std::vector<std::int64_t> storedIDs() {
    std::vector<std::int64_t> ids;
    const auto stored = audience->storedAudiences().value();
    for (const auto& one : stored) ids.push_back(NANOGetInt32(one, AudienceField::kAudienceID));
    return ids;
  }

  platform::testing::TemporaryDirectory folder;
  std::shared_ptr<BMSDatabase> database;
  std::shared_ptr<BMSAudience> audience;
};

TEST_F(AudienceTest, NeedsADatabase) {
  EXPECT_FALSE(BMSAudience::initWithDatabase(nullptr));
}

TEST_F(AudienceTest, DefinitionsAreReplacedAsAWholeAndSurviveARestart) {
  ASSERT_TRUE(audience->updateAudiences({audienceWithID(7), audienceWithID(3), audienceWithID(9)}));
  ASSERT_TRUE(audience->updateAudiences({audienceWithID(4), audienceWithID(2)}));
  reopen();
  EXPECT_EQ(storedIDs(), (std::vector<std::int64_t>{2, 4}));

  ASSERT_TRUE(audience->updateAudiences({}));
  EXPECT_TRUE(storedIDs().empty());
}

TEST_F(AudienceTest, AnUpdateInsideARolledBackTransactionLeavesTheOldDefinitions) {
  ASSERT_TRUE(audience->updateAudiences({audienceWithID(1)}));
  database->performTransaction([&] {
    EXPECT_TRUE(audience->updateAudiences({audienceWithID(5)}));
    return false;
  });
  EXPECT_EQ(storedIDs(), (std::vector<std::int64_t>{1}));
}

TEST_F(AudienceTest, EvaluationHasNoEffectAndBundlingGetsNoResults) {
  ASSERT_TRUE(audience->updateAudiences({audienceWithID(1)}));
  auto event = BMSEvent::initWithOrigin("app", true, "level_up", 10, 0, {});
  auto aggregates = BMSEventAggregates::initWithName("level_up", 1, 1, 1, 10);
  ASSERT_TRUE(event && aggregates);
  BMSAudienceTimestampsCache cache;
  EXPECT_TRUE(audience->evaluateFiltersForEvent(*event, *aggregates, cache));
  EXPECT_TRUE(audience->evaluateFiltersForNanoUserProperty(BMSPBUserAttribute(), &cache, 10.0));
  audience->clearEvaluationResultsForSessionScopedFilters();

  std::vector<BMSPBAudienceResult> results(2);
  EXPECT_TRUE(audience->resultsForBundling(results));
  EXPECT_TRUE(results.empty());
  EXPECT_TRUE(cache.empty());
}

}  // namespace
}  // namespace beacon
