#pragma once
// The whole prompt library as last read from the store, kept for listing: every stored prompt that
// reads as one (PromptObjects.h), newest `updatedAt` first as the store orders them, each with its
// title and tags folded once for search. A listing then filters in memory instead of reading and
// decoding the library again for every keystroke.
//
// A snapshot knows what it was read from: the store's identifier and change count, and the case
// folding of the locale. It is current while all three are unchanged: any commit that changes
// objects (this application's saves, mirrored imports, another context's writes) raises the count,
// a reset store has a new identifier, and a new locale may fold differently.
//
// A plain value: read it on the queue of the context it reads from; afterwards it is only read.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Velloran/data/PromptFilter.h"
#include "Velloran/data/PromptFilterMatching.h"
#include "Velloran/data/PromptList.h"
#include "Velloran/data/PromptValues.h"
#include "platform/error/Result.h"
#include "platform/identity/UUID.h"
#include "platform/pstore/ManagedObjectContext.h"
#include "platform/pstore/PersistentStore.h"
#include "platform/text/CaselessSearch.h"

namespace velloran {

class LibrarySnapshot {
 public:
  // Told of each prompt left out because its versions cannot be read, with the reason.
  using UnreadablePrompt = std::function<void(const platform::UUID& id, const platform::Error& error)>;

  // Reads every prompt with its versions in a few queries: the prompts in one, their versions
  // together; without unsaved changes in the context, as plain values, making no object. When the
  // versions cannot be read together they are read prompt by prompt, and a prompt whose versions
  // cannot be read is left out and reported to `unreadable`. Fails only when the store cannot be
  // read (also when no prompt's versions can be).
  static platform::Result<LibrarySnapshot> read(platform::ManagedObjectContext& context,
                                                platform::CaseFolding folding,
                                                const UnreadablePrompt& unreadable);

  // Whether the store still holds what was read, under the same folding.
  bool isCurrent(const platform::PersistentStore& store, platform::CaseFolding folding) const;

  // The prompts the filter selects (PromptFilterMatching.h), in the snapshot's order: the snapshot's
  // own, shared, not copies. They stay as they are for as long as anyone holds them.
  PromptList select(const PromptFilter& filter) const;
  // The tags of every prompt, in the snapshot's order, each prompt's in their stored order.
  std::vector<std::string> allTags() const;

 private:
  struct Entry {
    // Changed only while the snapshot is read; shared with listings afterwards.
    std::shared_ptr<Prompt> prompt;
    FoldedPromptTexts texts;
  };

  LibrarySnapshot(platform::UUID storeIdentifier, std::uint64_t changeCount, platform::CaseFolding folding)
      : storeIdentifier_(storeIdentifier), changeCount_(changeCount), folding_(folding) {}

  void addEntry(Prompt prompt);
  // Gives every entry its versions from `read` (the version lists of the entries at the indexes it
  // is given, or the failure), together or, when that fails, one by one.
  template <class ReadVersions>
  platform::Result<void> fillVersions(const ReadVersions& read, const UnreadablePrompt& unreadable);
  // Adds the prompts of the stored `rows` (objects or values) that read as prompts, then their
  // versions: readMembers(owners, indexes) reads the version rows of the owners at those indexes.
  template <class Owner, class ReadMembers>
  platform::Result<void> fill(std::vector<Owner> rows, const ReadMembers& readMembers,
                              const UnreadablePrompt& unreadable);

  platform::UUID storeIdentifier_;
  std::uint64_t changeCount_;
  platform::CaseFolding folding_;
  std::vector<Entry> entries_;
};

}  // namespace velloran
