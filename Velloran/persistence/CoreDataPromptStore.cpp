#include "Velloran/persistence/CoreDataPromptStore.h"

#include <optional>
#include <string>
#include <utility>

#include "Velloran/data/PromptFilterMatching.h"
#include "Velloran/persistence/BackgroundTask.h"
#include "Velloran/persistence/CoreDataStack.h"
#include "Velloran/persistence/PromptObjects.h"
#include "Velloran/persistence/VelloranModel.h"
#include "platform/time/SystemClock.h"

namespace velloran {
namespace {

using platform::ManagedObject;
using platform::ManagedObjectContext;
using platform::Result;

// Every stored prompt that reads as one and that the filter selects, most recently updated first.
// The filter looks at no version, so versions are read only for the prompts it keeps. Runs on the
// view context.
Result<std::vector<Prompt>> readSelectedPrompts(ManagedObjectContext& context, const PromptFilter& filter) {
  Result<std::vector<ManagedObject>> objects = context.fetch(platform::FetchRequest{
      std::string(model::kPromptEntity), std::nullopt, {{std::string(model::kUpdatedAt), false}}, 0});
  if (!objects) return objects.error();
  const PromptMatcher matcher(filter);
  std::vector<Prompt> prompts;
  for (const ManagedObject& object : *objects) {
    std::optional<Prompt> prompt = readPromptFields(object);
    if (!prompt || !matcher.matches(*prompt)) continue;
    Result<std::vector<ManagedObject>> members = object.relatedObjects(model::kVersions);
    if (!members) return members.error();
    prompt->versions = readVersions(*members, prompt->id);
    prompts.push_back(std::move(*prompt));
  }
  return prompts;
}

// One write operation: a background task whose changes carry the application's author.
Result<void> write(platform::PersistentContainer& container,
                   const std::function<Result<void>(ManagedObjectContext&)>& change) {
  return performBackgroundTaskAndWait<void>(container, [&change](ManagedObjectContext& context) {
    context.setTransactionAuthor(std::string(kTransactionAuthor));
    if (Result<void> changed = change(context); !changed) return changed;
    return context.save();
  });
}

}  // namespace

CoreDataPromptStore::CoreDataPromptStore(std::shared_ptr<platform::PersistentContainer> container,
                                         std::shared_ptr<const platform::Clock> clock)
    : container_(std::move(container)),
      clock_(clock ? std::move(clock) : platform::SystemClock::sharedPointer()),
      actor_("Velloran.CoreDataPromptStore") {}

void CoreDataPromptStore::fetchPrompts(PromptFilter filter, Completion<std::vector<Prompt>> completion) {
  actor_.perform<std::vector<Prompt>>(
      [container = container_, filter = std::move(filter)](NoState&) -> Result<std::vector<Prompt>> {
        const std::shared_ptr<ManagedObjectContext>& viewContext = container->viewContext();
        std::optional<Result<std::vector<Prompt>>> selected;
        viewContext->performAndWait([&] { selected.emplace(readSelectedPrompts(*viewContext, filter)); });
        return std::move(*selected);
      },
      std::move(completion));
}

void CoreDataPromptStore::savePrompt(Prompt prompt, Completion<void> completion) {
  actor_.perform<void>(
      [container = container_, clock = clock_, prompt = std::move(prompt)](NoState&) {
        return write(*container, [&](ManagedObjectContext& context) -> Result<void> {
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
      [container = container_, ids = std::move(ids)](NoState&) {
        return write(*container, [&](ManagedObjectContext& context) -> Result<void> {
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
      [container = container_, clock = clock_, version = std::move(version), promptId](NoState&) {
        return write(*container, [&](ManagedObjectContext& context) -> Result<void> {
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
  actor_.perform<void>([](NoState&) -> Result<void> { return {}; }, std::move(completion));
}

}  // namespace velloran
