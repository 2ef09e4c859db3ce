#include "Velloran/persistence/LibrarySnapshot.h"

#include <string>
#include <utility>

#include "Velloran/data/PromptFilterMatching.h"
#include "Velloran/persistence/PromptObjects.h"
#include "Velloran/persistence/VelloranModel.h"

namespace velloran {

using platform::ManagedObject;
using platform::Result;

namespace {

using VersionLists = std::vector<std::vector<PromptVersion>>;

}  // namespace

void LibrarySnapshot::addEntry(Prompt prompt) {
  FoldedPromptTexts texts(prompt, folding_);
  entries_.push_back(Entry{std::make_shared<Prompt>(std::move(prompt)), std::move(texts)});
}

template <class ReadVersions>
Result<void> LibrarySnapshot::fillVersions(const ReadVersions& read, const UnreadablePrompt& unreadable) {
  std::vector<std::size_t> all(entries_.size());
  for (std::size_t index = 0; index < all.size(); ++index) all[index] = index;
  Result<VersionLists> together = read(all);
  if (together) {
    for (std::size_t index = 0; index < entries_.size(); ++index)
      entries_[index].prompt->versions = std::move((*together)[index]);
    return {};
  }
  // Read together they fail; prompt by prompt, only the prompts whose versions cannot be read are
  // left out. When none can be read, the store cannot be read.
  std::vector<Entry> readable;
  std::vector<std::pair<platform::UUID, platform::Error>> failures;
  for (std::size_t index = 0; index < entries_.size(); ++index) {
    Result<VersionLists> one = read({index});
    if (!one) {
      failures.emplace_back(entries_[index].prompt->id, one.error());
      continue;
    }
    entries_[index].prompt->versions = std::move(one->front());
    readable.push_back(std::move(entries_[index]));
  }
  if (readable.empty()) return together.error();
  for (const auto& [id, error] : failures) unreadable(id, error);
  entries_ = std::move(readable);
  return {};
}

template <class Owner, class ReadMembers>
Result<void> LibrarySnapshot::fill(std::vector<Owner> rows, const ReadMembers& readMembers,
                                   const UnreadablePrompt& unreadable) {
  std::vector<Owner> owners;
  owners.reserve(rows.size());
  for (Owner& row : rows) {
    std::optional<Prompt> prompt = readPromptFields(row);
    if (!prompt) continue;
    owners.push_back(std::move(row));
    addEntry(std::move(*prompt));
  }
  return fillVersions(
      [&](const std::vector<std::size_t>& entries) -> Result<VersionLists> {
        auto members = readMembers(owners, entries);
        if (!members) return members.error();
        VersionLists versions;
        versions.reserve(entries.size());
        for (std::size_t position = 0; position < entries.size(); ++position)
          versions.push_back(readVersions((*members)[position], entries_[entries[position]].prompt->id));
        return versions;
      },
      unreadable);
}

Result<LibrarySnapshot> LibrarySnapshot::read(platform::ManagedObjectContext& context,
                                              platform::CaseFolding folding,
                                              const UnreadablePrompt& unreadable) {
  const std::shared_ptr<platform::PersistentStore> store =
      context.persistentStoreCoordinator()->persistentStore();
  // Noted before reading: a commit made meanwhile raises the count past it, so at worst the
  // snapshot is read once more, never kept stale. Without a store the fetch below fails with the
  // layer's own error.
  LibrarySnapshot snapshot(store ? store->identifier() : platform::UUID(), store ? store->changeCount() : 0,
                           folding);
  const platform::FetchRequest request{
      std::string(model::kPromptEntity), std::nullopt, {{std::string(model::kUpdatedAt), false}}, 0};
  Result<void> filled;
  if (!context.hasChanges()) {
    // What the store holds, read as plain values: no object is made for any of the rows.
    Result<std::vector<platform::StoredValues>> rows = context.fetchValues(request, promptFieldKeys());
    if (!rows) return rows.error();
    filled = snapshot.fill(
        std::move(*rows),
        [&](const std::vector<platform::StoredValues>& owners, const std::vector<std::size_t>& entries) {
          std::vector<platform::ObjectID> ids;
          ids.reserve(entries.size());
          for (std::size_t entry : entries) ids.push_back(owners[entry].id);
          return context.memberValues(ids, model::kVersions, versionFieldKeys());
        },
        unreadable);
  } else {
    // The context's unsaved changes are laid over the store only by reading through objects.
    Result<std::vector<ManagedObject>> objects = context.fetch(request);
    if (!objects) return objects.error();
    filled = snapshot.fill(
        std::move(*objects),
        [&](const std::vector<ManagedObject>& owners, const std::vector<std::size_t>& entries) {
          std::vector<ManagedObject> some;
          some.reserve(entries.size());
          for (std::size_t entry : entries) some.push_back(owners[entry]);
          return context.relatedObjects(some, model::kVersions);
        },
        unreadable);
  }
  if (!filled) return filled.error();
  return snapshot;
}

bool LibrarySnapshot::isCurrent(const platform::PersistentStore& store, platform::CaseFolding folding) const {
  return store.identifier() == storeIdentifier_ && store.changeCount() == changeCount_ && folding == folding_;
}

PromptList LibrarySnapshot::select(const PromptFilter& filter) const {
  const PromptMatcher matcher(filter);
  // Folded texts serve only a matcher of the same folding; should the locale have changed since the
  // store checked, the texts are matched as they are.
  const bool folded = matcher.folding() == folding_;
  PromptList selected;
  for (const Entry& entry : entries_) {
    if (folded ? matcher.matches(*entry.prompt, entry.texts) : matcher.matches(*entry.prompt))
      selected.push_back(entry.prompt);
  }
  return selected;
}

std::vector<std::string> LibrarySnapshot::allTags() const {
  std::vector<std::string> tags;
  for (const Entry& entry : entries_)
    tags.insert(tags.end(), entry.prompt->tags.begin(), entry.prompt->tags.end());
  return tags;
}

}  // namespace velloran
