// The persistent prompt store at library scale: 1,000 and 10,000 prompts of 5 versions each in a
// store file like the application's, listed by a search filter (by a store that has listed before,
// and by a fresh one that reads the library first), and one prompt saved into it. Goals, printed
// beside the figures: a search listed by a store that has listed before in under 20 ms, a prompt
// saved into 10,000 in under 0.5 ms; the fresh store's first listing is a reference.
// Run: `make bench`, or build-bench/bench/prompt_store_bench.

#include <benchmark/benchmark.h>

#include <map>
#include <memory>
#include <optional>

#include "Velloran/persistence/CoreDataPromptStore.h"
#include "bench/LibraryPrompts.h"
#include "bench/LibraryStore.h"
#include "platform/dispatch/DeterministicDispatch.h"

namespace velloran {
namespace {

constexpr int kVersionsPerPrompt = 5;

platform::DeterministicDispatch& dispatch() {
  static platform::DeterministicDispatch shared;
  return shared;
}

// One library per size, made on first use and kept for the run.
LibraryStore& library(int prompts) {
  static std::map<int, std::unique_ptr<LibraryStore>> libraries;
  std::unique_ptr<LibraryStore>& library = libraries[prompts];
  if (!library) library = std::make_unique<LibraryStore>(prompts, kVersionsPerPrompt);
  return *library;
}

// Lists "review" (every tenth prompt); false when the listing failed.
bool listReview(CoreDataPromptStore& store, std::size_t& found) {
  std::optional<platform::Result<PromptList>> listed;
  store.fetchPrompts(PromptFilter{"review", {}, std::nullopt},
                     [&](platform::Result<PromptList> result) { listed.emplace(std::move(result)); });
  dispatch().drain();
  if (!listed || !listed->ok()) return false;
  found = listed->value().size();
  return true;
}

void ListPromptsBySearch(benchmark::State& state) {
  dispatch();
  const std::shared_ptr<CoreDataPromptStore> store = library(static_cast<int>(state.range(0))).makeStore();
  std::size_t found = 0;
  for (auto _ : state) {
    if (!listReview(*store, found)) return state.SkipWithError("listing failed");
  }
  state.counters["found"] = double(found);
  state.counters["goal_ms"] = 20;
}
BENCHMARK(ListPromptsBySearch)->Arg(1'000)->Arg(10'000)->Unit(benchmark::kMillisecond);

// The first listing of a store, which reads the whole library: what launch and every listing after
// a change pay.
void ListPromptsFirstTime(benchmark::State& state) {
  dispatch();
  LibraryStore& shared = library(static_cast<int>(state.range(0)));
  std::size_t found = 0;
  for (auto _ : state) {
    state.PauseTiming();
    std::shared_ptr<CoreDataPromptStore> store = shared.makeStore();
    state.ResumeTiming();
    if (!listReview(*store, found)) return state.SkipWithError("listing failed");
  }
  state.counters["found"] = double(found);
}
BENCHMARK(ListPromptsFirstTime)->Arg(1'000)->Arg(10'000)->Unit(benchmark::kMillisecond);

void SaveOnePrompt(benchmark::State& state) {
  dispatch();
  const std::shared_ptr<CoreDataPromptStore> store = library(static_cast<int>(state.range(0))).makeStore();
  Prompt prompt = libraryPrompt(1, kVersionsPerPrompt);
  for (auto _ : state) {
    // A changed prompt each time: saving what the store holds already writes nothing.
    prompt.updatedAt.secondsSinceReferenceDate += 1;
    bool saved = false;
    store->savePrompt(prompt, [&](platform::Result<void> result) { saved = result.ok(); });
    dispatch().drain();
    if (!saved) return state.SkipWithError("save failed");
  }
  state.counters["goal_ms"] = 0.5;
}
BENCHMARK(SaveOnePrompt)->Arg(10'000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velloran

BENCHMARK_MAIN();
