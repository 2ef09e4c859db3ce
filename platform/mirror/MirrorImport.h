#pragma once
// Import: other devices' journals, applied to this store.
//
// Reading takes the complete lines each other journal gained since the offset this store applied it
// to; lines that cannot be read (or claim another device than their journal's) are skipped and
// named. Applying orders all entries by stamp, then device, so every store applies the same writes
// in the same order, and keeps the last writer per record: an entry older than the record's stamp
// changes nothing. A save makes the record hold the entry's state (inserting it under its record name
// when missing); a deletion deletes it and leaves its stamp behind, so an older save cannot bring it
// back. Deletions are not cascaded here: the deleting device journals every record its cascade
// removed. A to-one link to a record this store has not seen is kept pending and made once that
// record arrives; one to a record known to be deleted is dropped.
//
// Everything, the journal offsets and the rest of the bookkeeping included, is saved in one
// transaction with the author kMirrorImportAuthor, so the import reaches history (and the store's
// remote-change notification) as one change that is not this store's own. The save is refused, and
// the work dropped, while this store has changes of its own not yet exported, or when a local save
// touched the same records meanwhile: the caller exports first and tries again, so that a local
// change is never overwritten before other devices have had it.
//
// Runs on the mirror's queue, with a context of the mirror's own.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/error/Result.h"
#include "platform/mirror/HybridLogicalClock.h"
#include "platform/mirror/JournalEntry.h"
#include "platform/mirror/MirrorFolder.h"
#include "platform/pstore/ManagedObjectContext.h"

namespace platform {

struct IncomingChanges {
  // In the order they are applied.
  std::vector<JournalEntry> entries;
  // Per device whose journal moved: where it was read to.
  std::map<UUID, std::uint64_t> offsets;
  // Why lines were skipped, one text per line.
  std::vector<std::string> unreadable;

  bool foundAnything() const { return !offsets.empty(); }
};

Result<IncomingChanges> readIncoming(const MirrorFolder& folder, ManagedObjectContext& context,
                                     const UUID& ownDevice);

enum class ImportOutcome {
  Applied,
  // Nothing was saved: this store has changes to export first.
  LocalChangesFirst,
};

Result<ImportOutcome> applyIncoming(const IncomingChanges& incoming, ManagedObjectContext& context,
                                    HybridLogicalClock& clock);

}  // namespace platform
