// The engine against the loopback collector: events stored as raw events reach the collector after
// the upload timer, under the virtual clock, through back-off, retries, a lost network and a
// restart, and when the app resigns active; becoming active refreshes an old configuration. Real
// HTTP on 127.0.0.1; everything else on the deterministic backend.

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

#include "AnalyticsTestWorld.h"
#include "measurement/engine/BMSAlarm.h"
#include "measurement/engine/BMSApplicationNotifications.h"
#include "measurement/engine/BMSScheduler.h"
#include "measurement/engine/BMSUserDefaults.h"
#include "measurement/messages/NANOAccessors.h"
#include "measurement/pipeline/BMSRawEventWriter.h"
#include "measurement/runtime/BMSAnalytics.h"
#include "measurement/runtime/BMSMeasurement.h"
#include "measurement/storage/BMSDatabase.h"
#include "measurement/storage/BMSPersistedConfig.h"
#include "measurement/storage/BMSRemoteConfig.h"
#include "measurement/storage/BMSTCFClient.h"
#include "measurement/upload/testing/BMSCollectorFake.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/testing/TestEnvironment.h"

namespace beacon {
namespace {

using namespace std::chrono_literals;

using testing::kTestAppID;
constexpr auto kPatience = 20s;  // only a real hang takes this long

struct LoggedEvent {
  std::string name;
  BMSParameters parameters;
};

const std::vector<LoggedEvent>& appEvents() {
  static const std::vector<LoggedEvent> events{
      {"app_open", {}},
      {"_f", {{"_pfo", BMSValue::initWithInt64(0)}}},
      {"_s", {{"_sid", BMSValue::initWithInt64(1700000000)}}},
      {"_e", {{"_et", BMSValue::initWithInt64(1500)}}},
      {"prompt_create", {{"type", BMSValue::initWithStringValue("system")}}}};
  return events;
}

std::vector<std::string> names(const std::vector<LoggedEvent>& events) {
  std::vector<std::string> all;
  for (const auto& event : events) all.push_back(event.name);
  return all;
}

// What the collector receives: the first start's own first open, session start and engagement,
// then the logged events.
std::vector<std::string> expectedNames() {
  std::vector<std::string> all{"_f", "_s", "_e"};
  for (const std::string& name : names(appEvents())) all.push_back(name);
  return all;
}

class CollectorEndToEndTest : public ::testing::Test {
 protected:
  CollectorEndToEndTest() {
    user.writeInfo({{"CFBundleIdentifier", "de.example.velloran"}, {"CFBundleShortVersionString", "1.4.2"}});
    user.environment().set("BEACON_SERVICE_ORIGIN", collector.origin());
    world.classes().registerClass("BCNAnalytics");
  }

  std::shared_ptr<BMSMeasurement> startEngine() {
    BMSAnalytics::startWithAppID(kTestAppID, "ba", {{}, nullptr});
    world.dispatch().drain();
    auto engine = BMSMeasurement::sharedInstance();
    EXPECT_TRUE(engine && engine->didInitializeComponents());
    return engine;
  }

  void goOnline() {
    testing::FakeReachability::instance().push(platform::kReachabilityFlagReachable);
    world.dispatch().drain();
  }

  // Stores the events as the event pipeline does (one storage transaction each), then lets the
  // engine schedule its upload.
  void logEvents(const std::shared_ptr<BMSMeasurement>& engine, const std::vector<LoggedEvent>& events) {
    engine->scheduler()->scheduleOnWorkerQueueBlockID("test", [&] {
      BMSRawEventWriter writer({engine->database(), engine->remoteConfigInstance(), engine->persistedConfig(),
                                [&](const std::vector<BMSUserAttribute>& attributes) {
                                  return engine->createRawEventMetadataWithUserAttributes(attributes);
                                },
                                nullptr, nullptr, [](BMSEvent) {}});
      for (const auto& logged : events) {
        const bool isPublic = logged.name.front() != '_';
        auto event = BMSEvent::initWithOrigin(isPublic ? "app" : "auto", isPublic, logged.name,
                                              world.clock().now().unixSeconds(), 0, logged.parameters);
        ASSERT_TRUE(event);
        ASSERT_TRUE(engine->database()->performTransaction(
            [&] { return writer.writeEvent(*event, isPublic, false); }));
      }
      engine->updateSchedule();
    });
    world.dispatch().drain();
  }

  // Pumps (real HTTP round trips included) until the collector accepted `count` events and the
  // engine's queues are empty.
  bool pumpUntilAccepted(const std::shared_ptr<BMSMeasurement>& engine, std::size_t count) {
    return platform::runUntil(
        [&] {
          return collector.acceptedEventNames().size() >= count &&
                 engine->database()->isQueuedBundleTableEmpty().valueOr(false) &&
                 engine->database()->isRawEventsTableEmpty().valueOr(false);
        },
        kPatience);
  }

  bool pumpUntil(const std::function<bool()>& done) { return platform::runUntil(done, kPatience); }

  // Whether the engine has handled the answer to every request it sent (none is under way).
  bool requestsSettled(const std::shared_ptr<BMSMeasurement>& engine) {
    bool ready = false;
    engine->scheduler()->dispatchSyncOnWorkerQueueBlockID(
        "test", [&] { ready = engine->isNetworkReadyForRequest(); });
    return ready;
  }

  // Goes online, logs the app's events (which arms the upload timer) and lets the first upload go:
  // when the timer fires, or sooner when a configuration fetch was under way and its answer started
  // it. True once that upload's answer has been handled, the timer armed again and nothing else
  // posted.
  bool sendTheAppEventsOnce(const std::shared_ptr<BMSMeasurement>& engine) {
    goOnline();
    logEvents(engine, appEvents());
    // Whatever is under way is answered before the timer is due, so an answer always finds the
    // timer that the events armed.
    if (!pumpUntil([&] { return requestsSettled(engine); })) return false;
    advance(16s);
    if (!pumpUntil([&] { return collector.uploadCount() >= 1 && requestsSettled(engine); })) return false;
    return collector.uploadCount() == 1 && engine->alarm()->hasActiveTimer();
  }

  // Lets virtual time pass, and what it starts run for a moment. Only checks that nothing happens
  // rely on the moment; everything that must happen is waited for with pumpUntil.
  void advance(std::chrono::nanoseconds by) {
    world.dispatch().advance(by);
    platform::runMainQueueFor(50ms);
  }

  testing::BMSCollectorFake collector;
  platform::testing::TemporaryUser user;
  testing::AnalyticsTestWorld world;
};

const BMSPBEvent* findEvent(const std::vector<BMSPBEvent>& events, const std::string& name) {
  for (const auto& event : events)
    if (NANOGetString(event, EventField::kName) == name) return &event;
  return nullptr;
}

// What a strict reader of the schema (protoc) reports about a batch: empty when every string field is
// well-formed UTF-8 and everything else decodes.
std::string strictReaderComplaints(const platform::Bytes& batch) {
  platform::testing::TemporaryDirectory folder;
  const auto input = folder.path() / "batch.bin";
  const auto complaints = folder.path() / "complaints.txt";
  std::ofstream(input, std::ios::binary)
      .write(reinterpret_cast<const char*>(batch.data()), static_cast<std::streamsize>(batch.size()));
  const std::string command = std::string("protoc -I'") + VELLORAN_MESSAGES_PROTO_DIR +
                              "' --decode=velloran.measurement.MeasurementBatch measurement.proto < '" +
                              input.string() + "' > /dev/null 2> '" + complaints.string() + "'";
  if (std::system(command.c_str()) != 0) return "protoc failed";
  std::ostringstream text;
  text << std::ifstream(complaints).rdbuf();
  return text.str();
}

TEST_F(CollectorEndToEndTest, IllFormedTextInValuesIsRepairedBeforeItIsStoredAndUploaded) {
  auto engine = startEngine();
  goOnline();
  BMSAnalytics::setUserPropertyString(platform::Value("r\xC3"), "color");
  BMSAnalytics::logEventWithName("prompt_create", {{"type", platform::Value("sys\xFFtem")}});
  BMSAnalytics::logEventWithName(
      "purchase", {{"items", platform::Array{platform::Dictionary{{"item_name", "t\xE2\x82"}}}}});
  // A refused name is named in the error event it becomes.
  BMSAnalytics::logEventWithName("prompt\xFF", {});
  world.dispatch().drain();
  advance(16s);
  ASSERT_TRUE(pumpUntil([&] {
    const auto accepted = collector.acceptedEventNames();
    return std::find(accepted.begin(), accepted.end(), "purchase") != accepted.end() &&
           engine->database()->isRawEventsTableEmpty().valueOr(false) &&
           engine->database()->isQueuedBundleTableEmpty().valueOr(false);
  }));

  std::vector<BMSPBEvent> events;
  std::vector<BMSPBUserAttribute> attributes;
  for (const auto& received : collector.batches()) {
    EXPECT_EQ(strictReaderComplaints(received.body), "");
    ASSERT_TRUE(received.batch);
    for (const auto& bundle :
         NANOGetArray<BMSPBMeasurementBundle>(*received.batch, MeasurementBatchField::kBundles)) {
      for (auto& event : NANOGetArray<BMSPBEvent>(bundle, MeasurementBundleField::kEvents))
        events.push_back(event);
      for (auto& attribute :
           NANOGetArray<BMSPBUserAttribute>(bundle, MeasurementBundleField::kUserAttributes))
        attributes.push_back(attribute);
    }
  }
  const auto parameter = [&](const std::string& event,
                             const std::string& name) -> std::optional<std::string> {
    const BMSPBEvent* found = findEvent(events, event);
    if (!found) return std::nullopt;
    for (const auto& param : NANOGetArray<BMSPBEventParam>(*found, EventField::kParams))
      if (NANOGetString(param, EventParamField::kName) == name)
        return NANOGetString(param, EventParamField::kStringValue);
    return std::nullopt;
  };
  EXPECT_EQ(parameter("prompt_create", "type"), "sys\uFFFDtem");
  EXPECT_EQ(parameter("_err", "_ev"), "prompt\uFFFD");
  EXPECT_TRUE(std::any_of(attributes.begin(), attributes.end(), [](const BMSPBUserAttribute& attribute) {
    return NANOGetString(attribute, UserAttributeField::kStringValue) == "r\uFFFD";
  }));
}

TEST_F(CollectorEndToEndTest, TheCollectorReceivesTheEventsWithTheirParametersAfterTheUploadTimer) {
  auto engine = startEngine();
  goOnline();
  logEvents(engine, appEvents());
  advance(10s);
  EXPECT_EQ(collector.uploadCount(), 0u);

  advance(6s);
  ASSERT_TRUE(pumpUntilAccepted(engine, expectedNames().size()));
  EXPECT_EQ(collector.acceptedEventNames(), expectedNames());
  EXPECT_EQ(collector.configurationRequests().size(), 1u);

  const auto received = collector.batches().front();
  const auto bundles = NANOGetArray<BMSPBMeasurementBundle>(*received.batch, MeasurementBatchField::kBundles);
  // The start's own events were logged under other user properties: a bundle of their own comes first.
  ASSERT_EQ(bundles.size(), 2u);
  const BMSPBMeasurementBundle& appBundle = bundles.back();
  EXPECT_EQ(NANOGetString(appBundle, MeasurementBundleField::kAppID), "de.example.velloran");
  EXPECT_EQ(NANOGetString(appBundle, MeasurementBundleField::kAppVersion), "1.4.2");
  EXPECT_EQ(NANOGetString(appBundle, MeasurementBundleField::kCNPAppID), kTestAppID);
  // The bundles' engagement time (the first open's 1 ms, then 1500 ms) reached the engagement user
  // properties.
  const auto attributes =
      NANOGetArray<BMSPBUserAttribute>(appBundle, MeasurementBundleField::kUserAttributes);
  for (const char* engagement : {"_lte", "_se"}) {
    EXPECT_TRUE(std::any_of(attributes.begin(), attributes.end(), [&](const BMSPBUserAttribute& attribute) {
      return NANOGetString(attribute, UserAttributeField::kName) == engagement &&
             NANOGetInt64(attribute, UserAttributeField::kIntValue) == 1 + 1500;
    })) << engagement;
  }
  const auto events = NANOGetArray<BMSPBEvent>(appBundle, MeasurementBundleField::kEvents);
  const BMSPBEvent* created = findEvent(events, "prompt_create");
  ASSERT_TRUE(created);
  const auto parameters = NANOGetArray<BMSPBEventParam>(*created, EventField::kParams);
  EXPECT_TRUE(std::any_of(parameters.begin(), parameters.end(), [](const BMSPBEventParam& parameter) {
    return NANOGetString(parameter, EventParamField::kName) == "type" &&
           NANOGetString(parameter, EventParamField::kStringValue) == "system";
  }));

  const std::string raw = testing::BMSCollectorFake::decodeRaw(received.body);
  for (const char* expected :
       {"\"app_open\"", "\"_f\"", "\"_s\"", "\"_e\"", "\"prompt_create\"", "\"system\""})
    EXPECT_NE(raw.find(expected), std::string::npos) << expected;
}

TEST_F(CollectorEndToEndTest, EventsLoggedThroughTheFacadeReachTheCollectorWithTheirParameters) {
  auto engine = startEngine();
  goOnline();
  BMSAnalytics::logEventWithName("app_open", {});
  BMSAnalytics::logInternalEventWithOrigin("auto", "_s", {});
  BMSAnalytics::logInternalEventWithOrigin("auto", "_e", {{"_et", platform::Value(1500)}});
  BMSAnalytics::logEventWithName("prompt_copy", {{"type", platform::Value("customRole")}});
  world.dispatch().drain();
  advance(16s);
  ASSERT_TRUE(pumpUntilAccepted(engine, 4));

  const std::vector<std::string> received = collector.acceptedEventNames();
  for (const char* name : {"app_open", "_s", "_e", "prompt_copy"})
    EXPECT_NE(std::find(received.begin(), received.end(), name), received.end()) << name;
  const std::string raw = testing::BMSCollectorFake::decodeRaw(collector.batches().back().body);
  EXPECT_NE(raw.find("\"customRole\""), std::string::npos);
  // Bundles of one session carry its stitching token.
  for (const auto& bundle : NANOGetArray<BMSPBMeasurementBundle>(*collector.batches().back().batch,
                                                                 MeasurementBatchField::kBundles))
    EXPECT_FALSE(NANOGetString(bundle, MeasurementBundleField::kSessionStitchingToken).value_or("").empty());
}

TEST_F(CollectorEndToEndTest, TheServedConfigurationIsAppliedBeforeTheEventsAreBundled) {
  BMSPBMeasurementConfig document;
  NANOSetInt64(document, MeasurementConfigField::kVersion, 3);
  NANOSetString(document, MeasurementConfigField::kCNPAppID, kTestAppID);
  collector.setConfiguration(*document.protoBuffer(), "\"v3\"");
  auto engine = startEngine();
  goOnline();
  logEvents(engine, appEvents());
  advance(16s);
  ASSERT_TRUE(pumpUntilAccepted(engine, expectedNames().size()));

  EXPECT_EQ(engine->remoteConfigInstance()->version(), 3);
  EXPECT_EQ(BMSPersistedConfig::sharedInstance()->configServerETag(), "\"v3\"");
  const auto bundles = NANOGetArray<BMSPBMeasurementBundle>(*collector.batches().front().batch,
                                                            MeasurementBatchField::kBundles);
  // The start's own events and the logged ones, each under the configuration now in force.
  ASSERT_EQ(bundles.size(), 2u);
  for (const BMSPBMeasurementBundle& bundle : bundles)
    EXPECT_EQ(NANOGetInt64(bundle, MeasurementBundleField::kConfigVersion), 3);
}

TEST_F(CollectorEndToEndTest, TCFConsentChangedBetweenUploadsGoesOutWithTheNextOne) {
  BMSPBMeasurementConfig document;
  NANOSetString(document, MeasurementConfigField::kCNPAppID, kTestAppID);
  NANOSetBool(document, MeasurementConfigField::kDMARegion, true);
  collector.setConfiguration(*document.protoBuffer(), "\"dma\"");
  const std::shared_ptr<BMSUserDefaults> preferences = BMSUserDefaults::sharedUserDefaults();
  preferences->setObject(platform::Value(300), "IABTCF_CmpSdkID");
  preferences->setObject(platform::Value(1), "IABTCF_gdprApplies");
  preferences->setObject(platform::Value("1111111"), "IABTCF_PurposeConsents");
  auto engine = startEngine();
  ASSERT_TRUE(engine->tcfClient());
  EXPECT_FALSE(engine->tcfClient()->isDMARegion());
  goOnline();
  // The consent signals of the last batch's bundles, when they all carry the same.
  const auto lastBatchSignals = [&]() -> std::optional<std::string> {
    std::set<std::optional<std::string>> signals;
    for (const auto& bundle : NANOGetArray<BMSPBMeasurementBundle>(*collector.batches().back().batch,
                                                                   MeasurementBatchField::kBundles))
      signals.insert(NANOGetString(bundle, MeasurementBundleField::kConsentSignals));
    return signals.size() == 1 ? *signals.begin() : std::nullopt;
  };

  logEvents(engine, appEvents());
  advance(16s);
  ASSERT_TRUE(pumpUntilAccepted(engine, expectedNames().size()));
  // The fetch before the first upload brought the region.
  EXPECT_TRUE(engine->tcfClient()->isDMARegion());
  EXPECT_EQ(lastBatchSignals(), "C11-");

  // Ad storage withdrawn in the platform's preferences: stored events were written under the old
  // consent, yet go out under the new one.
  preferences->setObject(platform::Value("0111111"), "IABTCF_PurposeConsents");
  logEvents(engine, {{"prompt_copy", {}}});
  advance(1h);
  ASSERT_TRUE(pumpUntilAccepted(engine, expectedNames().size() + 1));
  EXPECT_EQ(lastBatchSignals(), "C10-");
}

TEST_F(CollectorEndToEndTest, AnOverloadedCollectorIsLeftAloneForTheBackoffAndAFailureIsRetried) {
  collector.setUploadStatuses({503, 500, 204});
  auto engine = startEngine();
  ASSERT_TRUE(sendTheAppEventsOnce(engine));
  EXPECT_NE(BMSPersistedConfig::sharedInstance()->lastBackoffTimestamp(), 0);

  advance(1h);
  EXPECT_EQ(collector.uploadCount(), 1u);
  advance(11h + 1min);
  ASSERT_TRUE(pumpUntil([&] { return collector.uploadCount() == 2 && engine->alarm()->hasActiveTimer(); }));
  EXPECT_EQ(collector.acceptedEventNames().size(), 0u);

  advance(4h);
  ASSERT_TRUE(pumpUntilAccepted(engine, expectedNames().size()));
  EXPECT_EQ(collector.uploadCount(), 3u);
  EXPECT_EQ(collector.acceptedEventNames(), expectedNames());
}

// A launch whose clock ran a year ahead met an overloaded collector; the next launch, with the clock
// set right, sends the events within the initial delay and fetches the configuration stamped a
// year ahead again, instead of keeping quiet for the back-off.
TEST_F(CollectorEndToEndTest, AnOverloadMetWhileTheClockRanAYearAheadHoldsTheNextLaunchBackNoLonger) {
  const platform::Date rightTime = world.clock().now();
  world.clock().advanceWall(24h * 365);
  collector.setUploadStatuses({503, 204});
  {
    auto engine = startEngine();
    ASSERT_TRUE(sendTheAppEventsOnce(engine));
  }
  ASSERT_GT(BMSPersistedConfig::sharedInstance()->lastBackoffTimestamp(), rightTime.unixSeconds());
  const std::size_t fetches = collector.configurationRequests().size();

  world.clock().setNow(rightTime);
  AnalyticsContext::Scope nextLaunch(std::make_shared<AnalyticsContext>(
      AnalyticsContext::Services{world.dispatch().sharedClock(), &world.classes(), &world.notifications(),
                                 nullptr, false, &testing::FakeReachability::api()}));
  auto engine = startEngine();
  goOnline();
  advance(150s);
  ASSERT_TRUE(pumpUntilAccepted(engine, expectedNames().size()));
  // The events of the first launch; the session this launch started after them may follow.
  std::vector<std::string> accepted = collector.acceptedEventNames();
  accepted.resize(expectedNames().size());
  EXPECT_EQ(accepted, expectedNames());
  ASSERT_TRUE(pumpUntil([&] { return collector.configurationRequests().size() == fetches + 1; }));
}

TEST_F(CollectorEndToEndTest, OfflineTheEventsWaitAndGoOutOnceTheNetworkIsBack) {
  auto engine = startEngine();
  logEvents(engine, appEvents());
  advance(2h);
  EXPECT_EQ(collector.uploadCount(), 0u);
  EXPECT_TRUE(collector.configurationRequests().empty());
  EXPECT_TRUE(world.log().contains(23026));

  goOnline();
  ASSERT_TRUE(pumpUntilAccepted(engine, expectedNames().size()));
  EXPECT_EQ(collector.acceptedEventNames(), expectedNames());
}

TEST_F(CollectorEndToEndTest, EventsStoredBeforeARestartAreUploadedByTheNextProcess) {
  {
    auto engine = startEngine();
    logEvents(engine, appEvents());
  }
  EXPECT_EQ(collector.uploadCount(), 0u);

  // The next launch: a new context over the same home, preferences and database file.
  AnalyticsContext::Scope nextLaunch(std::make_shared<AnalyticsContext>(
      AnalyticsContext::Services{world.dispatch().sharedClock(), &world.classes(), &world.notifications(),
                                 nullptr, false, &testing::FakeReachability::api()}));
  auto engine = startEngine();
  goOnline();
  advance(16s);
  ASSERT_TRUE(pumpUntilAccepted(engine, expectedNames().size()));
  EXPECT_EQ(collector.acceptedEventNames(), expectedNames());
}

// The uploading process of the next test: stores the events and uploads them, until it is killed.
// Runs only as that test's child.
TEST(CollectorChildProcess, StoresAndUploadsUntilKilled) {
  if (!std::getenv("VELLORAN_UPLOAD_CHILD")) GTEST_SKIP() << "runs only as the child of the kill test";
  testing::AnalyticsTestWorld world;
  world.classes().registerClass("BCNAnalytics");
  BMSAnalytics::startWithAppID(kTestAppID, "ba", {{}, nullptr});
  world.dispatch().drain();
  auto engine = BMSMeasurement::sharedInstance();
  ASSERT_TRUE(engine);
  testing::FakeReachability::instance().push(platform::kReachabilityFlagReachable);
  engine->scheduler()->scheduleOnWorkerQueueBlockID("test", [&] {
    BMSRawEventWriter writer({engine->database(), engine->remoteConfigInstance(), engine->persistedConfig(),
                              [&](const std::vector<BMSUserAttribute>& attributes) {
                                return engine->createRawEventMetadataWithUserAttributes(attributes);
                              },
                              nullptr, nullptr, [](BMSEvent) {}});
    for (const auto& logged : appEvents()) {
      const bool isPublic = logged.name.front() != '_';
      auto event = BMSEvent::initWithOrigin(isPublic ? "app" : "auto", isPublic, logged.name,
                                            world.clock().now().unixSeconds(), 0, logged.parameters);
      ASSERT_TRUE(event);
      ASSERT_TRUE(
          engine->database()->performTransaction([&] { return writer.writeEvent(*event, isPublic, false); }));
    }
    engine->updateSchedule();
  });
  world.dispatch().drain();
  world.dispatch().advance(16s);
  // The collector holds the post: this process waits in it until it is killed.
  platform::runUntil([] { return false; }, 10 * kPatience);
  FAIL() << "the parent never ended this process";
}

TEST_F(CollectorEndToEndTest, NothingIsLostWhenTheUploadingProcessIsKilledMidUpload) {
  // The post in flight when the process dies is refused once released, as a service that never
  // committed it would: only the next process's upload can deliver the events.
  collector.setUploadStatuses({500, 204});
  collector.holdUploads();
  user.environment().set("VELLORAN_UPLOAD_CHILD", "1");
  std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
  std::string filter = "--gtest_filter=CollectorChildProcess.StoresAndUploadsUntilKilled";
  char* arguments[] = {self.data(), filter.data(), nullptr};
  pid_t child = 0;
  ASSERT_EQ(posix_spawn(&child, self.c_str(), nullptr, nullptr, arguments, environ), 0);
  user.environment().set("VELLORAN_UPLOAD_CHILD", std::nullopt);

  const bool posted = collector.waitForUploads(1, 3 * kPatience);
  ::kill(child, SIGKILL);
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_TRUE(posted);
  EXPECT_TRUE(WIFSIGNALED(status));
  collector.releaseUploads();
  EXPECT_TRUE(collector.acceptedEventNames().empty());

  // The next process, started after the killed one's upload: that upload counts as a failed one, so
  // the first retry step comes first.
  world.dispatch().advance(20s);
  auto engine = startEngine();
  goOnline();
  advance(16s);
  EXPECT_EQ(collector.uploadCount(), 1u);
  advance(30min);
  ASSERT_TRUE(pumpUntilAccepted(engine, expectedNames().size()));
  EXPECT_EQ(collector.acceptedEventNames(), expectedNames());
}

TEST_F(CollectorEndToEndTest, ResigningActiveUploadsWithoutWaitingForTheTimer) {
  auto engine = startEngine();
  goOnline();
  logEvents(engine, appEvents());
  const platform::Date before = world.clock().now();
  world.notifications().post(BMSApplicationWillResignActiveNotification());
  EXPECT_TRUE(world.log().contains(23144));
  world.dispatch().drain();
  ASSERT_TRUE(pumpUntilAccepted(engine, expectedNames().size()));
  EXPECT_EQ(collector.acceptedEventNames(), expectedNames());
  EXPECT_EQ(world.clock().now(), before);
}

TEST_F(CollectorEndToEndTest, ResigningActiveDuringTheBackoffPostsNothing) {
  collector.setUploadStatuses({503, 204});
  auto engine = startEngine();
  ASSERT_TRUE(sendTheAppEventsOnce(engine));

  world.notifications().post(BMSApplicationWillResignActiveNotification());
  advance(1min);
  EXPECT_EQ(collector.uploadCount(), 1u);
  advance(12h);
  ASSERT_TRUE(pumpUntilAccepted(engine, expectedNames().size()));
  EXPECT_EQ(collector.uploadCount(), 2u);
}

TEST_F(CollectorEndToEndTest, BecomingActiveFetchesAWeekOldConfigurationOnlyWithTheInternalBlocklist) {
  auto engine = startEngine();
  goOnline();
  // The built-in configuration leaves the internal blocklist off: no fetch, however old.
  world.notifications().post(BMSApplicationDidBecomeActiveNotification());
  advance(1s);
  EXPECT_TRUE(collector.configurationRequests().empty());

  BMSRemoteConfigSnapshot blocklisting;
  blocklisting.settings = {{"measurement.upload.blacklist_internal", "1"}};
  engine->scheduler()->dispatchSyncOnWorkerQueueBlockID("test", [&] {
    ASSERT_TRUE(engine->remoteConfigInstance()->updateWithSnapshot(blocklisting, {}));
    ASSERT_TRUE(engine->database()->updateRemoteConfigSuccessfulTimestamp(world.clock().now().unixSeconds() -
                                                                          604800 + 60));
  });
  world.notifications().post(BMSApplicationDidBecomeActiveNotification());
  advance(1s);
  EXPECT_TRUE(collector.configurationRequests().empty());

  advance(1min);
  world.notifications().post(BMSApplicationDidBecomeActiveNotification());
  world.dispatch().drain();
  // The collector sees the request before the engine has handled its answer. Until it has, the
  // fetch still counts as under way and turns the next one away, and the answer, handled after the
  // stamp below, would stamp the configuration fresh again.
  ASSERT_TRUE(
      pumpUntil([&] { return collector.configurationRequests().size() == 1 && requestsSettled(engine); }));

  // An update stamped ahead, while the clock ran fast, is over however little ahead: fetched again.
  for (const double ahead : {604800.0 + 60, 60.0}) {
    const std::size_t fetched = collector.configurationRequests().size();
    ASSERT_TRUE(pumpUntil([&] { return requestsSettled(engine); }));
    engine->scheduler()->dispatchSyncOnWorkerQueueBlockID("test", [&] {
      ASSERT_TRUE(engine->database()->updateRemoteConfigSuccessfulTimestamp(
          world.clock().now().unixSeconds() + ahead));
    });
    world.notifications().post(BMSApplicationDidBecomeActiveNotification());
    world.dispatch().drain();
    ASSERT_TRUE(pumpUntil([&] { return collector.configurationRequests().size() == fetched + 1; })) << ahead;
  }
}

TEST_F(CollectorEndToEndTest, AResetThroughTheFacadeRotatesTheAppInstanceIDAndDropsWhatWasPending) {
  auto engine = startEngine();
  goOnline();
  const std::optional<std::string> before = BMSAnalytics::appInstanceID();
  ASSERT_TRUE(before && !before->empty());
  BMSAnalytics::logEventWithName("prompt_create", {{"type", platform::Value("system")}});
  world.dispatch().drain();
  const auto pending = [&](const std::string& name) {
    return engine->database()
        ->store()
        .integer("SELECT count(*) FROM raw_events WHERE name = ?", {name})
        .value();
  };
  ASSERT_EQ(pending("prompt_create"), 1);

  BMSAnalytics::resetAnalyticsData();
  world.dispatch().drain();
  const std::optional<std::string> after = BMSAnalytics::appInstanceID();
  ASSERT_TRUE(after && !after->empty());
  EXPECT_NE(after, before);
  EXPECT_EQ(pending("prompt_create"), 0);

  BMSAnalytics::logEventWithName("prompt_copy", {});
  world.dispatch().drain();
  advance(16s);
  ASSERT_TRUE(pumpUntil([&] {
    const auto accepted = collector.acceptedEventNames();
    return std::find(accepted.begin(), accepted.end(), "prompt_copy") != accepted.end() &&
           engine->database()->isRawEventsTableEmpty().valueOr(false);
  }));
  const std::vector<std::string> accepted = collector.acceptedEventNames();
  EXPECT_EQ(std::find(accepted.begin(), accepted.end(), "prompt_create"), accepted.end());
  // The app starts over: a new first open under the new ID.
  EXPECT_NE(std::find(accepted.begin(), accepted.end(), "_f"), accepted.end());
  for (const auto& received : collector.batches()) {
    if (!received.batch) continue;
    for (const auto& bundle :
         NANOGetArray<BMSPBMeasurementBundle>(*received.batch, MeasurementBatchField::kBundles))
      EXPECT_EQ(NANOGetString(bundle, MeasurementBundleField::kAppInstanceID), after);
  }
}

// A context destroyed while its engine waits for the collector's answer to an upload and has its
// timers armed: the answer and the timers that come after it find the engine gone and leave the
// freed context and configuration alone (the sanitizer builds check the "alone").
TEST(ContextTeardownWithTheCollector, AnAnswerAndTimersArrivingAfterTheContextWentFindItGone) {
  testing::BMSCollectorFake collector;
  platform::testing::TemporaryUser user;
  user.writeInfo({{"CFBundleIdentifier", "de.example.analytics-teardown-tests"}});
  user.environment().set("BEACON_SERVICE_ORIGIN", collector.origin());
  testing::forgetProcessWideState();
  platform::DeterministicDispatch dispatch;
  platform::ClassDirectory classes;
  classes.registerClass("BCNAnalytics");
  collector.holdUploads();
  {
    AnalyticsContext::Scope scope(std::make_shared<AnalyticsContext>(AnalyticsContext::Services{
        dispatch.sharedClock(), &classes, nullptr, nullptr, false, &testing::FakeReachability::api()}));
    BMSAnalytics::startWithAppID(kTestAppID, "ba", {{}, nullptr});
    dispatch.drain();
    testing::FakeReachability::instance().push(platform::kReachabilityFlagReachable);
    BMSAnalytics::logEventWithName("app_open", {});
    dispatch.drain();
    dispatch.advance(16s);
    // The configuration fetch comes back first; then the upload goes out and waits at the collector.
    ASSERT_TRUE(platform::runUntil([&] { return collector.uploadCount() == 1; }, kPatience));
    const std::shared_ptr<BMSMeasurement> engine = BMSMeasurement::sharedInstance();
    ASSERT_TRUE(engine && engine->alarm());
  }
  collector.releaseUploads();
  // The answer, then every timer the engine armed.
  platform::runMainQueueFor(200ms);
  dispatch.advance(std::chrono::hours(48));
  platform::runMainQueueFor(50ms);
  EXPECT_EQ(collector.uploadCount(), 1u);
  testing::forgetProcessWideState();
}

}  // namespace
}  // namespace beacon
