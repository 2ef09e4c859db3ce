// The persistent prompt store at library scale: 10,000 prompts of 5 versions each in a store file
// like the application's, listed by a search filter, and one prompt saved into it.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "Velloran/persistence/BackgroundTask.h"
#include "Velloran/persistence/CoreDataPromptStore.h"
#include "Velloran/persistence/CoreDataStack.h"
#include "Velloran/persistence/PromptObjects.h"
#include "Velloran/persistence/VelloranModel.h"
#include "bench/LibraryPrompts.h"
#include "platform/dispatch/DeterministicDispatch.h"
#include "platform/testing/TestEnvironment.h"

namespace velloran {
namespace {

constexpr int kPrompts = 10'000;
constexpr int kVersionsPerPrompt = 5;

// A store file holding the library, under a temporary folder removed at the end.
class Library {
 public:
  Library() {
    const std::filesystem::path storeURL = folder_.path() / std::string(kStoreFileName);
    container_ =
        CoreDataStack::makePlainContainer(std::string(model::kModelName), CoreDataStack::makeModel());
    container_->setPersistentStoreDescriptions({CoreDataStack::persistentStoreDescription(storeURL)});
    CoreDataStack::loadStores(storeURL, *container_);
    fill();
    store_ = std::make_shared<CoreDataPromptStore>(container_);
  }
  CoreDataPromptStore& store() { return *store_; }
  platform::DeterministicDispatch& dispatch() { return dispatch_; }

 private:
  // One transaction for the whole library: filling is setup, not what is measured.
  void fill() {
    platform::Result<void> filled = performBackgroundTaskAndWait<void>(
        *container_, [](platform::ManagedObjectContext& context) -> platform::Result<void> {
          for (int index = 0; index < kPrompts; ++index) {
            const Prompt prompt = libraryPrompt(index, kVersionsPerPrompt);
            platform::ManagedObject object = context.insertNewObject(model::kPromptEntity);
            if (auto written = writePromptFields(object, prompt); !written) return written;
            for (const PromptVersion& version : prompt.versions) {
              object.addRelatedObject(model::kVersions, insertVersion(context, version, prompt.id));
            }
          }
          return context.save();
        });
    if (!filled) throw std::runtime_error(filled.error().debugDescription());
  }

  platform::DeterministicDispatch dispatch_;
  platform::testing::TemporaryDirectory folder_;
  // Closed before the folder goes.
  std::shared_ptr<platform::PersistentContainer> container_;
  std::shared_ptr<CoreDataPromptStore> store_;
};

Library& library() {
  static Library shared;
  return shared;
}

void ListPromptsBySearch(benchmark::State& state) {
  Library& shared = library();
  std::size_t found = 0;
  for (auto _ : state) {
    std::optional<platform::Result<std::vector<Prompt>>> listed;
    shared.store().fetchPrompts(
        PromptFilter{"review", {}, std::nullopt},
        [&](platform::Result<std::vector<Prompt>> result) { listed.emplace(std::move(result)); });
    shared.dispatch().drain();
    if (!listed || !listed->ok()) {
      state.SkipWithError("listing failed");
      return;
    }
    found = listed->value().size();
  }
  state.counters["found"] = double(found);
}
BENCHMARK(ListPromptsBySearch)->Unit(benchmark::kMillisecond);

void SaveOnePrompt(benchmark::State& state) {
  Library& shared = library();
  const Prompt prompt = libraryPrompt(1, kVersionsPerPrompt);
  for (auto _ : state) {
    bool saved = false;
    shared.store().savePrompt(prompt, [&](platform::Result<void> result) { saved = result.ok(); });
    shared.dispatch().drain();
    if (!saved) {
      state.SkipWithError("save failed");
      return;
    }
  }
}
BENCHMARK(SaveOnePrompt)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velloran

BENCHMARK_MAIN();
