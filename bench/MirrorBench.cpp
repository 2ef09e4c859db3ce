// Mirroring a library of 1,000 and 10,000 prompts (5 versions each) from one store to another
// through a mirror folder: the sending store's export and the receiving store's import, each timed
// on its own (wall time and this thread's CPU, the minimum and the median of five runs). The sender
// is filled before the clock starts, so the figures are the mirror's own; its journal is the one the
// application's saves would make. Both stores run on the deterministic dispatch backend.
//
// Beside them, timed the same way in the same runs, the reference the import is held against
// ("plain"): the sender's journal read and parsed line by line with the mirror's own journal reader,
// and the same rows inserted into a plain database in the same temporary folder, with prepared
// statements in one transaction and no index, history, object graph or merging.
//
// Goals: 10,000 prompts imported in under 1.2 s (the 1,000-prompt row states its tenth of that,
// 120 ms) and in at most 1.6 times the plain parse and insert of the same rows
// (import_ratio_to_plain, the medians' ratio).
//
// Then two rows of one run each over a journal written by hand: 100,000 lines (50,000 prompts with a
// version each) stamped ten years ahead of the receiver's clock (a damaged or hostile device), then
// one prompt stamped now. ImportLinesWithinReach: the receiver starts eleven years later, and its
// first import takes every line at once (the reference). ReleaseHeldLines: the receiver starts now,
// holds the lines stamped ahead and takes the prompt stamped now (hold_s); eleven years later one
// poll releases every held line. Each reports the time of that step and how far it raised the
// process's peak memory (peak_rss_rise_MB; run a row alone, --benchmark_filter, for its own peak).
// Goal: the release costs about what importing the same lines does, in time and in peak memory.
// Run: `make bench`, or build-bench/bench/mirror_bench.

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "Velloran/persistence/CoreDataStack.h"
#include "Velloran/persistence/PromptObjects.h"
#include "Velloran/persistence/VelloranModel.h"
#include "bench/JournalPrompts.h"
#include "bench/LibraryPrompts.h"
#include "platform/dispatch/DeterministicDispatch.h"
#include "platform/mirror/HybridLogicalClock.h"
#include "platform/mirror/JournalEntry.h"
#include "platform/mirror/JournalFile.h"
#include "platform/mirror/MirrorFolder.h"
#include "platform/mirror/MirroredPersistentContainer.h"
#include "platform/sqlite/SqliteConnection.h"
#include "platform/testing/TestEnvironment.h"

namespace velloran {
namespace {

constexpr int kVersionsPerPrompt = 5;
constexpr int kSmallLibrary = 1'000;
constexpr int kLargeLibrary = 10'000;
constexpr std::chrono::seconds kPollInterval{1};
constexpr std::chrono::milliseconds kExportDelay{300};

// The mirror folder under `folder`, as every machine of these runs sees it.
platform::MirrorSettings mirrorSettings(const std::filesystem::path& folder) {
  platform::MirrorSettings settings = platform::MirrorSettings::configured(folder / "mirror");
  settings.adjustImport = renumberWrittenPrompts;
  settings.pollInterval = kPollInterval;
  settings.exportDelay = kExportDelay;
  return settings;
}

// The store file of the machine `name` under `folder`, mirrored through that folder's mirror folder.
std::shared_ptr<platform::PersistentContainer> openMirroredStore(const std::filesystem::path& folder,
                                                                 const std::string& name,
                                                                 platform::DeterministicDispatch& dispatch,
                                                                 platform::NotificationCenter& center) {
  auto container = std::make_shared<platform::MirroredPersistentContainer>(
      std::string(model::kModelName), CoreDataStack::makeModel(), mirrorSettings(folder), dispatch.clock(),
      center);
  std::filesystem::create_directories(folder / name);
  const std::filesystem::path storeURL = folder / name / std::string(kStoreFileName);
  container->setPersistentStoreDescriptions({CoreDataStack::persistentStoreDescription(storeURL)});
  CoreDataStack::loadStores(storeURL, *container);
  return container;
}

// Counted without an object for each, so that counting does not raise the process's peak memory
// above what the mirror reached.
std::size_t promptCount(platform::PersistentContainer& container) {
  auto prompts = container.newBackgroundContext()->fetchValues(
      platform::FetchRequest{std::string(model::kPromptEntity)}, {});
  return prompts ? prompts->size() : 0;
}

// Two machines' store files and the mirror folder between them, under a temporary folder.
class Machines {
 public:
  explicit Machines(int prompts) : prompts_(prompts) {
    std::filesystem::create_directories(folder_.path() / "mirror");
    sender_ = openMirroredStore(folder_.path(), "sender", dispatch_, center_);
    receiver_ = openMirroredStore(folder_.path(), "receiver", dispatch_, center_);
    dispatch_.drain();  // both mirrors set up
  }
  ~Machines() {
    sender_.reset();
    receiver_.reset();
  }

  // In transactions of a few hundred prompts: one per prompt would time the disk, one for all
  // would time a context holding the whole library.
  void fillSender() {
    constexpr int kPromptsPerSave = 250;
    for (int first = 0; first < prompts_; first += kPromptsPerSave) {
      auto context = sender_->newBackgroundContext();
      context->setTransactionAuthor(std::string(kTransactionAuthor));
      for (int index = first; index < std::min(prompts_, first + kPromptsPerSave); ++index) {
        const Prompt prompt = libraryPrompt(index, kVersionsPerPrompt);
        auto object = findOrCreatePrompt(*context, prompt.id, prompt.createdAt);
        if (!object || !writePromptFields(*object, prompt) ||
            !keepVersions(*context, *object, prompt.versions, prompt.id))
          return;
      }
      if (!context->save()) return;
    }
    dispatch_.drain();
  }
  // The save's export waits for the export delay; the receiver looks at the next poll.
  void exportFromSender() { dispatch_.advance(kExportDelay); }
  void importIntoReceiver() { dispatch_.advance(kPollInterval - kExportDelay); }

  std::size_t receivedPrompts() { return promptCount(*receiver_); }

  // The journal files in the mirror folder: the sender's is the only one holding lines.
  platform::Result<std::vector<std::filesystem::path>> journals() const {
    auto journals =
        platform::MirrorFolder(mirrorSettings(folder_.path()), std::string(kCloudContainerIdentifier))
            .journals();
    if (!journals) return journals.error();
    std::vector<std::filesystem::path> files;
    for (const platform::MirrorFolder::Journal& journal : *journals) files.push_back(journal.path);
    return files;
  }
  std::filesystem::path file(const std::string& name) const { return folder_.path() / name; }

 private:
  int prompts_;
  platform::DeterministicDispatch dispatch_;
  platform::NotificationCenter center_;
  platform::testing::TemporaryDirectory folder_;
  std::shared_ptr<platform::PersistentContainer> sender_;
  std::shared_ptr<platform::PersistentContainer> receiver_;
};

// A value as the plain database keeps it, the way the stores keep it: identifiers as their sixteen
// bytes, dates as seconds, Booleans as 0 and 1.
platform::SqlValue plainValue(platform::AttributeValue value) {
  return std::visit(
      [](auto&& typed) -> platform::SqlValue {
        using Type = std::decay_t<decltype(typed)>;
        if constexpr (std::is_same_v<Type, bool>) {
          return std::int64_t{typed ? 1 : 0};
        } else if constexpr (std::is_same_v<Type, platform::Date>) {
          return typed.secondsSinceReferenceDate;
        } else if constexpr (std::is_same_v<Type, platform::UUID>) {
          return platform::Bytes(typed.bytes().begin(), typed.bytes().end());
        } else {
          return std::move(typed);
        }
      },
      std::move(value));
}

// The reference the import is held against: a table per entity of the model, holding a record's
// name, then each attribute and to-one link as its journal line carries it (a link as the related
// record's name).
class PlainDatabase {
 public:
  // Opens (creating) the database at `file` and makes its tables.
  static platform::Result<std::unique_ptr<PlainDatabase>> create(const std::filesystem::path& file,
                                                                 const platform::ManagedObjectModel& model) {
    auto connection = platform::SqliteConnection::open(file.string());
    if (!connection) return connection.error();
    auto database = std::unique_ptr<PlainDatabase>(new PlainDatabase(std::move(*connection), model));
    for (const platform::EntityDescription& entity : model.entities()) {
      Table table{.entity = &entity};
      std::string columns = "\"recordName\"";
      std::string parameters = "?";
      const auto addColumn = [&](const std::string& name) {
        columns += ", \"" + name + "\"";
        parameters += ", ?";
      };
      for (const platform::AttributeDescription& attribute : entity.attributes) addColumn(attribute.name);
      for (const platform::RelationshipDescription& relationship : entity.relationships) {
        if (relationship.toMany) continue;
        table.links.push_back(&relationship);
        addColumn(relationship.name);
      }
      const std::string name = "\"" + entity.name + "\"";
      if (auto made = database->connection_->execute("CREATE TABLE " + name + " (" + columns + ")"); !made)
        return made.error();
      table.insert = "INSERT INTO " + name + " (" + columns + ") VALUES (" + parameters + ")";
      database->tables_.emplace(entity.name, std::move(table));
    }
    return database;
  }

  // Reads every line of the journals with the mirror's journal reader and inserts each entry's row,
  // all in one transaction. Answers the rows inserted; a line that does not read fails it.
  platform::Result<std::size_t> insertJournals(const std::vector<std::filesystem::path>& journals) {
    auto transaction = platform::SqliteTransaction::begin(*connection_);
    if (!transaction) return transaction.error();
    std::size_t rows = 0;
    for (const std::filesystem::path& journal : journals) {
      // Chunk after chunk, as the import reads it, until a read finds no line.
      platform::JournalPosition position;
      for (bool found = true; found;) {
        auto read = platform::readJournalLines(journal, position);
        if (!read) return read.error();
        for (const std::string& line : read->lines) {
          auto entry = platform::decodeJournalLine(line, model_);
          if (!entry) return entry.error();
          if (auto inserted = insert(std::move(*entry)); !inserted) return inserted.error();
          ++rows;
        }
        position = read->next;
        found = !read->lines.empty();
      }
    }
    if (auto committed = transaction->commit(); !committed) return committed.error();
    return rows;
  }

 private:
  struct Table {
    const platform::EntityDescription* entity = nullptr;
    std::vector<const platform::RelationshipDescription*> links{};  // the to-one relationships
    std::string insert{};
  };

  PlainDatabase(std::unique_ptr<platform::SqliteConnection> connection,
                const platform::ManagedObjectModel& model)
      : connection_(std::move(connection)), model_(model) {}

  platform::Result<void> insert(platform::JournalEntry entry) {
    const Table& table = tables_.find(entry.entity)->second;
    std::vector<platform::SqlValue> row{plainValue(entry.record)};
    for (const platform::AttributeDescription& attribute : table.entity->attributes) {
      auto field = entry.fields.attributes.find(attribute.name);
      const bool held = field != entry.fields.attributes.end() && field->second;
      row.push_back(held ? plainValue(std::move(*field->second)) : platform::SqlValue{});
    }
    for (const platform::RelationshipDescription* link : table.links) {
      auto reference = entry.fields.references.find(link->name);
      const bool held = reference != entry.fields.references.end() && reference->second;
      row.push_back(held ? plainValue(*reference->second) : platform::SqlValue{});
    }
    return connection_->run(table.insert, row);
  }

  std::unique_ptr<platform::SqliteConnection> connection_;
  const platform::ManagedObjectModel& model_;
  std::map<std::string, Table, std::less<>> tables_;  // by entity name
};

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The processor time this thread has used: on a machine shared with other work it varies far less
// than the elapsed time, which also holds the waits for the disk.
double threadSeconds() {
  timespec now{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// The smallest and the middle of the figures: on a shared machine the mean mostly measures the
// neighbours.
double median(std::vector<double> seconds) {
  std::sort(seconds.begin(), seconds.end());
  return seconds[seconds.size() / 2];
}

void reportMinAndMedian(benchmark::State& state, const std::string& name,
                        const std::vector<double>& seconds) {
  if (seconds.empty()) return;
  state.counters[name + "_min_ms"] = *std::min_element(seconds.begin(), seconds.end()) * 1000;
  state.counters[name + "_median_ms"] = median(seconds) * 1000;
}

// The elapsed and processor times of one step over the runs.
struct StepTimes {
  std::vector<double> elapsed;
  std::vector<double> processor;

  void time(const std::function<void()>& step) {
    const auto start = std::chrono::steady_clock::now();
    const double processorStart = threadSeconds();
    step();
    elapsed.push_back(secondsSince(start));
    processor.push_back(threadSeconds() - processorStart);
  }
  void report(benchmark::State& state, const std::string& name) const {
    reportMinAndMedian(state, name, elapsed);
    reportMinAndMedian(state, name + "_cpu", processor);
  }
};

// The timed steps of the runs of one library.
struct MirrorRuns {
  StepTimes exports;
  StepTimes imports;
  StepTimes plainInserts;

  // One run: the sender filled, exported and imported by the receiver, then its journal inserted
  // into a plain database. Answers why the run failed, if it did.
  std::optional<std::string> run(int prompts, const platform::ManagedObjectModel& model) {
    Machines machines(prompts);
    machines.fillSender();
    exports.time([&] { machines.exportFromSender(); });
    imports.time([&] { machines.importIntoReceiver(); });
    if (machines.receivedPrompts() != static_cast<std::size_t>(prompts))
      return "the receiver did not get every prompt";
    auto journals = machines.journals();
    if (!journals) return journals.error().debugDescription();
    auto plain = PlainDatabase::create(machines.file("plain.sqlite"), model);
    if (!plain) return plain.error().debugDescription();
    platform::Result<std::size_t> inserted = 0;
    plainInserts.time([&] { inserted = (*plain)->insertJournals(*journals); });
    if (!inserted) return inserted.error().debugDescription();
    if (*inserted != static_cast<std::size_t>(prompts) * (1 + kVersionsPerPrompt))
      return "the plain database did not get every row";
    return std::nullopt;
  }
};

void MirrorPrompts(benchmark::State& state) {
  const int prompts = static_cast<int>(state.range(0));
  const std::shared_ptr<const platform::ManagedObjectModel> model = CoreDataStack::makeModel();
  MirrorRuns runs;
  for (auto _ : state) {
    if (std::optional<std::string> failure = runs.run(prompts, *model)) {
      state.SkipWithError(failure->c_str());
      return;
    }
    state.SetIterationTime(runs.exports.elapsed.back() + runs.imports.elapsed.back());
  }
  runs.exports.report(state, "export");
  runs.imports.report(state, "import");
  runs.plainInserts.report(state, "plain");
  state.counters["import_goal_ms"] = 0.12 * prompts;
  state.counters["import_ratio_to_plain"] = median(runs.imports.elapsed) / median(runs.plainInserts.elapsed);
  if (prompts == kLargeLibrary) state.counters["import_ratio_goal"] = 1.6;
}
// Five runs of each, their medians set against each other: a neighbour's moment of work on a shared
// machine moves a single run by a tenth.
BENCHMARK(MirrorPrompts)
    ->Arg(kSmallLibrary)
    ->Arg(kLargeLibrary)
    ->UseManualTime()
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);

// A receiving machine and the journal of another one, written before the receiver starts: prompts
// stamped ten years ahead of the receiver's clock (a damaged or hostile device), then one prompt
// stamped now.
class JournalAhead {
 public:
  explicit JournalAhead(std::size_t prompts) {
    const platform::UUID device = platform::UUID::random();
    const std::filesystem::path journal =
        platform::MirrorFolder(mirrorSettings(folder_.path()), std::string(kCloudContainerIdentifier))
            .journalFile(device);
    std::filesystem::create_directories(journal.parent_path());
    const double now = dispatch_.clock().now().secondsSinceReferenceDate;
    const std::int64_t ahead = platform::HybridLogicalClock::physicalStamp(platform::Date{now + kTenYears});
    // In batches, so that writing the journal does not raise the peak measured later.
    constexpr std::size_t kPromptsPerAppend = 1'000;
    for (std::size_t first = 0; first < prompts; first += kPromptsPerAppend) {
      std::vector<std::string> lines;
      for (std::size_t index = first; index < std::min(prompts, first + kPromptsPerAppend); ++index) {
        for (std::string& line :
             journalPromptLines(device, ahead + 2 * static_cast<std::int64_t>(index), index, kHeldTextBytes))
          lines.push_back(std::move(line));
      }
      written_ = written_ && platform::appendJournalLines(journal, lines).ok();
    }
    const std::int64_t stampedNow = platform::HybridLogicalClock::physicalStamp(platform::Date{now});
    written_ = written_ && platform::appendJournalLines(
                               journal, journalPromptLines(device, stampedNow, prompts, kHeldTextBytes))
                               .ok();
  }
  ~JournalAhead() { receiver_.reset(); }

  bool written() const { return written_; }
  // Starts the receiver; its mirror's first import reads the journal.
  void startReceiver() {
    receiver_ = openMirroredStore(folder_.path(), "receiver", dispatch_, center_);
    dispatch_.drain();
  }
  // The receiver's wall clock moves on by eleven years: every stamp of the journal comes within reach.
  void elevenYearsPass() { dispatch_.clock().advanceWall(std::chrono::hours(24 * 4018)); }
  void pollReceiver() { dispatch_.advance(kPollInterval); }
  std::size_t receivedPrompts() { return promptCount(*receiver_); }

 private:
  static constexpr double kTenYears = 3653 * 86400.0;
  static constexpr std::size_t kHeldTextBytes = 500;

  platform::DeterministicDispatch dispatch_;
  platform::NotificationCenter center_;
  platform::testing::TemporaryDirectory folder_;
  bool written_ = true;
  std::shared_ptr<platform::PersistentContainer> receiver_;
};

// 50,000 prompts with one version each: 100,000 lines stamped ahead, then the two of one prompt
// stamped now.
constexpr std::size_t kPromptsAhead = 50'000;

long peakResidentKilobytes() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// Times `step` as the iteration's time, and reports how far it raised the process's peak memory.
void timeWithPeak(benchmark::State& state, const std::function<void()>& step) {
  const long peakBefore = peakResidentKilobytes();
  const auto start = std::chrono::steady_clock::now();
  step();
  state.SetIterationTime(secondsSince(start));
  state.counters["peak_rss_MB"] = static_cast<double>(peakResidentKilobytes()) / 1024.0;
  state.counters["peak_rss_rise_MB"] = static_cast<double>(peakResidentKilobytes() - peakBefore) / 1024.0;
}

// The reference: the journal read once the receiver's clock has come within reach of every line.
void ImportLinesWithinReach(benchmark::State& state) {
  for (auto _ : state) {
    JournalAhead machines(kPromptsAhead);
    if (!machines.written()) return state.SkipWithError("the journal was not written");
    machines.elevenYearsPass();
    timeWithPeak(state, [&] { machines.startReceiver(); });
    if (machines.receivedPrompts() != kPromptsAhead + 1)
      return state.SkipWithError("not every prompt arrived");
  }
}
BENCHMARK(ImportLinesWithinReach)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

// The receiver holds the lines stamped ahead and takes the prompt stamped now at once (hold_s);
// eleven years later one poll releases every held line (the time of the row).
void ReleaseHeldLines(benchmark::State& state) {
  for (auto _ : state) {
    JournalAhead machines(kPromptsAhead);
    if (!machines.written()) return state.SkipWithError("the journal was not written");
    const auto start = std::chrono::steady_clock::now();
    machines.startReceiver();
    state.counters["hold_s"] = secondsSince(start);
    if (machines.receivedPrompts() != 1)
      return state.SkipWithError("the prompt stamped now did not arrive alone");
    machines.elevenYearsPass();
    timeWithPeak(state, [&] { machines.pollReceiver(); });
    if (machines.receivedPrompts() != kPromptsAhead + 1)
      return state.SkipWithError("not every held prompt was released");
  }
}
BENCHMARK(ReleaseHeldLines)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
}  // namespace velloran

BENCHMARK_MAIN();
