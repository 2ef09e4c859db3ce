#include "platform/mirror/MirrorImport.h"

#include <algorithm>
#include <map>
#include <set>
#include <unordered_map>
#include <utility>

#include "platform/mirror/JournalFile.h"
#include "platform/mirror/JournalMembers.h"
#include "platform/mirror/MirrorBookkeeping.h"
#include "platform/mirror/MirrorExport.h"
#include "platform/mirror/RecordOwners.h"
#include "platform/pstore/PersistentStoreError.h"

namespace platform {
namespace {

// One import's work in its context: the objects it has looked up or made, the references still
// waiting for their target, and the owners members wait for.
class ImportBatch {
 public:
  ImportBatch(ManagedObjectContext& context, std::vector<PendingReference> pending,
              std::map<UUID, RecordStamp> ownersAwaited)
      : context_(context),
        model_(context.persistentStoreCoordinator()->managedObjectModel()),
        bookkeeping_(context),
        pending_(std::move(pending)),
        ownersAwaited_(std::move(ownersAwaited)) {}

  // Reads the state and the object of every record that the entries and the pending references
  // name, a few queries in all rather than two for each record.
  Result<void> prefetch(const std::vector<JournalEntry>& entries) {
    std::vector<UUID> records;
    std::map<std::string, std::vector<UUID>> recordsByEntity;
    const auto wanted = [&](const std::string& entity, const UUID& record) {
      records.push_back(record);
      recordsByEntity[entity].push_back(record);
    };
    for (const JournalEntry& entry : entries) {
      wanted(entry.entity, entry.record);
      for (const auto& [key, target] : entry.fields.references) {
        if (target) wanted(destination(entry.entity, key), *target);
      }
    }
    for (const PendingReference& reference : pending_) {
      wanted(reference.entity, reference.record);
      wanted(destination(reference.entity, reference.key), reference.target);
    }
    const auto distinct = [](std::vector<UUID>& values) {
      std::sort(values.begin(), values.end());
      values.erase(std::unique(values.begin(), values.end()), values.end());
    };
    distinct(records);
    Result<std::map<UUID, RecordState>> states = bookkeeping_.recordStates(records);
    if (!states) return states.error();
    for (const UUID& record : records) {
      auto found = states->find(record);
      states_[record] = found == states->end() ? std::nullopt : std::optional<RecordState>(found->second);
    }
    for (auto& [entity, names] : recordsByEntity) {
      distinct(names);
      Result<std::map<UUID, ManagedObject>> objects = context_.objectsWithRecordNames(entity, names);
      if (!objects) return objects.error();
      for (const UUID& name : names) {
        auto found = objects->find(name);
        objects_[key(entity, name)] = found == objects->end() || found->second.isDeleted()
                                          ? std::nullopt
                                          : std::optional<ManagedObject>(found->second);
      }
    }
    return {};
  }

  Result<void> apply(JournalEntry& entry) {
    Result<std::optional<RecordState>> state = recordState(entry.record);
    if (!state) return state.error();
    Result<bool> ownerLives = savedForLiveOwner(entry, *state);
    if (!ownerLives) return ownerLives.error();
    if (*state && !*ownerLives) {
      if (entry.stamp < (*state)->stamp) {
        // Its owner may come later in the chunk, saved after the deletion that took the member along:
        // decided once the chunk's entries are in, as the owner's later save keeps the whole record.
        if (savesMemberDeletedWithOwner(entry, **state)) deferred_.push_back(entry);
        return {};
      }
      // Under one stamp the order of lines decides (RecordState::writtenAfter), as on every machine.
      if (entry.stamp == (*state)->stamp) {
        const RecordState written = stateWrittenBy(entry);
        if (RecordState::sharesStampWithAnotherLine(written, **state)) noteSharedStamp(entry.stamp.device);
        if (!RecordState::writtenAfter(written, **state)) return {};
      }
    }
    const bool deletion = entry.operation == JournalEntry::Operation::Delete;
    if (deletion && !entry.alone) {
      Result<bool> owned = belongsToLiveOwner(entry.entity, entry.record);
      if (!owned) return owned.error();
      if (*owned) {
        // Decided once the chunk's entries are in: the owner's deletion may come later in the chunk.
        deferred_.push_back(entry);
        return {};
      }
    }
    if (!deletion && *state && (*state)->deleted && ownsMembers(model_, *model_.entity(entry.entity)))
      returned_.insert(entry.record);
    if (membersAwait(entry)) returned_.insert(entry.record);
    return write(entry);
  }

  // Applies the deletions that went with an owner's deletion and were put off while the owner lived
  // here: those whose owner the chunk deleted since. The rest lost with the owner's deletion, as the
  // owner's later save keeps the whole record. Applies, too, the saves of members deleted with their
  // owner that were put off while the owner was not here: those whose owner the chunk saved since.
  // The owners of the others that nothing of is here yet are awaited: a later chunk may bring the
  // owner saved after the deletion, and with it its members from the journals (bringBackMembers).
  // (An owner deleted here comes back that way already.)
  Result<void> applyDeferred() {
    for (JournalEntry& entry : std::exchange(deferred_, {})) {
      if (Result<void> applied = apply(entry); !applied) return applied;
    }
    for (const JournalEntry& entry : std::exchange(deferred_, {})) {
      if (entry.operation != JournalEntry::Operation::Save) continue;
      Result<std::optional<RecordState>> deletion = recordState(entry.record);
      if (!deletion) return deletion.error();
      if (!*deletion) continue;
      for (const auto& [relationship, owner] : ownersNamedBy(entry)) {
        if (Result<void> awaited = awaitOwner(owner, (*deletion)->stamp); !awaited) return awaited;
      }
    }
    return {};
  }

  // Gives the owners that came back in this chunk, and still live, their members back: for each
  // member, its latest save in `journals` (JournalMembers.h) unless a write of it that still counts
  // here, or a deletion of it made on its own, is later. A deletion that went with the owner's does
  // not count once the owner lives.
  Result<void> bringBackMembers(const std::vector<std::filesystem::path>& journals, std::int64_t newest) {
    std::set<UUID> owners;
    for (const UUID& owner : std::exchange(returned_, {})) {
      Result<std::optional<RecordState>> state = recordState(owner);
      if (!state) return state.error();
      if (*state && !(*state)->deleted) owners.insert(owner);
    }
    if (owners.empty()) return {};
    JournalMembers members = findMembersInJournals(journals, owners, newest, model_);
    for (auto& [member, save] : members.saves) {
      auto alone = members.deletedAlone.find(member);
      if (alone != members.deletedAlone.end() && save.stamp < alone->second) continue;
      Result<std::optional<RecordState>> state = recordState(member);
      if (!state) return state.error();
      const bool counts = *state && (!(*state)->deleted || (*state)->alone);
      // The same save is written again: the member may be here without its link to the owner.
      if (counts && RecordState::writtenAfter(**state, stateWrittenBy(save))) continue;
      if (Result<void> written = write(save); !written) return written;
    }
    return {};
  }

  // Makes the links whose target is here; drops those of records that are gone or linked elsewhere
  // by a change made here. A link to a record deleted here waits too: the record may come back (a
  // later save of it wins), and its members with it.
  Result<void> resolvePending() {
    std::vector<PendingReference> waiting;
    for (const PendingReference& reference : pending_) {
      Result<std::optional<ManagedObject>> source = find(reference.entity, reference.record);
      if (!source) return source.error();
      // A record that is gone, or that a change made here has linked elsewhere since, waits no more.
      if (!*source || (*source)->relatedObject(reference.key)) continue;
      Result<std::optional<ManagedObject>> target =
          find(destination(reference.entity, reference.key), reference.target);
      if (!target) return target.error();
      if (*target) {
        (*source)->setRelatedObject(reference.key, *target);
        written_.push_back(**source);
      } else {
        waiting.push_back(reference);
      }
    }
    bookkeeping_.setPendingReferences(waiting);
    return {};
  }

  // Keeps the owners members wait for, when this batch changed them.
  void keepOwnersAwaited() {
    if (ownersAwaitedChanged_) bookkeeping_.setOwnersAwaited(ownersAwaited_);
  }

  // Every object this batch wrote or linked, in order, perhaps more than once.
  const std::vector<ManagedObject>& written() const { return written_; }
  // The devices whose stamps the batch found on two different lines of a record.
  const std::vector<UUID>& sharedStamps() const { return sharedStamps_; }

 private:
  // By the model's entity and the record name: looked up several times for every entry.
  using Key = std::pair<const EntityDescription*, UUID>;
  struct KeyHash {
    std::size_t operator()(const Key& key) const {
      return std::hash<UUID>()(key.second) ^ std::hash<const EntityDescription*>()(key.first);
    }
  };
  Key key(std::string_view entity, const UUID& record) const { return {model_.entity(entity), record}; }

  // Makes the record hold what `entry` says, whatever it held: the entry wins.
  // The state a line leaves its record in.
  static RecordState stateWrittenBy(const JournalEntry& entry) {
    const bool deletion = entry.operation == JournalEntry::Operation::Delete;
    return RecordState{entry.stamp, deletion, entry.entity, journalEntryDigest(entry),
                       deletion && entry.alone};
  }

  Result<void> write(JournalEntry& entry) {
    const RecordState written = stateWrittenBy(entry);
    const bool deletion = written.deleted;
    bookkeeping_.setRecordState(entry.record, written);
    states_[entry.record] = written;
    // This write replaces whatever the record was waiting for. A member deleted with an owner it
    // still waits for awaits that owner instead: it may come saved after the deletion, and bring the
    // member back.
    const auto waited = std::stable_partition(
        pending_.begin(), pending_.end(),
        [&](const PendingReference& reference) { return reference.record != entry.record; });
    if (deletion && !entry.alone) {
      for (auto reference = waited; reference != pending_.end(); ++reference) {
        if (!isOwnerRelationship(*reference)) continue;
        if (Result<void> awaited = awaitOwner(reference->target, entry.stamp); !awaited) return awaited;
      }
    }
    pending_.erase(waited, pending_.end());

    Result<std::optional<ManagedObject>> found = find(entry.entity, entry.record);
    if (!found) return found.error();
    std::optional<ManagedObject> object = *found;
    if (deletion) return object ? remove(entry.entity, entry.record, *object) : Result<void>();
    if (!object) {
      object = context_.insertNewObject(entry.entity, entry.record);
      objects_[key(entry.entity, entry.record)] = object;
    }
    written_.push_back(*object);
    for (auto& [name, value] : entry.fields.attributes) object->setValue(name, std::move(value));
    for (const auto& [name, target] : entry.fields.references) {
      if (Result<void> linked = link(entry.entity, entry.record, *object, name, target); !linked)
        return linked;
    }
    return {};
  }

  // Whether `record` is a member that belongs here to an owner (RecordOwners.h).
  Result<bool> belongsToLiveOwner(const std::string& entity, const UUID& record) {
    if (ownerRelationships(model_, *model_.entity(entity)).empty()) return false;
    Result<std::optional<ManagedObject>> found = find(entity, record);
    if (!found) return found.error();
    return *found && !ownersOf(**found, model_).empty();
  }

  // Whether `entry` saves a member whose deletion here went with its owner's, and links it to an owner
  // that lives here: the owner's deletion lost, and the member's with it, so the save holds however
  // it is stamped against that deletion. (A save of the member's that is later still comes after it.)
  Result<bool> savedForLiveOwner(const JournalEntry& entry, const std::optional<RecordState>& state) {
    if (!state || !savesMemberDeletedWithOwner(entry, *state)) return false;
    for (const auto& [relationship, target] : ownersNamedBy(entry)) {
      Result<std::optional<ManagedObject>> owner = find(relationship->destinationEntity, target);
      if (!owner) return owner.error();
      if (*owner) return true;
    }
    return false;
  }

  // Whether `entry` saves a member, linked to an owner, whose deletion here (`state`) went with its
  // owner's.
  bool savesMemberDeletedWithOwner(const JournalEntry& entry, const RecordState& state) const {
    return entry.operation == JournalEntry::Operation::Save && state.deleted && !state.alone &&
           !ownersNamedBy(entry).empty();
  }

  // The owners `entry` links its record to, with the relationship of each.
  std::vector<std::pair<const RelationshipDescription*, UUID>> ownersNamedBy(
      const JournalEntry& entry) const {
    std::vector<std::pair<const RelationshipDescription*, UUID>> owners;
    for (const RelationshipDescription* relationship :
         ownerRelationships(model_, *model_.entity(entry.entity))) {
      auto target = entry.fields.references.find(relationship->name);
      if (target != entry.fields.references.end() && target->second)
        owners.emplace_back(relationship, *target->second);
    }
    return owners;
  }

  // Awaits `owner`, of which nothing is here yet, for a member deleted with it under `deletion`.
  Result<void> awaitOwner(const UUID& owner, const RecordStamp& deletion) {
    Result<std::optional<RecordState>> state = recordState(owner);
    if (!state) return state.error();
    if (*state) return {};
    auto [awaited, added] = ownersAwaited_.try_emplace(owner, deletion);
    if (!added) awaited->second = std::max(awaited->second, deletion);
    ownersAwaitedChanged_ = true;
    return {};
  }

  bool isOwnerRelationship(const PendingReference& reference) const {
    const std::vector<const RelationshipDescription*> owners =
        ownerRelationships(model_, *model_.entity(reference.entity));
    return std::any_of(owners.begin(), owners.end(), [&](const RelationshipDescription* relationship) {
      return relationship->name == reference.key;
    });
  }

  // Whether members wait for the record `entry` writes, to come back with a save of it made after
  // their deletion. A write of it ends their wait: a deletion of it leaves the record deleted here, so
  // its later save brings them back as any deleted owner's does.
  bool membersAwait(const JournalEntry& entry) {
    auto awaited = ownersAwaited_.find(entry.record);
    if (awaited == ownersAwaited_.end()) return false;
    const bool deletion = entry.operation == JournalEntry::Operation::Delete;
    if (!deletion && entry.stamp < awaited->second) return false;
    ownersAwaited_.erase(awaited);
    ownersAwaitedChanged_ = true;
    return !deletion;
  }

  void noteSharedStamp(const UUID& device) {
    if (std::find(sharedStamps_.begin(), sharedStamps_.end(), device) == sharedStamps_.end())
      sharedStamps_.push_back(device);
  }

  Result<std::optional<RecordState>> recordState(const UUID& record) const {
    if (auto known = states_.find(record); known != states_.end()) return known->second;
    return bookkeeping_.recordState(record);
  }

  Result<std::optional<ManagedObject>> find(const std::string& entity, const UUID& record) {
    const Key wanted = key(entity, record);
    if (auto known = objects_.find(wanted); known != objects_.end()) return known->second;
    Result<std::optional<ManagedObject>> found = context_.objectWithRecordName(entity, record);
    if (!found) return found.error();
    if (*found && (*found)->isDeleted()) *found = std::nullopt;
    objects_[wanted] = *found;
    return *found;
  }

  const std::string& destination(const std::string& entity, const std::string& key) const {
    return model_.entity(entity)->relationship(key)->destinationEntity;
  }

  Result<void> link(const std::string& entity, const UUID& record, ManagedObject& object,
                    const std::string& key, const std::optional<UUID>& target) {
    if (!target) {
      object.setRelatedObject(key, std::nullopt);
      return {};
    }
    Result<std::optional<ManagedObject>> related = find(destination(entity, key), *target);
    if (!related) return related.error();
    object.setRelatedObject(key, *related);
    if (!*related) pending_.push_back(PendingReference{entity, record, key, *target});
    return {};
  }

  static Result<std::vector<ManagedObject>> relatedObjects(const ManagedObject& object,
                                                           const RelationshipDescription& relationship) {
    if (relationship.toMany) return object.relatedObjects(relationship.name);
    std::vector<ManagedObject> related;
    if (std::optional<ManagedObject> one = object.relatedObject(relationship.name)) related.push_back(*one);
    return related;
  }

  // The records a cascade would take along are governed by their own entries, so they are let go
  // of before the deletion rather than deleted with it; their links to the record wait for it to come
  // back, as the lines that made them still say.
  Result<void> remove(const std::string& entity, const UUID& record, ManagedObject& object) {
    for (const RelationshipDescription& relationship : model_.entity(entity)->relationships) {
      if (relationship.deleteRule != DeleteRule::Cascade) continue;
      Result<std::vector<ManagedObject>> members = relatedObjects(object, relationship);
      if (!members) return members.error();
      const RelationshipDescription* inverse =
          model_.entity(relationship.destinationEntity)->relationship(relationship.inverseRelationship);
      for (const ManagedObject& member : *members) {
        if (inverse && !inverse->toMany)
          pending_.push_back(
              PendingReference{relationship.destinationEntity, member.recordName(), inverse->name, record});
      }
      if (relationship.toMany) {
        if (Result<void> detached = object.setRelatedObjects(relationship.name, {}); !detached)
          return detached;
      } else {
        object.setRelatedObject(relationship.name, std::nullopt);
      }
    }
    context_.deleteObject(object);
    objects_[key(entity, record)] = std::nullopt;
    return {};
  }

  ManagedObjectContext& context_;
  const ManagedObjectModel& model_;
  MirrorBookkeeping bookkeeping_;
  std::vector<PendingReference> pending_;
  std::map<UUID, RecordStamp> ownersAwaited_;
  bool ownersAwaitedChanged_ = false;
  std::unordered_map<Key, std::optional<ManagedObject>, KeyHash> objects_;
  // The records' states as this batch leaves them, where known.
  std::unordered_map<UUID, std::optional<RecordState>> states_;
  std::vector<ManagedObject> written_;
  std::vector<UUID> sharedStamps_;
  // Deletions, and saves of members, put off until the chunk's entries are in (apply).
  std::vector<JournalEntry> deferred_;
  // Owners the chunk saved where they had been deleted, or that members awaited.
  std::set<UUID> returned_;
};

// Stages the chunk's held and released entries, and the earliest stamp held after them.
Result<void> holdAndRelease(const IncomingChanges& incoming, MirrorBookkeeping& bookkeeping) {
  if (!incoming.releasesHeld && incoming.held.empty()) return {};
  for (const HeldEntry& entry : incoming.released) bookkeeping.release(entry);
  std::optional<std::int64_t> earliest = incoming.earliestStillHeld;
  if (!incoming.releasesHeld) {
    Result<std::optional<std::int64_t>> stored = bookkeeping.earliestHeld();
    if (!stored) return stored.error();
    earliest = *stored;
  }
  for (const HeldEntry& entry : incoming.held) {
    bookkeeping.hold(entry);
    earliest = std::min(earliest.value_or(entry.stamp.clock), entry.stamp.clock);
  }
  bookkeeping.setEarliestHeld(earliest);
  return {};
}

// Takes the held entries that came within reach into `incoming`, the earliest first, as many as a
// journal chunk holds (by its lines and its bytes), reading no more of them. Answers whether any
// were due.
Result<bool> releaseHeld(MirrorBookkeeping& bookkeeping, const ManagedObjectModel& model,
                         const HybridLogicalClock& clock, Date now, IncomingChanges& incoming) {
  Result<std::optional<std::int64_t>> earliest = bookkeeping.earliestHeld();
  if (!earliest) return earliest.error();
  if (!*earliest || !clock.isWithinReach(**earliest, now)) return false;
  Result<HeldEntries> held = bookkeeping.heldEntries(kJournalChunkLines, kJournalChunkBytes);
  if (!held) return held.error();
  incoming.releasesHeld = true;
  incoming.earliestStillHeld = held->nextClock;
  incoming.unreadable.insert(incoming.unreadable.end(), held->unreadableKeys,
                             "a held entry whose key cannot be read");
  for (HeldEntry& entry : held->entries) {
    if (!clock.isWithinReach(entry.stamp.clock, now)) {
      incoming.earliestStillHeld = entry.stamp.clock;
      break;
    }
    Result<JournalEntry> decoded = decodeJournalLine(entry.line, model);
    if (!decoded) {
      incoming.unreadable.push_back("a held entry: " + decoded.error().description);
    } else if (decoded->stamp != entry.stamp || decoded->record != entry.record) {
      incoming.unreadable.push_back("a held entry that does not match its line");
    } else {
      incoming.entries.push_back(std::move(*decoded));
    }
    entry.line.clear();
    incoming.released.push_back(std::move(entry));
  }
  return true;
}

// The journals this store has read from that are gone from the folder, with where it had read them to.
Result<std::map<std::string, JournalPosition>> goneJournals(
    const std::vector<MirrorFolder::Journal>& journals, const MirrorBookkeeping& bookkeeping) {
  Result<std::map<std::string, JournalPosition>> positions = bookkeeping.journalPositions();
  if (!positions) return positions.error();
  std::erase_if(*positions, [&](const auto& position) {
    return std::any_of(journals.begin(), journals.end(),
                       [&](const MirrorFolder::Journal& journal) { return journal.name == position.first; });
  });
  return positions;
}

// Stages what a chunk tells of journals found without what this store had read from them: each is
// noted for the next export, and those gone from the folder have their positions forgotten.
Result<void> noteJournalsFoundShort(const IncomingChanges& incoming, MirrorBookkeeping& bookkeeping) {
  if (incoming.foundShort.empty()) return {};
  Result<std::map<std::string, JournalPosition>> noted = bookkeeping.journalsFoundShort();
  if (!noted) return noted.error();
  for (const auto& [name, readTo] : incoming.foundShort) {
    if (name != incoming.journal) bookkeeping.forgetJournalPosition(name);
    // Nothing had been read from it: nothing was lost.
    if (readTo.offset == 0) continue;
    // Noted before: it was read to the earlier position, which holds more.
    if (!noted->count(name)) bookkeeping.noteJournalFoundShort(name, readTo);
  }
  return {};
}

}  // namespace

Result<IncomingChanges> readIncoming(const MirrorFolder& folder, ManagedObjectContext& context,
                                     const UUID& ownDevice, const HybridLogicalClock& clock, Date now) {
  const ManagedObjectModel& model = context.persistentStoreCoordinator()->managedObjectModel();
  MirrorBookkeeping bookkeeping(context);
  Result<std::vector<MirrorFolder::Journal>> journals = folder.journals();
  if (!journals) return journals.error();
  IncomingChanges incoming;
  for (const MirrorFolder::Journal& journal : *journals) incoming.journalFiles.push_back(journal.path);
  Result<bool> released = releaseHeld(bookkeeping, model, clock, now, incoming);
  if (!released) return released.error();
  if (*released) return incoming;
  Result<std::map<std::string, JournalPosition>> gone = goneJournals(*journals, bookkeeping);
  if (!gone) return gone.error();
  incoming.foundShort = std::move(*gone);
  for (const MirrorFolder::Journal& journal : *journals) {
    // This store's own journal is read after where the store has applied it to: lines beyond are
    // its own changes that it lacks (its data folder was put back from a backup). A copy of the
    // journal is read like any other (it was carried elsewhere).
    const bool own = journal.name == ownDevice.uuidString();
    Result<JournalPosition> position =
        own ? bookkeeping.ownJournalApplied() : bookkeeping.journalPosition(journal.name);
    if (!position) return position.error();
    Result<JournalRead> read = readJournalLines(journal.path, *position);
    if (!read) {
      if (!incoming.unreachable) incoming.unreachable = read.error();
      continue;
    }
    if (read->next == *position && !read->restarted) continue;
    const std::string file = journal.path.filename().string();
    incoming.journal = journal.name;
    incoming.ownJournal = own;
    incoming.next = read->next;
    incoming.restarted = read->restarted;
    // This store's own journal is the export's to check: it writes the store's state again.
    if (read->restarted && !own) incoming.foundShort.emplace(journal.name, *position);
    if (read->skippedLongLine) {
      incoming.unreadable.push_back(file + ": a line longer than " + std::to_string(kJournalLineLimit) +
                                    " bytes was skipped");
    }
    for (const std::string& line : read->lines) {
      if (line.empty()) continue;
      Result<JournalEntry> entry = decodeJournalLine(line, model);
      if (!entry) {
        incoming.unreadable.push_back(file + ": " + entry.error().description);
      } else if (!clock.isWithinReach(entry->stamp.clock, now)) {
        incoming.unreadable.push_back(file + ": an entry stamped far beyond this machine's clock");
        incoming.held.push_back(HeldEntry{entry->stamp, entry->record, line, journalLineDigest(line)});
      } else {
        incoming.entries.push_back(std::move(*entry));
      }
    }
    break;
  }
  // A journal is written in the order of its stamps, so a chunk of one is in order already; sorting
  // it all the same would move every entry.
  const auto byStamp = [](const JournalEntry& a, const JournalEntry& b) { return a.stamp < b.stamp; };
  if (!std::is_sorted(incoming.entries.begin(), incoming.entries.end(), byStamp))
    std::stable_sort(incoming.entries.begin(), incoming.entries.end(), byStamp);
  return incoming;
}

Result<ImportOutcome> applyIncoming(IncomingChanges& incoming, ManagedObjectContext& context,
                                    HybridLogicalClock& clock, const ImportAdjustment& adjust) {
  context.setTransactionAuthor(std::string(kMirrorImportAuthor));
  MirrorBookkeeping bookkeeping(context);
  Result<std::vector<PendingReference>> pending = bookkeeping.pendingReferences();
  if (!pending) return pending.error();
  Result<std::map<UUID, RecordStamp>> ownersAwaited = bookkeeping.ownersAwaited();
  if (!ownersAwaited) return ownersAwaited.error();
  ImportBatch batch(context, std::move(*pending), std::move(*ownersAwaited));
  if (Result<void> prefetched = batch.prefetch(incoming.entries); !prefetched) return prefetched.error();
  for (JournalEntry& entry : incoming.entries) {
    clock.receive(entry.stamp.clock);
    if (Result<void> applied = batch.apply(entry); !applied) return applied.error();
  }
  if (Result<void> applied = batch.applyDeferred(); !applied) return applied.error();
  if (Result<void> back = batch.bringBackMembers(incoming.journalFiles, clock.last()); !back)
    return back.error();
  incoming.sharedStamps = batch.sharedStamps();
  if (Result<void> resolved = batch.resolvePending(); !resolved) return resolved.error();
  batch.keepOwnersAwaited();
  if (adjust) {
    if (Result<void> adjusted = adjust(context, batch.written()); !adjusted) return adjusted.error();
  }
  if (incoming.ownJournal) {
    bookkeeping.setOwnJournalApplied(incoming.next);
    // Lines this store wrote before its data folder was put back are its own writes again: a
    // journal that loses them must get them back like any others. A journal read from its start
    // is not the one the store wrote: the export finds that and writes the store's state again.
    Result<std::optional<JournalPosition>> written = bookkeeping.ownJournal();
    if (!written) return written.error();
    if (!*written || (!incoming.restarted && (*written)->offset < incoming.next.offset))
      bookkeeping.setOwnJournal(incoming.next);
  } else if (incoming.journal) {
    bookkeeping.setJournalPosition(*incoming.journal, incoming.next);
  }
  if (Result<void> noted = noteJournalsFoundShort(incoming, bookkeeping); !noted) return noted.error();
  if (Result<void> held = holdAndRelease(incoming, bookkeeping); !held) return held.error();
  bookkeeping.setClock(clock);

  // Checked after every read of the batch: a local save that came earlier shows in history, one that
  // came later fails the save as a conflict.
  Result<UnexportedHistory> unexported = unexportedHistory(context);
  if (!unexported) return unexported.error();
  if (unexported->holdsLocalChanges) return ImportOutcome::LocalChangesFirst;
  // Only imports lie after the export token: it passes them in this very transaction, so the next
  // chunk's check reads no more than this chunk, and no commit of its own is needed for that. A
  // local save that comes after the check lies beyond the token and is still exported.
  if (unexported->through) bookkeeping.setExportToken(*unexported->through);
  if (Result<void> saved = context.save(); !saved) {
    if (isPersistentStoreError(saved.error(), PersistentStoreErrorCode::MergeConflict)) {
      return ImportOutcome::LocalChangesFirst;
    }
    return saved.error();
  }
  return ImportOutcome::Applied;
}

}  // namespace platform
