// Launch over a library of 1,000 and of 10,000 prompts of 5 versions each: the time from starting
// the application's process to its first painted library window with every prompt in its grid,
// process start included (goal: under 300 ms). Each launch is a process of its own
// (velloran_launch_probe, which starts as the application does, with the store's work, the mirror
// and the sync monitor on their own threads) in a home of its own with analytics switched off.
//
// What is measured is an ordinary launch: the library was already mirrored and its history already
// processed by an earlier launch. That earlier launch is part of the set-up, run here in this
// process on the deterministic dispatch backend and driven until nothing is left to do; the first
// launch after a library was written without the mirror exports all of it, once. One more launch
// of the set-up finds the store changed by that session and checks all of it. The measured launches
// then find the store as the launch before left it; in the second kind another program changed a
// prompt in between, so that each of them checks the whole store first, as the first launch after a
// session that saved does.
// Run: `make bench`, or build-bench/bench/launch_bench (offscreen, no display needed).

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <chrono>
#include <filesystem>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>

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
#include "platform/pstore/testing/RawDatabase.h"
#include "platform/workspace/testing/RecordingReviewRequester.h"
#include "platform/workspace/testing/RecordingWorkspace.h"

extern char** environ;

namespace velloran {
namespace {

constexpr int kVersionsPerPrompt = 5;

// A home of its own for the runs, with a mirror folder, in an ordinary launch; removed again at the
// end. The launched processes inherit it through the environment.
class BenchmarkHome {
 public:
  BenchmarkHome() {
    platform::testing::TemporaryUser& user = launch_.user();
    const std::filesystem::path cloud = user.root() / "cloud";
    std::filesystem::create_directories(cloud);
    user.environment().set("VELLORAN_CLOUD_DIR", cloud.string());
    user.writeInfo({{"CFBundleIdentifier", platform::Value("com.velloran.benchmark")},
                    {"CFBundleShortVersionString", platform::Value("1.0")}});
    platform::Bundle::resetMainForTesting();
    platform::PreferencesDomain::resetForTesting();
    const auto defaults = platform::PreferencesDomain::application();
    for (const char* key : {"analyticsPromptShown", "promptListHintHidden"})
      static_cast<void>(defaults->setObject(key, platform::Value(true)));
    static_cast<void>(defaults->setObject(kAnalyticsEnabledKey, platform::Value(false)));
  }

 private:
  testing::OrdinaryLaunch launch_;
};

// The first launch over the library: the mirror exports it and the sync monitor reads its history.
// Driven here until nothing is left to do, so that the launches measured afterwards are ordinary.
void launchOnceAndSettle(int prompts) {
  platform::DeterministicDispatch dispatch;
  const auto defaults = platform::PreferencesDomain::application();
  std::ostringstream console;
  AnalyticsService analytics(defaults, std::make_shared<testing::RecordingAnalyticsSdk>(), console);
  AppReviewManager reviewManager(defaults, dispatch.clock(), platform::Bundle::main(),
                                 std::make_shared<platform::testing::RecordingReviewRequester>(),
                                 std::make_shared<platform::testing::RecordingWorkspace>());
  auto app = std::get<std::unique_ptr<VelloranApp>>(VelloranApp::launch(analytics, reviewManager, nullptr));
  std::unique_ptr<LibraryWindow> window = app->makeRootView();
  window->show();
  while (window->library().grid()->promptCount() < static_cast<std::size_t>(prompts)) {
    dispatch.drain();
    QCoreApplication::processEvents();
  }
  // Past the mirror's export delay and its next poll, with everything they start run to its end.
  for (int round = 0; round < 3; ++round) {
    dispatch.advance(std::chrono::minutes(2));
    QCoreApplication::processEvents();
  }
  window.reset();
  app.reset();
  dispatch.drain();
}

// Starts the probe and waits for it; its exit status.
int launchProbe(int prompts) {
  const std::string count = std::to_string(prompts);
  char* arguments[] = {const_cast<char*>(VELLORAN_LAUNCH_PROBE), const_cast<char*>(count.c_str()), nullptr};
  // What the application prints (Qt's notes, the analytics line of an unconfigured bundle) is not
  // the benchmark's output.
  posix_spawn_file_actions_t quiet;
  posix_spawn_file_actions_init(&quiet);
  posix_spawn_file_actions_addopen(&quiet, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&quiet, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t child = 0;
  const int spawned = ::posix_spawn(&child, VELLORAN_LAUNCH_PROBE, &quiet, nullptr, arguments, environ);
  posix_spawn_file_actions_destroy(&quiet);
  if (spawned != 0) return -1;
  int status = 0;
  if (::waitpid(child, &status, 0) != child) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A prompt's title written again, by a connection of its own: the store's files change.
void changeTheLibrary() {
  platform::testing::RawDatabase(*platform::applicationSupportDirectory() / std::string(kStoreFileName))
      .execute("UPDATE ZPROMPTENTITY SET ZTITLE = ZTITLE WHERE Z_PK = (SELECT min(Z_PK) FROM ZPROMPTENTITY)");
}

void launchToTheFirstPaintedLibrary(benchmark::State& state) {
  const int prompts = static_cast<int>(state.range(0));
  const bool changedBetweenLaunches = state.range(1) != 0;
  BenchmarkHome home;
  writeApplicationLibrary(prompts, kVersionsPerPrompt);
  launchOnceAndSettle(prompts);
  if (launchProbe(prompts) != 0) return state.SkipWithError("the set-up's launch failed");

  for (auto _ : state) {
    if (changedBetweenLaunches) changeTheLibrary();
    const auto start = std::chrono::steady_clock::now();
    const int status = launchProbe(prompts);
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    if (status != 0) {
      state.SkipWithError(("the launch ended with status " + std::to_string(status)).c_str());
      break;
    }
    state.SetIterationTime(elapsed.count());
  }
  state.counters["prompts"] = prompts;
  state.counters["goal_ms"] = 300;
}
BENCHMARK(launchToTheFirstPaintedLibrary)
    ->ArgNames({"prompts", "changed"})
    ->Args({1'000, 0})
    ->Args({10'000, 0})
    ->Args({10'000, 1})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velloran
