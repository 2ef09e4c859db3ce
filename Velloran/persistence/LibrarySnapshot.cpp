#include "Velloran/persistence/LibrarySnapshot.h"

#include <string>
#include <utility>

#include "Velloran/data/PromptFilterMatching.h"
#include "Velloran/persistence/PromptObjects.h"
#include "Velloran/persistence/VelloranModel.h"

namespace velloran {

using platform::ManagedObject;
using platform::Result;

Result<LibrarySnapshot> LibrarySnapshot::read(platform::ManagedObjectContext& context,
                                              platform::CaseFolding folding) {
  const std::shared_ptr<platform::PersistentStore> store =
      context.persistentStoreCoordinator()->persistentStore();
  // Noted before reading: a commit made meanwhile raises the count past it, so at worst the
  // snapshot is read once more, never kept stale. Without a store the fetch below fails with the
  // layer's own error.
  LibrarySnapshot snapshot(store ? store->identifier() : platform::UUID(), store ? store->changeCount() : 0,
                           folding);

  Result<std::vector<ManagedObject>> objects = context.fetch(platform::FetchRequest{
      std::string(model::kPromptEntity), std::nullopt, {{std::string(model::kUpdatedAt), false}}, 0});
  if (!objects) return objects.error();
  std::vector<ManagedObject> owners;
  owners.reserve(objects->size());
  for (ManagedObject& object : *objects) {
    std::optional<Prompt> prompt = readPromptFields(object);
    if (!prompt) continue;
    owners.push_back(std::move(object));
    std::vector<platform::CaselessText> tags;
    tags.reserve(prompt->tags.size());
    for (const std::string& tag : prompt->tags) tags.emplace_back(tag, folding);
    platform::CaselessText title(prompt->title, folding);
    snapshot.entries_.push_back(Entry{std::move(*prompt), std::move(title), std::move(tags)});
  }
  Result<std::vector<std::vector<ManagedObject>>> members = context.relatedObjects(owners, model::kVersions);
  if (!members) return members.error();
  for (std::size_t index = 0; index < snapshot.entries_.size(); ++index) {
    Prompt& prompt = snapshot.entries_[index].prompt;
    prompt.versions = readVersions((*members)[index], prompt.id);
  }
  return snapshot;
}

bool LibrarySnapshot::isCurrent(const platform::PersistentStore& store, platform::CaseFolding folding) const {
  return store.identifier() == storeIdentifier_ && store.changeCount() == changeCount_ && folding == folding_;
}

std::vector<Prompt> LibrarySnapshot::select(const PromptFilter& filter) const {
  const PromptMatcher matcher(filter);
  // Folded texts serve only a matcher of the same folding; should the locale have changed since the
  // store checked, the texts are matched as they are.
  const bool folded = matcher.folding() == folding_;
  std::vector<Prompt> selected;
  for (const Entry& entry : entries_) {
    if (folded ? matcher.matches(entry.title, entry.tags, entry.prompt.tags, entry.prompt.type)
               : matcher.matches(entry.prompt))
      selected.push_back(entry.prompt);
  }
  return selected;
}

}  // namespace velloran
