#pragma once
// Shared set-up of the library window and editor tests: the view models' test bed (a temporary user,
// the deterministic dispatch backend with its manual clock on which stores, view models, timers and
// the toast all run, an analytics service over the recording SDK and the preferences it keeps its
// consent in), a repository whose answers a test can fail, the mock sync service, the Qt clipboard
// and a recording workspace.
//
// Make the bed before anything that takes a queue. settle() runs everything runnable: the queues
// and Qt's posted events, until both are quiet.

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QTest>
#include <memory>

#include "Velloran/data/MockSyncService.h"
#include "Velloran/viewmodels/PromptListViewModel.h"
#include "Velloran/viewmodels/testing/ControllableRepository.h"
#include "Velloran/viewmodels/testing/ViewModelTestBed.h"
#include "Velloran/views/LibraryContext.h"
#include "platform/workspace/testing/RecordingWorkspace.h"

namespace velloran::testing {

class LibraryTestBed {
 public:
  LibraryTestBed() {
    repository_ = std::make_shared<ControllableRepository>(dispatch().sharedClock());
    viewModel_ = PromptListViewModel::make(repository_, std::make_shared<MockSyncService>(), environment());
    QGuiApplication::clipboard()->clear();
  }

  ViewModelEnvironment environment() { return viewModels_.environment(); }

  // The consent sheet has been seen, so it does not cover the window in tests about other things.
  void skipConsentSheet() {
    static_cast<void>(defaults().setObject("analyticsPromptShown", platform::Value(true)));
  }

  LibraryContext context() {
    return LibraryContext{
        viewModel_,
        environment(),
        viewModels_.defaults(),
        std::make_shared<QtClipboard>(),
        workspace_,
        [this](std::function<void()> dismiss) { return makeSheet("settingsSheet", std::move(dismiss)); },
        [this](std::function<void()> dismiss) { return makeSheet("consentSheet", std::move(dismiss)); }};
  }

  void settle() {
    for (int round = 0; round < 8; ++round) {
      dispatch().drain();
      QCoreApplication::sendPostedEvents();
      QCoreApplication::processEvents();
      // Widgets closed with deleteLater really go, as they would in the running event loop.
      QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    dispatch().drain();
  }

  void advance(std::chrono::milliseconds by) {
    dispatch().advance(by);
    settle();
  }

  void store(const Prompt& prompt) {
    repository_->store().savePrompt(prompt, {});
    dispatch().drain();
  }

  std::vector<Prompt> stored() {
    std::vector<Prompt> prompts;
    repository_->store().fetchPrompts(
        {}, [&](platform::Result<PromptList> result) { prompts = testing::valuesOf(result.value()); });
    dispatch().drain();
    return prompts;
  }

  static QString clipboardText() { return QGuiApplication::clipboard()->text(); }

  platform::DeterministicDispatch& dispatch() { return viewModels_.dispatch(); }
  ControllableRepository& repository() { return *repository_; }
  const std::shared_ptr<PromptListViewModel>& viewModel() const { return viewModel_; }
  platform::PreferencesDomain& defaults() { return *viewModels_.defaults(); }
  RecordingAnalyticsSdk& sdk() { return viewModels_.sdk(); }
  platform::testing::RecordingWorkspace& workspace() { return *workspace_; }
  std::string console() const { return viewModels_.console(); }
  // The app shell's sheets the window asked for, by object name, in order.
  const std::vector<std::string>& presentedShellSheets() const { return presented_; }
  const std::function<void()>& lastShellSheetDismiss() const { return lastDismiss_; }

 private:
  QWidget* makeSheet(const char* name, std::function<void()> dismiss) {
    presented_.push_back(name);
    lastDismiss_ = std::move(dismiss);
    auto* sheet = new QWidget;
    sheet->setObjectName(QString::fromUtf8(name));
    sheet->setMinimumSize(200, 120);
    return sheet;
  }

  ViewModelTestBed viewModels_{"library-window-test"};
  std::shared_ptr<ControllableRepository> repository_;
  std::shared_ptr<PromptListViewModel> viewModel_;
  std::shared_ptr<platform::testing::RecordingWorkspace> workspace_ =
      std::make_shared<platform::testing::RecordingWorkspace>();
  std::vector<std::string> presented_;
  std::function<void()> lastDismiss_;
};

// A prompt with one version per text (numbered from 1), changed `minutesAgo` before the manual
// clock's start.
inline Prompt makePrompt(std::string title, std::vector<std::string> texts = {},
                         std::vector<std::string> tags = {}, PromptType type = PromptType::system,
                         double minutesAgo = 5) {
  Prompt prompt;
  prompt.id = platform::UUID::random();
  prompt.title = std::move(title);
  prompt.type = type;
  prompt.isSystem = type == PromptType::system;
  prompt.tags = std::move(tags);
  const platform::Date when{platform::ManualClock::kDefaultStart.secondsSinceReferenceDate - minutesAgo * 60};
  prompt.createdAt = when;
  prompt.updatedAt = when;
  std::int64_t number = 1;
  for (std::string& text : texts) {
    prompt.versions.push_back(
        PromptVersion{platform::UUID::random(), prompt.id, std::move(text), "", number++, when});
  }
  return prompt;
}

}  // namespace velloran::testing
