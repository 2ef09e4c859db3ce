#include "measurement/engine/BMSMonitor.h"

#include <gtest/gtest.h>

#include <limits>

#include "measurement/engine/BMSError.h"
#include "platform/dispatch/DeterministicDispatch.h"
#include "platform/testing/TestApplication.h"
#include "sdk-utilities/logger/CVULogger.h"

namespace beacon {
namespace {

using platform::Value;

class BMSMonitorTest : public ::testing::Test {
 protected:
  BMSMonitorEnvironment environment(std::vector<std::string> arguments = {"velloran"},
                                    bool appStore = false) {
    BMSMonitorEnvironment environment;
    environment.sharedDefaults = BMSUserDefaults::sharedUserDefaults();
    environment.monitorDefaults = monitorSuite;
    environment.clock = dispatch.sharedClock();
    environment.randomBelow = [this](std::uint64_t bound) {
      bounds.push_back(bound);
      return nextRandom;
    };
    environment.arguments = std::move(arguments);
    environment.isAppStoreBuild = appStore;
    return environment;
  }
  std::shared_ptr<BMSMonitor> makeMonitor(std::vector<std::string> arguments = {"velloran"},
                                          bool appStore = false) {
    auto monitor = BMSMonitor::initWithLibraryVersion(120400, environment(std::move(arguments), appStore));
    dispatch.drain();
    return monitor;
  }

  platform::testing::TestApplication application;
  platform::DeterministicDispatch dispatch;
  std::shared_ptr<BMSUserDefaults> monitorSuite =
      std::make_shared<BMSUserDefaults>("com.corvane.cnp.measurement.monitor");
  std::uint64_t nextRandom = 0;
  std::vector<std::uint64_t> bounds;
};

TEST_F(BMSMonitorTest, OnlyMonitorableLevelsAreSampled) {
  auto monitor = makeMonitor();
  monitor->logWithLevel(0, 23001, "printed, never sampled", {});
  monitor->logWithLevel(6, 23002, "notice", {});
  monitor->logWithLevel(8, 23003, "dropped without verbose logging", {});
  monitor->logWithLevel(9, 23004, "also dropped without verbose logging", {});
  dispatch.drain();
  EXPECT_FALSE(monitor->sampledData());

  monitor->logWithLevel(2, 23005, "silent", {Value("secret"), Value(42)});
  dispatch.drain();
  const auto entry = monitor->sampledData();
  ASSERT_TRUE(entry);
  EXPECT_EQ((*entry)[0], Value("-,42"));
  EXPECT_EQ((*entry)[1], Value(1));
  EXPECT_EQ((*entry)[2], Value("1E_120400:silent"));
  EXPECT_EQ((*entry)[3], Value(dispatch.clock().now()));
  // Saved at once in the monitor's own suite.
  EXPECT_EQ(monitorSuite->arrayForKey(kBMSHealthMonitorKey), entry);
}

TEST_F(BMSMonitorTest, KeepsLevelAnswersWhetherALineWouldBePrintedOrSampled) {
  auto monitor = makeMonitor();
  CVULoggerSetLevel(kCVULoggerLevelNotice);
  EXPECT_TRUE(monitor->keepsLevel(0));   // printed
  EXPECT_TRUE(monitor->keepsLevel(2));   // sampled
  EXPECT_FALSE(monitor->keepsLevel(7));  // debug lines below the logger's level
  EXPECT_FALSE(monitor->keepsLevel(9));  // only with verbose logging
  monitor->setVerboseLoggingEnabled(true);
  EXPECT_TRUE(monitor->keepsLevel(7));
  EXPECT_TRUE(monitor->keepsLevel(9));
  monitor->setVerboseLoggingEnabled(false);
  CVULoggerSetLevel(kCVULoggerLevelNotice);
}

TEST_F(BMSMonitorTest, ReservoirKeepsOneMessageAndCountsThePopulation) {
  auto monitor = makeMonitor();
  monitor->logWithLevel(4, 1, "first", {});
  nextRandom = 1;
  monitor->logWithLevel(4, 2, "second", {});
  dispatch.drain();
  EXPECT_EQ(bounds, std::vector<std::uint64_t>{2});
  EXPECT_EQ((*monitor->sampledData())[2], Value("1W_120400:first"));
  // The last update of a burst saves the sample as the burst left it.
  EXPECT_EQ(monitorSuite->arrayForKey(kBMSHealthMonitorKey), monitor->sampledData());
  EXPECT_EQ((*monitorSuite->arrayForKey(kBMSHealthMonitorKey))[1], Value(2));
  nextRandom = 0;
  monitor->logWithLevel(1, 3, "third", {BMSContextFromError(bms_errorWithCode(12003, "read", "queue"))});
  dispatch.drain();
  const auto entry = *monitor->sampledData();
  EXPECT_EQ(entry[1], Value(3));
  EXPECT_EQ(entry[2], Value("1E_120400:third"));
  EXPECT_EQ(entry[0], Value(BMSErrorDomain() + ",queue"));
}

TEST_F(BMSMonitorTest, DispatchAnswersOncePerPeriod) {
  auto monitor = makeMonitor();
  const double now = dispatch.clock().now().unixSeconds();
  EXPECT_FALSE(monitor->monitoringDataForDispatchWithSamplePeriod(86400, 0));
  EXPECT_FALSE(monitor->monitoringDataForDispatchWithSamplePeriod(86400, now - 100));
  EXPECT_EQ(monitor->monitoringDataForDispatchWithSamplePeriod(86400, now - 86401), "0:");
  // A last sample ahead of the clock (the clock set back since) is as far off as one behind it.
  EXPECT_FALSE(monitor->monitoringDataForDispatchWithSamplePeriod(86400, now + 1));
  EXPECT_FALSE(monitor->monitoringDataForDispatchWithSamplePeriod(86400, now + 600));
  EXPECT_EQ(monitor->monitoringDataForDispatchWithSamplePeriod(86400, now + 86401), "0:");

  monitor->logWithLevel(4, 1, "a", {Value("x")});
  monitor->logWithLevel(4, 1, "a", {});
  dispatch.drain();
  EXPECT_FALSE(monitor->monitoringDataForDispatchWithSamplePeriod(86400, now));
  dispatch.advance(std::chrono::seconds(86401));
  EXPECT_EQ(monitor->monitoringDataForDispatchWithSamplePeriod(86400, now), "2:1W_120400:a");
  EXPECT_FALSE(monitor->sampledData());
  EXPECT_FALSE(monitorSuite->objectForKey(kBMSHealthMonitorKey));
}

TEST_F(BMSMonitorTest, SampleStartedAheadOfTheClockIsDispatchedOnceAPeriodLiesBetween) {
  // Started while the clock ran a year ahead; the clock has been set back since.
  const platform::Date now = dispatch.clock().now();
  const platform::Date yearAhead{now.secondsSinceReferenceDate + 365 * 86400.0};
  monitorSuite->setObject(
      Value(BMSMonitoringSampledData::sampledDataEntryWithKey("1E_1:ahead", yearAhead, "", 3)),
      kBMSHealthMonitorKey);
  auto monitor = makeMonitor();
  EXPECT_EQ(monitor->monitoringDataForDispatchWithSamplePeriod(86400, 0), "3:1E_1:ahead");
  EXPECT_FALSE(monitor->sampledData());

  // A start only a little ahead is no whole period away.
  monitorSuite->setObject(Value(BMSMonitoringSampledData::sampledDataEntryWithKey(
                              "1E_1:soon", platform::Date{now.secondsSinceReferenceDate + 600}, "", 1)),
                          kBMSHealthMonitorKey);
  auto again = makeMonitor();
  EXPECT_FALSE(again->monitoringDataForDispatchWithSamplePeriod(86400, 0));
  EXPECT_TRUE(again->sampledData());
}

TEST_F(BMSMonitorTest, ContextsEncodeWithoutTheirContentsAndNumbersAsRanges) {
  EXPECT_EQ(
      BMSMonitor::encodedStringWithContextArray({Value("a string"), Value(42), Value(12345), Value()}, false),
      "-,42,10000...99999,");
  EXPECT_EQ(BMSMonitor::encodedStringWithContextObject(Value(150)), "100...999");
  EXPECT_EQ(BMSMonitor::encodedStringWithContextObject(Value(-150)), "-999...-100");
  EXPECT_EQ(BMSMonitor::encodedStringWithContextObject(Value(-99)), "-99");
  EXPECT_EQ(BMSMonitor::encodedStringWithContextObject(Value(100)), "100...999");
  EXPECT_EQ(BMSMonitor::encodedStringWithContextObject(Value(999999999999999999LL)),
            "100000000000000000...999999999999999999");
  EXPECT_EQ(BMSMonitor::encodedStringWithContextObject(Value(std::numeric_limits<long long>::max())),
            "1000000000000000000...9999999999999999999");
  EXPECT_EQ(BMSMonitor::encodedStringWithContextObject(Value(std::numeric_limits<long long>::min())),
            "-9999999999999999999...-1000000000000000000");
  EXPECT_EQ(BMSMonitor::encodedStringWithContextObject(BMSContextFromException("BMSBrokenThing", "why")),
            "BMSBrokenThing");
  EXPECT_EQ(BMSMonitor::encodedStringWithContextObject(Value(platform::Array{})), "?");
  EXPECT_EQ(BMSMonitor::encodedStringWithContextArray({Value("a"), Value(1)}, true), "-, 1");
}

TEST_F(BMSMonitorTest, ConsoleTextNamesMissingMessagesAndListsContexts) {
  EXPECT_EQ(BMSMonitor::stringWithLogMessage(std::nullopt, 1, {}, false), "(Message was nil)");
  EXPECT_EQ(BMSMonitor::stringWithLogMessage("", 1, {}, false), "(Message was empty)");
  EXPECT_EQ(BMSMonitor::stringWithLogMessage("Failed", 1, {Value("name"), Value(), Value(7)}, false),
            "Failed: name, (nil), 7");
  EXPECT_EQ(BMSMonitor::stringWithLogMessage("Failed", 1,
                                             {BMSContextFromException("std::runtime_error", "boom")}, false),
            "Failed: std::runtime_error: boom");
  EXPECT_EQ(BMSMonitor::stringWithLogMessage("Failed", 1, {Value("name"), Value(7)}, true), "Failed: -, 7");
  EXPECT_EQ(BMSMonitor::monitoringDataKeyWithMessage("m", 7, 3), "1?_3:m");
}

TEST_F(BMSMonitorTest, LevelTables) {
  for (std::int64_t level = 0; level <= 10; ++level) {
    EXPECT_EQ(BMSMonitor::isSilentLevel(level), level == 2 || level == 5 || level > 8) << level;
    EXPECT_EQ(BMSMonitor::isMonitorableLevel(level),
              level == 1 || level == 2 || level == 4 || level == 5 || level > 8)
        << level;
  }
  EXPECT_EQ(BMSMonitor::logLevelDescriptionFromLogLevel(2), "ERROR");
  EXPECT_EQ(BMSMonitor::logLevelDescriptionFromLogLevel(5), "WARNING");
  EXPECT_EQ(BMSMonitor::logLevelDescriptionFromLogLevel(6), "NOTICE");
  EXPECT_EQ(BMSMonitor::logLevelDescriptionFromLogLevel(7), "DEBUG");
  EXPECT_FALSE(BMSMonitor::logLevelDescriptionFromLogLevel(8));
}

TEST_F(BMSMonitorTest, LaunchArgumentsAndTheStoredFlagTurnDebugModeOnButNotInStoreBuilds) {
  auto store = makeMonitor({"velloran", "-BCNAnalyticsDebugEnabled"}, true);
  EXPECT_FALSE(store->isDebugModeEnabled());
  EXPECT_EQ(store->logLevel(), 6);

  auto debug = makeMonitor({"velloran", "-BCNAnalyticsDebugEnabled", "-BMSAnalyticsVerboseLoggingEnabled"});
  EXPECT_TRUE(debug->isDebugModeEnabled());
  EXPECT_TRUE(debug->isVerboseLoggingEnabled());
  EXPECT_EQ(debug->logLevel(), 8);
  EXPECT_TRUE(BMSUserDefaults::sharedUserDefaults()->boolForKey(kBMSDebugModeKey));

  // The stored flags alone turn both on at the next start; a "no" argument wins over them.
  EXPECT_TRUE(makeMonitor()->isDebugModeEnabled());
  auto off = makeMonitor({"velloran", "-noBMSAnalyticsDebugEnabled", "-BCNAnalyticsVerboseLoggingDisabled"});
  EXPECT_FALSE(off->isDebugModeEnabled());
  EXPECT_FALSE(off->isVerboseLoggingEnabled());
  EXPECT_FALSE(BMSUserDefaults::sharedUserDefaults()->objectForKey(kBMSDebugModeKey));
  EXPECT_FALSE(BMSUserDefaults::sharedUserDefaults()->objectForKey(kBMSVerboseLoggingKey));
  CVULoggerSetLevel(kCVULoggerLevelNotice);
}

TEST_F(BMSMonitorTest, LegacySampleMovesToTheMonitorSuiteOnce) {
  const platform::Array legacy =
      BMSMonitoringSampledData::sampledDataEntryWithKey("1E_1:old", dispatch.clock().now(), "-", 4);
  BMSUserDefaults::sharedUserDefaults()->setObject(Value(legacy), kBMSHealthMonitorKey);
  auto monitor = makeMonitor();
  EXPECT_EQ(monitor->sampledData(), legacy);
  EXPECT_FALSE(BMSUserDefaults::sharedUserDefaults()->objectForKey(kBMSHealthMonitorKey));
  EXPECT_EQ(monitorSuite->integerForKey(kBMSMonitorMigrationStateKey), 2);

  // Once migrated, a legacy value that turns up again is left alone.
  BMSUserDefaults::sharedUserDefaults()->setObject(Value(platform::Array{}), kBMSHealthMonitorKey);
  makeMonitor();
  EXPECT_TRUE(BMSUserDefaults::sharedUserDefaults()->objectForKey(kBMSHealthMonitorKey));
}

TEST_F(BMSMonitorTest, InvalidStoredSampleIsIgnoredAndClearingForgetsSampleAndDebugFlag) {
  monitorSuite->setObject(Value(platform::Array{Value("-"), Value("not a number"), Value("k"), Value(1)}),
                          kBMSHealthMonitorKey);
  auto monitor = makeMonitor({"velloran", "-BMSAnalyticsDebugEnabled"});
  EXPECT_FALSE(monitor->sampledData());
  monitor->logWithLevel(4, 1, "a", {});
  dispatch.drain();
  ASSERT_TRUE(monitor->sampledData());
  monitor->clearMonitoringData();
  EXPECT_FALSE(monitor->sampledData());
  EXPECT_FALSE(BMSUserDefaults::sharedUserDefaults()->objectForKey(kBMSDebugModeKey));
  EXPECT_FALSE(monitorSuite->objectForKey(kBMSHealthMonitorKey));
  CVULoggerSetLevel(kCVULoggerLevelNotice);
}

}  // namespace
}  // namespace beacon
