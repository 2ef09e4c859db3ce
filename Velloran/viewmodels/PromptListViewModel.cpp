#include "Velloran/viewmodels/PromptListViewModel.h"

#include <ostream>

#include "Velloran/data/PromptError.h"
#include "Velloran/viewmodels/ConsoleLog.h"
#include "Velloran/viewmodels/DamagedStoreText.h"
#include "Velloran/viewmodels/MainThread.h"
#include "Velloran/viewmodels/PromptTexts.h"
#include "Velloran/viewmodels/StoreFailureText.h"
#include "Velloran/viewmodels/SyncErrorMessage.h"
#include "Velloran/viewmodels/TagSuggestions.h"

namespace velloran {
namespace {

constexpr const char* kListOwner = "PromptListViewModel";
constexpr const char* kLoadFailed = "Fehler beim Laden der Prompts: ";
constexpr const char* kTagsFailed = "Tags konnten nicht geladen werden: ";
constexpr const char* kDeleteFailed = "Prompt konnte nicht gelöscht werden: ";
constexpr const char* kSyncFailed = "Sync fehlgeschlagen: ";
constexpr const char* kCreateFailed = kPromptNotCreatedText;

void finish(const PromptListViewModel::Done& done) {
  if (done) done();
}

}  // namespace

std::shared_ptr<PromptListViewModel> PromptListViewModel::make(std::shared_ptr<PromptRepository> repository,
                                                               std::shared_ptr<SyncService> syncService,
                                                               ViewModelEnvironment environment) {
  requireMainThread(kListOwner, "make");
  auto viewModel = std::make_shared<PromptListViewModel>(Passkey{}, std::move(repository),
                                                         std::move(syncService), std::move(environment));
  viewModel->subscribeToEvents();
  return viewModel;
}

PromptListViewModel::PromptListViewModel(Passkey, std::shared_ptr<PromptRepository> repository,
                                         std::shared_ptr<SyncService> syncService,
                                         ViewModelEnvironment environment)
    : repository_(std::move(repository)),
      syncService_(std::move(syncService)),
      monitor_(std::dynamic_pointer_cast<SyncMonitor>(syncService_)),
      environment_(std::move(environment)) {}

void PromptListViewModel::subscribeToEvents() {
  if (!monitor_) return;
  // Each event is handed on by a fresh hop onto the main queue, in order, even though the monitor
  // already delivers there: the reaction never runs inside the monitor's own delivery.
  eventSubscription_ = monitor_->observeEvents(
      [weakSelf = weak_from_this(), mainQueue = environment_.mainQueue](const SyncEvent& event) {
        mainQueue->async([weakSelf, event] {
          if (const auto self = weakSelf.lock()) self->handleCloudEvent(event);
        });
      });
}

// --- Observable state ---------------------------------------------------------------------------

const PromptList& PromptListViewModel::prompts() const {
  requireMainThread(kListOwner, "prompts");
  return *prompts_;
}

const std::shared_ptr<const PromptList>& PromptListViewModel::sharedPrompts() const {
  requireMainThread(kListOwner, "sharedPrompts");
  return prompts_;
}

const std::vector<std::string>& PromptListViewModel::allTagSuggestions() const {
  requireMainThread(kListOwner, "allTagSuggestions");
  return allTagSuggestions_;
}

const PromptFilter& PromptListViewModel::filter() const {
  requireMainThread(kListOwner, "filter");
  return filter_;
}

void PromptListViewModel::setFilter(PromptFilter filter) {
  requireMainThread(kListOwner, "setFilter");
  filter_ = std::move(filter);
  filterChanged_.emit();
}

bool PromptListViewModel::isLoading() const {
  requireMainThread(kListOwner, "isLoading");
  return indicatorLoads_ > 0;
}

const std::optional<SyncBanner>& PromptListViewModel::syncBanner() const {
  requireMainThread(kListOwner, "syncBanner");
  return syncBanner_;
}

const std::optional<std::string>& PromptListViewModel::damagedStoreNotice() const {
  requireMainThread(kListOwner, "damagedStoreNotice");
  return damagedStoreNotice_;
}

void PromptListViewModel::setPrompts(PromptList prompts) {
  prompts_ = std::make_shared<const PromptList>(std::move(prompts));
  promptsChanged_.emit();
}

void PromptListViewModel::setAllTagSuggestions(std::vector<std::string> suggestions) {
  allTagSuggestions_ = std::move(suggestions);
  allTagSuggestionsChanged_.emit();
}

void PromptListViewModel::setSyncBanner(std::optional<SyncBanner> banner) {
  syncBanner_ = std::move(banner);
  syncBannerChanged_.emit();
}

void PromptListViewModel::setDamagedStoreNotice(std::optional<std::string> notice) {
  damagedStoreNotice_ = std::move(notice);
  damagedStoreNoticeChanged_.emit();
}

void PromptListViewModel::beginIndicatorLoad() {
  if (++indicatorLoads_ == 1) isLoadingChanged_.emit();
}

void PromptListViewModel::endIndicatorLoad() {
  if (--indicatorLoads_ == 0) isLoadingChanged_.emit();
}

// --- Loading ------------------------------------------------------------------------------------

void PromptListViewModel::load(bool showLoading, Done done) {
  requireMainThread(kListOwner, "load");
  if (showLoading) beginIndicatorLoad();
  const std::uint64_t request = ++latestLoad_;
  repository_->fetchPrompts(filter_, [self = shared_from_this(), showLoading, request,
                                      done = std::move(done)](platform::Result<PromptList> fetched) {
    if (!fetched.ok()) {
      logFailure(self->environment_.console, kLoadFailed, fetched.error());
    } else if (request == self->latestLoad_) {
      self->setPrompts(std::move(fetched).value());
    }
    if (showLoading) self->endIndicatorLoad();
    finish(done);
  });
}

void PromptListViewModel::refreshTagSuggestions(Done done) {
  requireMainThread(kListOwner, "refreshTagSuggestions");
  const std::uint64_t request = ++latestTagRefresh_;
  repository_->fetchAllTags([self = shared_from_this(), request,
                             done = std::move(done)](platform::Result<std::vector<std::string>> fetched) {
    if (!fetched.ok()) {
      logFailure(self->environment_.console, kTagsFailed, fetched.error());
    } else if (request == self->latestTagRefresh_) {
      self->setAllTagSuggestions(tagSuggestions(fetched.value()));
    }
    finish(done);
  });
}

void PromptListViewModel::deletePrompt(platform::UUID id, Done done) {
  requireMainThread(kListOwner, "deletePrompt");
  repository_->deletePrompt(
      {id}, [self = shared_from_this(), done = std::move(done)](platform::Result<void> deleted) mutable {
        if (!deleted.ok()) {
          logFailure(self->environment_.console, kDeleteFailed, deleted.error());
          finish(done);
          return;
        }
        self->load(false, [self, done = std::move(done)]() mutable {
          self->refreshTagSuggestions(std::move(done));
        });
      });
}

// --- Sync ---------------------------------------------------------------------------------------

void PromptListViewModel::syncNow(Done done) {
  requireMainThread(kListOwner, "syncNow");
  syncService_->pullChanges([self = shared_from_this(),
                             done = std::move(done)](platform::Result<void> pulled) mutable {
    if (!pulled.ok()) {
      self->reportManualSyncFailure(pulled.error());
      finish(done);
      return;
    }
    self->syncService_->pushChanges([self, done = std::move(done)](platform::Result<void> pushed) mutable {
      if (!pushed.ok()) {
        self->reportManualSyncFailure(pushed.error());
        finish(done);
        return;
      }
      self->load(true,
                 [self, done = std::move(done)]() mutable { self->refreshTagSuggestions(std::move(done)); });
    });
  });
}

void PromptListViewModel::reportManualSyncFailure(const platform::Error& error) {
  logFailure(environment_.console, kSyncFailed, error);
  // Set directly, without the clearing timer: it stays until another banner replaces it.
  setSyncBanner(SyncBanner{syncFailureBannerText(error), true});
}

void PromptListViewModel::showSyncBanner(std::string message, bool isError) {
  requireMainThread(kListOwner, "showSyncBanner");
  SyncBanner banner{std::move(message), isError};
  setSyncBanner(banner);
  // Never cancelled: a replacing banner simply makes this timer find a different banner and leave it.
  environment_.mainQueue->asyncAfter(kBannerDuration,
                                     [weakSelf = weak_from_this(), banner = std::move(banner)] {
                                       const auto self = weakSelf.lock();
                                       if (self && self->syncBanner_ == banner)
                                         self->setSyncBanner(std::nullopt);
                                     });
}

void PromptListViewModel::handleCloudEvent(const SyncEvent& event) {
  requireMainThread(kListOwner, "handleCloudEvent");
  if (event.error) showSyncBanner(syncFailureBannerText(*event.error), true);
  // An import that failed keeps what it committed before the failure (the journals it could read):
  // that is shown as after a successful import. A failed setup or export changed nothing here.
  const bool failedImport = event.error && event.type == SyncEvent::Type::Import;
  if (!event.succeeded && !failedImport) return;
  // A task of its own: several reactions may be outstanding and interleave at their waits.
  environment_.mainQueue->async([weakSelf = weak_from_this(), type = event.type] {
    const auto self = weakSelf.lock();
    if (self && self->monitor_) self->reactToEndedEvent(type);
  });
}

void PromptListViewModel::reactToEndedEvent(SyncEvent::Type type) {
  monitor_->processPersistentHistory([self = shared_from_this(), type](platform::Result<void>) {
    // A failed processing is dropped; the event still takes its flag.
    bool foundChanges = false;
    switch (type) {
      case SyncEvent::Type::Export:
        foundChanges = self->monitor_->takePendingLocalChanges();
        break;
      case SyncEvent::Type::Import:
        foundChanges = self->monitor_->takePendingRemoteChanges();
        break;
      case SyncEvent::Type::Setup:
        break;
    }
    // An export only consumes its flag: what this machine wrote is already on screen.
    if (foundChanges && type == SyncEvent::Type::Import) {
      self->load(false, [self] { self->refreshTagSuggestions(); });
    }
  });
}

// --- A damaged library -------------------------------------------------------------------------

void PromptListViewModel::restoreDamagedStore(std::string keptAt, Done done) {
  requireMainThread(kListOwner, "restoreDamagedStore");
  setDamagedStoreNotice(damagedStoreRestoringText(keptAt));
  syncService_->pullChanges([self = shared_from_this(), keptAt = std::move(keptAt),
                             done = std::move(done)](platform::Result<void> pulled) mutable {
    if (!pulled.ok()) logFailure(self->environment_.console, kSyncFailed, pulled.error());
    // The library was empty when the import began: whatever it holds now came back.
    self->repository_->fetchPrompts(
        PromptFilter{}, [self, keptAt = std::move(keptAt),
                         done = std::move(done)](platform::Result<PromptList> library) mutable {
          std::optional<std::size_t> restored;
          if (library.ok()) {
            restored = library.value().size();
          } else {
            logFailure(self->environment_.console, kLoadFailed, library.error());
          }
          self->settleDamagedStoreNotice(damagedStoreRestoredText(keptAt, restored));
          self->load(false, [self, done = std::move(done)]() mutable {
            self->refreshTagSuggestions(std::move(done));
          });
        });
  });
}

void PromptListViewModel::settleDamagedStoreNotice(std::string notice) {
  environment_.console << notice << std::endl;
  // Closed while the import ran: the user has already taken note that the library was damaged.
  if (damagedStoreNotice_) setDamagedStoreNotice(std::move(notice));
}

void PromptListViewModel::dismissDamagedStoreNotice() {
  requireMainThread(kListOwner, "dismissDamagedStoreNotice");
  setDamagedStoreNotice(std::nullopt);
}

// --- Create and copy ----------------------------------------------------------------------------

void PromptListViewModel::createPrompt(const PromptDraft& draft, Completion<void> done) {
  requireMainThread(kListOwner, "createPrompt");
  const auto report = [done](platform::Result<void> saved) {
    if (done) done(std::move(saved));
  };
  if (!canSave(draft)) {
    environment_.mainQueue->async([report] { report(makeError(PromptError::invalidData)); });
    return;
  }
  Prompt prompt = makePrompt(draft, *environment_.clock, environment_.random);
  repository_->savePrompt(prompt, [self = shared_from_this(), prompt, report](platform::Result<void> saved) {
    if (!saved.ok()) {
      logFailure(self->environment_.console, kCreateFailed, saved.error());
      report(std::move(saved));
      return;
    }
    self->load(false, [self, prompt, report] {
      self->refreshTagSuggestions([self, prompt, report] {
        self->environment_.analytics.logPromptCreated(prompt);
        report(platform::Result<void>());
      });
    });
  });
}

std::optional<std::string> PromptListViewModel::copyPrompt(const Prompt& prompt) {
  requireMainThread(kListOwner, "copyPrompt");
  std::string text = copyText(prompt);
  if (text.empty()) return std::nullopt;
  environment_.analytics.logPromptCopied(prompt);
  return text;
}

}  // namespace velloran
