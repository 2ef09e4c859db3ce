// What configuring the analytics SDK adds to the application's start (goal: under 20 ms). Measured
// is the application's own analytics start on the main thread, as the composition root runs it: the
// analytics service made over the SDK binding, then its first applyCollectionSetting, which
// configures the SDK from the bundle's options file, switches collection on and logs "app_open".
// Beside it the same start over an SDK that only records the calls (analytics off); the difference
// is what the SDK adds. The SDK's queued work - the engine's start, the stored "app_open" - runs on
// its own queues meanwhile and does not hold the first frame up; settled_ms reports when it is done.
//
// Every run is a fresh user and a fresh SDK, as a new process would have it; services go to a
// closed loopback port. The first run of the process also pays what happens once per process
// (first_run_ms); the time per iteration is the mean over ten runs.
// Run: `make bench`, or build-bench/bench/analytics_startup_bench.

#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <sstream>

#include "Velloran/analytics/AnalyticsService.h"
#include "Velloran/analytics/BeaconAnalyticsSdk.h"
#include "Velloran/analytics/testing/OrdinaryLaunch.h"
#include "Velloran/analytics/testing/RecordingAnalyticsSdk.h"
#include "bench/SdkBenchmarkSetup.h"
#include "platform/prefs/PreferencesDomain.h"

namespace velloran {
namespace {

using Clock = std::chrono::steady_clock;
using Milliseconds = std::chrono::duration<double, std::milli>;
constexpr std::chrono::seconds kPatience(60);  // only a real hang takes this long
constexpr const char* kClosedLoopbackPort = "http://127.0.0.1:9";

template <typename MakeSdk>
void measureAnalyticsStart(benchmark::State& state, MakeSdk makeSdk) {
  double firstRun = -1;
  double settled = 0;
  for (auto _ : state) {
    testing::OrdinaryLaunch launch;
    beacon::bench::installSdkOptions(launch.user(), kClosedLoopbackPort);
    const beacon::bench::FreshSdk freshSdk;
    std::ostringstream console;

    const Clock::time_point start = Clock::now();
    std::shared_ptr<AnalyticsSdk> sdk = makeSdk();
    AnalyticsService service(platform::PreferencesDomain::application(), sdk, console);
    service.applyCollectionSetting();
    const Clock::time_point started = Clock::now();
    if (!sdk->waitForQueuedWork(kPatience)) state.SkipWithError("the SDK's queued work did not finish");
    settled += Milliseconds(Clock::now() - start).count();

    const double run = std::chrono::duration<double>(started - start).count();
    if (firstRun < 0) firstRun = run * 1e3;
    state.SetIterationTime(run);
  }
  state.counters["first_run_ms"] = firstRun;
  state.counters["settled_ms"] = settled / static_cast<double>(state.iterations());
}

void BM_AnalyticsStartWithoutTheSdk(benchmark::State& state) {
  measureAnalyticsStart(state, [] { return std::make_shared<testing::RecordingAnalyticsSdk>(); });
}
BENCHMARK(BM_AnalyticsStartWithoutTheSdk)->Iterations(10)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_AnalyticsStartConfiguringTheSdk(benchmark::State& state) {
  measureAnalyticsStart(state, [] { return std::make_shared<BeaconAnalyticsSdk>(); });
  state.counters["sdk_goal_ms"] = 20;
}
BENCHMARK(BM_AnalyticsStartConfiguringTheSdk)->Iterations(10)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velloran

BENCHMARK_MAIN();
