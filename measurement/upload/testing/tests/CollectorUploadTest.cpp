// The real uploader against the loopback collector: a batch of real size arrives whole, and a
// broken or hostile service - answers far beyond any document, gzip bombs - costs the engine an
// error, never its memory or a file left behind.

#include <gtest/gtest.h>
#include <sys/resource.h>

#include "measurement/engine/testing/EngineTestSupport.h"
#include "measurement/messages/NANOAccessors.h"
#include "measurement/upload/BMSUploader.h"
#include "measurement/upload/testing/BMSCollectorFake.h"
#include "measurement/upload/testing/PlainUploaderCollaborators.h"
#include "platform/dispatch/DeterministicDispatch.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/net/testing/GzipBomb.h"
#include "platform/paths/ApplicationDirectories.h"
#include "platform/testing/TestApplication.h"
#include "sdk-utilities/testing/FakeReachability.h"

namespace beacon {
namespace {

using namespace std::chrono_literals;
using platform::testing::ScriptedReply;
namespace Bundle = MeasurementBundleField;

constexpr auto kPatience = 30s;  // only a real hang takes this long
constexpr std::size_t kMiB = 1u << 20;

// The highest resident memory of this process so far. Every test case runs in a process of its own,
// so what it grows by during a test is that test's doing.
std::size_t peakResidentBytes() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return static_cast<std::size_t>(usage.ru_maxrss) * 1024u;
}

class CollectorUploadTest : public ::testing::Test {
 protected:
  CollectorUploadTest() {
    application.user().environment().set("BEACON_SERVICE_ORIGIN", collector.origin());
    database =
        BMSDatabase::openAtPath(application.user().root() / kBMSMeasurementDatabaseName, clock).value();
    config = BMSRemoteConfig::initWithAppID("app", database, nullptr, clock).value();
    network = CVUNetwork::createWithReachabilityHost("127.0.0.1", &testing::FakeReachability::api());
    auto parts = testing::plainUploaderCollaborators(
        network, scheduler, std::make_shared<BMSAlarm>(scheduler->workerQueue(), "Measurement timer", clock),
        database, [this] { return config; }, persisted, clock, "1:123:macos:abc");
    uploader = BMSUploader::create(std::move(parts));
    testing::FakeReachability::instance().push(platform::kReachabilityFlagReachable);
    dispatch.drain();
  }

  void queueBundleOf(std::size_t events) {
    BMSPBMeasurementBundle bundle;
    NANOSetInt32(bundle, Bundle::kProtocolVersion, 1);
    NANOSetString(bundle, Bundle::kAppID, "com.example.velloran");
    std::vector<BMSPBEvent> logged;
    for (std::size_t i = 0; i < events; ++i) {
      BMSPBEvent event;
      NANOSetString(event, EventField::kName, "prompt_copy_" + std::to_string(i));
      NANOSetInt64(event, EventField::kTimestampMillis, static_cast<std::int64_t>(now() * 1000) + i);
      logged.push_back(event);
    }
    NANOSetArray(bundle, Bundle::kEvents, logged);
    NANOSetInt64(bundle, Bundle::kEndTimestampMillis, static_cast<std::int64_t>(now() * 1000));
    ASSERT_TRUE(database->insertBundle(bundle, false).ok());
  }

  void onWorker(std::function<void()> work) {
    scheduler->scheduleOnWorkerQueueBlockID("test", std::move(work));
    dispatch.drain();
    ASSERT_TRUE(platform::runUntil([&] { return !uploader->isNetworkRequestPending(); }, kPatience));
  }

  double now() const { return clock->now().unixSeconds(); }
  std::size_t queuedCount() { return database->queryBundlesWithCountLimit(1000, 1 << 30).value().size(); }
  std::filesystem::path networkFolder() const {
    return platform::applicationSupportDirectory().value() / "CVU" / "Network" /
           "CVUNetworkTemporaryDirectory";
  }

  testing::BMSCollectorFake collector;
  platform::testing::TestApplication application;
  testing::ScopedEngineServices services;
  std::shared_ptr<platform::ManualClock> clock = std::make_shared<platform::ManualClock>();
  platform::DeterministicDispatch dispatch{clock};
  std::shared_ptr<BMSScheduler> scheduler = std::make_shared<BMSScheduler>("com.corvane.bms.worker");
  std::shared_ptr<BMSPersistedConfig> persisted =
      std::make_shared<BMSPersistedConfig>(BMSUserDefaults::sharedUserDefaults(), [] { return 0.5; });
  std::shared_ptr<BMSDatabase> database;
  std::shared_ptr<BMSRemoteConfig> config;
  std::shared_ptr<CVUNetwork> network;
  std::shared_ptr<BMSUploader> uploader;
};

TEST_F(CollectorUploadTest, ABatchOfFiveHundredEventsArrivesWholeAndIsAccepted) {
  ASSERT_TRUE(database->updateRemoteConfigSuccessfulTimestamp(now()).ok());
  queueBundleOf(500);
  onWorker([&] { uploader->uploadData(); });

  ASSERT_EQ(collector.uploadCount(), 1u);
  const auto received = collector.batches().front();
  EXPECT_EQ(received.status, 204);
  EXPECT_GT(received.body.size(), 8u * 1024u) << "larger than the HTTP library's form limit";
  const auto names = collector.acceptedEventNames();
  ASSERT_EQ(names.size(), 500u);
  EXPECT_EQ(names.front(), "prompt_copy_0");
  EXPECT_EQ(names.back(), "prompt_copy_499");
  EXPECT_EQ(queuedCount(), 0u);
}

TEST_F(CollectorUploadTest, HostileAnswersOnTheConfigurationAndUploadRoutesFailWithinBoundedMemory) {
  const std::vector<std::pair<std::string, std::string>> gzip{{"Content-Encoding", "gzip"}};
  const std::vector<ScriptedReply> hostile{ScriptedReply(200, gzip, platform::testing::gzipBomb(256 * kMiB)),
                                           ScriptedReply(200).withGeneratedBody(50 * kMiB)};
  const std::size_t before = peakResidentBytes();

  for (const ScriptedReply& reply : hostile) {
    collector.answerConfigurationWith(reply);
    onWorker([&] { uploader->fetchRemoteConfig(); });
    EXPECT_EQ(config->version(), -1) << "nothing was applied";
    EXPECT_EQ(persisted->lastFailedUploadTimestamp(), now()) << "the fetch counts as failed";
    EXPECT_TRUE(config->isExpired());
    clock->advance(1s);
  }

  ASSERT_TRUE(database->updateRemoteConfigSuccessfulTimestamp(now()).ok());
  queueBundleOf(3);
  for (const ScriptedReply& reply : hostile) {
    collector.answerUploadsWith(reply);
    onWorker([&] { uploader->uploadData(); });
    EXPECT_EQ(queuedCount(), 1u) << "an answer cut off at the bound is no confirmation";
    EXPECT_EQ(persisted->lastFailedUploadTimestamp(), now());
    EXPECT_EQ(persisted->lastSuccessfulUploadTimestamp(), 0);
    clock->advance(1s);
  }
  EXPECT_EQ(collector.uploadCount(), 2u);

  const std::size_t grown = peakResidentBytes() - before;
  RecordProperty("peak_growth_bytes", std::to_string(grown));
  std::printf("peak resident memory grew by %.1f MiB\n", static_cast<double>(grown) / kMiB);
#if !defined(VELLORAN_ADDRESS_SANITIZER) && !defined(VELLORAN_THREAD_SANITIZER)
  // The sanitizers keep freed memory in quarantine and shadow every byte, which says nothing about
  // the SDK's own use.
  EXPECT_LT(grown, 64 * kMiB);
#endif
  for (const auto& entry : std::filesystem::directory_iterator(networkFolder()))
    ADD_FAILURE() << "left behind: " << entry.path();
}

}  // namespace
}  // namespace beacon
