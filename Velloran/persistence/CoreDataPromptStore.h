#pragma once
// The application's PromptRepository over the persistent container of the stack (CoreDataStack.h):
// it lists, saves and deletes prompts and appends versions. Listing reads through the container's
// view context and filters with the shared rules (PromptFilterMatching.h) over a snapshot of the
// library (LibrarySnapshot.h) that is kept while the store holds what it was read from and read
// anew after any change, whoever made it; every write runs as one background task whose context
// records the transaction author "Velloran" and commits all of the operation in its single save, or
// nothing. A write whose save another context's commit overtook (a mirror import that changed the
// same prompt meanwhile) is run again on what that commit left, a bounded number of times
// (StoreWrite.h), so it ends as if it had come just after, and both changes are kept.
//
// fetchAllTags takes the tags from the same snapshot, copying no prompt.
//
// It meets the PromptRepository contract, with these differences from the in-memory store:
//  - addVersion to an id that no prompt has creates that prompt (empty title, type "system", no
//    tags, not a system prompt, both dates now) holding just the version;
//  - addRun stores nothing and never fails; listed prompts never have runs or snippets.
// Saving keeps every version the prompt held and adds or updates those it is given: a version is
// one record, named by its id, so that the versions stored by any machine add up to one list
// (PromptObjects.h). Older stores may hold version objects detached by earlier saves; they stay
// in the store without a prompt (also after the prompt is deleted). A version
// number outside 32 bits, or tags that JSON cannot carry, fail the save and nothing is written.
// Failures are the store layer's errors, passed on unchanged. A stored prompt whose versions cannot
// be read is left out of the listings, the others are listed; the store writes one line about it to
// its log ("Prompt <id> ausgelassen, Versionen nicht lesbar: " and the reason), once per prompt.
//
// A version it adds comes after every version the prompt held, whatever the wall clock says, and a
// stored version keeps its stamp (PromptObjects.h). Made over a store written before versions were
// ordered by their stamps, the store first brings it into that order (VersionOrderUpgrade.h), so no
// prompt's current version changes; should that fail, it writes "Versionsreihenfolge nicht
// übernommen: " and the reason to its log, and tries again at the next start.
//
// Threads: an actor (StoreActor). One operation at a time, in call order, each to its end - the
// store work included - before the next starts, so two saves of one prompt can never both add their
// versions. Listing waits for the view context on the main queue, so the main queue must keep
// running while a listing is under way (it does in the application and under the test pump);
// completions come on the main queue.

#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "Velloran/data/PromptRepository.h"
#include "Velloran/data/StoreActor.h"
#include "Velloran/persistence/LibrarySnapshot.h"
#include "platform/identity/UUID.h"
#include "platform/pstore/PersistentContainer.h"
#include "platform/time/Clock.h"

namespace velloran {

inline constexpr std::string_view kVersionOrderNotUpgradedText = "Versionsreihenfolge nicht übernommen: ";

class CoreDataPromptStore final : public PromptRepository {
 public:
  // Receives the store's lines; called on the main thread.
  using Log = std::function<void(const std::string& line)>;

  // `clock` gives "the current time" of new prompts and appended versions; the machine's clock when
  // not given. `log` takes the store's lines; standard error when not given. The store shares the
  // container with the stack and the sync monitor.
  explicit CoreDataPromptStore(std::shared_ptr<platform::PersistentContainer> container,
                               std::shared_ptr<const platform::Clock> clock = nullptr, Log log = nullptr);

  const std::shared_ptr<platform::PersistentContainer>& container() const { return container_; }

  void fetchPrompts(PromptFilter filter, Completion<PromptList> completion) override;
  void savePrompt(Prompt prompt, Completion<void> completion) override;
  void deletePrompt(std::vector<platform::UUID> ids, Completion<void> completion) override;
  void addVersion(PromptVersion version, platform::UUID promptId, Completion<void> completion) override;
  void addRun(PromptRun run, platform::UUID promptId, Completion<void> completion) override;
  void fetchAllTags(Completion<std::vector<std::string>> completion) override;

  // Calls `done` on the main queue once every operation called before has completed, its
  // completion included: the application's quit waits for it before the store closes.
  void finishPendingOperations(std::function<void()> done);

 private:
  // The store's data is the container's; the actor orders the operations and keeps the snapshot
  // listings filter.
  struct ListingState {
    // `use` applied to the kept snapshot or, when that is no longer current, to one read now. Runs
    // on the view context's queue.
    template <class T>
    platform::Result<T> withSnapshot(platform::ManagedObjectContext& viewContext, const Log& log,
                                     const std::function<T(const LibrarySnapshot&)>& use);

    std::optional<LibrarySnapshot> snapshot;
    // Prompts left out because their versions cannot be read, each logged once.
    std::set<platform::UUID> reportedUnreadable;
  };

  // An operation that reads the library: `use` on its snapshot, on the view context's queue.
  template <class T>
  void readLibrary(std::function<T(const LibrarySnapshot&)> use, Completion<T> completion);

  std::shared_ptr<platform::PersistentContainer> container_;
  std::shared_ptr<const platform::Clock> clock_;
  Log log_;
  StoreActor<ListingState> actor_;
};

}  // namespace velloran
