#include "platform/mirror/CloudMirror.h"

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <iterator>
#include <limits>

#include "platform/mirror/CloudMirrorError.h"
#include "platform/mirror/ImportBatches.h"
#include "platform/mirror/MirrorBookkeeping.h"
#include "platform/mirror/MirrorExport.h"
#include "platform/mirror/MirrorImport.h"
#include "platform/pstore/ManagedObjectContext.h"
#include "platform/pstore/PersistentStoreError.h"

namespace platform {
namespace {

// An import that keeps meeting fresh local changes gives way to the next poll after this many tries.
constexpr int kImportAttempts = 3;

// Where this store is: the machine and the store file. A data folder copied to another machine, or
// to another place on this one, is somewhere else.
std::string homeOf(const PersistentStore& store) {
  char host[HOST_NAME_MAX + 1] = {};
  if (::gethostname(host, sizeof host - 1) != 0) host[0] = '\0';
  const std::optional<std::filesystem::path> path = store.path();
  return std::string(host) + "\n" + (path ? path->string() : std::string());
}

std::string joined(const std::vector<std::string>& texts) {
  std::string all;
  for (const std::string& text : texts) all += (all.empty() ? "" : "; ") + text;
  return all;
}

}  // namespace

std::shared_ptr<CloudMirror> CloudMirror::make(Configuration configuration, const Clock& clock,
                                               NotificationCenter& notificationCenter) {
  return std::shared_ptr<CloudMirror>(new CloudMirror(std::move(configuration), clock, notificationCenter));
}

CloudMirror::CloudMirror(Configuration configuration, const Clock& clock,
                         NotificationCenter& notificationCenter)
    : coordinator_(std::move(configuration.coordinator)),
      store_(configuration.store),
      storeIdentifier_(configuration.store->identifier()),
      folder_(configuration.settings, configuration.containerIdentifier),
      settings_(std::move(configuration.settings)),
      eventSender_(configuration.eventSender),
      clock_(clock),
      notificationCenter_(notificationCenter),
      queue_(makeSerialQueue("platform.mirror")),
      device_(storeIdentifier_) {}

void CloudMirror::start() {
  // What history holds now was made before this run: maybe before the data folder was put back
  // from a backup, when the store's earlier self made it too. Should the store not answer, every
  // change counts as made before, which lifts none.
  Result<std::optional<HistoryToken>> newest = newContext()->newestHistoryToken();
  madeBeforeRun_ = !newest ? std::numeric_limits<std::int64_t>::max()
                           : (*newest ? (*newest)->transactionNumber : std::int64_t{0});
  std::weak_ptr<CloudMirror> weak = weak_from_this();
  localChanges_ = notificationCenter_.addObserver(std::string(kRemoteChangeNotification),
                                                  coordinator_->notificationSender(), queue_,
                                                  [weak](const Notification&) {
                                                    if (auto mirror = weak.lock()) mirror->scheduleExport();
                                                  });
  mainQueue()->async([weak, queue = queue_] {
    queue->async([weak] {
      if (auto mirror = weak.lock()) mirror->runCycle();
    });
  });
}

void CloudMirror::stop(Pending pending) {
  stopped_ = true;
  localChanges_.remove();
  // Waits for an operation under way, and takes the timers down on the queue that owns them.
  queue_->sync([this, pending] {
    pollTimer_.cancel();
    exportTimer_.cancel();
    if (pending == Pending::exportFirst && setUp_ && storeStillLoaded()) (void)exportChanges();
  });
}

bool CloudMirror::storeStillLoaded() const {
  std::shared_ptr<PersistentStore> store = store_.lock();
  return store && coordinator_->persistentStore() == store;
}

bool CloudMirror::stillMirroring() {
  if (stopped_) return false;
  if (storeStillLoaded()) return true;
  stopped_ = true;
  pollTimer_.cancel();
  exportTimer_.cancel();
  return false;
}

std::shared_ptr<ManagedObjectContext> CloudMirror::newContext() const {
  // Bound to the mirror's queue, so its work runs inline in the mirror's blocks.
  return ManagedObjectContext::make(coordinator_, ManagedObjectContext::ConcurrencyType::PrivateQueue,
                                    queue_);
}

void CloudMirror::runCycle() {
  if (!stillMirroring()) return;
  // Each operation reports its own outcome as events.
  if (!setUp_) (void)setUp();
  if (setUp_) {
    (void)exportChanges();
    (void)importChanges();
  }
  schedulePoll();
}

void CloudMirror::importNow(Done done) {
  runRequested(&CloudMirror::importChanges, std::move(done));
}

void CloudMirror::exportNow(Done done) {
  runRequested(&CloudMirror::exportChanges, std::move(done));
}

void CloudMirror::runRequested(Result<void> (CloudMirror::*operation)(), Done done) {
  queue_->async([weak = weak_from_this(), operation, done = std::move(done)] {
    Result<void> outcome = persistentStoreError(PersistentStoreErrorCode::StoreOperationFailed,
                                                "The store is no longer mirrored.");
    if (auto mirror = weak.lock(); mirror && mirror->stillMirroring()) {
      mirror->callerHearsOutcome_ = true;
      outcome = mirror->setUp_ ? Result<void>() : mirror->setUp();
      if (outcome) outcome = (mirror.get()->*operation)();
      mirror->callerHearsOutcome_ = false;
    }
    if (done) mainQueue()->async([done, outcome = std::move(outcome)] { done(outcome); });
  });
}

void CloudMirror::schedulePoll() {
  if (stopped_) return;
  std::weak_ptr<CloudMirror> weak = weak_from_this();
  pollTimer_ = Timer::schedule(queue_, Deadline::after(settings_.pollInterval), [weak] {
    if (auto mirror = weak.lock()) mirror->runCycle();
  });
}

void CloudMirror::scheduleExport() {
  if (stopped_) return;
  std::weak_ptr<CloudMirror> weak = weak_from_this();
  exportTimer_ = Timer::schedule(queue_, Deadline::after(settings_.exportDelay), [weak] {
    auto mirror = weak.lock();
    if (mirror && mirror->stillMirroring() && mirror->setUp_) (void)mirror->exportChanges();
  });
}

Result<void> CloudMirror::setUp() {
  const Date start = clock_.now();
  Result<void> ready = folder_.prepare();
  if (ready) ready = takeIdentity();
  setUp_ = ready.ok();
  return finish(MirrorEvent::Type::Setup, start, ready);
}

Result<void> CloudMirror::takeIdentity() {
  std::shared_ptr<PersistentStore> store = store_.lock();
  if (!store) return {};
  std::shared_ptr<ManagedObjectContext> context = newContext();
  MirrorBookkeeping bookkeeping(*context);
  Result<HybridLogicalClock> stamps = bookkeeping.clock();
  if (!stamps) return stamps.error();
  Result<std::optional<UUID>> device = bookkeeping.device();
  if (!device) return device.error();
  Result<std::optional<std::string>> home = bookkeeping.home();
  if (!home) return home.error();

  hybridClock_ = *stamps;
  device_ = device->value_or(storeIdentifier_);
  const std::string here = homeOf(*store);
  // A copy of the data folder: it and the original would otherwise share one journal, each
  // skipping the other's changes as its own. The copy writes under a new name from now on.
  if (*home && **home != here) writeAs(UUID::random());
  if (!*device || formerDevice_) bookkeeping.setDevice(device_);
  if (*home != here) bookkeeping.setHome(here);
  if (Result<void> adopted = bookkeeping.adoptTextRecordStates(); !adopted) return adopted;
  if (Result<void> again = bookkeeping.readJournalsAgainAfterOlderVersions(); !again) return again;
  return context->save();
}

void CloudMirror::writeAs(const UUID& name) {
  formerDevice_ = device_;
  device_ = name;
  rewriteJournal_ = true;
  journalEnd_.reset();
}

bool CloudMirror::meetsClone(const IncomingChanges& incoming) const {
  return incoming.ownJournal && !incoming.restarted &&
         std::find(incoming.sharedStamps.begin(), incoming.sharedStamps.end(), device_) !=
             incoming.sharedStamps.end();
}

Result<void> CloudMirror::takeNewName() {
  std::shared_ptr<ManagedObjectContext> context = newContext();
  const UUID name = UUID::random();
  MirrorBookkeeping(*context).setDevice(name);
  if (Result<void> saved = context->save(); !saved) return saved;
  writeAs(name);
  return {};
}

Result<void> CloudMirror::noticeAnotherWriter() {
  if (!checkedBetweenRuns_) {
    checkedBetweenRuns_ = true;
    return noticeAnotherWriterBetweenRuns();
  }
  if (!journalEnd_) return {};
  const std::filesystem::path journal = folder_.journalFile(device_);
  std::error_code error;
  const std::uintmax_t size = std::filesystem::file_size(journal, error);
  if (error || size <= journalEnd_->offset) return {};
  Result<JournalRead> read = readJournalLines(journal, *journalEnd_);
  if (!read) return read.error();
  // A journal that no longer holds where it ended lost lines: writeLostLinesAgain's to mend.
  if (read->restarted || read->lines.empty()) return {};
  return takeNewName();
}

Result<void> CloudMirror::findOwnJournal(ManagedObjectContext& context) {
  if (runFloor_) return {};
  Result<UnappliedOwnLines> unapplied =
      readUnappliedOwnLines(context, folder_.journalFile(device_), hybridClock_, clock_.now());
  if (!unapplied) return unapplied.error();
  runFloor_ = StampFloor{madeBeforeRun_, unapplied->newestStamp};
  journalEnd_ = unapplied->end;
  return {};
}

Result<void> CloudMirror::noticeAnotherWriterBetweenRuns() {
  std::shared_ptr<ManagedObjectContext> context = newContext();
  MirrorBookkeeping bookkeeping(*context);
  Result<std::optional<JournalPosition>> written = bookkeeping.ownJournal();
  if (!written) return written.error();
  // A store that has written nothing there yet wrote up to the journal's start.
  Result<JournalRead> past =
      readJournalLines(folder_.journalFile(device_), written->value_or(JournalPosition{}));
  if (!past) return past.error();
  if (past->restarted || past->lines.empty()) return {};
  Result<bool> metBefore = bookkeeping.metLinesItDidNotWrite();
  if (!metBefore) return metBefore.error();
  bookkeeping.setMetLinesItDidNotWrite(!*metBefore);
  if (Result<void> saved = context->save(); !saved) return saved;
  return *metBefore ? takeNewName() : Result<void>();
}

Result<bool> CloudMirror::ownJournalLost(ManagedObjectContext& context) const {
  if (rewriteJournal_) return true;
  Result<std::optional<JournalPosition>> written = MirrorBookkeeping(context).ownJournal();
  if (!written) return written.error();
  if (!*written) return false;
  Result<bool> holds = journalHolds(folder_.journalFile(device_), **written);
  if (!holds) return holds.error();
  return !*holds;
}

Result<bool> CloudMirror::journalsLostLines(const std::map<std::string, JournalPosition>& foundShort,
                                            const std::vector<MirrorFolder::Journal>& journals,
                                            MirrorBookkeeping& bookkeeping) const {
  bool lost = false;
  for (const auto& [journalName, readTo] : foundShort) {
    const std::string& name = journalName;  // a binding of its own, for the lambda below
    bookkeeping.forgetJournalFoundShort(name);
    if (lost) continue;
    auto journal =
        std::find_if(journals.begin(), journals.end(),
                     [&](const MirrorFolder::Journal& candidate) { return candidate.name == name; });
    if (journal == journals.end()) {
      lost = true;
      continue;
    }
    Result<bool> holds = journalHolds(journal->path, readTo);
    if (!holds) return holds.error();
    lost = !*holds;
  }
  return lost;
}

std::vector<UUID> CloudMirror::ownDevices() const {
  std::vector<UUID> devices{device_};
  if (formerDevice_) devices.push_back(*formerDevice_);
  return devices;
}

Result<void> CloudMirror::writeLostLinesAgain() {
  const Date start = clock_.now();
  std::shared_ptr<ManagedObjectContext> context = newContext();
  MirrorBookkeeping bookkeeping(*context);
  Result<bool> ownLost = ownJournalLost(*context);
  if (!ownLost) return finish(MirrorEvent::Type::Export, start, ownLost.error());
  Result<std::map<std::string, JournalPosition>> foundShort = bookkeeping.journalsFoundShort();
  if (!foundShort) return finish(MirrorEvent::Type::Export, start, foundShort.error());
  if (!*ownLost && foundShort->empty()) return {};
  Result<std::vector<MirrorFolder::Journal>> journals = folder_.journals();
  if (!journals) return finish(MirrorEvent::Type::Export, start, journals.error());
  Result<bool> othersLost = journalsLostLines(*foundShort, *journals, bookkeeping);
  if (!othersLost) return finish(MirrorEvent::Type::Export, start, othersLost.error());
  if (!*ownLost && !*othersLost) {
    // Each holds again what was read from it: only the notes go. Should that fail, the next export
    // looks at them again.
    (void)context->save();
    return {};
  }

  // This store's journal lost what it wrote (emptied, rolled back, deleted, or carried off as a
  // conflict copy), or the store has just taken a new identity: what only this store had must be
  // there again for the others. The journal counts as holding nothing of this store's until it is.
  if (*ownLost) bookkeeping.setOwnJournal(JournalPosition{});
  Result<PendingExport> lost =
      *ownLost ? collectOwnState(*context, device_, formerDevice_) : Result<PendingExport>(PendingExport{});
  if (!lost) return finish(MirrorEvent::Type::Export, start, lost.error());
  // Whatever else this store holds that no journal holds any more goes out again, under the stamps
  // it was written with, for the machines that never read it: what it took from the journals that
  // lost lines, and what it had written again into its own for others. What the lost journal's
  // device, or another reader, wrote again already is not written once more.
  std::vector<std::filesystem::path> paths;
  for (const MirrorFolder::Journal& journal : *journals) paths.push_back(journal.path);
  Result<PendingExport> missing =
      collectMissingFromJournals(*context, paths, *ownLost ? ownDevices() : std::vector<UUID>());
  if (!missing) return finish(MirrorEvent::Type::Export, start, missing.error());
  // Both are in stamp order already.
  const auto ownEnd = static_cast<std::ptrdiff_t>(lost->entries.size());
  lost->entries.insert(lost->entries.end(), std::make_move_iterator(missing->entries.begin()),
                       std::make_move_iterator(missing->entries.end()));
  std::inplace_merge(lost->entries.begin(), lost->entries.begin() + ownEnd, lost->entries.end(),
                     [](const JournalEntry& a, const JournalEntry& b) { return a.stamp < b.stamp; });
  lost->heldLines = std::move(missing->heldLines);
  if (lost->entries.empty() && lost->heldLines.empty()) {
    // The journals hold all this store holds: only the notes go. Should that fail, the next export
    // looks again.
    if (context->save() && *ownLost) rewriteJournal_ = false;
    return {};
  }
  Result<std::optional<Error>> written = writeExport(std::move(*lost), *context, *ownLost, hybridClock_);
  if (!written) return finish(MirrorEvent::Type::Export, start, written.error());
  // Written, whatever its notice says: writing it again would only repeat the notice.
  if (*ownLost) rewriteJournal_ = false;
  return finish(MirrorEvent::Type::Export, start, outcomeOf(*written));
}

Result<void> CloudMirror::outcomeOf(const std::optional<Error>& notice) {
  return notice ? Result<void>(*notice) : Result<void>();
}

Result<std::optional<Error>> CloudMirror::writeExport(PendingExport pending, ManagedObjectContext& context,
                                                      bool rewritesJournal,
                                                      const HybridLogicalClock& stamped) {
  Result<AppendedExport> appended = appendExport(pending, folder_.journalFile(device_), context);
  if (!appended) {
    // Some of the lines may have reached the journal: past its end they are this store's own.
    journalEnd_.reset();
    return appended.error();
  }
  if (appended->end) journalEnd_ = appended->end;
  hybridClock_ = stamped;
  Result<void> saved = commitExportBookkeeping(pending, *appended, context, hybridClock_);
  if (!saved) {
    unsavedExport_ = UnsavedExport{std::move(pending), *appended, rewritesJournal};
    return saved.error();
  }
  if (appended->tooLarge) return std::optional<Error>(*appended->tooLarge);
  Result<void> withinReach = checkStampsWithinReach(context, pending.entries, ownDevices(), clock_.now());
  return withinReach ? std::optional<Error>() : std::optional<Error>(withinReach.error());
}

Result<bool> CloudMirror::saveUnsavedExport() {
  if (unsavedExport_->appended.end) {
    Result<bool> holds = journalHolds(folder_.journalFile(device_), *unsavedExport_->appended.end);
    if (!holds) return holds.error();
    if (!*holds) {
      unsavedExport_.reset();
      return false;
    }
  }
  Result<void> saved =
      commitExportBookkeeping(unsavedExport_->pending, unsavedExport_->appended, *newContext(), hybridClock_);
  if (!saved) return saved.error();
  if (unsavedExport_->rewritesJournal) rewriteJournal_ = false;
  unsavedExport_.reset();
  return true;
}

Result<void> CloudMirror::exportChanges() {
  const Date start = clock_.now();
  // Offline, the journals are left alone and nothing is stamped for good: the changes are stamped
  // once the folder is back, and the export reports why.
  const Result<void> ready = folder_.prepare();
  if (ready) {
    if (Result<void> noticed = noticeAnotherWriter(); !noticed)
      return finish(MirrorEvent::Type::Export, start, noticed);
  }
  if (unsavedExport_ && ready) {
    const std::optional<Error> tooLarge = unsavedExport_->appended.tooLarge;
    Result<bool> saved = saveUnsavedExport();
    if (!saved) return finish(MirrorEvent::Type::Export, start, saved.error());
    if (*saved)
      (void)finish(MirrorEvent::Type::Export, start, tooLarge ? Result<void>(*tooLarge) : Result<void>());
  }
  // Appending to a journal that lost lines would make the loss look mended.
  Result<void> checked = ready ? writeLostLinesAgain() : Result<void>();
  std::shared_ptr<ManagedObjectContext> context = newContext();
  if (ready) {
    if (Result<void> found = findOwnJournal(*context); !found)
      return finish(MirrorEvent::Type::Export, start, found);
  }
  // A copy of the clock stamps the changes: the stamps count once the entries are in the journal,
  // and an export that does not get there (the folder is away, the disk is full) draws them again,
  // the same, next time.
  HybridLogicalClock stamping = hybridClock_;
  Result<PendingExport> pending =
      collectExport(*context, device_, stamping, runFloor_.value_or(StampFloor{}));
  if (!pending) return finish(MirrorEvent::Type::Export, start, pending.error());
  if (pending->entries.empty()) {
    // Only imported changes, owed records gone since, or nothing: the token moves past them and
    // the debt is cleared quietly. Should that fail, the next export looks at them again, which
    // costs nothing. An offline folder still fails a caller who asked: nothing could have gone out.
    if (pending->through || !pending->settled.empty())
      (void)commitExport(*pending, *context, folder_.journalFile(device_), hybridClock_);
    if (!callerHearsOutcome_ || !checked) return checked;
    return ready;
  }
  Result<void> outcome = ready;
  if (outcome) {
    Result<std::optional<Error>> written = writeExport(std::move(*pending), *context, false, stamping);
    outcome = written ? outcomeOf(*written) : Result<void>(written.error());
  }
  outcome = finish(MirrorEvent::Type::Export, start, outcome);
  return outcome ? checked : outcome;
}

bool CloudMirror::isNotice(const Result<void>& outcome) {
  return !outcome && (isCloudMirrorError(outcome.error(), CloudMirrorErrorCode::ClockAhead) ||
                      isCloudMirrorError(outcome.error(), CloudMirrorErrorCode::EntryTooLarge));
}

Result<void> CloudMirror::importChanges() {
  const Date start = clock_.now();
  if (Result<void> ready = folder_.prepare(); !ready) return finish(MirrorEvent::Type::Import, start, ready);
  if (Result<void> noticed = noticeAnotherWriter(); !noticed)
    return finish(MirrorEvent::Type::Import, start, noticed);
  // Chunk after chunk, each saved on its own, until every journal is read or the mirror stops. The
  // chunks are committed together, a batch at a time: a commit costs about as much for a few
  // records as for thousands. Each chunk is saved with its journal's position, so a batch that never
  // commits (the process ends) leaves the store where the last commit left it, and the next import
  // goes on from there.
  ImportBatches batches(*coordinator_);
  Result<void> failure;
  // A journal that cannot be read fails the import once the others have been read.
  std::optional<Error> unreachable;
  bool cloneMet = false;
  for (int attempt = 0; attempt < kImportAttempts && !stopped_;) {
    if (Result<void> open = batches.open(); !open) {
      failure = open;
      break;
    }
    std::shared_ptr<ManagedObjectContext> context = newContext();
    const Date now = clock_.now();
    hybridClock_.noteWallClock(now);
    Result<IncomingChanges> incoming = readIncoming(folder_, *context, device_, hybridClock_, now);
    if (!incoming) {
      failure = incoming.error();
      break;
    }
    if (!unreachable) unreachable = incoming->unreachable;
    if (!incoming->foundAnything()) break;
    // The clock takes the chunk's stamps only once the chunk is applied: local changes that an
    // import must let go first were made without them, and are stamped so.
    HybridLogicalClock importClock = hybridClock_;
    Result<ImportOutcome> outcome = applyIncoming(*incoming, *context, importClock, settings_.adjustImport);
    if (!outcome) {
      failure = outcome.error();
      break;
    }
    if (*outcome == ImportOutcome::LocalChangesFirst) {
      ++attempt;
      // What the batch holds goes in before the export, which writes on its own.
      if (Result<void> committed = batches.commit(); !committed)
        return finish(MirrorEvent::Type::Import, start, committed);
      // A notice about what went out stops nothing: the local changes are in the journal. A caller
      // waiting for the import hears only the import's outcome, so the notice is posted for it.
      const Date exportStart = clock_.now();
      Result<void> exported = exportChanges();
      if (isNotice(exported) && callerHearsOutcome_) {
        post(MirrorEvent::Type::Export, exportStart, exported);
      } else if (!exported && callerHearsOutcome_) {
        return exported;
      }
      continue;
    }
    hybridClock_ = importClock;
    cloneMet = cloneMet || meetsClone(*incoming);
    batches.applied(incoming->unreadable);
    if (Result<void> committed = batches.commitWhenDue(); !committed) {
      failure = committed;
      break;
    }
  }
  if (failure && unreachable) failure = *unreachable;
  // The chunks before a failure are sound: they are kept.
  Result<void> committed = batches.commit();
  // Once the chunks that showed the clone are in: read again, they would show it again.
  if (cloneMet && committed) {
    Result<void> renamed = takeNewName();
    if (failure) failure = renamed;
  }
  if (!failure) return finish(MirrorEvent::Type::Import, start, failure);
  if (!committed) return finish(MirrorEvent::Type::Import, start, committed);
  if (!batches.appliedAny()) {
    lastFailure_[static_cast<std::size_t>(MirrorEvent::Type::Import)].reset();
    return {};
  }
  const std::size_t skipped = batches.unreadableCount();
  if (skipped == 0) return finish(MirrorEvent::Type::Import, start, Result<void>());
  const std::vector<std::string>& reasons = batches.unreadable();
  const std::string more =
      skipped > reasons.size() ? "; " + std::to_string(skipped - reasons.size()) + " more" : "";
  return finish(
      MirrorEvent::Type::Import, start,
      cloudMirrorError(CloudMirrorErrorCode::UnreadableEntry,
                       std::to_string(skipped) +
                           " journal entries were not applied (one that cannot be read is skipped, one "
                           "stamped far beyond this machine's clock is held until the clock comes within "
                           "reach of it): " +
                           joined(reasons) + more),
      true);
}

Result<void> CloudMirror::finish(MirrorEvent::Type type, Date startDate, const Result<void>& outcome,
                                 bool alwaysReport) {
  std::optional<std::pair<std::string, std::int64_t>>& lastFailure =
      lastFailure_[static_cast<std::size_t>(type)];
  if (outcome) {
    lastFailure.reset();
  } else {
    std::pair<std::string, std::int64_t> failure{outcome.error().domain, outcome.error().code};
    const bool repeated = lastFailure == failure;
    lastFailure = std::move(failure);
    // Records too large to write are reported every time: each report concerns other records.
    const bool tooLarge = isCloudMirrorError(outcome.error(), CloudMirrorErrorCode::EntryTooLarge);
    if (repeated && !alwaysReport && !tooLarge) return outcome;
  }
  if (callerHearsOutcome_) return outcome;
  post(type, startDate, outcome);
  return outcome;
}

void CloudMirror::post(MirrorEvent::Type type, Date startDate, const Result<void>& outcome) {
  MirrorEvent event;
  event.identifier = UUID::random();
  event.storeIdentifier = storeIdentifier_;
  event.type = type;
  event.startDate = startDate;
  post(event);
  event.endDate = clock_.now();
  event.succeeded = outcome.ok();
  if (!outcome) event.error = outcome.error();
  post(event);
}

void CloudMirror::post(const MirrorEvent& event) {
  notificationCenter_.post(std::string(kMirrorEventChangedNotification), eventSender_,
                           Dictionary{{std::string(kMirrorEventUserInfoKey), event.toValue()}});
}

}  // namespace platform
