// The uploader against the loopback collector over real HTTP, on the deterministic backend: what a
// post carries, what each answer does to the queue and the schedule, and the configuration fetch
// with its validators.

#include "measurement/upload/BMSUploader.h"

#include <gtest/gtest.h>

#include "measurement/engine/testing/EngineTestSupport.h"
#include "measurement/messages/NANOAccessors.h"
#include "measurement/upload/testing/BMSCollectorFake.h"
#include "measurement/upload/testing/PlainUploaderCollaborators.h"
#include "platform/dispatch/DeterministicDispatch.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/testing/TestApplication.h"
#include "sdk-utilities/testing/FakeReachability.h"

namespace beacon {
namespace {

namespace B = MeasurementBundleField;
using namespace std::chrono_literals;

constexpr const char* kCNPAppID = "1:123:macos:abc";
constexpr auto kPatience = 20s;  // only a real hang takes this long

platform::Bytes configurationDocument(const std::string& appID, std::int64_t version,
                                      std::vector<std::pair<std::string, std::string>> settings = {}) {
  BMSPBMeasurementConfig document;
  NANOSetInt64(document, MeasurementConfigField::kVersion, version);
  NANOSetString(document, MeasurementConfigField::kCNPAppID, appID);
  std::vector<BMSPBSetting> entries;
  for (const auto& [key, value] : settings) {
    BMSPBSetting entry;
    NANOSetString(entry, SettingField::kKey, key);
    NANOSetString(entry, SettingField::kValue, value);
    entries.push_back(entry);
  }
  NANOSetArray(document, MeasurementConfigField::kSettings, entries);
  return *document.protoBuffer();
}

class UploaderTest : public ::testing::Test {
 protected:
  UploaderTest() {
    application.user().environment().set("BEACON_SERVICE_ORIGIN", collector.origin());
    database =
        BMSDatabase::openAtPath(application.user().root() / kBMSMeasurementDatabaseName, clock).value();
    config = BMSRemoteConfig::initWithAppID("app", database, nullptr, clock).value();
    network = CVUNetwork::createWithReachabilityHost("127.0.0.1", &testing::FakeReachability::api());
    dispatch.drain();
    uploader = makeUploader();
  }

  // An uploader over the fixture's database, network and settings, as each process start makes one.
  std::shared_ptr<BMSUploader> makeUploader() {
    auto collaborators = testing::plainUploaderCollaborators(
        network, scheduler, alarm, database, [this] { return config; }, persisted, clock, kCNPAppID);
    collaborators.isDebugModeEnabled = [this] { return debugMode; };
    collaborators.libraryVersion = 120300;
    return BMSUploader::create(std::move(collaborators));
  }

  void goOnline() {
    testing::FakeReachability::instance().push(platform::kReachabilityFlagReachable);
    dispatch.drain();
  }

  // Marks the stored configuration as fresh, so uploads bundle and do not fetch.
  void freshConfiguration() { ASSERT_TRUE(database->updateRemoteConfigSuccessfulTimestamp(now()).ok()); }

  std::int64_t queueBundle(const std::string& eventName) {
    BMSPBMeasurementBundle bundle;
    NANOSetInt32(bundle, B::kProtocolVersion, 1);
    NANOSetString(bundle, B::kAppID, "com.example.velloran");
    BMSPBEvent event;
    NANOSetString(event, EventField::kName, eventName);
    NANOSetInt64(event, EventField::kTimestampMillis, static_cast<std::int64_t>(now() * 1000));
    NANOSetArray(bundle, B::kEvents, std::vector<BMSPBEvent>{event});
    NANOSetInt64(bundle, B::kEndTimestampMillis, static_cast<std::int64_t>(now() * 1000));
    return database->insertBundle(bundle, false).value();
  }

  // Runs the worker queue's work, network completions included, until no request is in flight.
  void settle() {
    dispatch.drain();
    ASSERT_TRUE(platform::runUntil([&] { return !uploader->isNetworkRequestPending(); }, kPatience));
  }

  // Online with a fresh configuration, one bundle is posted and the collector holds its answer.
  void startHeldUpload() {
    goOnline();
    freshConfiguration();
    queueBundle("prompt_copy");
    collector.holdUploads();
    scheduler->scheduleOnWorkerQueueBlockID("test", [&] { uploader->uploadData(); });
    dispatch.drain();
    ASSERT_TRUE(collector.waitForUploads(1, kPatience));
  }

  void onWorker(std::function<void()> work) {
    scheduler->scheduleOnWorkerQueueBlockID("test", std::move(work));
    settle();
  }

  double now() const { return clock->now().unixSeconds(); }
  std::size_t queuedCount() { return database->queryBundlesWithCountLimit(1000, 1 << 30).value().size(); }
  bool logged(std::int64_t code) const {
    const auto codes = services.log->codes();
    return std::find(codes.begin(), codes.end(), code) != codes.end();
  }

  testing::BMSCollectorFake collector;
  platform::testing::TestApplication application;
  testing::ScopedEngineServices services;
  std::shared_ptr<platform::ManualClock> clock = std::make_shared<platform::ManualClock>();
  platform::DeterministicDispatch dispatch{clock};
  std::shared_ptr<BMSScheduler> scheduler = std::make_shared<BMSScheduler>("com.corvane.bms.worker");
  std::shared_ptr<BMSAlarm> alarm =
      std::make_shared<BMSAlarm>(scheduler->workerQueue(), "Measurement timer", clock);
  std::shared_ptr<BMSPersistedConfig> persisted =
      std::make_shared<BMSPersistedConfig>(BMSUserDefaults::sharedUserDefaults(), [] { return 0.5; });
  std::shared_ptr<BMSDatabase> database;
  std::shared_ptr<BMSRemoteConfig> config;
  std::shared_ptr<CVUNetwork> network;
  std::shared_ptr<BMSUploader> uploader;
  bool debugMode = false;
};

TEST_F(UploaderTest, ASuccessfulPostDeletesExactlyTheBundlesItCarried) {
  goOnline();
  freshConfiguration();
  queueBundle("prompt_create");
  queueBundle("prompt_copy");
  onWorker([&] { uploader->uploadData(); });

  ASSERT_EQ(collector.uploadCount(), 1u);
  const auto batch = collector.batches().front();
  ASSERT_TRUE(batch.batch);
  const auto bundles = NANOGetArray<BMSPBMeasurementBundle>(*batch.batch, MeasurementBatchField::kBundles);
  ASSERT_EQ(bundles.size(), 2u);
  EXPECT_EQ(NANOGetInt64(bundles[0], B::kUploadLibraryVersion), 120300);
  EXPECT_EQ(NANOGetInt64(bundles[0], B::kUploadTimestampMillis), static_cast<std::int64_t>(now() * 1000));
  EXPECT_EQ(collector.acceptedEventNames(), (std::vector<std::string>{"prompt_create", "prompt_copy"}));
  // The independent decoder sees the same events.
  const std::string raw = testing::BMSCollectorFake::decodeRaw(batch.body);
  EXPECT_NE(raw.find("\"prompt_create\""), std::string::npos);
  EXPECT_NE(raw.find("\"com.example.velloran\""), std::string::npos);

  EXPECT_EQ(queuedCount(), 0u);
  EXPECT_EQ(persisted->lastSuccessfulUploadTimestamp(), now());
  EXPECT_EQ(persisted->lastFailedUploadTimestamp(), 0);
}

TEST_F(UploaderTest, AnEmptyQueueIsNeverPostedAndAnExpiredConfigurationIsFetchedInstead) {
  goOnline();
  onWorker([&] { uploader->uploadData(); });
  EXPECT_EQ(collector.uploadCount(), 0u);
  EXPECT_EQ(collector.configurationRequests().size(), 1u);
  // A 404 counts as a successful fetch: the configuration is fresh again, nothing loops.
  EXPECT_FALSE(config->isExpired());
  EXPECT_EQ(collector.configurationRequests().size(), 1u);
}

TEST_F(UploaderTest, OverloadStartsTheBackoffAndTheTimerWaitsItOut) {
  goOnline();
  freshConfiguration();
  collector.setUploadStatuses({503, 204});
  queueBundle("prompt_copy");
  onWorker([&] { uploader->uploadData(); });
  EXPECT_EQ(persisted->lastBackoffTimestamp(), now());
  EXPECT_EQ(queuedCount(), 1u);
  ASSERT_TRUE(alarm->scheduledTimestamp());
  EXPECT_GE(alarm->scheduledTimestamp()->unixSeconds(), now() + 43200);

  // The app leaving the foreground does not post during the back-off either.
  onWorker([&] { uploader->uploadDataRespectingBackoff(); });
  EXPECT_EQ(collector.uploadCount(), 1u);

  dispatch.advance(std::chrono::hours(12) - 1s);
  settle();
  EXPECT_EQ(collector.uploadCount(), 1u);
  dispatch.advance(2s);
  settle();
  EXPECT_EQ(collector.uploadCount(), 2u);
  EXPECT_EQ(queuedCount(), 0u);
  EXPECT_EQ(persisted->lastBackoffTimestamp(), 0);
}

TEST_F(UploaderTest, AServerErrorIsRetriedAfterTheRetryStepWithoutBackoff) {
  goOnline();
  freshConfiguration();
  collector.setUploadStatuses({500, 204});
  queueBundle("prompt_copy");
  onWorker([&] { uploader->uploadData(); });
  EXPECT_EQ(persisted->lastBackoffTimestamp(), 0);
  EXPECT_EQ(persisted->lastFailedUploadTimestamp(), now());
  EXPECT_EQ(queuedCount(), 1u);

  dispatch.advance(std::chrono::minutes(20));
  settle();
  EXPECT_EQ(collector.uploadCount(), 1u);
  dispatch.advance(std::chrono::minutes(15));
  settle();
  EXPECT_EQ(collector.uploadCount(), 2u);
  EXPECT_EQ(queuedCount(), 0u);
}

// Data stored while a request is in flight arms the timer for the initial delay after it. A failure
// answered after that moves the next try to its retry step or past the back-off, and the timer
// armed before the answer gives way to it: it does not post early.
TEST_F(UploaderTest, ATimerArmedWhileAnUploadWasInFlightGivesWayToTheRetryStepOfItsFailure) {
  collector.setUploadStatuses({500, 204});
  ASSERT_NO_FATAL_FAILURE(startHeldUpload());
  dispatch.advance(100s);
  queueBundle("prompt_create");
  scheduler->scheduleOnWorkerQueueBlockID("test", [&] { uploader->updateSchedule(); });
  dispatch.drain();
  ASSERT_TRUE(alarm->scheduledTimestamp());
  ASSERT_EQ(alarm->scheduledTimestamp()->unixSeconds(), now() + 15);

  collector.releaseUploads();
  settle();
  ASSERT_TRUE(alarm->scheduledTimestamp());
  EXPECT_EQ(alarm->scheduledTimestamp()->unixSeconds(), now() + 15 + 1800);
  dispatch.advance(std::chrono::minutes(1));
  settle();
  EXPECT_EQ(collector.uploadCount(), 1u);
}

TEST_F(UploaderTest, ATimerArmedBeforeAnOverloadedFetchGivesWayToTheBackoff) {
  goOnline();
  ASSERT_TRUE(
      database->insertRawEvent(BMSEvent::initWithOrigin("app", true, "e", now(), 0, {}).value(), 1, false));
  onWorker([&] { uploader->updateSchedule(); });
  ASSERT_TRUE(alarm->scheduledTimestamp());
  ASSERT_EQ(alarm->scheduledTimestamp()->unixSeconds(), now() + 15);

  collector.answerConfigurationWith(platform::testing::ScriptedReply(503));
  onWorker([&] { uploader->fetchRemoteConfig(); });
  ASSERT_TRUE(alarm->scheduledTimestamp());
  EXPECT_EQ(alarm->scheduledTimestamp()->unixSeconds(), now() + 43200);
  dispatch.advance(std::chrono::minutes(1));
  settle();
  EXPECT_EQ(collector.configurationRequests().size(), 1u);
}

TEST_F(UploaderTest, OfflineNothingIsSentUntilTheNetworkComesBack) {
  freshConfiguration();
  queueBundle("prompt_copy");
  onWorker([&] { uploader->uploadData(); });
  EXPECT_TRUE(logged(23035));
  EXPECT_FALSE(alarm->scheduledTimestamp());
  dispatch.advance(std::chrono::hours(2));
  settle();
  EXPECT_EQ(collector.uploadCount(), 0u);

  // The data is older than the initial delay by now: the timer armed on reconnection fires at once.
  goOnline();
  settle();
  EXPECT_EQ(collector.uploadCount(), 1u);
  EXPECT_EQ(queuedCount(), 0u);
}

TEST_F(UploaderTest, ASecondUploadWhileOneIsInFlightIsRefused) {
  ASSERT_NO_FATAL_FAILURE(startHeldUpload());
  scheduler->scheduleOnWorkerQueueBlockID("test", [&] { uploader->uploadData(); });
  dispatch.drain();
  EXPECT_TRUE(logged(23034));
  collector.releaseUploads();
  settle();
  EXPECT_EQ(collector.uploadCount(), 1u);
  EXPECT_EQ(queuedCount(), 0u);
}

// Delivery is at least once: a batch the collector took while the process ended, its answer never
// read, is sent again by the next process, never lost.
TEST_F(UploaderTest, ABatchWhoseAnswerWasNeverReadIsSentAgainByTheNextProcess) {
  ASSERT_NO_FATAL_FAILURE(startHeldUpload());
  uploader.reset();  // the process ends; the collector still answers
  collector.releaseUploads();
  platform::runMainQueueFor(std::chrono::milliseconds(100));
  EXPECT_EQ(queuedCount(), 1u);

  uploader = makeUploader();
  onWorker([&] { uploader->uploadData(); });
  EXPECT_EQ(collector.uploadCount(), 2u);
  EXPECT_EQ(collector.acceptedEventNames(), (std::vector<std::string>{"prompt_copy", "prompt_copy"}));
  EXPECT_EQ(queuedCount(), 0u);
}

TEST_F(UploaderTest, ASuspensionHoldsUploadsForAnHourOfUptime) {
  goOnline();
  freshConfiguration();
  queueBundle("prompt_copy");
  uploader->setSuspendedUploadTimestamp(clock->secondsSinceBoot());
  onWorker([&] { uploader->uploadData(); });
  EXPECT_TRUE(logged(23023));
  EXPECT_FALSE(alarm->scheduledTimestamp());
  EXPECT_EQ(collector.uploadCount(), 0u);

  dispatch.advance(std::chrono::minutes(61));
  onWorker([&] { uploader->updateSchedule(); });
  EXPECT_EQ(uploader->suspendedUploadTimestamp(), 0);
  settle();
  EXPECT_EQ(collector.uploadCount(), 1u);
}

TEST_F(UploaderTest, ATimerArmedAMomentAfterTheNextUploadTimeStaysArmed) {
  goOnline();
  freshConfiguration();
  persisted->setLastSuccessfulUploadTimestamp(now() - 5);
  queueBundle("prompt_copy");
  const double armed = now() - 5 + 3600 + 0.0005;
  alarm->runAfterDelay(armed - now(), [] {});
  onWorker([&] { uploader->updateSchedule(); });
  EXPECT_TRUE(logged(23027));
  EXPECT_NEAR(alarm->scheduledTimestamp()->unixSeconds(), armed, 1e-6);
}

TEST_F(UploaderTest, RealtimeDataShortensTheIntervalAfterARecentSuccess) {
  goOnline();
  freshConfiguration();
  persisted->setLastSuccessfulUploadTimestamp(now() - 5);
  queueBundle("prompt_copy");
  onWorker([&] { EXPECT_DOUBLE_EQ(uploader->nextUploadingTime(), now() - 5 + 3600); });
  BMSPBMeasurementBundle realtime;
  NANOSetInt32(realtime, B::kProtocolVersion, 1);
  NANOSetInt64(realtime, B::kEndTimestampMillis, static_cast<std::int64_t>(now() * 1000));
  ASSERT_TRUE(database->insertBundle(realtime, true).ok());
  onWorker([&] { EXPECT_DOUBLE_EQ(uploader->nextUploadingTime(), now() - 5 + 10); });
}

// The schedule is worked out after every stored event from what the database keeps of its answers:
// the timer it arms follows every change of the data and of everything else the schedule reads.
TEST_F(UploaderTest, TheArmedTimerFollowsEveryChangeOfWhatTheScheduleReads) {
  goOnline();
  freshConfiguration();
  const double t0 = now();
  auto store = [&](BMSDatabase& into, bool realtime) {
    return into.insertRawEvent(BMSEvent::initWithOrigin("app", true, "e", now(), 0, {}).value(), 1, realtime)
        .value();
  };
  auto update = [&] { onWorker([&] { uploader->updateSchedule(); }); };
  // Seconds after t0 the timer is armed for; -1 when it is not armed.
  auto armed = [&] {
    const auto at = alarm->scheduledTimestamp();
    return at ? at->unixSeconds() - t0 : -1;
  };
  auto armedAfresh = [&] {
    alarm->cancel();
    update();
    return armed();
  };

  update();
  EXPECT_EQ(armed(), -1);
  store(*database, false);
  update();
  EXPECT_EQ(armed(), 15);
  dispatch.advance(std::chrono::seconds(5));
  store(*database, false);  // due later: the earlier timer stays
  update();
  EXPECT_EQ(armed(), 15);
  EXPECT_EQ(armedAfresh(), 20);

  persisted->setLastSuccessfulUploadTimestamp(t0);
  EXPECT_EQ(armedAfresh(), 3600);
  const std::int64_t realtimeRow = store(*database, true);
  EXPECT_EQ(armedAfresh(), 10);
  // Bundled: the real-time raw event is gone, its bundle is not real-time.
  BMSPBMeasurementBundle bundle;
  NANOSetInt64(bundle, B::kEndTimestampMillis, static_cast<std::int64_t>(now() * 1000));
  const std::int64_t bundleRow = database->insertBundle(bundle, false).value();
  ASSERT_TRUE(database->deleteRawEventsWithMaxRowID(realtimeRow).ok());
  EXPECT_EQ(armedAfresh(), 3600);

  // A failure after the latest data walks the doubling retry steps; a back-off holds on top.
  persisted->setLastFailedUploadTimestamp(now());
  EXPECT_EQ(armedAfresh(), 3600 + 1800);
  persisted->setLastBackoffTimestamp(t0);
  EXPECT_EQ(armedAfresh(), 43200);
  persisted->setLastBackoffTimestamp(0);
  persisted->setLastFailedUploadTimestamp(0);

  ASSERT_TRUE(database->deleteBundlesWithRowIDs({bundleRow}).ok());
  EXPECT_EQ(armedAfresh(), -1);
  persisted->setLastSuccessfulUploadTimestamp(t0 - 100000);
  store(*BMSDatabase::openAtPath(application.user().root() / kBMSMeasurementDatabaseName, clock).value(),
        false);
  EXPECT_EQ(armedAfresh(), 20);
  debugMode = true;
  EXPECT_EQ(armedAfresh(), 6);
  debugMode = false;

  testing::FakeReachability::instance().push(0);
  dispatch.drain();
  EXPECT_EQ(armedAfresh(), -1);
  goOnline();
  EXPECT_EQ(armedAfresh(), 20);
  uploader->setSuspendedUploadTimestamp(clock->secondsSinceBoot());
  EXPECT_EQ(armedAfresh(), -1);
}

TEST_F(UploaderTest, AnAppliedConfigurationKeepsItsValidatorsAndA304KeepsTheConfiguration) {
  goOnline();
  collector.setConfiguration(configurationDocument(kCNPAppID, 5, {{"measurement.upload.interval", "7200"}}),
                             "\"v5\"", "Mon, 07 Dec 2026 10:00:00 GMT");
  onWorker([&] { uploader->fetchRemoteConfig(); });
  EXPECT_EQ(config->version(), 5);
  EXPECT_EQ(config->uploadingInterval(), 7200);
  EXPECT_EQ(persisted->configServerETag(), "\"v5\"");
  EXPECT_EQ(persisted->configServerLastModifiedString(), "Mon, 07 Dec 2026 10:00:00 GMT");

  dispatch.advance(std::chrono::hours(25));
  onWorker([&] { uploader->fetchRemoteConfig(); });
  const auto requests = collector.configurationRequests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[1].header("If-None-Match"), "\"v5\"");
  EXPECT_EQ(requests[1].header("If-Modified-Since"), "Mon, 07 Dec 2026 10:00:00 GMT");
  EXPECT_TRUE(logged(23131));
  EXPECT_EQ(config->version(), 5);
  EXPECT_FALSE(config->isExpired());
  EXPECT_EQ(requests[0].parameters.find("platform")->second, "macos");
}

TEST_F(UploaderTest, ARefusedConfigurationIsNeverPinnedByItsValidators) {
  goOnline();
  collector.setConfiguration(configurationDocument("1:999:macos:other", 9), "\"other\"");
  onWorker([&] { uploader->fetchRemoteConfig(); });
  EXPECT_TRUE(logged(23136));
  EXPECT_EQ(config->version(), -1);
  EXPECT_FALSE(persisted->configServerETag());

  // The next fetch asks without validators and gets the document again, not a 304.
  collector.setConfiguration(configurationDocument(kCNPAppID, 10), "\"other\"");
  dispatch.advance(std::chrono::hours(25));
  onWorker([&] { uploader->fetchRemoteConfig(); });
  EXPECT_FALSE(collector.configurationRequests()[1].header("If-None-Match"));
  EXPECT_EQ(config->version(), 10);
}

// A process whose clock ran a year ahead met an overloaded collector; the next one runs with the
// clock set right. The back-off, the failure and the fetch it stamped are over: the bundle goes
// after the initial delay, and the stale configuration is fetched right after it.
TEST_F(UploaderTest, AnOverloadAnsweredWhileTheClockRanAYearAheadHoldsNothingBackOnceItIsSetRight) {
  goOnline();
  const platform::Date rightTime = clock->now();
  clock->advanceWall(std::chrono::hours(24 * 365));
  freshConfiguration();
  queueBundle("prompt_create");
  collector.setUploadStatuses({503, 204});
  onWorker([&] { uploader->uploadData(); });
  ASSERT_EQ(collector.uploadCount(), 1u);
  ASSERT_EQ(persisted->lastBackoffTimestamp(), now());

  clock->setNow(rightTime);
  alarm->cancel();
  uploader = makeUploader();
  onWorker([&] { uploader->updateSchedule(); });
  ASSERT_TRUE(alarm->scheduledTimestamp());
  EXPECT_EQ(alarm->scheduledTimestamp()->unixSeconds(), now() + 15);
  dispatch.advance(150s);
  settle();
  EXPECT_EQ(collector.uploadCount(), 2u);
  EXPECT_EQ(queuedCount(), 0u);
  EXPECT_EQ(collector.configurationRequests().size(), 1u);
  EXPECT_EQ(persisted->lastBackoffTimestamp(), 0);
  // Stamped when the collector's reply came in, which may be while the clock is still moved on: after
  // the upload went, at the latest now, and never a year ahead.
  EXPECT_GE(persisted->lastSuccessfulUploadTimestamp(), rightTime.unixSeconds() + 15);
  EXPECT_LE(persisted->lastSuccessfulUploadTimestamp(), now());
}

// Only the stored stamps lie ahead (a year; the fetch an hour), the clock is right: the upload and
// the configuration fetch after it go within the initial delay.
TEST_F(UploaderTest, StampsAheadOfTheClockHoldBackNeitherTheConfigurationFetchNorTheUpload) {
  goOnline();
  queueBundle("prompt_copy");
  const double yearAhead = now() + 365 * 86400.0;
  persisted->setLastBackoffTimestamp(yearAhead);
  persisted->setLastFailedUploadTimestamp(yearAhead);
  persisted->setLastSuccessfulUploadTimestamp(yearAhead);
  ASSERT_TRUE(database->updateRemoteConfigSuccessfulTimestamp(now() + 3600).ok());
  onWorker([&] { uploader->updateSchedule(); });
  dispatch.advance(150s);
  settle();
  EXPECT_EQ(collector.configurationRequests().size(), 1u);
  EXPECT_EQ(collector.uploadCount(), 1u);
  EXPECT_EQ(queuedCount(), 0u);
}

// Leaving the foreground uploads at once past a back-off stamped ahead of the clock, and waits out
// one that began a minute ago.
TEST_F(UploaderTest, AnUploadAskedForPassesABackoffStampedAheadOnly) {
  goOnline();
  freshConfiguration();
  queueBundle("prompt_copy");
  persisted->setLastBackoffTimestamp(now() + 60);
  onWorker([&] { uploader->uploadDataRespectingBackoff(); });
  EXPECT_EQ(collector.uploadCount(), 1u);

  queueBundle("prompt_copy");
  persisted->setLastBackoffTimestamp(now() - 60);
  onWorker([&] { uploader->uploadDataRespectingBackoff(); });
  EXPECT_EQ(collector.uploadCount(), 1u);
  ASSERT_TRUE(alarm->scheduledTimestamp());
  EXPECT_EQ(alarm->scheduledTimestamp()->unixSeconds(), now() - 60 + 43200);
}

// A document that is refused, or one whose transfer ended in an error, is a failed fetch: the fetch
// time stays as it was (the stale configuration stays expired), and the retry steps of the upload
// schedule bring the next try.
TEST_F(UploaderTest, ARefusedOrUndecodableDocumentIsAFailedFetchRetriedOnTheSchedule) {
  goOnline();
  ASSERT_TRUE(
      database->insertRawEvent(BMSEvent::initWithOrigin("app", true, "e", now(), 0, {}).value(), 1, false));
  // Past the configuration's size bound: cut off by the network.
  collector.setConfiguration(platform::Bytes(3 * 1024 * 1024, 0x08), "\"huge\"");
  onWorker([&] { uploader->fetchRemoteConfig(); });
  EXPECT_TRUE(logged(23128));
  EXPECT_EQ(config->lastRemoteConfigUpdateTimestamp(), 0);
  EXPECT_EQ(persisted->lastFailedUploadTimestamp(), now());

  collector.setConfiguration(platform::Bytes{0xff, 0xff, 0xff}, "\"garbage\"");
  onWorker([&] { uploader->fetchRemoteConfig(); });
  EXPECT_TRUE(logged(23135));
  EXPECT_TRUE(logged(23129));
  EXPECT_EQ(config->lastRemoteConfigUpdateTimestamp(), 0);
  EXPECT_TRUE(config->isExpired());
  EXPECT_EQ(persisted->lastFailedUploadTimestamp(), now());
  ASSERT_TRUE(alarm->scheduledTimestamp());
  EXPECT_EQ(alarm->scheduledTimestamp()->unixSeconds(), now() + 15 + 1800);

  // The next try, on the retry step, finds a document for this app.
  collector.setConfiguration(configurationDocument(kCNPAppID, 3), "\"v3\"");
  dispatch.advance(std::chrono::seconds(15 + 1800));
  settle();
  EXPECT_EQ(collector.configurationRequests().size(), 3u);
  EXPECT_EQ(config->version(), 3);
  EXPECT_FALSE(config->isExpired());
  EXPECT_EQ(persisted->lastFailedUploadTimestamp(), 0);

  // A 200 that comes with a transfer error (a reply cut off) never passes for a fetch.
  const double fetched = config->lastRemoteConfigUpdateTimestamp();
  dispatch.advance(std::chrono::hours(25));
  onWorker([&] {
    platform::HttpResponse cutOff;
    cutOff.statusCode = 200;
    uploader->networkRemoteConfigFetchCompletionHandler(cutOff, configurationDocument(kCNPAppID, 4),
                                                        platform::Error("test", 1, "cut off"));
  });
  EXPECT_EQ(config->version(), 3);
  EXPECT_EQ(config->lastRemoteConfigUpdateTimestamp(), fetched);
  EXPECT_EQ(persisted->lastFailedUploadTimestamp(), now());
}

}  // namespace
}  // namespace beacon
