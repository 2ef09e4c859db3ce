// What the analytics SDK adds to the application's start-up: the same start-up measured twice, over a
// library of 1,000 and of 10,000 prompts of 5 versions each, from building the composition root
// (launch mode, persistent store opened from disk, sync monitor, analytics) to the first painted
// library window with every prompt in its grid. The launch as a whole, process start included, and
// its goal are launch_bench's; here the store's work, the view model's load and the grid's layout run
// on this thread, drained at once, and the window is painted into an image at the end.
//
// Two analytics: one that only records the calls (analytics off), and the analytics SDK itself,
// configured from the bundle's options and started afresh for every run (its app registry, options
// and analytics state are started over while the clock is stopped). The SDK's queues are drained on
// this thread within the measured time too, so its background work counts as if it stood in the
// way of the first frame: an upper bound of what the SDK adds.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPixmap>
#include <filesystem>
#include <functional>
#include <memory>
#include <sstream>
#include <stdexcept>

#include "Velloran/analytics/AnalyticsService.h"
#include "Velloran/analytics/BeaconAnalyticsSdk.h"
#include "Velloran/analytics/testing/OrdinaryLaunch.h"
#include "Velloran/analytics/testing/RecordingAnalyticsSdk.h"
#include "Velloran/app/VelloranApp.h"
#include "Velloran/persistence/CoreDataStack.h"
#include "Velloran/views/CardGrid.h"
#include "Velloran/views/PromptListView.h"
#include "beacon/Beacon.h"
#include "bench/LibraryStore.h"
#include "measurement/runtime/AnalyticsContext.h"
#include "platform/bundle/Bundle.h"
#include "platform/dispatch/DeterministicDispatch.h"
#include "platform/prefs/PreferencesDomain.h"
#include "platform/testing/TestEnvironment.h"
#include "platform/workspace/testing/RecordingReviewRequester.h"
#include "platform/workspace/testing/RecordingWorkspace.h"

namespace velloran {
namespace {

constexpr int kVersionsPerPrompt = 5;
constexpr const char* kBundleIdentifier = "com.velloran.benchmark";

// A home of its own for the run, with a mirror folder and the SDK's options file, in an ordinary
// launch; removed again at the end. Whatever the SDK sends goes to a closed loopback port.
class BenchmarkHome {
 public:
  BenchmarkHome() {
    platform::testing::TemporaryUser& user = launch_.user();
    const std::filesystem::path cloud = user.root() / "cloud";
    std::filesystem::create_directories(cloud);
    user.environment().set("VELLORAN_CLOUD_DIR", cloud.string());
    user.environment().set("BEACON_SERVICE_ORIGIN", "http://127.0.0.1:9");
    user.writeInfo({{"CFBundleIdentifier", platform::Value(kBundleIdentifier)},
                    {"CFBundleShortVersionString", platform::Value("1.0")}});
    platform::testing::writePropertyListFile(
        user.bundle() / "BeaconService-Info.plist",
        platform::Dictionary{{"CORVANE_APP_ID", "1:804215367190:ios:5c3e9a71f20b4d68"},
                             {"CCM_SENDER_ID", "804215367190"},
                             {"API_KEY", "AVelloranDesktopPromptLibrary2026120701"},
                             {"PROJECT_ID", "velloran-desktop"},
                             {"BUNDLE_ID", kBundleIdentifier}});
  }

 private:
  testing::OrdinaryLaunch launch_;
};

// The analytics of one run: its service and, for the SDK, the analytics context its state lives in
// for that run. Made and put away while the clock is stopped; the service, declared last, goes first.
struct RunAnalytics {
  std::unique_ptr<beacon::AnalyticsContext::Scope> sdkContext;
  std::unique_ptr<AnalyticsService> service;
};
using MakeRunAnalytics = std::function<std::unique_ptr<RunAnalytics>(std::ostream& console)>;

void measureStartUp(benchmark::State& state, const MakeRunAnalytics& makeAnalytics) {
  const int prompts = static_cast<int>(state.range(0));
  BenchmarkHome home;
  platform::DeterministicDispatch dispatch;
  writeApplicationLibrary(prompts, kVersionsPerPrompt);
  const auto defaults = platform::PreferencesDomain::application();
  static_cast<void>(defaults->setObject("analyticsPromptShown", platform::Value(true)));
  std::ostringstream console;
  AppReviewManager reviewManager(defaults, dispatch.clock(), platform::Bundle::main(),
                                 std::make_shared<platform::testing::RecordingReviewRequester>(),
                                 std::make_shared<platform::testing::RecordingWorkspace>());

  for (auto _ : state) {
    state.PauseTiming();
    std::unique_ptr<RunAnalytics> analytics = makeAnalytics(console);
    state.ResumeTiming();

    auto app = std::make_unique<VelloranApp>(*analytics->service, reviewManager, nullptr);
    std::unique_ptr<LibraryWindow> window = app->makeRootView();
    window->resize(1100, 800);
    window->show();
    while (window->library().grid()->promptCount() < static_cast<std::size_t>(prompts)) {
      dispatch.drain();
      QCoreApplication::processEvents();
    }
    dispatch.drain();
    benchmark::DoNotOptimize(window->grab());

    state.PauseTiming();
    window.reset();
    app.reset();
    dispatch.drain();
    analytics.reset();
    dispatch.drain();
    state.ResumeTiming();
  }
  state.counters["prompts"] = prompts;
}

void startUpWithAnalyticsOff(benchmark::State& state) {
  measureStartUp(state, [](std::ostream& console) {
    auto run = std::make_unique<RunAnalytics>();
    run->service =
        std::make_unique<AnalyticsService>(platform::PreferencesDomain::application(),
                                           std::make_shared<testing::RecordingAnalyticsSdk>(), console);
    return run;
  });
}
BENCHMARK(startUpWithAnalyticsOff)->Arg(1'000)->Arg(10'000)->Unit(benchmark::kMillisecond);

void startUpWithTheAnalyticsSdkConfigured(benchmark::State& state) {
  measureStartUp(state, [](std::ostream& console) {
    beacon::BCNApp::resetApps();
    beacon::BCNOptions::resetDefaultOptions();
    auto run = std::make_unique<RunAnalytics>();
    run->sdkContext =
        std::make_unique<beacon::AnalyticsContext::Scope>(std::make_shared<beacon::AnalyticsContext>());
    run->service = std::make_unique<AnalyticsService>(platform::PreferencesDomain::application(),
                                                      std::make_shared<BeaconAnalyticsSdk>(), console);
    return run;
  });
  // What the SDK may add to the start-up with analytics off above.
  state.counters["sdk_goal_ms"] = 20;
}
BENCHMARK(startUpWithTheAnalyticsSdkConfigured)->Arg(1'000)->Arg(10'000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velloran
