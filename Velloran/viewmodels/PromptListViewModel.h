#pragma once
// The state behind the library window: the prompts the grid shows (those the filter selects), the
// tag suggestions of the whole library, the filter, the loading flag, the sync banner and the notice
// about a damaged library file set aside at start-up. It owns no
// storage: it reads, creates and deletes prompts through its PromptRepository, runs the manual sync
// through its SyncService, and, when that sync service is also a SyncMonitor, follows the
// mirroring's events (a failure shows a banner; an import that brought other machines' changes
// reloads the list, also when it failed after applying some of them).
//
// Ownership and threads: made by make() and held in a shared_ptr; confined to the main thread (every
// operation throws platform::ProgrammerError elsewhere). The asynchronous operations return at once
// and call their `done` on the main queue when finished, never inline; they keep the view model
// alive until then. Banner timers and event reactions hold it only weakly. Releasing the last
// reference ends the event subscription.
//
// Observing: each observable field has a change signal, emitted after the field changed. The
// prompts, tag suggestions, filter, banner and notice signals fire on every assignment; isLoading
// fires only when the flag flips.
//
// Failures never reach the caller. Store failures go to the console ("Fehler beim Laden der
// Prompts: ", "Tags konnten nicht geladen werden: ", "Prompt konnte nicht gelöscht werden: ",
// "Prompt konnte nicht angelegt werden: ") and the state keeps its last good value; sync failures
// also go to the console ("Sync fehlgeschlagen: ") and show the banner "Sync-Fehler: %@".
//
// Overlapping work:
//  - isLoading is true while at least one load that asked for the indicator runs: a second such load
//    finishing does not hide the indicator of one still running.
//  - The latest request wins: a load's result is applied only if no load was started after it, and
//    the same holds for tag refreshes. A slower, older request never overwrites a newer one, and
//    the grid never flickers through the lists of filters already left behind.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Velloran/data/Completion.h"
#include "Velloran/data/PromptFilter.h"
#include "Velloran/data/PromptList.h"
#include "Velloran/data/PromptRepository.h"
#include "Velloran/data/PromptValues.h"
#include "Velloran/data/Signal.h"
#include "Velloran/data/SyncMonitor.h"
#include "Velloran/data/SyncService.h"
#include "Velloran/viewmodels/PromptDraft.h"
#include "Velloran/viewmodels/SyncBanner.h"
#include "Velloran/viewmodels/ViewModelEnvironment.h"
#include "platform/identity/UUID.h"

namespace velloran {

class PromptListViewModel : public std::enable_shared_from_this<PromptListViewModel> {
  struct Passkey {};

 public:
  using Done = std::function<void()>;

  // How long a banner shown by showSyncBanner stays unless a different banner replaces it.
  static constexpr std::chrono::milliseconds kBannerDuration{3000};

  // Starts with no prompts, no suggestions, the empty filter, no indicator and no banner. When
  // `syncService` is also a SyncMonitor, subscribes to its events.
  static std::shared_ptr<PromptListViewModel> make(std::shared_ptr<PromptRepository> repository,
                                                   std::shared_ptr<SyncService> syncService,
                                                   ViewModelEnvironment environment);
  PromptListViewModel(Passkey, std::shared_ptr<PromptRepository> repository,
                      std::shared_ptr<SyncService> syncService, ViewModelEnvironment environment);
  PromptListViewModel(const PromptListViewModel&) = delete;
  PromptListViewModel& operator=(const PromptListViewModel&) = delete;

  // --- Observable state ---------------------------------------------------------------------
  // The prompts the filter selects, in the order the repository returned them, as it shared them.
  const PromptList& prompts() const;
  // The same list, shared: it never changes; a new list replaces it. Never null.
  const std::shared_ptr<const PromptList>& sharedPrompts() const;
  // Every distinct tag of the whole library, sorted (TagSuggestions.h).
  const std::vector<std::string>& allTagSuggestions() const;
  // The query of every load. Setting it does not load: the caller starts the load it wants.
  const PromptFilter& filter() const;
  void setFilter(PromptFilter filter);
  bool isLoading() const;
  const std::optional<SyncBanner>& syncBanner() const;
  // What the window says about a damaged library file set aside at start-up (DamagedStoreText.h):
  // none until restoreDamagedStore, and none again once the user closed it.
  const std::optional<std::string>& damagedStoreNotice() const;

  const Signal<>& promptsChanged() const { return promptsChanged_; }
  const Signal<>& allTagSuggestionsChanged() const { return allTagSuggestionsChanged_; }
  const Signal<>& filterChanged() const { return filterChanged_; }
  const Signal<>& isLoadingChanged() const { return isLoadingChanged_; }
  const Signal<>& syncBannerChanged() const { return syncBannerChanged_; }
  const Signal<>& damagedStoreNoticeChanged() const { return damagedStoreNoticeChanged_; }

  // The library's store, for the editor view models made for its prompts.
  const std::shared_ptr<PromptRepository>& promptRepository() const { return repository_; }

  // --- Operations -----------------------------------------------------------------------------
  // Fetches the prompts the current filter selects and shows them. With `showLoading` the loading
  // indicator is on while it runs.
  void load(bool showLoading, Done done = {});
  // Fetches the whole library, whatever the filter, and rebuilds the tag suggestions from it.
  void refreshTagSuggestions(Done done = {});
  // Deletes the prompt; on success reloads (without the indicator), then refreshes the suggestions.
  void deletePrompt(platform::UUID id, Done done = {});
  // The manual sync: pull, then push, then load with the indicator and refresh the suggestions. A
  // failure of either step shows its banner with no clearing timer and stops; a success does not
  // clear a banner already shown.
  void syncNow(Done done = {});
  // Shows the banner and clears it kBannerDuration later, unless by then the view model shows a
  // different banner (an equal banner shown meanwhile is cleared with the first one).
  void showSyncBanner(std::string message, bool isError);
  // The reaction to one mirroring event: an error shows the failure banner; a success, and an import
  // that failed (it keeps what it committed before the failure), processes the history in a task of
  // its own, takes the event's pending flag (export: local, import: remote, setup: none) and, for an
  // import that found changes, reloads without the indicator and refreshes the suggestions. History
  // failures are ignored; the flag is still taken. A failed setup or export does nothing more.
  void handleCloudEvent(const SyncEvent& event);

  // After a damaged library file was set aside at start-up (`keptAt`, where it lies now) and a new,
  // empty library loaded: shows the notice that the library is being restored, has the sync service
  // pull in what the sync folder holds (its pull answers once every journal there has been read,
  // also when there was nothing to read), then counts the library's prompts and says how many came
  // back, or that none could; that notice also goes to the console as one line. Then reloads
  // without the indicator and refreshes the suggestions. A failed pull goes to the console ("Sync
  // fehlgeschlagen: ") and the count is taken all the same: what came in before the failure stays;
  // a failed count goes to the console ("Fehler beim Laden der Prompts: ") and the notice says no
  // number. The notice has no timer: it stays until dismissDamagedStoreNotice, and one closed
  // before the count is not shown again.
  void restoreDamagedStore(std::string keptAt, Done done = {});
  // The user closed the notice.
  void dismissDamagedStoreNotice();

  // The create sheet's save: stores the prompt the draft makes (PromptDraft.h); on success reloads
  // without the indicator, refreshes the suggestions and logs "prompt_create", then calls `done`
  // with success. A failed save calls `done` with the store's error after its console line, so the
  // sheet can say what failed; a draft that cannot be saved gets PromptError::invalidData, without
  // anything written.
  void createPrompt(const PromptDraft& draft, Completion<void> done = {});
  // A copy of the prompt: the text for the clipboard (PromptTexts.h, copyText), with "prompt_copy"
  // logged; nothing, and no event, when the prompt has no text to copy.
  std::optional<std::string> copyPrompt(const Prompt& prompt);

 private:
  void setPrompts(PromptList prompts);
  void setAllTagSuggestions(std::vector<std::string> suggestions);
  void setSyncBanner(std::optional<SyncBanner> banner);
  void setDamagedStoreNotice(std::optional<std::string> notice);
  void settleDamagedStoreNotice(std::string notice);
  void beginIndicatorLoad();
  void endIndicatorLoad();
  void reportManualSyncFailure(const platform::Error& error);
  void reactToEndedEvent(SyncEvent::Type type);
  void subscribeToEvents();

  std::shared_ptr<PromptRepository> repository_;
  std::shared_ptr<SyncService> syncService_;
  // The sync service seen as a monitor; null when it is not one.
  std::shared_ptr<SyncMonitor> monitor_;
  ViewModelEnvironment environment_;

  std::shared_ptr<const PromptList> prompts_ = std::make_shared<const PromptList>();
  std::vector<std::string> allTagSuggestions_;
  PromptFilter filter_;
  std::optional<SyncBanner> syncBanner_;
  std::optional<std::string> damagedStoreNotice_;
  int indicatorLoads_ = 0;  // loads with the indicator still running
  std::uint64_t latestLoad_ = 0;
  std::uint64_t latestTagRefresh_ = 0;

  Signal<> promptsChanged_;
  Signal<> allTagSuggestionsChanged_;
  Signal<> filterChanged_;
  Signal<> isLoadingChanged_;
  Signal<> syncBannerChanged_;
  Signal<> damagedStoreNoticeChanged_;

  Subscription eventSubscription_;
};

}  // namespace velloran
