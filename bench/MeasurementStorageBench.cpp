// Every logged event is written in one transaction of the measurement database (daily counters and
// the raw event); every upload reads up to a hundred queued bundles back; and every engine component
// logs through the monitor, whose filtered lines must cost next to nothing. These measure one event's
// write, one upload's read of the queue, and a filtered log call; and all the storage work the event
// pipeline does for one event, alone: on an empty database, with 500 bundles waiting in the upload
// queue, on a raw-event table at the stored-events limit, and there with every event a real-time
// one. The goal of 20,000 stored events per second on one core (AnalyticsThroughputBench.cpp)
// leaves storage well under 50 us of CPU per event, and neither a waiting queue nor a full table
// may make an event's storage work dearer.
// Each database is a file in a temporary folder, opened as the engine opens it.
// Run: `make bench`, or build-bench/bench/measurement_storage_bench.

#include <benchmark/benchmark.h>

#include "measurement/engine/BMSMonitor.h"
#include "measurement/messages/NANOAccessors.h"
#include "measurement/storage/BMSDatabase.h"
#include "platform/testing/TestApplication.h"
#include "platform/time/SystemClock.h"

namespace beacon {
namespace {

BMSEvent benchmarkEvent() {
  return BMSEvent::initWithOrigin("app", true, "prompt_copy", 1.7e9, 0,
                                  {{"type", platform::Value("user")}, {"tags_count", platform::Value(3)}})
      .value();
}

// A bundle of 50 events.
BMSPBMeasurementBundle queuedBundle() {
  BMSPBMeasurementBundle bundle;
  NANOSetInt32(bundle, MeasurementBundleField::kProtocolVersion, 1);
  NANOSetArray(bundle, MeasurementBundleField::kEvents,
               std::vector<BMSPBEvent>(50, benchmarkEvent().protoEvent()));
  return bundle;
}

void BM_EventWriteTransaction(benchmark::State& state) {
  platform::testing::TemporaryDirectory folder;
  auto database = BMSDatabase::openAtPath(folder.path() / "bench.sql").value();
  const BMSEvent event = benchmarkEvent();
  for (auto _ : state) {
    database->performTransaction([&] {
      auto counts = database->dailyCounts().value();
      counts.incrementCountsForCurrentDay(1, true, false);
      return database->updateDailyCounts(counts) && database->insertRawEvent(event, 1, false);
    });
  }
}
BENCHMARK(BM_EventWriteTransaction)->Unit(benchmark::kMicrosecond);

// The user properties a running engine keeps, and the metadata message they end up in.
std::vector<BMSUserAttribute> engineUserAttributes() {
  std::vector<BMSUserAttribute> attributes;
  const std::pair<const char*, BMSValue> values[] = {{"_fi", BMSValue::initWithInt64(1)},
                                                     {"_fot", BMSValue::initWithInt64(1'700'000'000'000)},
                                                     {"_lte", BMSValue::initWithInt64(123'456)},
                                                     {"_se", BMSValue::initWithInt64(4'567)},
                                                     {"_sid", BMSValue::initWithInt64(1'700'000'000)},
                                                     {"_sno", BMSValue::initWithInt64(12)}};
  for (const auto& [name, value] : values)
    attributes.push_back(*BMSUserAttribute::initWithOrigin("auto", name, value, 1.7e9));
  return attributes;
}

BMSPBMeasurementBundle metadataWith(const std::vector<BMSUserAttribute>& attributes) {
  namespace F = MeasurementBundleField;
  BMSPBMeasurementBundle metadata;
  NANOSetInt32(metadata, F::kProtocolVersion, 1);
  for (auto [field, text] : std::initializer_list<std::pair<std::uint32_t, const char*>>{
           {F::kPlatform, "macos"},
           {F::kOSVersion, "6.1.0"},
           {F::kDeviceModel, "x86_64"},
           {F::kLanguage, "de-de"},
           {F::kAppID, "de.velloran.app"},
           {F::kAppVersion, "1.0.0"},
           {F::kAppInstanceID, "0123456789abcdef0123456789abcdef"},
           {F::kCNPAppID, "1:1234567890:linux:0123456789abcdef"},
           {F::kInstallationID, "fGhIjKlMnOpQrStUvWxYz0"},
           {F::kConsentSignals, "G111"}})
    NANOSetString(metadata, field, std::string(text));
  NANOSetInt64(metadata, F::kTimeZoneOffsetMinutes, 60);
  std::vector<BMSPBUserAttribute> protos;
  for (const BMSUserAttribute& attribute : attributes) protos.push_back(attribute.protoUserAttribute());
  NANOSetArray(metadata, F::kUserAttributes, protos);
  return metadata;
}

// The storage work of one logged event as the pipeline does it (with no conditional user property
// stored, the pipeline reads none): in the event's transaction, the daily counters, the event's
// aggregates, the user properties for its metadata, the metadata, the raw-event trim and the raw
// event; then the upload schedule's questions. (Building the metadata message is the pipeline's
// work and stays out.) Arguments: bundles waiting in the upload queue, raw events stored before
// (with 100,000, the stored-events limit, the events trim the oldest ones, a hundred at a time), and
// whether every event is a real-time one (as in debug mode: the upload schedule's answers are then
// read again whenever the oldest raw event leaves the limit's sight).
void BM_OneEventStorageWork(benchmark::State& state) {
  platform::testing::TemporaryDirectory folder;
  auto database = BMSDatabase::openAtPath(folder.path() / "bench.sql").value();
  // Bundles waiting in the upload queue (uploads failing for a while) must not slow each event down.
  database->performTransaction([&] {
    const BMSPBMeasurementBundle bundle = queuedBundle();
    for (std::int64_t i = 0; i < state.range(0); ++i) (void)database->insertBundle(bundle, false);
    return true;
  });
  const BMSEvent event = benchmarkEvent();
  const bool realtime = state.range(2) != 0;
  const BMSPBMeasurementBundle metadata = metadataWith(engineUserAttributes());
  database->performTransaction([&] {
    const std::int64_t fingerprint = database->insertIfNotExistsRawEventMetadata(metadata).value();
    for (std::int64_t i = 0; i < state.range(1); ++i)
      (void)database->insertRawEvent(event, fingerprint, realtime);
    return true;
  });
  for (const BMSUserAttribute& attribute : engineUserAttributes())
    (void)database->updateUserAttribute(attribute);
  (void)database->updateEventAggregates(*BMSEventAggregates::initWithName("prompt_copy", 0, 0, 0, 0));
  for (auto _ : state) {
    database->performTransaction([&] {
      auto counts = database->dailyCounts().value();
      counts.incrementCountsForCurrentDay(1, true, false);
      if (!database->updateDailyCounts(counts) || !database->eventAggregatesWithName(event.name()))
        return false;
      if (!database->userAttributesIncludingInternal(true)) return false;
      auto fingerprint = database->insertIfNotExistsRawEventMetadata(metadata);
      return fingerprint && database->deleteRawEventsOverAbsoluteLimit() &&
             database->insertRawEvent(event, *fingerprint, realtime);
    });
    BMSDatabase::UploadDataFacts facts = database->uploadDataFacts();
    benchmark::DoNotOptimize(facts);
  }
}
BENCHMARK(BM_OneEventStorageWork)
    ->Args({0, 0, 0})
    ->Args({500, 0, 0})
    ->Args({0, BMSDatabase::kStoredEventsLimit, 0})
    ->Args({0, BMSDatabase::kStoredEventsLimit, 1})
    ->Unit(benchmark::kMicrosecond);

void BM_ReadUploadOfQueuedBundles(benchmark::State& state) {
  platform::testing::TemporaryDirectory folder;
  auto database = BMSDatabase::openAtPath(folder.path() / "bench.sql").value();
  const BMSPBMeasurementBundle bundle = queuedBundle();
  database->performTransaction([&] {
    for (int i = 0; i < 100; ++i) (void)database->insertBundle(bundle, false);
    return true;
  });
  for (auto _ : state) benchmark::DoNotOptimize(database->queryBundlesWithCountLimit(100, 1 << 30));
}
BENCHMARK(BM_ReadUploadOfQueuedBundles)->Unit(benchmark::kMillisecond);

void BM_FilteredMonitorLine(benchmark::State& state) {
  platform::testing::TestApplication application;
  BMSMonitorEnvironment environment;
  environment.sharedDefaults = BMSUserDefaults::sharedUserDefaults();
  environment.monitorDefaults = std::make_shared<BMSUserDefaults>("bench.monitor");
  environment.clock = platform::SystemClock::sharedPointer();
  environment.randomBelow = [](std::uint64_t) { return 0; };
  auto monitor = BMSMonitor::initWithLibraryVersion(1, environment);
  const std::vector<platform::Value> contexts = {platform::Value("name"), platform::Value(42)};
  for (auto _ : state) monitor->logWithLevel(7, 23000, "Debug line below the logger's level", contexts);
  // The monitor stores its samples on its own queue: waited for here, so that no store lands in the
  // application's folder after it was removed.
  (void)monitor->sampledData();
}
BENCHMARK(BM_FilteredMonitorLine);

}  // namespace
}  // namespace beacon

BENCHMARK_MAIN();
