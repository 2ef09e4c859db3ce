// Mirroring a library of 500, 1,000 and 2,000 prompts (3 versions each, saved one by one as the
// application saves them) from one store to another through a mirror folder: the sending store's
// export and the receiving store's import, each timed on its own; the import beside its goal.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "Velloran/persistence/CoreDataPromptStore.h"
#include "Velloran/persistence/CoreDataStack.h"
#include "Velloran/persistence/PromptObjects.h"
#include "Velloran/persistence/VelloranModel.h"
#include "bench/LibraryPrompts.h"
#include "platform/dispatch/DeterministicDispatch.h"
#include "platform/mirror/MirroredPersistentContainer.h"
#include "platform/testing/TestEnvironment.h"

namespace velloran {
namespace {

constexpr int kVersionsPerPrompt = 3;
constexpr std::chrono::seconds kPollInterval{1};
constexpr std::chrono::milliseconds kExportDelay{300};

// Two machines' store files and the mirror folder between them, under a temporary folder.
class Machines {
 public:
  explicit Machines(int prompts) : prompts_(prompts) {
    std::filesystem::create_directories(folder_.path() / "mirror");
    sender_ = open("sender");
    receiver_ = open("receiver");
    store_ = std::make_shared<CoreDataPromptStore>(sender_, dispatch_.sharedClock());
    dispatch_.drain();  // both mirrors set up
  }
  ~Machines() {
    store_.reset();
    sender_.reset();
    receiver_.reset();
  }

  void fillSender() {
    for (int index = 0; index < prompts_; ++index)
      store_->savePrompt(libraryPrompt(index, kVersionsPerPrompt), {});
    dispatch_.drain();
  }
  // The save's export waits for the export delay; the receiver looks at the next poll.
  void exportFromSender() { dispatch_.advance(kExportDelay); }
  void importIntoReceiver() { dispatch_.advance(kPollInterval - kExportDelay); }

  std::size_t receivedPrompts() {
    auto prompts =
        receiver_->newBackgroundContext()->fetch(platform::FetchRequest{std::string(model::kPromptEntity)});
    return prompts ? prompts->size() : 0;
  }

 private:
  std::shared_ptr<platform::PersistentContainer> open(const std::string& name) {
    platform::MirrorSettings settings = platform::MirrorSettings::configured(folder_.path() / "mirror");
    settings.adjustImport = renumberWrittenPrompts;
    settings.pollInterval = kPollInterval;
    settings.exportDelay = kExportDelay;
    auto container = std::make_shared<platform::MirroredPersistentContainer>(
        std::string(model::kModelName), CoreDataStack::makeModel(), settings, dispatch_.clock(), center_);
    std::filesystem::create_directories(folder_.path() / name);
    const std::filesystem::path storeURL = folder_.path() / name / std::string(kStoreFileName);
    container->setPersistentStoreDescriptions({CoreDataStack::persistentStoreDescription(storeURL)});
    CoreDataStack::loadStores(storeURL, *container);
    return container;
  }

  int prompts_;
  platform::DeterministicDispatch dispatch_;
  platform::NotificationCenter center_;
  platform::testing::TemporaryDirectory folder_;
  std::shared_ptr<platform::PersistentContainer> sender_;
  std::shared_ptr<platform::PersistentContainer> receiver_;
  std::shared_ptr<CoreDataPromptStore> store_;
};

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The smallest and the middle of the figures: on a shared machine the mean mostly measures the
// neighbours.
void reportMinAndMedian(benchmark::State& state, const std::string& name, std::vector<double> seconds) {
  if (seconds.empty()) return;
  std::sort(seconds.begin(), seconds.end());
  state.counters[name + "_min_ms"] = seconds.front() * 1000;
  state.counters[name + "_median_ms"] = seconds[seconds.size() / 2] * 1000;
}

void MirrorPrompts(benchmark::State& state) {
  const int prompts = static_cast<int>(state.range(0));
  std::vector<double> exports;
  std::vector<double> imports;
  for (auto _ : state) {
    Machines machines(prompts);
    machines.fillSender();
    auto start = std::chrono::steady_clock::now();
    machines.exportFromSender();
    const double exported = secondsSince(start);
    start = std::chrono::steady_clock::now();
    machines.importIntoReceiver();
    const double imported = secondsSince(start);
    if (machines.receivedPrompts() != static_cast<std::size_t>(prompts)) {
      state.SkipWithError("the receiver did not get every prompt");
      return;
    }
    state.SetIterationTime(exported + imported);
    exports.push_back(exported);
    imports.push_back(imported);
  }
  reportMinAndMedian(state, "export", exports);
  reportMinAndMedian(state, "import", imports);
  // Linear in the library: under 100 ms for 1,000 prompts.
  state.counters["import_goal_ms"] = 0.1 * prompts;
}
BENCHMARK(MirrorPrompts)
    ->Arg(500)
    ->Arg(1'000)
    ->Arg(2'000)
    ->UseManualTime()
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velloran

BENCHMARK_MAIN();
