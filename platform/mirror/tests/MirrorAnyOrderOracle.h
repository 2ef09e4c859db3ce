#pragma once
// What the machines of the random-order test must end up showing, from the changes the test made
// alone: every acknowledged change that no later change overrode, and no record that the last change
// on it deleted.
//
// A change is acknowledged once it has reached a journal (its machine synced with the mirror folder
// there after making it) unless it may have been lost since: its data folder was put back from a
// backup taken before the change left it, or a journal was damaged before a machine of another
// family (not a copy or clone of its writer's data folder) had shown it.
//
// "Later" is the order of the mirror's stamps, which the test cannot read; it bounds them instead.
// A change's stamp lies at or above its machine's wall clock when it was made and above every stamp
// that data folder had issued or shown before (the lowest bound; changes not sent yet are merged into
// the last one on their record and issue no stamp of their own); it lies no higher than the latest
// wall clock any change was made at within reach of that machine, plus one tick for every stamp the
// run can issue (the highest bound). A change is surely later than another when its lowest bound lies
// above the other's highest, or when it overwrote, on its machine, the other's state or a state surely
// later than it. A record whose last change cannot be told for sure, or is not acknowledged, is left
// out of the check: guessing would make the test flake.
//
// Records are named by the first title or page content they had; every title and content the test
// writes is new, so what a machine shows names the change that wrote it.

#include <algorithm>
#include <cstdint>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/mirror/HybridLogicalClock.h"

namespace platform::testing {

class AcknowledgedChanges {
 public:
  enum class Entity { note, page };

  // A machine's data folder comes into being, on its own or as a copy (or clone) of another's.
  void addFolder(const std::string& folder) { folders_[folder].family = folder; }
  void copyFolder(const std::string& from, const std::string& to) { folders_[to] = folders_.at(from); }
  void backUp(const std::string& folder, const std::string& backup) {
    folders_[backup] = folders_.at(folder);
    folders_[backup].takenAt = changes_.size();
  }
  // The folder is put back from the backup: what it made since, or had not sent out when the backup
  // was taken, may be lost.
  void restore(const std::string& folder, const std::string& backup) {
    const FolderState& saved = folders_.at(backup);
    for (Change& change : changes_) {
      if ((change.writer == folder && change.id >= saved.takenAt) || saved.unexported.count(change.id))
        change.mayBeLost = true;
    }
    const std::int64_t latestWall = folders_.at(folder).latestWall;
    folders_[folder] = saved;
    folders_[folder].latestWall = std::max(latestWall, saved.latestWall);
    folders_[folder].takenAt = kNotABackup;
  }

  // The folder's machine read its wall clock (it may have taken stamps within reach of it).
  void readWall(const std::string& folder, Date now) {
    std::int64_t& latest = folders_.at(folder).latestWall;
    latest = std::max(latest, HybridLogicalClock::physicalStamp(now));
  }

  // A change made on the folder's machine at `now`, over the state `overwrote` left (none for a new
  // record); `value` is the new title or content, none for a deletion. Answers the change's number.
  std::size_t made(const std::string& folder, Date now, Entity entity, const std::string& record,
                   std::optional<std::string> value, std::optional<std::size_t> overwrote,
                   std::optional<std::string> note = std::nullopt) {
    readWall(folder, now);
    if (overwrote && teaches(*overwrote)) shows(folder, *overwrote);
    if (overwrote && !note) note = changes_[*overwrote].note;
    FolderState& state = folders_.at(folder);
    const std::int64_t wall = HybridLogicalClock::physicalStamp(now);
    Change change{changes_.size(),
                  entity,
                  record,
                  std::move(value),
                  std::move(note),
                  overwrote,
                  folder,
                  wall,
                  std::max(wall, state.seenAtLeast + 1),
                  std::nullopt};
    state.unexported.insert(change.id);
    state.holds.insert(change.id);
    if (change.entity == Entity::note && !change.value) deletedNotes_.insert(record);
    if (change.value) byValue_[*change.value] = change.id;
    changes_.push_back(std::move(change));
    return changes_.back().id;
  }

  // The change that wrote a title or content.
  std::size_t changeOf(const std::string& value) const { return byValue_.at(value); }
  const std::string& recordOf(const std::string& value) const { return changes_.at(changeOf(value)).record; }

  // The folder's machine synced with the mirror folder there: what it had made went out.
  // Of the changes it had made since it last sent, only the last one on each record was stamped: the
  // earlier ones went out with it.
  void synced(const std::string& folder) {
    FolderState& state = folders_.at(folder);
    mayHaveSent(state);
    std::map<std::pair<Entity, std::string>, std::size_t> lastOnRecord;
    for (std::size_t id : state.unexported) lastOnRecord[{changes_[id].entity, changes_[id].record}] = id;
    for (const auto& [record, id] : lastOnRecord)
      state.seenAtLeast = std::max(state.seenAtLeast, changes_[id].lowest);
    state.unexported.clear();
  }
  // The folder's machine stopped: it may have sent what it had made, unless the folder was away.
  void stopped(const std::string& folder) { mayHaveSent(folders_.at(folder)); }

  // The folder's machine shows what `title` or `content` wrote: it has seen that change's stamp.
  // Pages of a note ever deleted may have come back without one, and teach nothing.
  void showsValue(const std::string& folder, const std::string& value) {
    auto found = byValue_.find(value);
    if (found != byValue_.end() && teaches(found->second)) shows(folder, found->second);
  }

  // A journal lost lines: what only it held may be gone.
  void journalDamaged() {
    for (Change& change : changes_) {
      if (!change.highest) continue;
      const std::string& family = folders_.at(change.writer).family;
      const bool heldElsewhere = std::any_of(folders_.begin(), folders_.end(), [&](const auto& folder) {
        return folder.second.family != family && folder.second.takenAt == kNotABackup &&
               folder.second.holds.count(change.id);
      });
      if (!heldElsewhere) change.mayBeLost = true;
    }
  }

  // What every machine must show: titles, titles it must not, and pages ("<content>@<title>").
  struct Expectations {
    std::set<std::string> titles;
    std::set<std::string> absentTitles;
    std::set<std::string> pages;
  };
  Expectations expectations() const {
    Expectations expected;
    for (const auto& [record, ids] : byRecord(Entity::note)) {
      std::optional<std::size_t> last = surelyLast(ids);
      if (!last) continue;
      if (changes_[*last].value) {
        expected.titles.insert(*changes_[*last].value);
      } else {
        for (std::size_t id : ids)
          if (changes_[id].value) expected.absentTitles.insert(*changes_[id].value);
      }
    }
    const std::map<std::string, std::vector<std::size_t>> notes = byRecord(Entity::note);
    for (const auto& [record, ids] : byRecord(Entity::page)) {
      const std::string& note = recordOf(*changes_[ids.front()].note);
      if (deletedNotes_.count(note)) continue;
      const std::optional<std::size_t> content = surelyLast(ids);
      const std::optional<std::size_t> title = surelyLast(notes.at(note));
      if (content && title) expected.pages.insert(*changes_[*content].value + "@" + *changes_[*title].value);
    }
    return expected;
  }

  // The changes of the record that wrote `value`, for a report.
  std::string historyOf(const std::string& value) const {
    auto found = byValue_.find(value);
    if (found == byValue_.end()) return "";
    std::string described;
    for (const Change& change : changes_) {
      if (change.entity != changes_[found->second].entity || change.record != changes_[found->second].record)
        continue;
      described += "  #" + std::to_string(change.id) + " on " + change.writer + ": " +
                   (change.value ? *change.value : "deleted") + " stamp in [" +
                   std::to_string(change.lowest) + ", " +
                   (change.highest ? std::to_string(*change.highest) : "not sent") + "]" +
                   (change.overwrote ? " over #" + std::to_string(*change.overwrote) : "") +
                   (change.mayBeLost ? " (may be lost)" : "") + "\n";
    }
    return described;
  }

 private:
  // More ticks than the whole run can issue: stamps exceed the wall clocks they follow by no more.
  static constexpr std::int64_t kTicks = std::int64_t{1} << 24;
  static constexpr std::size_t kNotABackup = std::numeric_limits<std::size_t>::max();

  struct Change {
    std::size_t id;
    Entity entity;
    std::string record;
    std::optional<std::string> value;
    std::optional<std::string> note;  // a page's note, by a title it had; none for a note
    std::optional<std::size_t> overwrote;
    std::string writer;
    std::int64_t wall;
    std::int64_t lowest;
    std::optional<std::int64_t> highest;  // known once it went out
    bool mayBeLost = false;
  };

  struct FolderState {
    std::string family;
    std::set<std::size_t> unexported;
    std::set<std::size_t> holds;  // the changes whose state it has shown or made
    std::int64_t seenAtLeast = 0;
    std::int64_t latestWall = 0;
    std::size_t takenAt = kNotABackup;  // for a backup: the changes made before it was taken
  };

  bool teaches(std::size_t id) const {
    const Change& change = changes_[id];
    return change.entity == Entity::note || !deletedNotes_.count(recordOf(*change.note));
  }

  // A change of its own not sent yet may go out merged into a later one on the same record, under
  // that one's stamp: it teaches nothing until sent.
  void shows(const std::string& folder, std::size_t id) {
    FolderState& state = folders_.at(folder);
    if (!state.unexported.count(id)) state.seenAtLeast = std::max(state.seenAtLeast, changes_[id].lowest);
    state.holds.insert(id);
  }

  // Stamps issued later only ever bound a change higher: a copy of its folder may send it again.
  void mayHaveSent(const FolderState& state) {
    const std::int64_t highest = highestStampFor(state);
    for (std::size_t id : state.unexported)
      changes_[id].highest = std::max(changes_[id].highest.value_or(highest), highest);
  }

  // Every stamp this machine issues or takes now: no stamp issued so far that its clock could reach
  // lies beyond the latest wall clock that stamped one, plus every tick.
  std::int64_t highestStampFor(const FolderState& state) const {
    const std::int64_t reach =
        state.latestWall + (static_cast<std::int64_t>(HybridLogicalClock::kLargestLead * 1000.0) << 16);
    std::int64_t highest = state.latestWall;
    for (const Change& change : changes_)
      if (change.wall <= reach) highest = std::max(highest, change.wall);
    return highest + kTicks;
  }

  // Whether `earlier`'s stamp lies surely below `later`'s.
  bool surelyBefore(const Change& earlier, const Change& later) const {
    for (const Change* step = &later;; step = &changes_[*step->overwrote]) {
      if (step != &later && step->id == earlier.id) return true;
      if (earlier.highest && *earlier.highest < step->lowest) return true;
      if (!step->overwrote) return false;
    }
  }

  // The change among `ids` surely later than every other that went out, when it is acknowledged.
  // Changes that never went out reached no machine but their own data folder's, now gone.
  std::optional<std::size_t> surelyLast(const std::vector<std::size_t>& ids) const {
    for (std::size_t candidate : ids) {
      const Change& last = changes_[candidate];
      if (!last.highest || last.mayBeLost) continue;
      const bool beatsAll = std::all_of(ids.begin(), ids.end(), [&](std::size_t id) {
        return id == candidate || !changes_[id].highest || surelyBefore(changes_[id], last);
      });
      if (beatsAll) return candidate;
    }
    return std::nullopt;
  }

  std::map<std::string, std::vector<std::size_t>> byRecord(Entity entity) const {
    std::map<std::string, std::vector<std::size_t>> records;
    for (const Change& change : changes_)
      if (change.entity == entity) records[change.record].push_back(change.id);
    return records;
  }

  std::vector<Change> changes_;
  std::map<std::string, FolderState> folders_;
  std::map<std::string, std::size_t> byValue_;
  std::set<std::string> deletedNotes_;
};

}  // namespace platform::testing
