#include "platform/mirror/MirrorExport.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <set>

#include "platform/mirror/CloudMirrorError.h"
#include "platform/mirror/JournalFile.h"
#include "platform/mirror/JournalWrites.h"
#include "platform/mirror/MirrorBookkeeping.h"
#include "platform/mirror/RecordOwners.h"
#include "platform/pstore/PersistentStoreError.h"

namespace platform {
namespace {

// History after the export token. A token the store no longer knows (the store was replaced by an
// older copy of itself) means "everything": exporting too much is harmless, too little loses data.
Result<std::vector<HistoryTransaction>> historyAfterExportToken(ManagedObjectContext& context) {
  Result<std::optional<HistoryToken>> token = MirrorBookkeeping(context).exportToken();
  if (!token) return token.error();
  Result<std::vector<HistoryTransaction>> history = context.fetchHistory(*token);
  if (!history && isPersistentStoreError(history.error(), PersistentStoreErrorCode::HistoryTokenExpired)) {
    return context.fetchHistory(std::nullopt);
  }
  return history;
}

bool isImported(const HistoryTransaction& transaction) {
  return transaction.author == kMirrorImportAuthor;
}

// The state a record has now: attributes with a readable value (or none), to-one links by the
// related record's name. A value of the wrong kind, or none where one is required (a row edited by
// another program), is left out rather than carried to other machines.
RecordFields currentFields(const ManagedObject& object) {
  RecordFields fields;
  const EntityDescription& entity = object.entity();
  for (const AttributeDescription& attribute : entity.attributes) {
    const AttributeRead read = object.value(attribute.name);
    if (read.isOtherKind() || (read.isMissing() && !attribute.optional)) continue;
    fields.attributes.emplace(attribute.name, read.value());
  }
  for (const RelationshipDescription& relationship : entity.relationships) {
    if (relationship.toMany) continue;
    std::optional<ManagedObject> related = object.relatedObject(relationship.name);
    fields.references.emplace(relationship.name,
                              related ? std::optional<UUID>(related->recordName()) : std::nullopt);
  }
  return fields;
}

using RecordKey = std::pair<std::string, UUID>;

JournalEntry saveEntry(const ManagedObject& object, const RecordStamp& stamp) {
  JournalEntry entry;
  entry.stamp = stamp;
  entry.operation = JournalEntry::Operation::Save;
  entry.entity = object.entity().name;
  entry.record = object.recordName();
  entry.fields = currentFields(object);
  return entry;
}

JournalEntry deletionEntry(const std::string& entity, const UUID& record, const RecordStamp& stamp,
                           bool alone) {
  JournalEntry entry;
  entry.stamp = stamp;
  entry.operation = JournalEntry::Operation::Delete;
  entry.entity = entity;
  entry.record = record;
  entry.alone = alone;
  return entry;
}

// The deletions of members a transaction made, with whether each was made on its own: none of the
// entities its owners are of lost a record in the same transaction. (History keeps no values of
// deleted records, so a member deleted alongside another owner of its owner's entity counts as
// deleted with its own.)
std::map<UUID, bool> memberDeletions(const HistoryTransaction& transaction, const ManagedObjectModel& model) {
  std::set<std::string> deletedEntities;
  for (const HistoryChange& change : transaction.changes) {
    if (change.type == HistoryChangeType::Delete) deletedEntities.insert(change.objectID.entityName);
  }
  std::map<UUID, bool> members;
  for (const HistoryChange& change : transaction.changes) {
    const EntityDescription* entity = model.entity(change.objectID.entityName);
    if (change.type != HistoryChangeType::Delete || !entity) continue;
    const std::vector<const RelationshipDescription*> owners = ownerRelationships(model, *entity);
    if (owners.empty()) continue;
    members[change.recordName] =
        std::none_of(owners.begin(), owners.end(), [&](const RelationshipDescription* owner) {
          return deletedEntities.count(owner->destinationEntity) > 0;
        });
  }
  return members;
}

// The objects that still bear the record names, read a few queries per entity rather than one for
// every record. Objects they link to are read along where they are among them, which holds them in
// the context while the entries are written.
struct CurrentObjects {
  std::map<RecordKey, ManagedObject> byRecord;
  // The links records wait to make (PendingReference), by record and relationship.
  std::map<std::pair<UUID, std::string>, UUID> waiting;

  Result<void> read(ManagedObjectContext& context, const std::map<std::string, std::vector<UUID>>& records) {
    for (const auto& [entityName, names] : records) {
      Result<std::map<UUID, ManagedObject>> found = context.objectsWithRecordNames(entityName, names);
      if (!found) return found.error();
      for (const auto& [name, object] : *found) {
        if (!object.isDeleted()) byRecord.emplace(RecordKey{entityName, name}, object);
      }
    }
    Result<std::vector<PendingReference>> pending = MirrorBookkeeping(context).pendingReferences();
    if (!pending) return pending.error();
    for (const PendingReference& reference : *pending)
      waiting[{reference.record, reference.key}] = reference.target;
    return {};
  }

  // A save of the object as it stands, with the links it waits to make: a link to a record that is
  // not here, not yet or no longer, stays in what every line of it says, so that a line written
  // again under its stamp is the line that made it, and a record that comes back finds its members.
  JournalEntry save(const ManagedObject& object, const RecordStamp& stamp) const {
    JournalEntry entry = saveEntry(object, stamp);
    for (auto& [key, target] : entry.fields.references) {
      auto link = waiting.find({entry.record, key});
      if (!target && link != waiting.end()) target = link->second;
    }
    return entry;
  }
};

// The records this store changed since its last export: their current state is not the one their
// stamp was drawn for.
Result<std::set<UUID>> recordsChangedSinceExport(ManagedObjectContext& context) {
  Result<std::vector<HistoryTransaction>> history = historyAfterExportToken(context);
  if (!history) return history.error();
  std::set<UUID> changed;
  for (const HistoryTransaction& transaction : *history) {
    if (isImported(transaction)) continue;
    for (const HistoryChange& change : transaction.changes) changed.insert(change.recordName);
  }
  return changed;
}

// The entries that write again the record states `states` (by record), each with the stamp it was
// written with, the device that wrote it included, in stamp order: a deletion for a deleted
// record, the current state of a live one. Deletions recorded before entities were kept cannot be
// written; they are rare and old. A live record whose state was kept before then is looked for among
// every entity's objects. A record changed here since the last export is left to the export that
// follows: what it holds now goes out under the stamp of that change, never under an earlier one,
// which would carry the change to machines that have changes stamped between the two.
Result<std::vector<JournalEntry>> entriesWritingAgain(ManagedObjectContext& context,
                                                      std::map<UUID, RecordState> states) {
  Result<std::set<UUID>> changed = recordsChangedSinceExport(context);
  if (!changed) return changed.error();
  std::erase_if(states,
                [&](const auto& state) { return !state.second.deleted && changed->count(state.first); });
  const ManagedObjectModel& model = context.persistentStoreCoordinator()->managedObjectModel();
  std::map<std::string, std::vector<UUID>> live;
  for (const auto& [record, state] : states) {
    if (state.deleted) continue;
    if (!state.entity.empty()) {
      live[state.entity].push_back(record);
      continue;
    }
    for (const EntityDescription& entity : model.entities()) live[entity.name].push_back(record);
  }
  CurrentObjects current;
  if (Result<void> read = current.read(context, live); !read) return read.error();

  std::vector<JournalEntry> entries;
  for (const auto& [record, state] : states) {
    const RecordStamp& stamp = state.stamp;
    if (state.deleted) {
      if (!state.entity.empty()) entries.push_back(deletionEntry(state.entity, record, stamp, state.alone));
      continue;
    }
    auto object = current.byRecord.find(RecordKey{state.entity, record});
    for (auto entity = model.entities().begin(); state.entity.empty() && entity != model.entities().end();
         ++entity) {
      object = current.byRecord.find(RecordKey{entity->name, record});
      if (object != current.byRecord.end()) break;
    }
    if (object != current.byRecord.end()) entries.push_back(current.save(object->second, stamp));
  }
  std::stable_sort(entries.begin(), entries.end(),
                   [](const JournalEntry& a, const JournalEntry& b) { return a.stamp < b.stamp; });
  return entries;
}

// The write a held line makes, with its line's digest: another line under the same stamp does not
// hold it, and may be the one every machine gives way to it.
RecordWrite heldWrite(const HeldEntry& entry, const ManagedObjectModel& model) {
  Result<JournalEntry> line = decodeJournalLine(entry.line, model);
  return RecordWrite{entry.record, entry.stamp,
                     line ? std::optional<std::uint64_t>(journalEntryDigest(*line)) : std::nullopt};
}

}  // namespace

Result<PendingExport> collectExport(ManagedObjectContext& context, const UUID& device,
                                    HybridLogicalClock& clock, const StampFloor& floor) {
  Result<std::vector<HistoryTransaction>> history = historyAfterExportToken(context);
  if (!history) return history.error();
  Result<std::map<UUID, std::string>> owed = MirrorBookkeeping(context).owedRecords();
  if (!owed) return owed.error();
  PendingExport pending;
  if (history->empty() && owed->empty()) return pending;
  if (!history->empty()) pending.through = history->back().token;

  // Each record's last change, where it came in the history, its stamp, and for the deletion of a
  // member whether it was made on its own.
  struct LastChange {
    HistoryChange change;
    std::size_t position;
    std::int64_t stamp;
    bool alone = false;
  };
  const ManagedObjectModel& model = context.persistentStoreCoordinator()->managedObjectModel();
  std::map<RecordKey, LastChange> lastChanges;
  std::size_t position = 0;
  for (const HistoryTransaction& transaction : *history) {
    if (isImported(transaction)) continue;
    if (transaction.token.transactionNumber > floor.madeBefore) clock.receive(floor.stamp);
    // The deletions of members come after their owners', so that a reader never meets the deletion
    // of a member before that of the owner it went with.
    const std::map<UUID, bool> members = memberDeletions(transaction, model);
    for (const bool memberPass : {false, true}) {
      for (const HistoryChange& change : transaction.changes) {
        auto member =
            change.type == HistoryChangeType::Delete ? members.find(change.recordName) : members.end();
        if ((member != members.end()) != memberPass) continue;
        // Stamped with the time of the commit, not of the export: an edit made offline an hour ago
        // must lose against a change made elsewhere since. The clock has received every stamp this
        // store had applied before the commit (imports wait for local changes to be exported first),
        // and no other, so the stamp also follows whatever the user saw when making the change.
        // Every change draws its stamp, in the order the changes were made, whether it goes out or a
        // later change of its record does: a change's stamp then follows from the changes made
        // before it alone, so a store put back from a backup stamps the changes it holds as its
        // earlier self stamped them, below every change its earlier self made after them.
        lastChanges.insert_or_assign(
            {change.objectID.entityName, change.recordName},
            LastChange{change, position++, clock.tick(transaction.timestamp), memberPass && member->second});
      }
    }
  }
  std::vector<const LastChange*> ordered;
  for (const auto& [record, last] : lastChanges) ordered.push_back(&last);
  std::sort(ordered.begin(), ordered.end(),
            [](const LastChange* a, const LastChange* b) { return a->position < b->position; });

  // Records owed since an older version's import that history changed go out with that change. One of an
  // entity the model no longer has cannot be read, and is dropped.
  std::vector<RecordKey> owedOnly;
  for (const auto& [record, entity] : *owed) {
    pending.settled.push_back(record);
    if (model.entity(entity) && !lastChanges.count({entity, record})) owedOnly.push_back({entity, record});
  }
  std::map<std::string, std::vector<UUID>> saved;
  for (const LastChange* last : ordered) {
    if (last->change.type != HistoryChangeType::Delete)
      saved[last->change.objectID.entityName].push_back(last->change.recordName);
  }
  for (const auto& [entity, record] : owedOnly) saved[entity].push_back(record);
  CurrentObjects current;
  if (Result<void> read = current.read(context, saved); !read) return read.error();

  for (const LastChange* last : ordered) {
    const RecordStamp stamp{last->stamp, device};
    if (last->change.type == HistoryChangeType::Delete) {
      pending.entries.push_back(
          deletionEntry(last->change.objectID.entityName, last->change.recordName, stamp, last->alone));
      continue;
    }
    auto object = current.byRecord.find({last->change.objectID.entityName, last->change.recordName});
    if (object != current.byRecord.end()) pending.entries.push_back(current.save(object->second, stamp));
  }
  // An owed record gone since, or without an owner now, met a change made after the owner's edit
  // (its deletion, or its owner's, which let go of it here and whose deletions of the members follow),
  // and that change stands: the record is only dropped from the debt.
  for (const RecordKey& record : owedOnly) {
    auto object = current.byRecord.find(record);
    if (object == current.byRecord.end() || ownersOf(object->second, model).empty()) continue;
    // Stamped just above every stamp seen, not at the present: it must win over the deletion it
    // answers, which the clock has received, but not over a change another machine made since.
    pending.entries.push_back(current.save(object->second, RecordStamp{clock.tickAboveSeen(), device}));
  }
  return pending;
}

Result<PendingExport> collectOwnState(ManagedObjectContext& context, const UUID& device,
                                      const std::optional<UUID>& formerDevice) {
  Result<std::map<UUID, RecordState>> states = MirrorBookkeeping(context).recordStates();
  if (!states) return states.error();
  std::erase_if(*states, [&](const auto& state) {
    return state.second.stamp.device != device && state.second.stamp.device != formerDevice;
  });
  Result<std::vector<JournalEntry>> entries = entriesWritingAgain(context, std::move(*states));
  if (!entries) return entries.error();
  PendingExport pending;
  pending.entries = std::move(*entries);
  return pending;
}

Result<PendingExport> collectMissingFromJournals(ManagedObjectContext& context,
                                                 const std::vector<std::filesystem::path>& journals,
                                                 const std::vector<UUID>& passOver) {
  MirrorBookkeeping bookkeeping(context);
  Result<std::map<UUID, RecordState>> states = bookkeeping.recordStates();
  if (!states) return states.error();
  Result<HeldEntries> held = bookkeeping.heldEntries(SIZE_MAX, SIZE_MAX);
  if (!held) return held.error();
  std::erase_if(*states, [&](const auto& state) {
    return std::find(passOver.begin(), passOver.end(), state.second.stamp.device) != passOver.end();
  });
  std::set<RecordWrite> wanted;
  for (const auto& [record, state] : *states)
    wanted.insert(RecordWrite{record, state.stamp, state.lineDigest});
  const ManagedObjectModel& model = context.persistentStoreCoordinator()->managedObjectModel();
  for (const HeldEntry& entry : held->entries) wanted.insert(heldWrite(entry, model));
  const std::set<RecordWrite> missing = writesNoJournalHolds(journals, std::move(wanted), model);

  PendingExport pending;
  if (missing.empty()) return pending;
  std::erase_if(*states, [&](const auto& state) {
    return !missing.count(RecordWrite{state.first, state.second.stamp, state.second.lineDigest});
  });
  Result<std::vector<JournalEntry>> entries = entriesWritingAgain(context, std::move(*states));
  if (!entries) return entries.error();
  pending.entries = std::move(*entries);
  for (HeldEntry& entry : held->entries) {
    if (missing.count(heldWrite(entry, model))) pending.heldLines.push_back(std::move(entry.line));
  }
  return pending;
}

Result<UnappliedOwnLines> readUnappliedOwnLines(ManagedObjectContext& context,
                                                const std::filesystem::path& journal,
                                                const HybridLogicalClock& clock, Date now) {
  Result<JournalPosition> applied = MirrorBookkeeping(context).ownJournalApplied();
  if (!applied) return applied.error();
  const ManagedObjectModel& model = context.persistentStoreCoordinator()->managedObjectModel();
  UnappliedOwnLines unapplied;
  for (JournalPosition from = *applied;;) {
    Result<JournalRead> read = readJournalLines(journal, from);
    if (!read) return read.error();
    if (read->next == from && !read->restarted) {
      unapplied.end = from;
      return unapplied;
    }
    for (const std::string& line : read->lines) {
      // A line that cannot be read is the import's to report. A stamp beyond reach is not taken: the
      // line may not be this store's own (the journal may have been replaced), and would carry its
      // clock as far ahead as it claims.
      Result<JournalEntry> entry = decodeJournalLine(line, model);
      if (entry && clock.isWithinReach(entry->stamp.clock, now))
        unapplied.newestStamp = std::max(unapplied.newestStamp, entry->stamp.clock);
    }
    from = read->next;
  }
}

Result<void> commitExport(const PendingExport& pending, ManagedObjectContext& context,
                          const std::filesystem::path& journal, const HybridLogicalClock& clock) {
  Result<AppendedExport> appended = appendExport(pending, journal, context);
  if (!appended) return appended.error();
  if (Result<void> saved = commitExportBookkeeping(pending, *appended, context, clock); !saved) return saved;
  if (appended->tooLarge) return *appended->tooLarge;
  return {};
}

Result<AppendedExport> appendExport(const PendingExport& pending, const std::filesystem::path& journal,
                                    ManagedObjectContext& context) {
  Result<JournalPosition> applied = MirrorBookkeeping(context).ownJournalApplied();
  if (!applied) return applied.error();
  AppendedExport appended;
  appended.applied = *applied;
  std::vector<std::string> lines;
  lines.reserve(pending.entries.size() + pending.heldLines.size());
  std::vector<std::string> tooLarge;
  for (const JournalEntry& entry : pending.entries) {
    std::string line = encodeJournalLine(entry);
    if (line.size() <= kJournalLineLimit) {
      lines.push_back(std::move(line));
      continue;
    }
    tooLarge.push_back(entry.entity + " " + entry.record.uuidString() + " (" + std::to_string(line.size()) +
                       " bytes)");
  }
  lines.insert(lines.end(), pending.heldLines.begin(), pending.heldLines.end());
  if (!tooLarge.empty()) {
    std::string names;
    for (const std::string& name : tooLarge) names += (names.empty() ? "" : "; ") + name;
    appended.tooLarge =
        cloudMirrorError(CloudMirrorErrorCode::EntryTooLarge,
                         "Records too large for other machines to read (over " +
                             std::to_string(kJournalLineLimit) + " bytes a line) were not written: " + names);
  }
  if (lines.empty()) return appended;
  // What the import would still read of this journal: lines this store wrote before its data
  // folder was put back from a backup. A journal that lost the applied position holds nothing the
  // import reads.
  Result<JournalRead> unapplied = readJournalLines(journal, *applied);
  if (!unapplied) return unapplied.error();
  Result<JournalPosition> end = appendJournalLines(journal, lines);
  if (!end) return end.error();
  appended.end = *end;
  // A journal that no longer holds the applied position is not the one the store applied (it was
  // emptied, or another version of it took its place): it is read from its start, since it may
  // hold what the store lacks.
  if (unapplied->restarted) {
    appended.applied = JournalPosition{};
  } else if (unapplied->lines.empty()) {
    appended.applied = *end;
  }
  return appended;
}

Result<void> commitExportBookkeeping(const PendingExport& pending, const AppendedExport& appended,
                                     ManagedObjectContext& context, const HybridLogicalClock& clock) {
  MirrorBookkeeping bookkeeping(context);
  if (appended.end) {
    bookkeeping.setOwnJournal(*appended.end);
    bookkeeping.setOwnJournalApplied(appended.applied);
  }
  if (pending.through) bookkeeping.setExportToken(*pending.through);
  for (const UUID& record : pending.settled) bookkeeping.settle(record);
  bookkeeping.setClock(clock);
  // Older writes of these records that arrive later must not undo them here. Each state keeps the
  // digest its readers compute for the line, so that a line of another writer under the same stamp
  // is decided here as it is there.
  for (const JournalEntry& entry : pending.entries) {
    const bool deletion = entry.operation == JournalEntry::Operation::Delete;
    bookkeeping.setRecordState(entry.record, RecordState{entry.stamp, deletion, entry.entity,
                                                         journalEntryDigest(entry), deletion && entry.alone});
  }
  return context.save();
}

Result<void> checkStampsWithinReach(ManagedObjectContext& context, const std::vector<JournalEntry>& written,
                                    const std::vector<UUID>& ownDevices, Date now) {
  const auto isOwn = [&](const UUID& device) {
    return std::find(ownDevices.begin(), ownDevices.end(), device) != ownDevices.end();
  };
  // Records of other machines written again carry those machines' stamps: they tell nothing of this
  // machine's clock.
  std::int64_t newest = 0;
  for (const JournalEntry& entry : written) {
    if (isOwn(entry.stamp.device)) newest = std::max(newest, entry.stamp.clock);
  }
  const std::int64_t wallClock = HybridLogicalClock::physicalStamp(now);
  std::int64_t reference = wallClock;
  if (HybridLogicalClock::isWithinReachOf(newest, reference)) return {};
  Result<std::map<UUID, RecordState>> states = MirrorBookkeeping(context).recordStates();
  if (!states) return states.error();
  // Seen from this machine alone, a wall clock set back looks like stamps that ran ahead. Only a
  // stamp of another machine close to this wall clock shows that the wall clock is right now; and
  // only such stamps can excuse this machine's lead. A machine whose clock ran ahead too stamped far
  // from this wall clock: it does not vouch for this one, nor this one for it.
  bool wallClockConfirmed = false;
  for (const auto& [record, state] : *states) {
    if (isOwn(state.stamp.device)) continue;
    if (!HybridLogicalClock::isWithinReachOf(state.stamp.clock, wallClock) ||
        !HybridLogicalClock::isWithinReachOf(wallClock, state.stamp.clock))
      continue;
    reference = std::max(reference, state.stamp.clock);
    wallClockConfirmed = true;
  }
  if (!wallClockConfirmed || HybridLogicalClock::isWithinReachOf(newest, reference)) return {};
  const std::string days = std::to_string(static_cast<int>(HybridLogicalClock::kLargestLead / 86400));
  return cloudMirrorError(CloudMirrorErrorCode::ClockAhead,
                          "Changes of this machine are stamped more than " + days +
                              " days beyond its clock and the other machines' changes: machines whose clocks "
                              "are right take them once their clocks come within " +
                              days + " days of the stamps.");
}

Result<UnexportedHistory> unexportedHistory(ManagedObjectContext& context) {
  Result<std::vector<HistoryTransaction>> history = historyAfterExportToken(context);
  if (!history) return history.error();
  UnexportedHistory unexported;
  unexported.holdsLocalChanges = std::any_of(
      history->begin(), history->end(), [](const auto& transaction) { return !isImported(transaction); });
  if (!history->empty()) unexported.through = history->back().token;
  return unexported;
}

}  // namespace platform
