// Upload batches are encoded on every upload and decoded when stored bundles are read back; events
// are built, sanitised and written as raw-event messages for every logged event. These measure a
// batch the size of one upload (10 bundles of 100 events) and one event's road to its stored bytes
// (reference figures without a goal of their own: the throughput goal is AnalyticsThroughputBench's).
// Run: `make bench`, or build-bench/bench/measurement_bench.

#include <benchmark/benchmark.h>

#include "measurement/engine/BMSEvent.h"
#include "measurement/messages/NANOAccessors.h"

namespace beacon {
namespace {

BMSPBMeasurementBatch uploadSizedBatch() {
  std::vector<BMSPBEvent> events;
  for (int i = 0; i < 100; ++i) {
    platform::Array items{
        platform::Dictionary{{"item_id", "sku-" + std::to_string(i)}, {"price", 9.99}, {"quantity", 2}}};
    auto event = BMSEvent::initWithOrigin("app", true, "purchase", 1.7e9 + i, 1.7e9 + i - 1,
                                          {{"items", platform::Value(items)},
                                           {"value", platform::Value(19.98)},
                                           {"currency", platform::Value("EUR")},
                                           {"coupon", platform::Value("WINTER")},
                                           {"screen", platform::Value("Checkout")}});
    events.push_back(event->protoEvent());
  }
  BMSPBMeasurementBundle bundle;
  NANOSetInt32(bundle, MeasurementBundleField::kProtocolVersion, 1);
  NANOSetArray(bundle, MeasurementBundleField::kEvents, events);
  NANOSetString(bundle, MeasurementBundleField::kAppID, "com.example.velloran");
  NANOSetString(bundle, MeasurementBundleField::kAppInstanceID, std::string(32, 'A'));
  NANOSetInt32(bundle, MeasurementBundleField::kTimeZoneOffsetMinutes, -60);
  BMSPBMeasurementBatch batch;
  NANOSetArray(batch, MeasurementBatchField::kBundles, std::vector<BMSPBMeasurementBundle>(10, bundle));
  return batch;
}

void EncodeUploadBatch(benchmark::State& state) {
  const BMSPBMeasurementBatch batch = uploadSizedBatch();
  std::size_t bytes = 0;
  for (auto _ : state) {
    auto encoded = batch.protoBuffer();
    bytes = encoded->size();
    benchmark::DoNotOptimize(encoded);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}
BENCHMARK(EncodeUploadBatch)->Unit(benchmark::kMillisecond);

void DecodeUploadBatch(benchmark::State& state) {
  const platform::Bytes encoded = *uploadSizedBatch().protoBuffer();
  for (auto _ : state) benchmark::DoNotOptimize(BMSPBMeasurementBatch::initWithBuffer(encoded));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * encoded.size()));
}
BENCHMARK(DecodeUploadBatch)->Unit(benchmark::kMillisecond);

void LogEventToStoredBytes(benchmark::State& state) {
  const BMSParameters parameters{{"type", platform::Value("user")},
                                 {"tags_count", platform::Value(3)},
                                 {"is_system", platform::Value(false)}};
  for (auto _ : state) {
    auto event = BMSEvent::initWithOrigin("app", true, "prompt_copy", 1.7e9, 0, parameters);
    benchmark::DoNotOptimize(event->protoEvent().protoBuffer());
  }
}
BENCHMARK(LogEventToStoredBytes)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace beacon

BENCHMARK_MAIN();
