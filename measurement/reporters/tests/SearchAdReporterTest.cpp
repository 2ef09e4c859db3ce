// The search-ad reporter against a loopback attribution service: real HTTP on 127.0.0.1, the alarm
// and the worker queue on the deterministic backend.

#include "measurement/reporters/BMSSearchAdReporter.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "measurement/engine/testing/EngineTestSupport.h"
#include "measurement/reporters/BMSAttributionTokenSource.h"
#include "measurement/reporters/tests/ReporterTestSupport.h"
#include "measurement/storage/BMSPersistedConfig.h"
#include "platform/dispatch/DeterministicDispatch.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/net/testing/LocalHttpServer.h"
#include "platform/testing/TestApplication.h"

namespace beacon {
namespace {

using namespace std::chrono_literals;
using platform::testing::ScriptedReply;
using testing::integerOf;
using testing::textOf;

constexpr auto kPatience = 20s;  // only a real hang takes this long
constexpr auto kDay = 86400s;

class FakeAttribution : public BMSAttributionTokenSource {
 public:
  platform::Result<std::string> attributionToken() override {
    if (failure) return *failure;
    return std::string("token-1");
  }
  std::optional<platform::Error> failure;
};

class SearchAdReporterTest : public ::testing::Test {
 protected:
  SearchAdReporterTest() {
    application.user().environment().set("BEACON_SERVICE_ORIGIN", server.baseURL());
    classes.registerClass<BMSAttributionTokenSource>(kBMSAttributionClassName, attribution);
  }

  void answer(std::vector<ScriptedReply> replies) {
    server.script("POST", kBMSSearchAdAttributionPath, std::move(replies));
    server.start();
  }

  // A launch: the reporter as the engine makes, enables and starts it.
  std::shared_ptr<BMSSearchAdReporter> launch() {
    auto made =
        BMSSearchAdReporter::initWithWorkerQueue(worker, persisted, {host, dispatch.sharedClock(), &classes});
    if (made) {
      made->setSearchAdReporterEnabled(true);
      made->start();
    }
    return made;
  }

  std::size_t logged(std::int64_t code) const {
    const auto codes = services.log->codes();
    return static_cast<std::size_t>(std::count(codes.begin(), codes.end(), code));
  }
  // Runs what is due and waits (real HTTP) until `done`.
  void pumpUntil(const std::function<bool()>& done) {
    dispatch.drain();
    ASSERT_TRUE(platform::runUntil(done, kPatience));
  }

  platform::DeterministicDispatch dispatch;
  testing::ScopedEngineServices services;
  platform::testing::TestApplication application;
  platform::testing::LocalHttpServer server;
  platform::ClassDirectory classes;
  std::shared_ptr<FakeAttribution> attribution = std::make_shared<FakeAttribution>();
  std::shared_ptr<testing::RecordingReporterHost> host = std::make_shared<testing::RecordingReporterHost>();
  std::shared_ptr<BMSPersistedConfig> persisted =
      std::make_shared<BMSPersistedConfig>(BMSUserDefaults::sharedUserDefaults(), [] { return 0.5; });
  platform::QueueRef worker = platform::makeSerialQueue("test.bms.worker");
};

TEST_F(SearchAdReporterTest, TenFailedAttemptsADayApartEndTheAttributionForGood) {
  answer({ScriptedReply(500)});
  auto reporter = launch();
  pumpUntil([&] { return logged(32015) == 1; });
  const auto first = server.requests().front();
  EXPECT_EQ(first.path, "/api/v1/");
  EXPECT_EQ(first.header("Content-Type"), "text/plain");
  EXPECT_EQ(first.header("cache-control"), "no-cache");
  EXPECT_EQ(first.body, "token-1");
  for (std::size_t attempt = 2; attempt <= 10; ++attempt) {
    dispatch.advance(kDay - 1s);
    EXPECT_EQ(server.requests().size(), attempt - 1) << "attempts are a day apart";
    dispatch.advance(1s);
    pumpUntil([&] { return logged(32015) == attempt; });
  }
  EXPECT_EQ(persisted->searchAdRetryCount(), 10);
  EXPECT_EQ(logged(32007), 1u);
  dispatch.advance(2 * kDay);
  EXPECT_EQ(server.requests().size(), 10u);
  EXPECT_FALSE(launch()) << "the next launch makes no reporter";
}

TEST_F(SearchAdReporterTest, AnAnswerOfNoIsRecordedWithoutAnEvent) {
  answer({ScriptedReply(200, {}, R"({"attribution":false,"campaignId":"5","adId":"6"})")});
  auto reporter = launch();
  pumpUntil([&] { return persisted->searchAdCampaignValue().has_value(); });
  EXPECT_EQ(persisted->searchAdCampaignValue(), platform::Value(false));
  EXPECT_TRUE(host->events.empty());
  EXPECT_FALSE(launch());
  EXPECT_EQ(logged(32002), 1u);
}

TEST_F(SearchAdReporterTest, TestDataIsRetriedADayLaterAndAnEarlyFirstOpenGivesNoClickTime) {
  answer({ScriptedReply(200, {}, R"({"attribution":true,"campaignId":"1234567890","adId":"1234567890"})"),
          ScriptedReply(200, {}, R"({"attribution":true,"campaignId":777,"adId":"1","keywordId":"kw"})")});
  persisted->setFirstOpenTimestampMilliseconds(1);
  auto reporter = launch();
  pumpUntil([&] { return logged(32016) == 1; });
  EXPECT_FALSE(persisted->searchAdCampaignValue());

  dispatch.advance(kDay);
  pumpUntil([&] { return !host->events.empty(); });
  const testing::HostEvent& event = host->events.front();
  EXPECT_EQ(event.name, "_cmp");
  EXPECT_EQ(textOf(event.parameters, "campaign"), "777");
  EXPECT_EQ(textOf(event.parameters, "term"), "kw");
  EXPECT_FALSE(integerOf(event.parameters, "click_timestamp"));
  EXPECT_EQ(logged(32009), 1u);
  reporter->logCampaignEventWithSearchAdCampaign(true, "888", "");
  EXPECT_EQ(logged(32008), 1u) << "only one answer is ever recorded";
  EXPECT_EQ(host->events.size(), 1u);
}

TEST_F(SearchAdReporterTest, ATokenThePlatformRefusesUsesUpTheAttempt) {
  attribution->failure = platform::Error("attribution", 1, "no token");
  auto reporter = launch();
  dispatch.drain();
  EXPECT_EQ(logged(32018), 1u);
  EXPECT_EQ(persisted->searchAdRetryCount(), 1);
}

TEST_F(SearchAdReporterTest, TheNextLookUpIsADayFromTheLastOnEitherSideOfTheClock) {
  // The platform refuses the token, so an attempt goes no further than being used up.
  attribution->failure = platform::Error("attribution", 1, "no token");
  const auto now = [&] { return dispatch.clock().now().unixSeconds(); };
  std::int64_t attempts = 0;
  // The clock set back since the last look-up: the day runs from it as far as the clock went back.
  for (const auto back : {1s, 600s}) {
    persisted->setLastSearchAdLookUpTimestamp(now() + static_cast<double>(back.count()));
    auto reporter = launch();
    dispatch.drain();
    dispatch.advance(kDay - back - 1s);
    EXPECT_EQ(persisted->searchAdRetryCount(), attempts) << "set back " << back.count() << " s";
    dispatch.advance(1s);
    EXPECT_EQ(persisted->searchAdRetryCount(), ++attempts) << "set back " << back.count() << " s";
  }
  // Set back by more than a day: the day is over and the look-up due at once.
  persisted->setLastSearchAdLookUpTimestamp(now() + 365 * 86400.0);
  auto reporter = launch();
  dispatch.drain();
  EXPECT_EQ(persisted->searchAdRetryCount(), ++attempts);
}

TEST_F(SearchAdReporterTest, NoAttemptGoesOutWhileCollectionIsOff) {
  answer({ScriptedReply(500)});
  auto reporter = launch();
  reporter->setSearchAdReporterEnabled(false);
  dispatch.advance(2 * kDay);
  EXPECT_EQ(persisted->searchAdRetryCount(), 0);
  reporter->setSearchAdReporterEnabled(true);
  pumpUntil([&] { return logged(32015) == 1; });
}

}  // namespace
}  // namespace beacon
