// An upload turns the queued bundles into one batch: each bundle gets its upload fields, the batch is
// encoded and the network layer gzips it. This measures that road for 1,000 events (ten bundles of
// 100), the goal being under 5 ms per batch.
//
// After every stored event the engine works the upload schedule out again: measured as one event
// stored then the schedule updated, against the event stored alone (the argument), so the
// difference is what the update costs each event. Runs on the engine's worker queue, as in the SDK.
// Run: `make bench`, or build-bench/bench/measurement_upload_bench.

#include <benchmark/benchmark.h>

#include <thread>

#include "measurement/messages/NANOAccessors.h"
#include "measurement/upload/BMSUploadBatch.h"
#include "measurement/upload/BMSUploader.h"
#include "platform/testing/TestApplication.h"
#include "platform/time/SystemClock.h"
#include "sdk-utilities/gzip/CVUGzip.h"
#include "sdk-utilities/testing/FakeReachability.h"

namespace beacon {
namespace {

BMSPBEvent benchmarkEvent(std::int64_t index) {
  return BMSEvent::initWithOrigin("app", true, "prompt_copy", 1.7e9 + static_cast<double>(index), 0,
                                  {{"type", platform::Value("user")},
                                   {"tags_count", platform::Value(3)},
                                   {"source", platform::Value("grid")}})
      .value()
      .protoEvent();
}

BMSQueuedBundles queuedBundles() {
  BMSQueuedBundles bundles;
  for (std::int64_t bundleIndex = 0; bundleIndex < 10; ++bundleIndex) {
    BMSDatabase::QueuedBundle queued;
    queued.rowID = bundleIndex + 1;
    BMSPBMeasurementBundle& bundle = queued.bundle;
    NANOSetInt32(bundle, MeasurementBundleField::kProtocolVersion, 1);
    NANOSetString(bundle, MeasurementBundleField::kPlatform, "macos");
    NANOSetString(bundle, MeasurementBundleField::kAppID, "de.example.velloran");
    NANOSetString(bundle, MeasurementBundleField::kAppInstanceID, "0123456789abcdef0123456789abcdef");
    NANOSetString(bundle, MeasurementBundleField::kConsentSignals, "C111");
    std::vector<BMSPBEvent> events;
    for (std::int64_t i = 0; i < 100; ++i) events.push_back(benchmarkEvent(bundleIndex * 100 + i));
    NANOSetArray(bundle, MeasurementBundleField::kEvents, events);
    bundles.push_back(std::move(queued));
  }
  return bundles;
}

void BM_BuildEncodeAndGzipBatchOf1000Events(benchmark::State& state) {
  const BMSQueuedBundles bundles = queuedBundles();
  BMSUploadBatchSettings settings;
  settings.uploadTimeMillis = 1'700'000'000'000;
  settings.libraryVersion = 120300;
  settings.checksumEnabled = true;
  for (auto _ : state) {
    const BMSUploadBatch upload = BMSMakeUploadBatch(BMSBundlesOfFirstAppAndDevice(bundles), settings);
    const auto encoded = upload.batch.protoBuffer();
    benchmark::DoNotOptimize(CVUGzip::cvu_dataByGzippingData(*encoded));
  }
  state.counters["goal_ms"] = 5;
}
BENCHMARK(BM_BuildEncodeAndGzipBatchOf1000Events)->Unit(benchmark::kMillisecond);

// The engine works the upload schedule out again after every event it stores: online, with data
// waiting and the timer armed an interval after the last success, so each update keeps the timer.
void BM_StoreEventThenUpdateSchedule(benchmark::State& state) {
  platform::testing::TestApplication application;
  const auto clock = platform::SystemClock::sharedPointer();
  auto database =
      BMSDatabase::openAtPath(application.user().root() / kBMSMeasurementDatabaseName, clock).value();
  auto config = BMSRemoteConfig::initWithAppID("app", database, nullptr, clock).value();
  auto network = CVUNetwork::createWithReachabilityHost("127.0.0.1", &testing::FakeReachability::api());
  testing::FakeReachability::instance().push(platform::kReachabilityFlagReachable);
  for (int wait = 0; wait < 10000 && !network->isNetworkConnected(); ++wait)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  auto scheduler = std::make_shared<BMSScheduler>("com.corvane.bms.worker");
  auto persisted =
      std::make_shared<BMSPersistedConfig>(BMSUserDefaults::sharedUserDefaults(), [] { return 0.5; });
  persisted->setLastSuccessfulUploadTimestamp(clock->now().unixSeconds());
  BMSUploader::Collaborators collaborators;
  collaborators.network = network;
  collaborators.scheduler = scheduler;
  collaborators.alarm = std::make_shared<BMSAlarm>(scheduler->workerQueue(), "Measurement timer", clock);
  collaborators.database = database;
  collaborators.remoteConfig = [config] { return config; };
  collaborators.persistedConfig = persisted;
  collaborators.clock = clock;
  collaborators.isDebugModeEnabled = [] { return false; };
  const auto uploader = BMSUploader::create(std::move(collaborators));
  const BMSEvent event =
      BMSEvent::initWithOrigin("app", true, "prompt_copy", clock->now().unixSeconds(), 0, {}).value();
  for (auto _ : state) {
    database->performTransaction([&] { return database->insertRawEvent(event, 1, false).ok(); });
    if (state.range(0) != 0) uploader->updateSchedule();
  }
}
BENCHMARK(BM_StoreEventThenUpdateSchedule)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace beacon

// The engine's work runs on its worker queue, never on the main thread: so do the benchmarks.
int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  std::thread([] { benchmark::RunSpecifiedBenchmarks(); }).join();
  benchmark::Shutdown();
  return 0;
}
