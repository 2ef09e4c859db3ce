#pragma once
// Which writes the journals in the mirror folder hold: what a store checks before it writes again
// what a journal lost, so that a write some journal still holds (the journal's own device wrote it
// again, or another reader did) is not written by every reader once more.
//
// A write is a record with the stamp it was written with and, where known, its line's digest: a
// stamp names one write of a record unless two different lines share it (RecordState::writtenAfter).
// A journal holds a write when a complete line of it that any machine can read (JournalEntry.h)
// carries that record and stamp, and that digest where one is given; a line that names them but cannot be
// read holds nothing, since no machine applies it. Every line is read whole: reading the files costs about as
// much as that.
//
// Reads each journal a chunk at a time (JournalFile.h). A journal that cannot be read holds nothing:
// writing again what it may hold costs lines, taking it for held could lose them. A pure function;
// safe from any thread.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <set>
#include <vector>

#include "platform/identity/UUID.h"
#include "platform/mirror/JournalEntry.h"
#include "platform/pstore/ManagedObjectModel.h"

namespace platform {

struct RecordWrite {
  UUID record;
  RecordStamp stamp;
  // The digest of the line that made it (journalEntryDigest): of two lines under one stamp only
  // that one holds it. nullopt: any line of the record under the stamp holds it.
  std::optional<std::uint64_t> lineDigest = std::nullopt;

  friend auto operator<=>(const RecordWrite&, const RecordWrite&) = default;
};

// Of `writes`, those that none of `journals` holds.
std::set<RecordWrite> writesNoJournalHolds(const std::vector<std::filesystem::path>& journals,
                                           std::set<RecordWrite> writes, const ManagedObjectModel& model);

}  // namespace platform
