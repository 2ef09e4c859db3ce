#pragma once
// Import: other devices' journals, applied to this store.
//
// Reading takes one chunk (JournalFile.h) of the first journal of another device, or a conflict
// copy of any journal, that gained complete lines since the position this store applied it to, or
// of this store's own journal past where the store has applied it to (lines there are its own
// changes that it lacks: its data folder was put back from a backup);
// lines that cannot be read are skipped and named. A line may carry another device's stamp: a
// machine writes again, under their own stamps, the records a lost journal held.
// A line stamped too far ahead of this machine's clock (HybridLogicalClock::isWithinReach) is
// named too, and held: the store keeps it, and once the clock comes within reach of it, a chunk of
// the held entries that are within reach, the earliest first, comes before any journal's. So an
// entry is never passed over for good for its stamp, and never lifts this machine's clock before
// its time.
// A journal that no longer holds that position is read again from its start, this store's own
// included: lines under its name that it did not write (a copy of its disk writing under the same
// name, a sync tool putting another version of the file in its place) are applied like any others.
// Whatever such a journal, or one that is gone from the folder, had given this store may have been
// lost for the machines that never read it: applying the chunk notes the journal with the position
// it had been read to, so that the next export, unless the journal holds that position again by
// then, writes again whatever this store holds that no journal holds any more: records' current
// states with their stamps, and the lines of entries it holds (MirrorBookkeeping::journalsFoundShort,
// collectMissingFromJournals). The caller applies
// chunk after chunk, each saved on its own with its journal's new position (the caller may gather
// several such saves into one write batch, WriteBatch.h), so a backlog of any size is worked through
// in bounded memory and an interrupted import resumes where its last commit left the store.
// Applying keeps the last writer per record: an entry that does not come after the line that made
// the record's state (RecordState::writtenAfter: the later stamp, and under one stamp an order every
// machine computes alike from the lines) changes nothing, so the outcome does not depend on the
// order in which journals and chunks come in. A save makes the
// record hold the entry's state (inserting it under its record name when missing); a deletion deletes it and
// leaves its stamp behind, so an older save cannot bring it back. Deletions are not cascaded here: the
// deleting device journals every record its cascade removed, the members after their owner. A to-one link
// to a record this store has not seen is kept pending and made once that record arrives; one to a record
// known to be deleted is dropped.
// A member's deletion that went with the deletion of its owner (RecordOwners.h; JournalEntry::alone marks
// one made on its own) holds only while the owner stays deleted: an owner saved on a machine that had not
// seen its deletion, later than it, comes back with every member it had, on every machine, whatever order
// the lines arrive in and whoever wrote them. So such a deletion is not applied to a member that belongs
// here to a live owner once the chunk's entries are in; a save of a member deleted so here is applied,
// however it is stamped against that deletion, when it links the member to an owner that lives here once
// the chunk's entries are in; and an owner the chunk saves where it had been deleted gets its members
// back from their latest saves in the journals (JournalMembers.h), unless a later write of a member still
// counts here or a later deletion of it made on its own stands. So does an owner of which nothing was
// here when a member's deletion with it was met (the deletion written again into another journal), once
// it comes saved after that deletion, however many chunks later: until then the store awaits it
// (MirrorBookkeeping::ownersAwaited). What a store ends with follows from the lines alone, so nothing is
// written again for it. A member deleted on its own stays deleted whatever becomes of its owner.
//
// A chunk, its journal's position and the rest of the bookkeeping included (the export token moves
// past the earlier imports), is saved in one save with the author kMirrorImportAuthor, so the chunk reaches
// history as one transaction that is not this store's own.
// The save is refused, and the work dropped, while this store has changes of its own not yet exported, or
// when a local save touched the same records meanwhile: the caller exports first and tries again, so that a
// local change is never overwritten before other devices have had it.
//
// Runs on the mirror's queue, with a context of the mirror's own.

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/error/Result.h"
#include "platform/mirror/HybridLogicalClock.h"
#include "platform/mirror/JournalEntry.h"
#include "platform/mirror/JournalFile.h"
#include "platform/mirror/MirrorBookkeeping.h"
#include "platform/mirror/MirrorFolder.h"
#include "platform/mirror/MirrorSettings.h"
#include "platform/pstore/ManagedObjectContext.h"

namespace platform {

struct IncomingChanges {
  // In the order they are applied: by stamp, then device.
  std::vector<JournalEntry> entries;
  // The journal the chunk came from (its name) and where its reading stopped; no journal when no
  // journal had anything new.
  std::optional<std::string> journal;
  // It is this store's own journal: the position goes to where the store's writes end.
  bool ownJournal = false;
  JournalPosition next;
  // The journal no longer held the position the store had read it to (it was cut, emptied or
  // replaced), so it was read from its start.
  bool restarted = false;
  // Journals found without what this store had read from them, by name, with the position they had
  // been read to: the chunk's journal when it restarted (unless it is this store's own), and
  // journals read before that are gone from the folder (their positions are forgotten).
  std::map<std::string, JournalPosition> foundShort;
  // Why lines were skipped or held, one text per line.
  std::vector<std::string> unreadable;
  // Lines stamped too far ahead to be taken yet, for the store to hold.
  std::vector<HeldEntry> held;
  // The chunk takes held entries that came within reach (these, released from holding), and the
  // earliest stamp still held after them.
  bool releasesHeld = false;
  std::vector<HeldEntry> released;
  std::optional<std::int64_t> earliestStillHeld;
  // Every journal in the folder, where the members of an owner that comes back are looked for.
  std::vector<std::filesystem::path> journalFiles;
  // Why the first journal that could not be read failed; it was passed over, so that the journals
  // after it are read all the same.
  std::optional<Error> unreachable;
  // Set by applyIncoming: the devices whose stamps the chunk found on a line other than the one
  // that made a record's state. Under this store's own name, a copy of its disk writes as it does.
  std::vector<UUID> sharedStamps;

  bool foundAnything() const { return journal.has_value() || releasesHeld || !foundShort.empty(); }
};

Result<IncomingChanges> readIncoming(const MirrorFolder& folder, ManagedObjectContext& context,
                                     const UUID& ownDevice, const HybridLogicalClock& clock, Date now);

enum class ImportOutcome {
  Applied,
  // Nothing was saved: this store has changes to export first.
  LocalChangesFirst,
};

// `adjust`, when given, sees every object the chunk wrote or linked before the chunk is saved. The
// entries' values are moved into the objects: afterwards the entries hold no values any more.
Result<ImportOutcome> applyIncoming(IncomingChanges& incoming, ManagedObjectContext& context,
                                    HybridLogicalClock& clock, const ImportAdjustment& adjust = {});

}  // namespace platform
