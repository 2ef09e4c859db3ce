// The engine's attribution requests against the loopback service: the search-ad campaign and the
// deferred deep link (asked after the first configuration fetch, offered to the application's
// delegate, failures counted up to the limit).

#include <gtest/gtest.h>

#include "StartedAnalytics.h"
#include "measurement/engine/BMSScheduler.h"
#include "measurement/reporters/BMSAttributionTokenSource.h"
#include "measurement/reporters/BMSSearchAdReporter.h"
#include "measurement/runtime/BMSIdentity.h"
#include "measurement/runtime/BMSIdentitySupport.h"
#include "measurement/upload/testing/BMSCollectorFake.h"
#include "platform/app/Application.h"
#include "platform/dispatch/MainQueue.h"
#include "sdk-utilities/testing/FakeReachability.h"

namespace beacon {
namespace {

using namespace std::chrono_literals;
using platform::testing::ScriptedReply;

constexpr const char* kDeepLinkPath = "/adreach/conversion/app/deeplink";
constexpr const char* kDeviceID = "6D92078A-8246-4BA4-AE5B-76104861E7DC";

class TrackingAllowed : public BMSIdentitySupport {
 public:
  bool hasAppDataConsentStatus() override { return true; }
  std::uint64_t appDataConsentStatus() override { return 3; }
  bool hasLimitedAdTracking() override { return true; }
  bool limitedAdTracking() override { return false; }
  std::optional<std::string> resettableDeviceID() override { return kDeviceID; }
};

class FixedToken : public BMSAttributionTokenSource {
 public:
  platform::Result<std::string> attributionToken() override { return std::string("token-1"); }
};

class LinkOpeningDelegate : public platform::ApplicationDelegate {
 public:
  std::optional<bool> openURL(platform::Application&, const std::string& url,
                              const platform::Dictionary& options) override {
    offered.emplace_back(url, options);
    return true;
  }
  std::vector<std::pair<std::string, platform::Dictionary>> offered;
};

class AttributionRequestsTest : public testing::StartedAnalytics {
 protected:
  AttributionRequestsTest() {
    user.writeInfo({{"CFBundleIdentifier", "de.example.analytics-tests"},
                    {"CORVANE_ANALYTICS_DEFERRED_DEEP_LINK_ENABLED", true}});
    user.environment().set("BEACON_SERVICE_ORIGIN", collector.origin());
    world.classes().registerClass<BMSIdentitySupport>(kBMSPlatformIdentitySupportClassName,
                                                      std::make_shared<TrackingAllowed>());
    platform::Application::shared().setDelegate(delegate);
  }
  ~AttributionRequestsTest() override { platform::Application::shared().setDelegate(nullptr); }

  // Starts online and lets the first upload's timer run, and the configuration fetch after it.
  void startAndUpload() {
    start();
    testing::FakeReachability::instance().push(platform::kReachabilityFlagReachable);
    world.dispatch().advance(16s);
  }
  bool pumpUntil(const std::function<bool()>& done) { return platform::runUntil(done, 20s); }
  BMSPersistedConfig& persisted() const { return *engine()->persistedConfig(); }

  testing::BMSCollectorFake collector;
  std::shared_ptr<LinkOpeningDelegate> delegate = std::make_shared<LinkOpeningDelegate>();
};

TEST_F(AttributionRequestsTest, AnAttributedInstallLogsItsSearchAdCampaignOnce) {
  world.classes().registerClass<BMSAttributionTokenSource>(kBMSAttributionClassName,
                                                           std::make_shared<FixedToken>());
  collector.server().script(
      "POST", kBMSSearchAdAttributionPath,
      {ScriptedReply(200, {}, R"({"attribution":true,"campaignId":"c1","keywordId":"k1"})")});
  start();
  ASSERT_TRUE(pumpUntil([&] { return heardEvent("_cmp") != nullptr; }));
  EXPECT_EQ(heardText("_cmp", "source"), "Apple");
  EXPECT_EQ(heardText("_cmp", "medium"), "search");
  EXPECT_EQ(heardText("_cmp", "campaign"), "c1");
  EXPECT_EQ(heardText("_cmp", "term"), "k1");
  EXPECT_EQ(heardInteger("_cmp", "click_timestamp"), persisted().firstOpenTimestampMilliseconds() - 1);
  const std::vector<std::string> stored = storedNames();
  EXPECT_EQ(std::count(stored.begin(), stored.end(), "_cmp"), 1);

  engine()->setEnabled(false);
  world.dispatch().drain();
  EXPECT_FALSE(engine()->searchAdReporter()->isSearchAdReporterEnabled())
      << "it follows the collection switch";
}

TEST_F(AttributionRequestsTest, AFoundDeepLinkIsOfferedToTheDelegateAndReportedAsACampaign) {
  collector.server().script(
      "GET", kDeepLinkPath,
      {ScriptedReply(200, {},
                     R"({"deeplink":"velloran://open?utm_source=ads&utm_campaign=spring",)"
                     R"("cbraid":"b1","timestamp":"1700000000"})")});
  startAndUpload();
  ASSERT_TRUE(pumpUntil([&] { return heardEvent("_cmp") != nullptr; }));
  const auto requests = collector.server().requests(kDeepLinkPath);
  ASSERT_EQ(requests.size(), 1u);
  const std::map<std::string, std::string> expected{
      {"sdk_version", std::to_string(BMSIdentity::appMeasurementLibraryVersion())},
      {"rdid", kDeviceID},
      {"id_type", "idfa"},
      {"bundleid", "de.example.analytics-tests"},
      {"retry", "0"},
      {"dma", "0"}};
  for (const auto& [key, value] : expected)
    EXPECT_EQ(requests.front().parameters.find(key)->second, value) << key;
  EXPECT_EQ(collector.configurationRequests().size(), 1u) << "the request waited for a configuration";

  ASSERT_EQ(delegate->offered.size(), 1u);
  EXPECT_EQ(delegate->offered.front().first, "velloran://open?utm_source=ads&utm_campaign=spring");
  EXPECT_EQ(delegate->offered.front().second, (platform::Dictionary{{"timestamp", "1700000000"}}));
  EXPECT_EQ(heardText("_cmp", "_cis"), "ddp");
  EXPECT_EQ(heardText("_cmp", "campaign"), "spring");
  EXPECT_EQ(heardText("_cmp", "cbraid"), "b1");
  EXPECT_EQ(persisted().deferredDeepLinkRetrievalComplete(), platform::Value(0));
}

TEST_F(AttributionRequestsTest, AFailedDeepLinkRequestCountsTowardsTheLimitThatEndsTheRetrieval) {
  collector.server().script("GET", kDeepLinkPath, {ScriptedReply(500)});
  BMSPersistedConfig::sharedInstance()->setDeferredDeepLinkRetryCount(4);
  startAndUpload();
  ASSERT_TRUE(pumpUntil([&] { return logged(23199); }));
  EXPECT_EQ(persisted().deferredDeepLinkRetryCount(), 5);
  EXPECT_FALSE(persisted().deferredDeepLinkRetrievalComplete());

  engine()->scheduler()->scheduleOnWorkerQueueBlockID(
      "test", [&] { EXPECT_FALSE(engine()->shouldAllowRequestDeferredDeepLink()); });
  world.dispatch().drain();
  EXPECT_TRUE(logged(23195));
  EXPECT_EQ(persisted().deferredDeepLinkRetrievalComplete(), platform::Value(1));
  EXPECT_TRUE(delegate->offered.empty());
}

}  // namespace
}  // namespace beacon
