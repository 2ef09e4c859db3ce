#include "measurement/engine/BMSError.h"

#include <gtest/gtest.h>

#include <limits>

#include "measurement/engine/BMSAppMetadata.h"
#include "measurement/engine/testing/EngineTestSupport.h"

namespace beacon {
namespace {

TEST(BMSError, EngineErrorsCarryDescriptionAndContextOnlyWhenGiven) {
  EXPECT_TRUE(BMSErrorDomain().ends_with(".cnp.measurement.ErrorDomain"));
  const platform::Error plain = bms_errorWithCode(12001, "");
  EXPECT_EQ(plain.domain, BMSErrorDomain());
  EXPECT_TRUE(plain.userInfo.empty());
  const platform::Error withContext = bms_errorWithCode(12001, "Failed", "ctx");
  EXPECT_EQ(withContext.description, "Failed");
  EXPECT_EQ(withContext.userInfo.at(std::string(kBMSMonitorContextKey)), platform::Value("ctx"));
}

TEST(BMSError, MonitorContextJoinsTheContextsOfEngineErrorsInOrder) {
  const std::vector<platform::Value> contexts = {
      BMSContextFromError(bms_errorWithCode(1, "a", "first")),
      BMSContextFromError(
          platform::Error("OtherDomain", 1, "b", {{std::string(kBMSMonitorContextKey), "foreign"}})),
      platform::Value("a plain string"),
      BMSContextFromError(bms_errorWithCode(2, "c")),
      BMSContextFromError(bms_errorWithCode(3, "d", "second")),
  };
  EXPECT_EQ(BMSMonitorContextFromErrors(contexts), "first,second");
  EXPECT_EQ(BMSMonitorContextFromErrors({}), "");
}

TEST(BMSError, ContextsRoundTripErrorsAndTellExceptionsApart) {
  const platform::Error original = bms_errorWithCode(29010, "no platform", "ctx");
  const auto back = BMSErrorFromContext(BMSContextFromError(original));
  ASSERT_TRUE(back);
  EXPECT_TRUE(back->is(BMSErrorDomain(), 29010));
  EXPECT_EQ(back->description, "no platform");
  EXPECT_FALSE(BMSErrorFromContext(platform::Value(42)));
  EXPECT_TRUE(BMSIsExceptionContext(BMSContextFromException("std::runtime_error", "x")));
  EXPECT_FALSE(BMSIsExceptionContext(BMSContextFromError(original)));
}

TEST(BMSError, CheckOrSetSetsTheErrorOnlyWhenFalseAndAnOutSlotIsGiven) {
  platform::Error error;
  EXPECT_FALSE(BMSCheckOrSetErrorValue(0, nullptr, 1, "unused"));
  EXPECT_TRUE(BMSCheckOrSetErrorValue(-1, &error, 1, "unused"));
  EXPECT_TRUE(error.domain.empty());
  EXPECT_FALSE(BMSCheckOrSetErrorPointer(nullptr, &error, 7, "missing"));
  EXPECT_TRUE(error.is(BMSErrorDomain(), 7));
  EXPECT_FALSE(BMSCheckOrSetErrorObject(std::optional<int>(), &error, 8, "none"));
  EXPECT_EQ(error.code, 8);
  EXPECT_TRUE(BMSCheckOrSetErrorBool(true, &error, 9, "kept"));
  EXPECT_EQ(error.code, 8);
}

TEST(BMSAppMetadata, NegativeIndexGivesNoObjectAndTheIndexWrapsAfterTheLargest) {
  testing::ScopedEngineServices services;
  EXPECT_FALSE(BMSAppMetadata::initWithLastBundleIndex(-1, 0, 0));
  EXPECT_EQ(services.log->codes(), std::vector<std::int64_t>{4000});

  auto metadata =
      BMSAppMetadata::initWithLastBundleIndex(std::numeric_limits<std::int32_t>::max() - 1, 1, 2).value();
  metadata.incrementLastBundleIndex();
  EXPECT_EQ(metadata.lastBundleIndex(), std::numeric_limits<std::int32_t>::max());
  metadata.incrementLastBundleIndex();
  EXPECT_EQ(metadata.lastBundleIndex(), 0);
  EXPECT_EQ(services.log->codes(), (std::vector<std::int64_t>{4000, 4001}));
  EXPECT_EQ(services.log->lines[1].level, 5);
}

}  // namespace
}  // namespace beacon
