// Search as you type over a library of 1,000 prompts: the time from a keystroke in the search field
// of the library window to the card grid showing the new result, with the store's work, the view
// model's reload and the grid's layout all included (they run on this thread, drained at once).

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <memory>
#include <sstream>
#include <stdexcept>

#include "Velloran/analytics/AnalyticsService.h"
#include "Velloran/analytics/testing/OrdinaryLaunch.h"
#include "Velloran/analytics/testing/RecordingAnalyticsSdk.h"
#include "Velloran/data/InMemoryPromptStore.h"
#include "Velloran/data/MockSyncService.h"
#include "Velloran/viewmodels/PromptListViewModel.h"
#include "Velloran/views/CardGrid.h"
#include "Velloran/views/LibraryWindow.h"
#include "Velloran/views/PromptListView.h"
#include "platform/dispatch/DeterministicDispatch.h"
#include "platform/prefs/PreferencesDomain.h"
#include "platform/workspace/testing/RecordingWorkspace.h"

namespace velloran {
namespace {

constexpr int kLibrarySize = 1000;

std::vector<std::string> words() {
  return {"Review", "Übersetzung", "Zusammenfassung", "Code", "Marketing", "Analyse", "Brief", "Tabelle"};
}

Prompt libraryPrompt(int index, platform::Date now) {
  const std::vector<std::string> vocabulary = words();
  const std::string word = vocabulary[static_cast<std::size_t>(index) % vocabulary.size()];
  Prompt prompt;
  prompt.id = platform::UUID::random();
  prompt.title = word + " " + std::to_string(index);
  prompt.type = index % 3 == 0 ? PromptType::user : PromptType::system;
  prompt.isSystem = prompt.type == PromptType::system;
  prompt.tags = {word, "tag" + std::to_string(index % 17)};
  prompt.createdAt = prompt.updatedAt = platform::Date{now.secondsSinceReferenceDate - index * 60.0};
  prompt.versions.push_back(PromptVersion{platform::UUID::random(), prompt.id,
                                          "Bitte " + word +
                                              " für den folgenden Text erstellen. Achte auf Stil, "
                                              "Länge und Zielgruppe. Nummer " +
                                              std::to_string(index),
                                          "", 1, prompt.createdAt});
  return prompt;
}

// The library window over 1,000 prompts, loaded and on screen, for a user of its own.
class SearchBench {
 public:
  SearchBench() {
    defaults_ = platform::PreferencesDomain::named("library-search-benchmark");
    static_cast<void>(defaults_->setObject("analyticsPromptShown", platform::Value(true)));
    analytics_ = std::make_unique<AnalyticsService>(
        defaults_, std::make_shared<testing::RecordingAnalyticsSdk>(), console_);
    auto store = std::make_shared<InMemoryPromptStore>(dispatch_.sharedClock());
    for (int index = 0; index < kLibrarySize; ++index)
      store->savePrompt(libraryPrompt(index, dispatch_.clock().now()), {});
    dispatch_.drain();
    ViewModelEnvironment environment{dispatch_.sharedClock(), platform::systemRandomSource(), console_,
                                     *analytics_, platform::mainQueue()};
    auto viewModel = PromptListViewModel::make(store, std::make_shared<MockSyncService>(), environment);
    window_ = std::make_unique<LibraryWindow>(
        LibraryContext{viewModel,
                       environment,
                       defaults_,
                       std::make_shared<QtClipboard>(),
                       std::make_shared<platform::testing::RecordingWorkspace>(),
                       {},
                       {}});
    window_->resize(1100, 800);
    window_->show();
    if (!QTest::qWaitForWindowExposed(window_.get())) throw std::runtime_error("the window never came up");
    settle();
  }

  void settle() {
    for (int round = 0; round < 3; ++round) {
      dispatch_.drain();
      QCoreApplication::processEvents();
    }
  }

  QLineEdit& search() { return *window_->library().searchField(); }
  std::size_t shown() const { return window_->library().grid()->promptCount(); }

 private:
  testing::OrdinaryLaunch launch_;
  platform::DeterministicDispatch dispatch_;
  std::ostringstream console_;
  std::shared_ptr<platform::PreferencesDomain> defaults_;
  std::unique_ptr<AnalyticsService> analytics_;
  std::unique_ptr<LibraryWindow> window_;
};

// Each iteration types one character or erases one, as a user refining a search does: "R", "Re",
// "Rev", "Re", "R", "" and again.
void searchAsYouType(benchmark::State& state) {
  SearchBench bench;
  const QString typed = QStringLiteral("Revi");
  int length = 0;
  bool growing = true;
  for (auto _ : state) {
    if (growing) {
      QTest::keyClick(&bench.search(), typed.at(length).toLatin1());
      ++length;
    } else {
      QTest::keyClick(&bench.search(), Qt::Key_Backspace);
      --length;
    }
    bench.settle();
    if (length == typed.size()) growing = false;
    if (length == 0) growing = true;
    benchmark::DoNotOptimize(bench.shown());
  }
  state.counters["prompts"] = kLibrarySize;
}
BENCHMARK(searchAsYouType)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velloran
