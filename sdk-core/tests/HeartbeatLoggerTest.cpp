// The heartbeat logger as apps and the installations client use it.

#include <gtest/gtest.h>

#include <chrono>

#include "platform/json/Json.h"
#include "platform/time/ManualClock.h"
#include "platform/value/Base64.h"
#include "sdk-core/BCNHeartbeatLogger.h"
#include "sdk-core/tests/CoreTestSupport.h"
#include "sdk-utilities/gzip/CVUGzip.h"

namespace beacon {
namespace {

using namespace std::chrono_literals;

constexpr const char* kAppID = "1:123456789012:ios:0123456789abcdef";

class HeartbeatLoggerTest : public ::testing::Test {
 protected:
  std::unique_ptr<BCNHeartbeatLogger> makeLogger(std::string agent = "agent/1") {
    return std::make_unique<BCNHeartbeatLogger>(
        kAppID, [agent] { return agent; }, clock_);
  }

  testing::TemporaryApplication application_;
  // 2023-11-14 22:13:20 UTC.
  std::shared_ptr<platform::ManualClock> clock_ = std::make_shared<platform::ManualClock>();
};

TEST_F(HeartbeatLoggerTest, AFreshAppIDHasNothingToReport) {
  auto logger = makeLogger();

  EXPECT_EQ(logger->heartbeatCodeForToday(), kBCNHeartbeatCodeNone);
  const auto payload = logger->flushHeartbeatsIntoPayload();
  EXPECT_TRUE(payload->isEmpty());
  EXPECT_EQ(BCNHeartbeatHeaderValue(*payload), std::nullopt);
}

TEST_F(HeartbeatLoggerTest, TodaysHeartbeatIsTakenOutOnce) {
  auto logger = makeLogger();

  logger->log();
  EXPECT_EQ(logger->heartbeatCodeForToday(), kBCNHeartbeatCodeTodayTakenOut);
  EXPECT_EQ(logger->heartbeatCodeForToday(), kBCNHeartbeatCodeNone);

  // The day is already counted: logging again the same day stores nothing.
  logger->log();
  EXPECT_EQ(logger->heartbeatCodeForToday(), kBCNHeartbeatCodeNone);
}

TEST_F(HeartbeatLoggerTest, AFlushCarriesTheAgentAndTheUTCDayAndEmptiesTheStore) {
  auto logger = makeLogger("bcn-ios/12.4.0 os-version/6.1");
  logger->log();
  clock_->advance(3h);  // past midnight UTC: a new day
  logger->log();

  const auto payload = logger->flushHeartbeatsIntoPayload();

  const std::optional<std::string> header = BCNHeartbeatHeaderValue(*payload);
  ASSERT_TRUE(header.has_value());
  EXPECT_EQ(header->find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_"),
            std::string::npos);
  const std::optional<platform::Bytes> gzipped =
      platform::base64Decode(*header, platform::Base64Alphabet::UrlSafe);
  ASSERT_TRUE(gzipped.has_value());
  const std::optional<platform::Bytes> json = CVUGzip::cvu_dataByInflatingGzippedData(*gzipped);
  ASSERT_TRUE(json.has_value());
  const platform::Result<platform::Value> decoded =
      platform::parseJson(std::string(json->begin(), json->end()));
  ASSERT_TRUE(decoded.ok());
  const platform::Value expected(platform::Dictionary{
      {"heartbeats",
       platform::Array{platform::Dictionary{{"agent", "bcn-ios/12.4.0 os-version/6.1"},
                                            {"dates", platform::Array{"2023-11-14", "2023-11-15"}}}}},
      {"version", 2}});
  EXPECT_EQ(*decoded, expected);

  EXPECT_TRUE(logger->flushHeartbeatsIntoPayload()->isEmpty());
}

TEST_F(HeartbeatLoggerTest, LoggersOfOneAppIDShareTheirStore) {
  auto first = makeLogger("first");
  auto second = makeLogger("second");

  first->log();
  const HeartbeatsPayload payload = second->flushHeartbeatsIntoPayload()->heartbeatsPayload();

  ASSERT_EQ(payload.userAgentPayloads.size(), 1u);
  EXPECT_EQ(payload.userAgentPayloads[0].agent, "first");
}

TEST_F(HeartbeatLoggerTest, TheDefaultProviderAsksForTheCurrentSDKUserAgent) {
  const auto provider = BCNHeartbeatLogger::currentUserAgentProvider();
  const std::string before = provider();

  BCNApp::registerLibrary("bcn-install", "12.4.0");

  EXPECT_EQ(provider(), BCNApp::beaconUserAgent());
  EXPECT_NE(provider(), before);
}

}  // namespace
}  // namespace beacon
