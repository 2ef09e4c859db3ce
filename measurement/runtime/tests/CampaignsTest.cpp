// Campaign URLs opened by the application become "_cmp" events with the mapped query keys.

#include <gtest/gtest.h>

#include "StartedAnalytics.h"
#include "measurement/engine/BMSScheduler.h"

namespace beacon {
namespace {

class CampaignsTest : public testing::StartedAnalytics {
 protected:
  void SetUp() override { start(); }
  void open(const std::string& url, double timestamp = 1700000500) {
    engine()->handleNonFirstOpenEventURL(url, timestamp);
    world.dispatch().drain();
  }
};

TEST_F(CampaignsTest, CampaignKeysAreMappedAndListenersHearTheEventOnce) {
  open(
      "https://velloran.example/start?utm_source=blog&utm_medium=cpc&utm_term=prompts&utm_id=42&foo=bar#top");
  ASSERT_EQ(heardNames(), std::vector<std::string>{"_cmp"});
  EXPECT_EQ(heardText("_cmp", "source"), "blog");
  EXPECT_EQ(heardText("_cmp", "medium"), "cpc");
  EXPECT_EQ(heardText("_cmp", "term"), "prompts");
  EXPECT_EQ(heardText("_cmp", "campaign_id"), "42");
  EXPECT_FALSE(heardEvent("_cmp")->parameters().contains("foo"));
  // Opened after the first open: at its own time.
  EXPECT_EQ(heardEvent("_cmp")->timestamp(), 1700000500);
}

TEST_F(CampaignsTest, URLsWithoutACampaignProduceNothing) {
  open("https://velloran.example/start?foo=bar&utm_content=x");
  open("https://velloran.example/start");
  EXPECT_TRUE(heard.empty());
  EXPECT_TRUE(logged(23001));
  EXPECT_TRUE(logged(23000));
}

TEST_F(CampaignsTest, ClickIDsNeedTheAdvertisingIdentifierButTheBraidIsAlsoKept) {
  open("velloran://open?cclid=abc&pclid=def&cbraid=braid-7&utm_source=ads");
  ASSERT_TRUE(heardEvent("_cmp"));
  EXPECT_FALSE(heardEvent("_cmp")->parameters().contains("cclid"));
  EXPECT_FALSE(heardEvent("_cmp")->parameters().contains("pclid"));
  EXPECT_EQ(heardText("_cmp", "cbraid"), "braid-7");
  EXPECT_EQ(storedUserProperty("_cbraid"), BMSValue::initWithStringValue("braid-7"));
}

TEST_F(CampaignsTest, ACampaignOpenedBeforeTheFirstOpenCountsFromIt) {
  open("velloran://open?utm_campaign=vorab", 1600000000);
  ASSERT_TRUE(heardEvent("_cmp"));
  EXPECT_EQ(
      heardEvent("_cmp")->timestamp(),
      static_cast<double>(BMSPersistedConfig::sharedInstance()->firstOpenTimestampMilliseconds()) / 1000);
}

TEST_F(CampaignsTest, TheWorkerQueueMayNotHandItAURL) {
  engine()->scheduler()->dispatchSyncOnWorkerQueueBlockID(
      "test", [&] { engine()->handleNonFirstOpenEventURL("velloran://open?utm_source=x", 1700000500); });
  world.dispatch().drain();
  EXPECT_TRUE(logged(23163));
  EXPECT_TRUE(heard.empty());
}

}  // namespace
}  // namespace beacon
