#include "Velloran/persistence/CoreDataPromptStore.h"

#include <iostream>
#include <optional>
#include <string>
#include <utility>

#include "Velloran/persistence/CoreDataStack.h"
#include "Velloran/persistence/PromptObjects.h"
#include "Velloran/persistence/StoreWrite.h"
#include "Velloran/persistence/VelloranModel.h"
#include "Velloran/persistence/VersionOrderUpgrade.h"
#include "platform/time/SystemClock.h"

namespace velloran {
namespace {

using platform::ManagedObject;
using platform::ManagedObjectContext;
using platform::Result;

// An operation with nothing to do: it only completes in order with the others.
constexpr auto doNothing = [](auto&) -> Result<void> { return {}; };

}  // namespace

template <class T>
Result<T> CoreDataPromptStore::ListingState::withSnapshot(
    ManagedObjectContext& viewContext, const Log& log, const std::function<T(const LibrarySnapshot&)>& use) {
  const platform::CaseFolding folding = platform::caseFoldingFor();
  const std::shared_ptr<platform::PersistentStore> store =
      viewContext.persistentStoreCoordinator()->persistentStore();
  // The view context's own unsaved changes are laid over what the store holds: a listing that sees
  // them is read afresh and not kept.
  const bool keepable = !viewContext.hasChanges();
  if (!keepable || !snapshot || !store || !snapshot->isCurrent(*store, folding)) {
    snapshot.reset();
    Result<LibrarySnapshot> read = LibrarySnapshot::read(
        viewContext, folding, [&](const platform::UUID& id, const platform::Error& error) {
          if (reportedUnreadable.insert(id).second)
            log("Prompt " + id.uuidString() + " ausgelassen, Versionen nicht lesbar: " + error.description);
        });
    if (!read) return read.error();
    if (!keepable) return use(*read);
    snapshot.emplace(std::move(*read));
  }
  return use(*snapshot);
}

template <class T>
void CoreDataPromptStore::readLibrary(std::function<T(const LibrarySnapshot&)> use,
                                      Completion<T> completion) {
  actor_.perform<T>(
      [container = container_, log = log_, use = std::move(use)](ListingState& state) -> Result<T> {
        const std::shared_ptr<ManagedObjectContext>& viewContext = container->viewContext();
        std::optional<Result<T>> result;
        viewContext->performAndWait([&] { result.emplace(state.withSnapshot<T>(*viewContext, log, use)); });
        return std::move(*result);
      },
      std::move(completion));
}

CoreDataPromptStore::CoreDataPromptStore(std::shared_ptr<platform::PersistentContainer> container,
                                         std::shared_ptr<const platform::Clock> clock, Log log)
    : container_(std::move(container)),
      clock_(clock ? std::move(clock) : platform::SystemClock::sharedPointer()),
      log_(log ? std::move(log) : Log([](const std::string& line) { std::cerr << line << std::endl; })),
      actor_("Velloran.CoreDataPromptStore") {
  // Before anything reads it, a store written before versions were ordered by their stamps is
  // brought into that order; a failure leaves it for the next start.
  actor_.perform<void>(
      [container = container_](ListingState&) { return writeToStore(*container, bringVersionOrderForward); },
      [log = log_](Result<void> upgraded) {
        if (!upgraded) log(std::string(kVersionOrderNotUpgradedText) + upgraded.error().description);
      });
}

void CoreDataPromptStore::fetchPrompts(PromptFilter filter, Completion<PromptList> completion) {
  readLibrary<PromptList>(
      [filter = std::move(filter)](const LibrarySnapshot& library) { return library.select(filter); },
      std::move(completion));
}

void CoreDataPromptStore::fetchAllTags(Completion<std::vector<std::string>> completion) {
  readLibrary<std::vector<std::string>>([](const LibrarySnapshot& library) { return library.allTags(); },
                                        std::move(completion));
}

void CoreDataPromptStore::savePrompt(Prompt prompt, Completion<void> completion) {
  actor_.perform<void>(
      [container = container_, clock = clock_, prompt = std::move(prompt)](ListingState&) {
        return writeToStore(*container, [&](ManagedObjectContext& context) -> Result<void> {
          Result<ManagedObject> object = findOrCreatePrompt(context, prompt.id, clock->now());
          if (!object) return object.error();
          if (Result<void> written = writePromptFields(*object, prompt); !written) return written;
          return keepVersions(context, *object, prompt.versions, prompt.id);
        });
      },
      std::move(completion));
}

void CoreDataPromptStore::deletePrompt(std::vector<platform::UUID> ids, Completion<void> completion) {
  actor_.perform<void>(
      [container = container_, ids = std::move(ids)](ListingState&) {
        return writeToStore(*container, [&](ManagedObjectContext& context) -> Result<void> {
          for (const platform::UUID& id : ids) {
            // Every match, not just the first: mirroring can leave two objects with one id.
            Result<std::vector<ManagedObject>> matches = context.fetch(platform::FetchRequest{
                std::string(model::kPromptEntity), platform::EqualityPredicate{std::string(model::kId), id}});
            if (!matches) return matches.error();
            for (const ManagedObject& match : *matches) context.deleteObject(match);
          }
          return {};
        });
      },
      std::move(completion));
}

void CoreDataPromptStore::addVersion(PromptVersion version, platform::UUID promptId,
                                     Completion<void> completion) {
  actor_.perform<void>(
      [container = container_, clock = clock_, version = std::move(version), promptId](ListingState&) {
        return writeToStore(*container, [&](ManagedObjectContext& context) -> Result<void> {
          const platform::Date now = clock->now();
          Result<ManagedObject> object = findOrCreatePrompt(context, promptId, now);
          if (!object) return object.error();
          object->setValue(model::kUpdatedAt, now);
          return keepVersions(context, *object, {version}, promptId);
        });
      },
      std::move(completion));
}

void CoreDataPromptStore::addRun(PromptRun, platform::UUID, Completion<void> completion) {
  // Runs are not kept; the call still completes in order with the others, on the main queue.
  actor_.perform<void>(doNothing, std::move(completion));
}

void CoreDataPromptStore::finishPendingOperations(std::function<void()> done) {
  actor_.perform<void>(doNothing, [done = std::move(done)](Result<void>) {
    if (done) done();
  });
}

}  // namespace velloran
