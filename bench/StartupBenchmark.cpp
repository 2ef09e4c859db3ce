// Start-up over a library of 1,000 and of 10,000 prompts of 5 versions each: the time from building
// the composition root (launch mode, persistent store opened from disk, sync monitor, analytics) to
// the first painted library window with every prompt in its grid, beside its goal (which also
// covers the process's own start, not measured here). The store's work, the view model's load and the grid's
// layout run on this thread, drained at once; the window is painted into an image at the end.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPixmap>
#include <filesystem>
#include <memory>
#include <sstream>
#include <stdexcept>

#include "Velloran/analytics/AnalyticsService.h"
#include "Velloran/analytics/testing/OrdinaryLaunch.h"
#include "Velloran/analytics/testing/RecordingAnalyticsSdk.h"
#include "Velloran/app/VelloranApp.h"
#include "Velloran/persistence/CoreDataStack.h"
#include "Velloran/views/CardGrid.h"
#include "Velloran/views/PromptListView.h"
#include "bench/LibraryStore.h"
#include "platform/bundle/Bundle.h"
#include "platform/dispatch/DeterministicDispatch.h"
#include "platform/paths/ApplicationDirectories.h"
#include "platform/prefs/PreferencesDomain.h"
#include "platform/workspace/testing/RecordingReviewRequester.h"
#include "platform/workspace/testing/RecordingWorkspace.h"

namespace velloran {
namespace {

constexpr int kVersionsPerPrompt = 5;

// A home of its own for the run, with a mirror folder, in an ordinary launch; removed again at the end.
class BenchmarkHome {
 public:
  BenchmarkHome() {
    platform::testing::TemporaryUser& user = launch_.user();
    const std::filesystem::path cloud = user.root() / "cloud";
    std::filesystem::create_directories(cloud);
    user.environment().set("VELLORAN_CLOUD_DIR", cloud.string());
    user.writeInfo({{"CFBundleIdentifier", platform::Value("com.velloran.benchmark")},
                    {"CFBundleShortVersionString", platform::Value("1.0")}});
  }

 private:
  testing::OrdinaryLaunch launch_;
};

// The library the app opens, written to its store file before the first launch.
void writeLibrary(int prompts) {
  platform::Result<std::filesystem::path> support = platform::applicationSupportDirectory();
  if (!support) throw std::runtime_error("no Application Support folder");
  std::filesystem::create_directories(*support);
  writeLibraryFile(*support / std::string(kStoreFileName), prompts, kVersionsPerPrompt);
}

void startUpToTheFirstPaintedLibrary(benchmark::State& state) {
  const int prompts = static_cast<int>(state.range(0));
  BenchmarkHome home;
  platform::DeterministicDispatch dispatch;
  writeLibrary(prompts);
  const auto defaults = platform::PreferencesDomain::application();
  static_cast<void>(defaults->setObject("analyticsPromptShown", platform::Value(true)));
  std::ostringstream console;
  AnalyticsService analytics(defaults, std::make_shared<testing::RecordingAnalyticsSdk>(), console);
  AppReviewManager reviewManager(defaults, dispatch.clock(), platform::Bundle::main(),
                                 std::make_shared<platform::testing::RecordingReviewRequester>(),
                                 std::make_shared<platform::testing::RecordingWorkspace>());

  for (auto _ : state) {
    auto app = std::make_unique<VelloranApp>(analytics, reviewManager, nullptr);
    std::unique_ptr<LibraryWindow> window = app->makeRootView();
    window->resize(1100, 800);
    window->show();
    while (window->library().grid()->promptCount() < static_cast<std::size_t>(prompts)) {
      dispatch.drain();
      QCoreApplication::processEvents();
    }
    benchmark::DoNotOptimize(window->grab());

    state.PauseTiming();
    window.reset();
    app.reset();
    dispatch.drain();
    state.ResumeTiming();
  }
  state.counters["prompts"] = prompts;
  state.counters["goal_ms"] = 300;
}
BENCHMARK(startUpToTheFirstPaintedLibrary)->Arg(1'000)->Arg(10'000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velloran
