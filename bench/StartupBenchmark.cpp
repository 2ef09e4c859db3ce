// Start-up over a library of 1,000 prompts: the time from building the composition root (launch
// mode, persistent store opened from disk, sync monitor, analytics) to the first painted library
// window with every prompt in its grid. The store's work, the view model's load and the grid's
// layout run on this thread, drained at once; the window is painted into an image at the end.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <QApplication>
#include <QPixmap>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>

#include "Velloran/analytics/AnalyticsService.h"
#include "Velloran/analytics/testing/RecordingAnalyticsSdk.h"
#include "Velloran/app/VelloranApp.h"
#include "Velloran/persistence/CoreDataPromptStore.h"
#include "Velloran/persistence/CoreDataStack.h"
#include "Velloran/ui/Animations.h"
#include "Velloran/ui/ApplicationLook.h"
#include "Velloran/views/CardGrid.h"
#include "Velloran/views/PromptListView.h"
#include "platform/bundle/Bundle.h"
#include "platform/dispatch/DeterministicDispatch.h"
#include "platform/plist/PropertyList.h"
#include "platform/prefs/PreferencesDomain.h"
#include "platform/time/SystemClock.h"
#include "platform/workspace/testing/RecordingReviewRequester.h"
#include "platform/workspace/testing/RecordingWorkspace.h"

namespace velloran {
namespace {

constexpr int kLibrarySize = 1000;

// A home of its own for the run, removed again at the end.
class BenchmarkHome {
 public:
  BenchmarkHome() {
    std::string pattern = (std::filesystem::temp_directory_path() / "velloran-startup-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    root_ = pattern;
    std::filesystem::create_directories(root_ / "bundle");
    std::filesystem::create_directories(root_ / "cloud");
    ::setenv("HOME", (root_ / "home").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (root_ / "data").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (root_ / "config").c_str(), 1);
    ::setenv("VELLORAN_BUNDLE_DIR", (root_ / "bundle").c_str(), 1);
    ::setenv("VELLORAN_CLOUD_DIR", (root_ / "cloud").c_str(), 1);
    ::unsetenv("XCTestConfigurationFilePath");
    const platform::Dictionary info{{"CFBundleIdentifier", platform::Value("com.velloran.benchmark")},
                                    {"CFBundleShortVersionString", platform::Value("1.0")}};
    const platform::Bytes plist =
        platform::writePropertyList(platform::Value(info), platform::PropertyListFormat::Xml).value();
    std::ofstream(root_ / "bundle" / "Info.plist", std::ios::binary)
        .write(reinterpret_cast<const char*>(plist.data()), static_cast<std::streamsize>(plist.size()));
    platform::Bundle::resetMainForTesting();
    platform::PreferencesDomain::resetForTesting();
  }
  ~BenchmarkHome() {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }

 private:
  std::filesystem::path root_;
};

Prompt libraryPrompt(int index, platform::Date now) {
  Prompt prompt;
  prompt.id = platform::UUID::random();
  prompt.title = "Prompt " + std::to_string(index);
  prompt.type = index % 3 == 0 ? PromptType::user : PromptType::system;
  prompt.tags = {"tag" + std::to_string(index % 17), "review"};
  prompt.createdAt = prompt.updatedAt = platform::Date{now.secondsSinceReferenceDate - index * 60.0};
  prompt.versions.push_back(
      PromptVersion{platform::UUID::random(), prompt.id,
                    "Fasse den folgenden Text in drei Sätzen zusammen. Nummer " + std::to_string(index), "",
                    1, prompt.createdAt});
  return prompt;
}

// The library the app opens: 1,000 prompts written to the store file before the first launch.
void writeLibrary(platform::DeterministicDispatch& dispatch) {
  CoreDataStack stack(false);
  auto store = std::make_shared<CoreDataPromptStore>(stack.container());
  int saved = 0;
  for (int index = 0; index < kLibrarySize; ++index) {
    store->savePrompt(libraryPrompt(index, platform::SystemClock::shared().now()),
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

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  velloran::applyApplicationLook(application);
  velloran::setAnimationsEnabled(false);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
