#pragma once
// The engine that mirrors one loaded store through a mirror folder, and reports what it does as
// MirrorEvents.
//
// What it does, all of it on its own serial queue ("platform.mirror"):
//  - Setup: checks that the mirror folder can be used (MirrorFolder::prepare). It runs only once the
//    main queue has run the start (start() hands it over through the main queue), so whoever
//    registers for events on the main thread before the main loop runs hears even the first
//    failure. Until setup succeeds nothing else happens; it is retried at every poll.
//  - Setup also settles which device the store writes as: its identifier, unless the store (its
//    data folder) has been copied to another machine or place since it last ran; the copy then
//    writes under a new device name, so that copy and original see each other's changes.
//  - A copy that cannot tell, a clone of the whole disk (same machine name, same place), shows
//    itself by what it writes: once an import finds, past where this store has applied its own
//    journal, a line that carries one of this store's stamps but is not the line that made the
//    record's state here, the store writes under a new device name from then on, as a copied data
//    folder does, so that the two no longer issue one stamp for different changes. (A journal read
//    again from its start, or a conflict copy, may hold the store's own earlier lines, which a
//    store writing its records again under their stamps may have written differently: no sign.)
//    It also shows itself once lines it did not write come into its journal after where the journal
//    ended when it last wrote there, or first found it in this run (noticeAnotherWriter), or when
//    a second run finds such lines past where the store wrote up to (noticeAnotherWriterBetweenRuns).
//  - The changes a store makes are stamped as its clock stood when they were made (MirrorExport.h):
//    those made before this run (history the store held when the mirror started: maybe made before
//    its data folder was put back from a backup, or copied) are stamped as its earlier self stamped
//    them; those made in this run come after the lines its journal held, unapplied, when it first
//    found the folder: its earlier self's changes, made before them.
//  - Then, at every poll: check that this store's journal still holds what it last wrote there
//    (and write the store's own state again when it does not); when it does not, or a journal lost
//    lines this store had read (MirrorImport.h), write again whatever the store holds that no journal
//    holds any more, and only that; export this store's changes, then
//    import the other devices' changes, chunk by chunk. The chunks are committed together, a
//    write batch of several at a time (ImportBatches.h); a save of the application that comes in
//    meanwhile waits for a chunk, not for the whole import, and listings never wait.
//    Imports wait while there are local changes to export, so a local change always reaches the
//    journal before anything can overwrite it here.
//  - A commit of this store (its remote-change notification) schedules an export after the export
//    delay; more commits within the delay join it.
// Each operation that had something to do, or failed, posts a start event and an end event, in
// that order, when it ends; an import posts its end event after its changes are committed (and the
// store has posted its remote-change notification). A failure that merely repeats the operation's
// previous failure is not posted again: a missing folder would otherwise be reported at every poll.
// Skipped unreadable entries, and records too large to write, are reported every time, since each
// report concerns other lines.
//
// The engine belongs to one store. When the coordinator no longer holds that store (it was
// destroyed, or replaced after a reset) the engine stops by itself; the mirror of the new store
// starts afresh, with the new store's identifier as its device and a journal of its own, and
// imports everything the folder holds.
//
// A cycle the user asks for (importNow, exportNow) runs the same operation at once, setting up
// first when that has not succeeded yet, and answers its outcome to the caller - every time, also a
// failure that repeats the last one. It posts no events of its own: the caller hears the outcome,
// and a failure it heard is not posted again by the next poll.
//
// Lifetime: shared; blocks hold it weakly. stop() may be called from any thread but the mirror's
// queue; once it returns no operation runs any more. Before the store closes, stop(exportFirst)
// exports what local changes wait for the export delay or the next poll, so they reach the journal
// now rather than at the next start (an import under way gives way first). The clock and the
// notification centre must outlive the engine.

#include <array>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/dispatch/Queue.h"
#include "platform/dispatch/Timer.h"
#include "platform/mirror/HybridLogicalClock.h"
#include "platform/mirror/MirrorBookkeeping.h"
#include "platform/mirror/MirrorEvent.h"
#include "platform/mirror/MirrorExport.h"
#include "platform/mirror/MirrorFolder.h"
#include "platform/mirror/MirrorSettings.h"
#include "platform/notify/NotificationCenter.h"
#include "platform/pstore/PersistentStore.h"
#include "platform/pstore/PersistentStoreCoordinator.h"
#include "platform/time/Clock.h"

namespace platform {

class ManagedObjectContext;
struct IncomingChanges;

class CloudMirror : public std::enable_shared_from_this<CloudMirror> {
 public:
  struct Configuration {
    std::shared_ptr<PersistentStoreCoordinator> coordinator;
    std::shared_ptr<PersistentStore> store;  // must be the coordinator's store and track history
    MirrorSettings settings;
    std::string containerIdentifier;
    ObjectTag eventSender = nullptr;  // the container
  };

  static std::shared_ptr<CloudMirror> make(Configuration configuration, const Clock& clock,
                                           NotificationCenter& notificationCenter);
  CloudMirror(const CloudMirror&) = delete;
  CloudMirror& operator=(const CloudMirror&) = delete;

  enum class Pending { abandon, exportFirst };
  // Called on the main queue with the operation's outcome.
  using Done = std::function<void(Result<void>)>;

  void start();
  void stop(Pending pending = Pending::abandon);

  // Any thread. Once the mirror has stopped they answer StoreOperationFailed.
  void importNow(Done done);
  void exportNow(Done done);

 private:
  CloudMirror(Configuration configuration, const Clock& clock, NotificationCenter& notificationCenter);

  // On the mirror's queue.
  bool storeStillLoaded() const;
  bool stillMirroring();
  void runCycle();
  Result<void> setUp();
  Result<void> takeIdentity();
  // Writes as `name` from now on; the records written as the device before are written again into
  // the journal of that name by the next export, each under the stamp it was made with.
  void writeAs(const UUID& name);
  // Whether the chunk, read from this store's own journal past where the store had applied it,
  // held a line carrying one of this store's stamps that is not the line the store holds under it:
  // a clone writes as it does.
  bool meetsClone(const IncomingChanges& incoming) const;
  // Takes a new device name and saves it.
  Result<void> takeNewName();
  // Takes a new name when lines this store did not write have come into its journal after where it
  // ended when this store last wrote there, or first found it in this run: a copy of its disk in its
  // place (same machine name, same folder) writes under its name while it runs. (A store put back
  // from a backup finds its earlier self's lines before that, which are its own.) The first call of a
  // run looks between runs instead (noticeAnotherWriterBetweenRuns).
  Result<void> noticeAnotherWriter();
  // At the first operation of a run that finds the mirror folder: takes a new name when this store's
  // journal holds lines past where it wrote up to that it did not write, as it did in an earlier run.
  // A store put back from a backup finds its earlier self's lines once (its import then takes them as
  // its own); a copy of its disk in its place that runs in turn with it writes between its runs again.
  Result<void> noticeAnotherWriterBetweenRuns();
  // Once per run, at the first export that finds the mirror folder: reads what this store's journal
  // holds past where the store has applied it, for the floor the changes of this run are stamped
  // above, and where the journal ends.
  Result<void> findOwnJournal(ManagedObjectContext& context);
  // Whether this store's journal no longer holds what it last wrote there, or the store has taken a
  // new identity: its state is to be written again.
  Result<bool> ownJournalLost(ManagedObjectContext& context) const;
  // Whether a journal an import found without what it had read from it (`foundShort`) does not
  // hold it again now, or is gone from `journals`; the notes of all of them are staged to be cleared.
  Result<bool> journalsLostLines(const std::map<std::string, JournalPosition>& foundShort,
                                 const std::vector<MirrorFolder::Journal>& journals,
                                 MirrorBookkeeping& bookkeeping) const;
  // The devices this store writes as: its device, and the former one after it took a new identity.
  std::vector<UUID> ownDevices() const;
  // Writes again what journals lost: this store's state when its own journal lost it, and, when its
  // own journal or one an import found cut, emptied, replaced or gone lost lines, whatever else it
  // holds that no journal holds any more (collectMissingFromJournals). Only while the mirror folder
  // can be used.
  Result<void> writeLostLinesAgain();
  // Saves the bookkeeping of an export whose entries are in the journal but whose save failed
  // (true); forgets it when the journal no longer holds them, which go out again from history.
  Result<bool> saveUnsavedExport();
  // Appends the export to this store's journal and saves its bookkeeping, keeping it as the
  // unsaved export when only the save failed. Once both are done it answers the notice, if any, that
  // goes with what went out: records left out for their size (EntryTooLarge), or stamps that ran
  // far ahead of this machine's clock (ClockAhead). A notice is reported like a failure, but the
  // export counts as done: it is neither written again nor does it hold up an import. The clock
  // that stamped the entries (`stamped`) becomes the mirror's once they are appended: stamps drawn
  // for entries that never went out are drawn again, the same, by the next export.
  Result<std::optional<Error>> writeExport(PendingExport pending, ManagedObjectContext& context,
                                           bool rewritesJournal, const HybridLogicalClock& stamped);
  static Result<void> outcomeOf(const std::optional<Error>& notice);
  static bool isNotice(const Result<void>& outcome);
  Result<void> exportChanges();
  Result<void> importChanges();
  // Runs `operation` for a caller who waits for its outcome (importNow, exportNow).
  void runRequested(Result<void> (CloudMirror::*operation)(), Done done);
  void scheduleExport();
  void schedulePoll();
  std::shared_ptr<ManagedObjectContext> newContext() const;
  // Posts the operation's events unless it is a repeated failure, or a caller hears the outcome
  // (then the failure is only noted, so the next poll does not report it again). Answers `outcome`.
  Result<void> finish(MirrorEvent::Type type, Date startDate, const Result<void>& outcome,
                      bool alwaysReport = false);
  // Posts an operation's start and end events.
  void post(MirrorEvent::Type type, Date startDate, const Result<void>& outcome);
  void post(const MirrorEvent& event);

  const std::shared_ptr<PersistentStoreCoordinator> coordinator_;
  const std::weak_ptr<PersistentStore> store_;
  const UUID storeIdentifier_;
  const MirrorFolder folder_;
  const MirrorSettings settings_;
  const ObjectTag eventSender_;
  const Clock& clock_;
  NotificationCenter& notificationCenter_;
  const QueueRef queue_;

  std::atomic<bool> stopped_{false};
  ObserverToken localChanges_;  // touched by start() and stop() only

  // Owned by the queue.
  bool setUp_ = false;
  bool callerHearsOutcome_ = false;
  // The device this store writes as: the store's identifier, until a copy of the data folder
  // takes a new one (then the former one is kept, to write its records again under the new).
  UUID device_;
  std::optional<UUID> formerDevice_;
  bool rewriteJournal_ = false;
  HybridLogicalClock hybridClock_;
  // History up to this transaction number was there when the mirror started (set by start()).
  std::int64_t madeBeforeRun_ = 0;
  // Set by findOwnJournal: the changes made in this run come after the lines of this store's journal
  // that it had not applied when it first found the folder, its earlier self's changes, which the
  // user made first; the changes made before this run do not, as its earlier self's did not.
  std::optional<StampFloor> runFloor_;
  // Where this store's journal ended when it last wrote there, or first found it in this run.
  std::optional<JournalPosition> journalEnd_;
  // noticeAnotherWriterBetweenRuns has run in this run.
  bool checkedBetweenRuns_ = false;
  // An export whose entries reached the journal while its bookkeeping failed to save (the store's
  // disk was full), with where the journal ended after them. Until its save succeeds nothing more
  // is appended: the history it covers would otherwise go out again at every try.
  struct UnsavedExport {
    PendingExport pending;
    // Where the journal ended after them, how far the store had applied it, and the entries left
    // out for their size (reported once its save succeeds).
    AppendedExport appended;
    // It writes the store's own state again (writeLostLinesAgain).
    bool rewritesJournal = false;
  };
  std::optional<UnsavedExport> unsavedExport_;
  std::array<std::optional<std::pair<std::string, std::int64_t>>, 3> lastFailure_;
  Timer pollTimer_;
  Timer exportTimer_;
};

}  // namespace platform
