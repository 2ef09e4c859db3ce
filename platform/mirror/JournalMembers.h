#pragma once
// The members of owners that came back (MirrorImport.h), as the journals hold them. An owner deleted
// here, its members along with it, and then saved on a machine that had not seen the deletion, gets
// its members back from their latest saves, whoever wrote them: persistent history keeps no values of
// deleted records, so the journals are where those are.
//
// Every journal is read whole, a chunk at a time. Only lines that name one of the owners, or that
// mark a deletion made alone, are decoded, so the cost is mostly that of reading the bytes. Lines
// stamped after `newest` (the newest stamp the store has taken) are passed over: they are still to be
// imported, or held, and make their own way in. A journal that cannot be read is passed over too:
// a member whose saves only it holds comes back once the import reads them (MirrorImport.h).
//
// A function of the files and the model; safe from any thread.

#include <cstdint>
#include <filesystem>
#include <map>
#include <set>
#include <vector>

#include "platform/identity/UUID.h"
#include "platform/mirror/JournalEntry.h"
#include "platform/pstore/ManagedObjectModel.h"

namespace platform {

struct JournalMembers {
  // By member: its latest save that links it to one of the owners.
  std::map<UUID, JournalEntry> saves;
  // By record: the stamp of its latest deletion made on its own (JournalEntry::alone).
  std::map<UUID, RecordStamp> deletedAlone;
};

JournalMembers findMembersInJournals(const std::vector<std::filesystem::path>& journals,
                                     const std::set<UUID>& owners, std::int64_t newest,
                                     const ManagedObjectModel& model);

}  // namespace platform
