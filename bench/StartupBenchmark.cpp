// Start-up over a library of 1,000 prompts: the time from building the composition root (launch
// mode, persistent store opened from disk, sync monitor, analytics) to the first painted library
// window with every prompt in its grid. The store's work, the view model's load and the grid's
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
#include "Velloran/persistence/CoreDataPromptStore.h"
#include "Velloran/persistence/CoreDataStack.h"
#include "Velloran/views/CardGrid.h"
#include "Velloran/views/PromptListView.h"
#include "bench/LibraryPrompts.h"
#include "platform/bundle/Bundle.h"
#include "platform/dispatch/DeterministicDispatch.h"
#include "platform/prefs/PreferencesDomain.h"
#include "platform/workspace/testing/RecordingReviewRequester.h"
#include "platform/workspace/testing/RecordingWorkspace.h"

namespace velloran {
namespace {

constexpr int kLibrarySize = 1000;

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

// The library the app opens: 1,000 prompts written to the store file before the first launch.
void writeLibrary(platform::DeterministicDispatch& dispatch) {
  CoreDataStack stack(false);
  auto store = std::make_shared<CoreDataPromptStore>(stack.container());
  int saved = 0;
  for (int index = 0; index < kLibrarySize; ++index) {
    store->savePrompt(libraryPrompt(index, 1),
                      [&saved](platform::Result<void> result) { saved += result.ok() ? 1 : 0; });
  }
  dispatch.drain();
  if (saved != kLibrarySize) throw std::runtime_error("the library could not be written");
}

void startUpToTheFirstPaintedLibrary(benchmark::State& state) {
  BenchmarkHome home;
  platform::DeterministicDispatch dispatch;
  writeLibrary(dispatch);
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
    while (window->library().grid()->promptCount() < static_cast<std::size_t>(kLibrarySize)) {
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
  state.counters["prompts"] = kLibrarySize;
}
BENCHMARK(startUpToTheFirstPaintedLibrary)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velloran
