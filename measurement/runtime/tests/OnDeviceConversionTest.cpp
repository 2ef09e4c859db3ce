// On-device conversion measurement through the facade and the engine, with a fake component class
// in the class directory whose requests go to the loopback collector over real HTTP. Virtual time
// drives the retries; the pump waits only for the loopback round trips.

#include <gtest/gtest.h>

#include <set>
#include <tuple>

#include "StartedAnalytics.h"
#include "measurement/engine/BMSScheduler.h"
#include "measurement/messages/NANOAccessors.h"
#include "measurement/runtime/BMSPrivateSetMembershipClient.h"
#include "measurement/upload/testing/BMSCollectorFake.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/process/ProcessInfo.h"
#include "sdk-utilities/network/CVUNetwork.h"

namespace beacon {
namespace {

using namespace std::chrono_literals;
using Init = BMSPSMInitializer;
using platform::testing::ScriptedReply;

constexpr auto kPatience = 20s;  // only a real hang takes this long
constexpr const char* kEmail = "kim@example.com";

// Made for one identifier: asks the collector's "/psm" for every attempt and takes the body as the
// matched value.
struct FakeClient : BMSPrivateSetMembershipClient {
  FakeClient(std::string origin, BMSPSMInputType type) : origin(std::move(origin)), type(type) {}
  std::int64_t inputType() const override { return static_cast<std::int64_t>(type); }
  std::optional<std::string> PSMRequestURLWithRetryCount(std::int32_t retryCount) override {
    return origin + "/psm?retry=" + std::to_string(retryCount);
  }
  std::optional<std::string> parsedPSMValueFromResponse(const platform::Bytes& body) override {
    return std::string(body.begin(), body.end());
  }
  std::optional<std::string> debugKey() const override { return "dbg-key"; }
  std::string origin;
  BMSPSMInputType type;
};

using MadeClient = std::tuple<Init, std::string, std::string, std::int64_t>;

struct FakeClientClass : BMSPrivateSetMembershipClientClass {
  bool respondsToInitializer(Init initializer) const override { return initializers.count(initializer) > 0; }
  std::shared_ptr<BMSPrivateSetMembershipClient> makeClient(Init initializer, const std::string& identifier,
                                                            const std::string& appID,
                                                            std::int64_t prefixBitLength) override {
    made.emplace_back(initializer, identifier, appID, prefixBitLength);
    const bool phone =
        initializer == Init::PhoneNumber || initializer == Init::PhoneNumberWithPrefixBitLength;
    return std::make_shared<FakeClient>(origin, initializer == Init::HashedEmailAddressWithPrefixBitLength
                                                    ? BMSPSMInputType::HashedEmailAddress
                                                : initializer == Init::HashedPhoneNumberWithPrefixBitLength
                                                    ? BMSPSMInputType::HashedPhoneNumber
                                                : phone ? BMSPSMInputType::PhoneNumber
                                                        : BMSPSMInputType::EmailAddress);
  }
  std::string origin;
  std::set<Init> initializers{Init::EmailAddressWithPrefixBitLength, Init::PhoneNumber,
                              Init::HashedEmailAddressWithPrefixBitLength,
                              Init::HashedPhoneNumberWithPrefixBitLength};
  std::vector<MadeClient> made;
};

class OnDeviceConversionTest : public testing::StartedAnalytics {
 protected:
  OnDeviceConversionTest() {
    user.environment().set("BEACON_SERVICE_ORIGIN", collector.origin());
    component->origin = collector.origin();
    world.classes().registerClass<BMSPrivateSetMembershipClientClass>(kBMSPrivateSetMembershipClientClassName,
                                                                      component);
  }
  ~OnDeviceConversionTest() override { platform::ProcessInfo::setArgumentsForTesting(std::nullopt); }

  void answer(std::vector<ScriptedReply> replies) {
    collector.server().script("GET", "/psm", std::move(replies));
  }
  // Through the facade, which then holds later operations back for half a second.
  void give(platform::Dictionary userData) {
    BMSAnalytics::setUserData(userData);
    world.dispatch().advance(500ms);
  }
  std::size_t count(std::int64_t code) const {
    const std::vector<std::int64_t> codes = world.log().codes();
    return static_cast<std::size_t>(std::count(codes.begin(), codes.end(), code));
  }
  // Waits for the engine to have handled `answers` replies of the collector.
  bool pumpUntilAnswered(std::size_t answers) {
    return platform::runUntil([&] { return count(23228) + count(23229) + count(23230) >= answers; },
                              kPatience);
  }
  std::vector<platform::testing::RecordedRequest> queries() { return collector.server().requests("/psm"); }
  std::string query(std::size_t index, const std::string& key) {
    const auto parameters = queries().at(index).parameters;
    const auto found = parameters.find(key);
    return found == parameters.end() ? "<none>" : found->second;
  }
  // Starts no-match requests with the e-mail address until the per-run limit refuses one.
  std::size_t startsUntilRefused() {
    answer({{200}});
    std::size_t started = 0;
    while (count(23236) == 0 && started <= 20) {
      give({{kBMSUserDataEmailAddressKey, kEmail}});
      if (count(23236) == 0) {
        EXPECT_TRUE(pumpUntilAnswered(++started));
      }
    }
    return started;
  }

  testing::BMSCollectorFake collector;
  std::shared_ptr<FakeClientClass> component = std::make_shared<FakeClientClass>();
};

TEST_F(OnDeviceConversionTest, AMatchBecomesTheUserPropertyAndARealtimeEventUntilItExpires) {
  start();
  EXPECT_TRUE(logged(23253));
  // An exact minute moves on to the next one.
  const std::int64_t minute = static_cast<std::int64_t>(world.clock().now().unixSeconds()) / 60 * 60;
  engine()->persistedConfig()->setFirstOpenTimestampMilliseconds(minute * 1000);
  answer({{200}, {200, {}, "match-7"}});
  give({{kBMSUserDataEmailAddressKey, kEmail}});
  ASSERT_TRUE(pumpUntilAnswered(1));
  EXPECT_TRUE(logged(23230));
  EXPECT_FALSE(storedUserProperty("_psmvalue"));
  // Without a match the client is gone: the next data makes a new one, counted by its own kind.
  give({{kBMSUserDataHashedPhoneNumberKey, platform::Bytes{0xab, 0x01}}});
  ASSERT_TRUE(pumpUntilAnswered(2));

  // The identity's app ID is the application's bundle identifier.
  EXPECT_EQ(component->made,
            (std::vector<MadeClient>{
                {Init::EmailAddressWithPrefixBitLength, kEmail, "de.example.analytics-tests", 14},
                {Init::HashedPhoneNumberWithPrefixBitLength, "ab01", "de.example.analytics-tests", 11}}));
  EXPECT_EQ(query(0, "psm_count"), "0");
  EXPECT_EQ(query(0, "timestamp_first_open"), std::to_string(minute + 60));
  EXPECT_EQ(query(0, "debug_psm_key"), "<none>");
  EXPECT_EQ(query(1, "psm_phone_count"), "0");
  EXPECT_EQ(storedUserProperty("_psmvalue"), BMSValue::initWithStringValue("match-7"));
  EXPECT_EQ(storedUserProperty("_psmcount"), BMSValue::initWithInt64(1));
  EXPECT_EQ(storedUserProperty("_psmcounthph"), BMSValue::initWithInt64(1));
  const std::vector<BMSRawEventData> rows = storedRawEvents();
  EXPECT_TRUE(std::any_of(rows.begin(), rows.end(), [](const BMSRawEventData& row) {
    return row.rawEvent().name() == "_fx" && row.rawEvent().isRealtime() &&
           row.rawEvent().parameters().at("_fxs") == BMSValue::initWithStringValue("psm");
  }));
  give({{kBMSUserDataEmailAddressKey, kEmail}});
  EXPECT_TRUE(logged(23237));
  EXPECT_EQ(queries().size(), 2u);

  // Ninety days on, the start of the engine forgets the match and the counters.
  world.clock().advance(std::chrono::seconds(7776000));
  engine()->scheduler()->scheduleOnWorkerQueueBlockID(
      "test", [engine = engine()] { engine->maybeDeleteExpiredPSMValueOnWorkerQueue(); });
  world.dispatch().drain();
  for (const char* name : {"_psmvalue", "_psmcount", "_psmcounthph"})
    EXPECT_FALSE(storedUserProperty(name)) << name;
}

TEST_F(OnDeviceConversionTest, AMatchOutlivesAClockSetBackWithinItsLifetimeOnly) {
  start();
  const double now = world.clock().now().unixSeconds();
  const auto storeMatchAhead = [&](double ahead) {
    for (const auto& [name, value] : std::vector<std::pair<const char*, BMSValue>>{
             {"_psmvalue", BMSValue::initWithStringValue("match-7")},
             {"_psmcount", BMSValue::initWithInt64(1)}})
      ASSERT_TRUE(database().updateUserAttribute(
          *BMSUserAttribute::initWithOrigin("auto", name, value, now + ahead)));
    engine()->scheduler()->scheduleOnWorkerQueueBlockID(
        "test", [engine = engine()] { engine->maybeDeleteExpiredPSMValueOnWorkerQueue(); });
    world.dispatch().drain();
  };
  for (const double ahead : {1.0, 600.0, 7776000.0 - 1}) {
    storeMatchAhead(ahead);
    EXPECT_TRUE(storedUserProperty("_psmvalue")) << ahead << " s ahead";
    EXPECT_TRUE(storedUserProperty("_psmcount")) << ahead << " s ahead";
  }
  for (const double ahead : {7776000.0, 365 * 86400.0}) {
    storeMatchAhead(ahead);
    EXPECT_FALSE(storedUserProperty("_psmvalue")) << ahead << " s ahead";
    EXPECT_FALSE(storedUserProperty("_psmcount")) << ahead << " s ahead";
  }
}

TEST_F(OnDeviceConversionTest, AFailedQueryIsRetriedWithADoublingDelayUntilTheRetryLimit) {
  start();
  answer({{500}});
  give({{kBMSUserDataEmailAddressKey, kEmail}});
  ASSERT_TRUE(pumpUntilAnswered(1));
  std::size_t answers = 1;
  for (const auto delay : {300s, 600s, 1200s, 2400s}) {
    world.dispatch().advance(delay - 1s);
    EXPECT_FALSE(engine()->network()->hasUploadInProgress()) << "early after " << answers;
    world.dispatch().advance(1s);
    ASSERT_TRUE(pumpUntilAnswered(++answers));
  }
  EXPECT_EQ(count(23228), 5u);
  EXPECT_TRUE(logged(23231));
  for (std::size_t attempt = 0; attempt < 5; ++attempt)
    EXPECT_EQ(query(attempt, "retry"), std::to_string(attempt));

  world.dispatch().advance(24h);
  EXPECT_FALSE(engine()->network()->hasUploadInProgress());
  give({{kBMSUserDataEmailAddressKey, kEmail}});
  EXPECT_TRUE(logged(23238));
  EXPECT_EQ(count(23225), 1u);
}

TEST_F(OnDeviceConversionTest, WithoutTheComponentNothingIsAsked) {
  world.classes().resetForTesting();
  world.classes().registerClass("BCNAnalytics");
  start();
  give({{kBMSUserDataEmailAddressKey, kEmail}});
  EXPECT_TRUE(logged(23233));
  EXPECT_FALSE(logged(23225));

  BMSAnalytics::setAnalyticsEnabled(false);
  give({{kBMSUserDataEmailAddressKey, kEmail}});
  EXPECT_TRUE(logged(25044));
  EXPECT_EQ(count(23233), 1u);
}

TEST_F(OnDeviceConversionTest, InputTheComponentCannotTakeAndDataOutsideTheFirstOpenWindowAreRefused) {
  component->initializers = {Init::EmailAddress};
  start();
  const double now = world.clock().now().unixSeconds();
  const auto firstOpenDaysAgo = [&](double days) {
    engine()->persistedConfig()->setFirstOpenTimestampMilliseconds(
        static_cast<std::int64_t>((now - days * 86400) * 1000));
  };
  firstOpenDaysAgo(61);
  for (const auto& [key, value, code] : std::vector<std::tuple<const char*, platform::Value, std::int64_t>>{
           {kBMSUserDataPhoneNumberKey, "+4930123456", 23262},
           {kBMSUserDataHashedEmailAddressKey, platform::Bytes{1}, 23265},
           {kBMSUserDataEmailAddressKey, "", 23234},
           {kBMSUserDataPhoneNumberKey, "", 23239},
           {kBMSUserDataHashedPhoneNumberKey, platform::Bytes{}, 23264},
           {kBMSUserDataEmailAddressKey, kEmail, 23261}}) {
    give({{key, value}});
    EXPECT_EQ(count(code), 1u) << code;
  }
  // The clock set back since the first open leaves it ahead, as far from now as one behind.
  firstOpenDaysAgo(-61);
  give({{kBMSUserDataEmailAddressKey, kEmail}});
  EXPECT_EQ(count(23261), 2u);
  EXPECT_TRUE(component->made.empty());

  firstOpenDaysAgo(59);
  answer({{200}});
  give({{kBMSUserDataEmailAddressKey, kEmail}});
  ASSERT_TRUE(pumpUntilAnswered(1));
  ASSERT_EQ(component->made.size(), 1u);
  EXPECT_EQ(std::get<Init>(component->made[0]), Init::EmailAddress);

  firstOpenDaysAgo(-600.0 / 86400);
  give({{kBMSUserDataEmailAddressKey, kEmail}});
  ASSERT_TRUE(pumpUntilAnswered(2));
  EXPECT_EQ(component->made.size(), 2u);
  EXPECT_EQ(count(23261), 2u);
}

TEST_F(OnDeviceConversionTest, ThreeRequestsStartPerRunUntilADataReset) {
  start();
  EXPECT_EQ(startsUntilRefused(), 3u);
  BMSAnalytics::resetAnalyticsData();
  world.dispatch().drain();
  give({{kBMSUserDataEmailAddressKey, kEmail}});
  EXPECT_EQ(count(23225), 4u);
  EXPECT_TRUE(pumpUntilAnswered(4));
}

TEST_F(OnDeviceConversionTest, DebugModeAllowsTenRequestsPerRunAndSendsTheDebugKey) {
  platform::ProcessInfo::setArgumentsForTesting(std::vector<std::string>{
      "velloran", "-BMSAnalyticsDebugEnabled", "-DebugOnDeviceConversionMeasurement"});
  start();
  EXPECT_EQ(startsUntilRefused(), 10u);
  EXPECT_EQ(query(0, "debug_psm_key"), "dbg-key");
}

TEST_F(OnDeviceConversionTest, ARequestWaitingForAnUploadGoesOutWhenTheUploadSucceeds) {
  BMSPBMeasurementConfig document;
  NANOSetInt64(document, MeasurementConfigField::kVersion, 3);
  NANOSetString(document, MeasurementConfigField::kCNPAppID, testing::kTestAppID);
  collector.setConfiguration(*document.protoBuffer(), "\"v3\"");
  collector.holdUploads();
  start();
  testing::FakeReachability::instance().push(platform::kReachabilityFlagReachable);
  world.dispatch().advance(16s);
  ASSERT_TRUE(platform::runUntil([&] { return collector.uploadCount() == 1; }, kPatience));

  answer({{200, {}, "match-1"}});
  give({{kBMSUserDataEmailAddressKey, kEmail}});
  EXPECT_TRUE(logged(23232));
  collector.releaseUploads();
  ASSERT_TRUE(pumpUntilAnswered(1));
  EXPECT_EQ(storedUserProperty("_psmvalue"), BMSValue::initWithStringValue("match-1"));
}

}  // namespace
}  // namespace beacon
