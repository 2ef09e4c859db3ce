// Importing a 100 MB backlog: another machine's journal of prompts with long texts, written while
// this machine was away, read in chunks and applied by the receiving store's first poll. Reports the
// time and how far the process's peak resident memory rose during the import (no goal of its own:
// a reference for the mirror's chunked reading, whose memory must not grow with the journal).
// One run on the deterministic dispatch backend in a temporary folder.
// Run: `make bench`, or build-bench/bench/mirror_backlog_bench.

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "Velloran/persistence/CoreDataStack.h"
#include "Velloran/persistence/PromptObjects.h"
#include "Velloran/persistence/VelloranModel.h"
#include "bench/JournalPrompts.h"
#include "platform/dispatch/DeterministicDispatch.h"
#include "platform/mirror/JournalFile.h"
#include "platform/mirror/MirroredPersistentContainer.h"
#include "platform/testing/TestEnvironment.h"

namespace velloran {
namespace {

constexpr std::uint64_t kBacklogBytes = 100ull * 1024 * 1024;
constexpr std::size_t kTextBytes = 1500;
constexpr std::chrono::seconds kPollInterval{1};

long peakResidentKilobytes() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// Writes the backlog in batches, so that writing it does not raise the peak measured later.
std::size_t writeBacklog(const std::filesystem::path& journal, const platform::UUID& device) {
  std::uint64_t written = 0;
  std::size_t prompts = 0;
  while (written < kBacklogBytes) {
    std::vector<std::string> batch;
    for (int i = 0; i < 500; ++i, ++prompts) {
      for (std::string& line :
           journalPromptLines(device, static_cast<std::int64_t>(prompts + 1) << 20, prompts, kTextBytes)) {
        written += line.size() + 1;
        batch.push_back(std::move(line));
      }
    }
    if (!platform::appendJournalLines(journal, batch)) return 0;
  }
  return prompts;
}

void ImportHundredMegabyteBacklog(benchmark::State& state) {
  for (auto _ : state) {
    platform::testing::TemporaryDirectory folder;
    const std::filesystem::path journals =
        folder.path() / "mirror" / std::string(kCloudContainerIdentifier) / "journal";
    std::filesystem::create_directories(journals);
    const platform::UUID sender = platform::UUID::random();
    const std::size_t prompts = writeBacklog(journals / (sender.uuidString() + ".jsonl"), sender);
    state.counters["journal_MB"] =
        static_cast<double>(std::filesystem::file_size(journals / (sender.uuidString() + ".jsonl"))) / 1e6;

    platform::DeterministicDispatch dispatch;
    platform::NotificationCenter center;
    platform::MirrorSettings settings = platform::MirrorSettings::configured(folder.path() / "mirror");
    settings.adjustImport = renumberWrittenPrompts;
    settings.pollInterval = kPollInterval;
    auto receiver = std::make_shared<platform::MirroredPersistentContainer>(
        std::string(model::kModelName), CoreDataStack::makeModel(), settings, dispatch.clock(), center);
    const std::filesystem::path storeURL = folder.path() / "receiver" / std::string(kStoreFileName);
    std::filesystem::create_directories(storeURL.parent_path());
    receiver->setPersistentStoreDescriptions({CoreDataStack::persistentStoreDescription(storeURL)});
    CoreDataStack::loadStores(storeURL, *receiver);

    const long peakBefore = peakResidentKilobytes();
    const auto start = std::chrono::steady_clock::now();
    dispatch.drain();  // setup, then the first poll's import works through the whole backlog
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.SetIterationTime(seconds);

    auto stored =
        receiver->newBackgroundContext()->fetch(platform::FetchRequest{std::string(model::kPromptEntity)});
    if (!stored || stored->size() != prompts) {
      state.SkipWithError("the backlog was not imported whole");
      return;
    }
    state.counters["prompts"] = static_cast<double>(prompts);
    state.counters["peak_rss_MB"] = static_cast<double>(peakResidentKilobytes()) / 1024.0;
    state.counters["peak_rss_rise_MB"] = static_cast<double>(peakResidentKilobytes() - peakBefore) / 1024.0;
  }
}
BENCHMARK(ImportHundredMegabyteBacklog)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
}  // namespace velloran

BENCHMARK_MAIN();
