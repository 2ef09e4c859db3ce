// Bundling a backlog of large ecommerce events: 400 stored purchases of about 560 KB each (200
// items with their parameters) bundled into upload bundles as the upload step does, one bundle per
// transaction until none is left (goals: under 10 s, peak memory under 150 MB).
//
// Counters: bundles (queued), seconds (wall time of the whole bundling), peak_rss_mb (the process's
// peak resident memory by the end, setup included: it stores one event at a time), and the goals.
// One run on a manual clock in a temporary home.
// Run: `make bench`, or build-bench/bench/measurement_bundling_bench.

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <chrono>

#include "measurement/audiences/BMSAudience.h"
#include "measurement/engine/BMSUserDefaults.h"
#include "measurement/messages/NANOAccessors.h"
#include "measurement/pipeline/BMSBundleEventProcessor.h"
#include "measurement/pipeline/BMSEventSampler.h"
#include "measurement/pipeline/BMSRawEventBundler.h"
#include "measurement/storage/BMSPersistedConfig.h"
#include "platform/testing/TestApplication.h"
#include "platform/time/ManualClock.h"

namespace beacon {
namespace {

constexpr int kPurchases = 400;
constexpr int kItemsPerPurchase = 200;
constexpr double kEventTime = 1'700'000'000;

// About 2.8 KB per item: the names and descriptions an online shop sends along.
BMSEvent largePurchase(int index) {
  platform::Array items;
  for (int item = 0; item < kItemsPerPurchase; ++item) {
    platform::Dictionary parameters;
    parameters["item_id"] = platform::Value("SKU-" + std::to_string(index) + "-" + std::to_string(item));
    parameters["price"] = platform::Value(19.99);
    parameters["quantity"] = platform::Value(1);
    for (const char* key :
         {"item_name",      "item_brand",     "item_category", "item_category2", "item_category3",
          "item_category4", "item_category5", "item_variant",  "item_list_name", "item_list_id",
          "location_id",    "promotion_name", "promotion_id",  "creative_name",  "creative_slot",
          "affiliation",    "coupon",         "discount_name", "item_note",      "item_text",
          "item_extra",     "item_label",     "item_origin",   "item_size"})
      parameters[key] = platform::Value(std::string(100, 'a' + static_cast<char>(item % 26)));
    items.push_back(platform::Value(std::move(parameters)));
  }
  return BMSEvent::initWithOrigin("app", true, "purchase", kEventTime + index, 0,
                                  {{"currency", platform::Value("EUR")},
                                   {"value", platform::Value(3998.0)},
                                   {"items", platform::Value(std::move(items))}})
      .value();
}

double peakResidentMegabytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024;
}

void BM_BundleLargePurchases(benchmark::State& state) {
  platform::testing::TestApplication application;
  auto clock = std::make_shared<platform::ManualClock>();
  clock->setNow(platform::Date::fromUnixSeconds(kEventTime + 3600));
  std::shared_ptr<BMSDatabase> database =
      BMSDatabase::openAtPath(application.user().root() / kBMSMeasurementDatabaseName, clock).value();
  std::shared_ptr<BMSRemoteConfig> config = BMSRemoteConfig::defaultInstance();
  auto persisted =
      std::make_shared<BMSPersistedConfig>(BMSUserDefaults::sharedUserDefaults(), [] { return 0.5; });
  BMSPBMeasurementBundle metadata;
  NANOSetInt32(metadata, MeasurementBundleField::kProtocolVersion, 1);
  NANOSetString(metadata, MeasurementBundleField::kAppID, "com.velloran.benchmark");
  const std::int64_t fingerprint = database->insertIfNotExistsRawEventMetadata(metadata).value();
  for (int index = 0; index < kPurchases; ++index)
    (void)database->insertRawEvent(largePurchase(index), fingerprint, false);

  auto audience = BMSAudience::initWithDatabase(database);
  BMSBundleEventProcessor::Collaborators processing{database,
                                                    config,
                                                    persisted,
                                                    audience,
                                                    {clock, [] { return 0.0; }, [] { return false; }},
                                                    [database](const BMSUserAttribute& attribute) {
                                                      return database->updateUserAttribute(attribute).ok();
                                                    }};
  BMSRawEventBundler bundler(
      {database, config, persisted, audience, std::make_shared<BMSBundleEventProcessor>(processing),
       std::make_shared<BMSEventSampler>(database, config, [](std::int64_t) { return 0; }), clock,
       [] { return false; }, [](double, double) { return std::nullopt; },
       [] { return std::optional<std::string>("com.velloran.benchmark"); }, nullptr, [] {}});
  int bundles = 0;
  double seconds = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    while (bundler.bundleRawEvents()) ++bundles;
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.SetIterationTime(seconds);
  }
  state.counters["bundles"] = bundles;
  state.counters["seconds"] = seconds;
  state.counters["peak_rss_mb"] = peakResidentMegabytes();
  state.counters["goal_seconds"] = 10;
  state.counters["goal_peak_rss_mb"] = 150;
}
BENCHMARK(BM_BundleLargePurchases)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace
}  // namespace beacon

BENCHMARK_MAIN();
