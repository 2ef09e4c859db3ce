// One heartbeat per UTC day per app ID, across flushes and restarts, and the header it ends up in.

#include "sdk-core/heartbeat/HeartbeatController.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include <chrono>
#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "platform/dispatch/DeterministicDispatch.h"
#include "platform/value/Base64.h"
#include "sdk-core/heartbeat/HeartbeatsBundleCoding.h"
#include "sdk-core/heartbeat/tests/HeartbeatTestSupport.h"
#include "sdk-utilities/gzip/CVUGzip.h"

using namespace std::chrono_literals;

namespace beacon {
namespace {

using testing::kTestAppID;
using testing::utc;

using Payload = HeartbeatsPayload;

class HeartbeatControllerTest : public ::testing::Test {
 protected:
  HeartbeatControllerTest() { clock().setNow(utc(2024, 5, 1, 12)); }

  platform::ManualClock& clock() { return dispatch.clock(); }
  std::unique_ptr<HeartbeatController> makeController() {
    return std::make_unique<HeartbeatController>(kTestAppID, dispatch.sharedClock());
  }

  testing::TemporaryApplication app;
  platform::DeterministicDispatch dispatch{std::make_shared<platform::ManualClock>()};
  std::unique_ptr<HeartbeatController> controller = makeController();
};

TEST_F(HeartbeatControllerTest, OneHeartbeatPerUtcDayUnderTheFirstAgentOfTheDay) {
  controller->log("first/1");
  clock().setNow(utc(2024, 5, 1, 23, 59));
  controller->log("second/2");
  EXPECT_EQ(controller->flush(), (Payload{{{"first/1", {utc(2024, 5, 1)}}}, 2}));
}

TEST_F(HeartbeatControllerTest, TheNextUtcDayCountsAgainEvenMinutesLater) {
  clock().setNow(utc(2024, 5, 1, 23, 59));
  controller->log("a");
  clock().setNow(utc(2024, 5, 2, 0, 1));
  controller->log("a");
  EXPECT_EQ(controller->flush(), (Payload{{{"a", {utc(2024, 5, 1), utc(2024, 5, 2)}}}, 2}));
}

TEST_F(HeartbeatControllerTest, LogReturnsAtOnceAndTheFlushSeesIt) {
  controller->log("a");
  EXPECT_FALSE(std::filesystem::exists(app.heartbeatFile(kTestAppID)));
  EXPECT_FALSE(controller->flush().isEmpty());
}

TEST_F(HeartbeatControllerTest, AFlushedDayIsNotLoggedAgainAndTheSecondFlushIsEmpty) {
  controller->log("a");
  EXPECT_FALSE(controller->flush().isEmpty());
  controller->log("a");
  EXPECT_TRUE(controller->flush().isEmpty());

  clock().setNow(utc(2024, 5, 2, 8));
  controller->log("a");
  EXPECT_EQ(controller->flush(), (Payload{{{"a", {utc(2024, 5, 2)}}}, 2}));
}

TEST_F(HeartbeatControllerTest, TheCountedDaySurvivesARestart) {
  // Each restart drops the last controller once its work has run, so the storage dies and the next
  // one starts from the file alone.
  auto restart = [&] {
    dispatch.drain();
    std::weak_ptr<HeartbeatStorage> storage = HeartbeatStorage::sharedStorage(kTestAppID);
    controller.reset();
    ASSERT_TRUE(storage.expired());
    controller = makeController();
  };
  controller->log("a");
  restart();
  controller->log("b");
  clock().setNow(utc(2024, 5, 3, 1));
  controller->log("c");
  restart();
  EXPECT_EQ(controller->flush(), (Payload{{{"a", {utc(2024, 5, 1)}}, {"c", {utc(2024, 5, 3)}}}, 2}));
}

TEST_F(HeartbeatControllerTest, TwoControllersOfOneIDShareTheirStore) {
  auto other = makeController();
  controller->log("a");
  other->log("b");
  EXPECT_EQ(other->flush(), (Payload{{{"a", {utc(2024, 5, 1)}}}, 2}));
  EXPECT_TRUE(controller->flush().isEmpty());
}

TEST_F(HeartbeatControllerTest, FlushingNothingStoredLeavesAnEmptyStore) {
  EXPECT_EQ(controller->flush(), Payload::emptyPayload());
  EXPECT_TRUE(std::filesystem::exists(app.heartbeatFile(kTestAppID)));
  EXPECT_EQ(std::filesystem::file_size(app.heartbeatFile(kTestAppID)), 0u);
}

TEST_F(HeartbeatControllerTest, TodaysHeartbeatIsTakenOutAloneAndOnlyOnce) {
  clock().setNow(utc(2024, 4, 30, 10));
  controller->log("yesterday");
  clock().setNow(utc(2024, 5, 1, 10));
  EXPECT_TRUE(controller->flushHeartbeatFromToday().isEmpty());

  controller->log("today");
  EXPECT_EQ(controller->flushHeartbeatFromToday(), (Payload{{{"today", {utc(2024, 5, 1)}}}, 2}));
  EXPECT_TRUE(controller->flushHeartbeatFromToday().isEmpty());
  controller->log("today again");
  EXPECT_EQ(controller->flush(), (Payload{{{"yesterday", {utc(2024, 4, 30)}}}, 2}));
}

TEST_F(HeartbeatControllerTest, AStoreWithoutCountedPeriodsNeverLogsAndKeepsItsEmptyMap) {
  auto stored = encodeHeartbeatsBundle(HeartbeatsBundle(30, LastAddedHeartbeatDates{}));
  app.store(kTestAppID, std::string(stored->begin(), stored->end()));
  controller->log("a");
  EXPECT_TRUE(controller->flush().isEmpty());

  auto storage = HeartbeatStorage::sharedStorage(kTestAppID);
  storage->updateSync([](std::optional<HeartbeatsBundle> bundle) {
    EXPECT_TRUE(bundle.has_value() && bundle->lastAddedHeartbeatDates.empty());
    return bundle;
  });
}

TEST_F(HeartbeatControllerTest, ADayCountedUnderAClockThatRanAheadDoesNotStopHeartbeats) {
  clock().setNow(utc(2031, 1, 1, 12));  // the clock was years ahead once
  controller->log("ahead");
  EXPECT_FALSE(controller->flush().isEmpty());

  clock().setNow(utc(2024, 5, 1, 12));  // and was set right again
  controller->log("a");
  EXPECT_EQ(controller->flush(), (Payload{{{"a", {utc(2024, 5, 1)}}}, 2}));
  controller->log("a");
  EXPECT_TRUE(controller->flush().isEmpty()) << "still one heartbeat a day";
  clock().setNow(utc(2024, 5, 2, 12));
  controller->log("a");
  EXPECT_EQ(controller->flush(), (Payload{{{"a", {utc(2024, 5, 2)}}}, 2}));
}

TEST_F(HeartbeatControllerTest, DaysAreUtcDaysWhateverTheLocalTimeZone) {
  platform::testing::ScopedEnvironment environment;
  environment.set("TZ", "Pacific/Kiritimati");  // UTC+14: local time is already 2 May
  ::tzset();
  clock().setNow(utc(2024, 5, 1, 12));
  controller->log("a");
  EXPECT_EQ(controller->flush(), (Payload{{{"a", {utc(2024, 5, 1)}}}, 2}));
}

TEST_F(HeartbeatControllerTest, AStoreThatCannotBeWrittenFlushesNothing) {
  class Unwritable final : public Storage {
   public:
    platform::Result<platform::Bytes> read() override {
      auto data = encodeHeartbeatsBundle(HeartbeatsBundle(30));
      return *data;
    }
    platform::Result<void> write(const std::optional<platform::Bytes>&) override {
      return storageError(StorageError::writeError, "read-only");
    }
  };
  HeartbeatController unwritable(HeartbeatStorage::make(kTestAppID, std::make_shared<Unwritable>()),
                                 [this] { return clock().now(); });
  EXPECT_EQ(unwritable.flush(), Payload::emptyPayload());
}

TEST_F(HeartbeatControllerTest, AnyDateSourceIsNormalisedToItsUtcDay) {
  HeartbeatController withSource(HeartbeatStorage::sharedStorage("1:9:macos:any"),
                                 [] { return utc(2024, 2, 29, 17, 45); });
  withSource.log("a");
  EXPECT_EQ(withSource.flushHeartbeatFromToday(), (Payload{{{"a", {utc(2024, 2, 29)}}}, 2}));
  EXPECT_EQ(HeartbeatController::normalizeToDay(utc(1969, 7, 20, 20, 17)), utc(1969, 7, 20));
}

TEST_F(HeartbeatControllerTest, TheFlushedHeartbeatReachesTheHeaderOnceAsUrlSafeGzippedJson) {
  controller->log("bcn-core/12.4.0 os-version/14.5");
  const std::string header = controller->flush().headerValue();

  auto gzipped = platform::base64Decode(header, platform::Base64Alphabet::UrlSafe);
  ASSERT_TRUE(gzipped.has_value()) << header;
  auto text = CVUGzip::cvu_dataByInflatingGzippedData(*gzipped);
  ASSERT_TRUE(text.has_value());
  EXPECT_EQ(nlohmann::json::parse(text->begin(), text->end()), nlohmann::json::parse(R"({
    "heartbeats": [{"agent": "bcn-core/12.4.0 os-version/14.5", "dates": ["2024-05-01"]}],
    "version": 2})"));

  EXPECT_TRUE(controller->flush().isEmpty());
}

}  // namespace
}  // namespace beacon
