#pragma once
// What the mirror remembers about a store, kept in the store's own metadata so that it is written in
// the same transaction as the changes it describes and never shows up as history:
//  - the clock: the newest stamp this store issued or saw, and the latest reading of its wall clock;
//  - the export token: how far this store's history has been written to its journal;
//  - the device this store writes as (the store's identifier until a copy of the data folder
//    takes a new one) and where it was last seen (machine and store file): a copy turns up
//    elsewhere;
//  - how far its own journal goes, as it last wrote it: a journal that no longer holds that was
//    emptied, rolled back or lost, and gets this store's state again; and whether a run found lines
//    past it that it did not write;
//  - how far this store has applied its own journal: where it wrote up to, unless its data folder
//    was put back from a backup and the journal holds lines it wrote since, which it has yet to
//    apply (an export appends after them without moving this);
//  - per journal file of other devices, how far it has been applied;
//  - the journals found without what this store had read from them (cut, emptied, replaced or
//    gone), each with the position it had been read to: unless the journal holds that again by the
//    next export (a sync tool rewriting it in place leaves it short for a moment), what this store
//    holds that no journal holds any more (records' states, held entries) is written again into its
//    journal, with the stamps it was written with, for the machines that never read those lines;
//  - per record, the stamp of the write that made its current state (or deleted it), with the
//    record's entity and the digest of that write's line: the last-writer-wins rule compares
//    incoming writes with it (RecordState::writtenAfter). Kept as the
//    store's per-record metadata (an import writes one for every record it applies); stores of
//    older versions kept them among the metadata texts, whence adoptTextRecordStates moves them;
//  - references to records not seen yet, to be linked once they arrive;
//  - the records owed the others, with their entity, until an export has written them again or found
//    them gone: members whose deletion an import of an older version passed over because their owner
//    was saved after it (this version keeps such members by rule, on every machine: MirrorImport.h);
//  - other machines' entries stamped too far ahead to be taken yet, as their lines, with the
//    earliest of their stamps: taken once this machine's clock comes within reach of them.
// A store created afresh has none of it, so it exports its whole history and imports every journal
// from the start. A value that cannot be read counts as absent: redoing work is harmless, since
// applying an entry twice changes nothing.
//
// A view over one context: reads see the context's staged values; writes are staged in the context
// and committed by its next save. Used on the mirror's queue only.

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "platform/error/Result.h"
#include "platform/mirror/HybridLogicalClock.h"
#include "platform/mirror/JournalEntry.h"
#include "platform/mirror/JournalFile.h"
#include "platform/pstore/ManagedObjectContext.h"
#include "platform/pstore/PersistentHistory.h"

namespace platform {

struct RecordState {
  RecordStamp stamp;
  bool deleted = false;
  // Empty in states kept before entities were recorded.
  std::string entity;
  // The digest of the line that made the state (journalEntryDigest); nullopt in states kept before
  // digests were recorded.
  std::optional<std::uint64_t> lineDigest;

  // Whether the line that makes `state` wins over the one that made `kept`: the order of lines is
  // the same on every machine, whichever line it read first. The later stamp wins; under one stamp
  // (copies of one disk writing under one name from one clock, a damaged journal) a deletion wins
  // over a save, then the larger digest. A state kept without a digest gives way to every line of
  // its stamp and kind: the same line applied again changes nothing, and another one decides from
  // then on. A line never wins over itself, so applying it twice changes nothing.
  static bool writtenAfter(const RecordState& state, const RecordState& kept) {
    return std::tie(kept.stamp, kept.deleted, kept.lineDigest) <
           std::tie(state.stamp, state.deleted, state.lineDigest);
  }
  // Whether `state` and `kept` come from two different lines under one stamp. Only a state kept
  // with its digest can tell.
  static bool sharesStampWithAnotherLine(const RecordState& state, const RecordState& kept) {
    return state.stamp == kept.stamp && kept.lineDigest &&
           std::tie(state.deleted, state.lineDigest) != std::tie(kept.deleted, kept.lineDigest);
  }
  // A member deleted on its own (JournalEntry::alone); false in states kept by older versions.
  bool alone = false;

  friend bool operator==(const RecordState&, const RecordState&) = default;
};

// `record` (of `entity`) links to `target` through its to-one relationship `key` once `target` is here.
struct PendingReference {
  std::string entity;
  UUID record;
  std::string key;
  UUID target;

  friend bool operator==(const PendingReference&, const PendingReference&) = default;
};

// An entry of another machine's journal held until this machine's clock comes within reach of
// its stamp (HybridLogicalClock::isWithinReach): its line as read, and that line's digest
// (journalLineDigest), which keeps two different lines under one stamp apart; nullopt for entries
// held before digests were kept.
struct HeldEntry {
  RecordStamp stamp;
  UUID record;
  std::string line;
  std::optional<std::uint64_t> lineDigest = std::nullopt;
};

// A step through the held entries: the earliest ones, and the stamp of the entry held after them
// (nullopt when none is), with how many entries whose key cannot be read the step dropped.
struct HeldEntries {
  std::vector<HeldEntry> entries;
  std::optional<std::int64_t> nextClock;
  std::size_t unreadableKeys = 0;
};

class MirrorBookkeeping {
 public:
  explicit MirrorBookkeeping(ManagedObjectContext& context) : context_(context) {}

  Result<HybridLogicalClock> clock() const;
  void setClock(const HybridLogicalClock& clock);

  Result<std::optional<HistoryToken>> exportToken() const;
  void setExportToken(const HistoryToken& token);

  Result<std::optional<UUID>> device() const;
  void setDevice(const UUID& device);
  Result<std::optional<std::string>> home() const;
  void setHome(const std::string& home);

  Result<std::optional<JournalPosition>> ownJournal() const;
  void setOwnJournal(const JournalPosition& position);
  // Whether a run found lines past where this store had written its journal up to: its earlier
  // self's, after its data folder was put back from a backup, or those of a copy of its disk writing
  // under its name.
  Result<bool> metLinesItDidNotWrite() const;
  void setMetLinesItDidNotWrite(bool met);
  // Where the store wrote up to when it keeps no position of its own (stores of older versions);
  // the journal's start when it has written nothing there.
  Result<JournalPosition> ownJournalApplied() const;
  void setOwnJournalApplied(const JournalPosition& position);

  // Stores of older versions passed over, for good, the entries stamped far ahead of the machine's
  // clock; they kept a clock but no reading of the wall clock. Such a store reads every other
  // device's journal once more from its start (applying an entry twice changes nothing), so that
  // those entries are held like any others now. Staged for the next save, which also marks the
  // store as read so.
  Result<void> readJournalsAgainAfterOlderVersions();

  // Per journal file, by its name without extension.
  Result<JournalPosition> journalPosition(const std::string& journal) const;
  void setJournalPosition(const std::string& journal, const JournalPosition& position);

  // Every journal a position is kept for, by name, with its position.
  Result<std::map<std::string, JournalPosition>> journalPositions() const;
  void forgetJournalPosition(const std::string& journal);

  // The journals found without what was read from them (see above), by name, with the position
  // each had been read to. A journal noted again keeps the position it was first noted with.
  Result<std::map<std::string, JournalPosition>> journalsFoundShort() const;
  void noteJournalFoundShort(const std::string& journal, const JournalPosition& readTo);
  void forgetJournalFoundShort(const std::string& journal);

  Result<std::optional<RecordState>> recordState(const UUID& record) const;
  void setRecordState(const UUID& record, const RecordState& state);
  // Every record's state, this context's unsaved ones included.
  Result<std::map<UUID, RecordState>> recordStates() const;
  // The states of these records, read together (records without one are left out).
  Result<std::map<UUID, RecordState>> recordStates(const std::vector<UUID>& records) const;
  // Moves record states kept as metadata texts into per-record metadata (where a record has both,
  // the later stamp stays), staged for the next save.
  Result<void> adoptTextRecordStates();

  Result<std::vector<PendingReference>> pendingReferences() const;
  void setPendingReferences(const std::vector<PendingReference>& references);

  // The owners members here wait for: a member's save older than its deletion with its owner, met
  // while nothing of the owner was here, comes back once the owner is saved after that deletion.
  // By owner, the stamp of the latest such deletion.
  Result<std::map<UUID, RecordStamp>> ownersAwaited() const;
  void setOwnersAwaited(const std::map<UUID, RecordStamp>& owners);

  // The records owed, with their entity, by record.
  Result<std::map<UUID, std::string>> owedRecords() const;
  void settle(const UUID& record);

  // The earliest held entries, in the order of their stamps (an entry held twice is kept once): at
  // most `limit`, and no more of them than fit in `byteLimit` bytes of lines (the first whatever
  // its length), so that a step through many held entries reads only what it takes. An entry whose
  // key cannot be read is dropped where it is met, staged for the next save, and counted.
  Result<HeldEntries> heldEntries(std::size_t limit, std::size_t byteLimit);
  void hold(const HeldEntry& entry);
  void release(const HeldEntry& entry);
  // The earliest stamp held; nullopt when nothing is.
  Result<std::optional<std::int64_t>> earliestHeld() const;
  void setEarliestHeld(std::optional<std::int64_t> clock);

 private:
  // The journal positions kept under `prefix`, by the rest of their key; `unreadable` for one that
  // cannot be read.
  Result<std::map<std::string, JournalPosition>> positionsUnder(const std::string& prefix,
                                                                const JournalPosition& unreadable) const;

  ManagedObjectContext& context_;
};

}  // namespace platform
