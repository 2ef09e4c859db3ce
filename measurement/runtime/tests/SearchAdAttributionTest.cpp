// The engine's search-ad attribution against a loopback attribution service: the campaign of an
// attributed install reaches the engine as its "_cmp" event.

#include <gtest/gtest.h>

#include "StartedAnalytics.h"
#include "measurement/reporters/BMSAttributionTokenSource.h"
#include "measurement/reporters/BMSSearchAdReporter.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/net/testing/LocalHttpServer.h"

namespace beacon {
namespace {

using namespace std::chrono_literals;

class FixedToken : public BMSAttributionTokenSource {
 public:
  platform::Result<std::string> attributionToken() override { return std::string("token-1"); }
};

class SearchAdAttributionTest : public testing::StartedAnalytics {
 protected:
  SearchAdAttributionTest() {
    user.environment().set("BEACON_SERVICE_ORIGIN", server.baseURL());
    world.classes().registerClass<BMSAttributionTokenSource>(kBMSAttributionClassName,
                                                             std::make_shared<FixedToken>());
  }
  platform::testing::LocalHttpServer server;
};

TEST_F(SearchAdAttributionTest, AnAttributedInstallLogsItsCampaignOnce) {
  platform::testing::ScriptedReply reply(
      200, {}, R"({"attribution":true,"campaignId":"c1","adId":"a1","keywordId":"k1"})");
  reply.contentType = "application/json";
  server.script("POST", kBMSSearchAdAttributionPath, {reply});
  server.server().set_keep_alive_timeout(0);
  server.start();

  start();
  ASSERT_TRUE(platform::runUntil([&] { return heardEvent("_cmp") != nullptr; }, 20s));
  EXPECT_EQ(heardText("_cmp", "source"), "Apple");
  EXPECT_EQ(heardText("_cmp", "medium"), "search");
  EXPECT_EQ(heardText("_cmp", "campaign"), "c1");
  EXPECT_EQ(heardText("_cmp", "term"), "k1");
  EXPECT_EQ(heardInteger("_cmp", "click_timestamp"),
            engine()->persistedConfig()->firstOpenTimestampMilliseconds() - 1);
  const std::vector<std::string> stored = storedNames();
  EXPECT_EQ(std::count(stored.begin(), stored.end(), "_cmp"), 1);

  // The reporter follows the collection switch.
  ASSERT_TRUE(engine()->searchAdReporter());
  engine()->setEnabled(false);
  world.dispatch().drain();
  EXPECT_FALSE(engine()->searchAdReporter()->isSearchAdReporterEnabled());
}

}  // namespace
}  // namespace beacon
