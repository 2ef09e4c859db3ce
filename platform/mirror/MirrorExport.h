#pragma once
// Export: this store's own changes, from its persistent history into its journal.
//
// History after the export token is read; transactions the mirror itself wrote while importing
// (author kMirrorImportAuthor) are passed over, so nothing travels back to where it came from. Each
// record changed in the rest becomes one entry: its whole current state when it still exists, a
// deletion when its last change deleted it. A record changed and then deleted before the export ran
// is only deleted; one whose later deletion the history does not show yet is left for the next
// export. Only the records a save changed are written: a save that leaves a record's fields as they
// were shows no change of it in history, so adding a member to a long record writes the member and
// the record, not every member again.
//
// Each entry is stamped with the hybrid clock at the time of the commit that made the change, not
// at the time of the export: last writer wins in the order the users made their changes, however
// late a machine gets to export them. The clock stamps a change as it stood when the change was made:
// nothing a store had not seen then lifts it, so a change it made before its data folder was put back
// from a backup, or copied elsewhere, is stamped as its earlier self stamped it (or below), and loses
// against whatever other machines changed after it. Only the changes of the present run can be
// lifted (StampFloor): above its own journal's lines that a store put back from a backup finds it has
// not applied, its earlier self's changes, which the user made before the changes made since.
//
// A deletion of a member (RecordOwners.h) is written as made on its own (JournalEntry::alone) unless
// its transaction also deleted a record of its owner's entity; within a transaction the members'
// deletions come after the other changes, so that a reader meets an owner's deletion before the ones
// that went with it (MirrorImport.h).
//
// The records a store of an older version owes (members whose deletion its import passed over because
// their owner was saved after it) are written too, also when history holds nothing else: each with its
// current state, stamped just above every stamp this store has issued or received, the deletion's
// included, so that the machines that applied the deletion get the member back. One that history
// changed goes out with that change; one gone since, or whose owner is, is dropped. The debt is
// cleared in the export's bookkeeping save.
//
// An entry whose line would be longer than kJournalLineLimit is not written: no machine would read
// it. The others are, the export's bookkeeping is saved as usual (the record keeps its stamp here,
// so older writes arriving later do not undo it, and the next export does not try it again), and
// the export then fails with EntryTooLarge naming the records left out, so the user learns that
// they did not reach the other machines.
//
// After the entries are on disk, the export token, the clock, the records' stamps and the settled
// debt are committed to the store in one metadata-only save. Should that save fail, the caller may save the
// bookkeeping again; otherwise the next export writes the same records again with newer stamps: duplicates
// change nothing where they arrive.
//
// Runs on the mirror's queue, with a context of the mirror's own.

#include <cstdint>
#include <filesystem>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/error/Result.h"
#include "platform/mirror/HybridLogicalClock.h"
#include "platform/mirror/JournalEntry.h"
#include "platform/mirror/JournalFile.h"
#include "platform/pstore/ManagedObjectContext.h"
#include "platform/pstore/PersistentHistory.h"

namespace platform {

// The transaction author of every change the mirror imports.
inline constexpr std::string_view kMirrorImportAuthor = "CloudMirror.import";

struct PendingExport {
  std::vector<JournalEntry> entries;
  // The newest transaction looked at; nullopt when history holds nothing after the export token.
  std::optional<HistoryToken> through;
  // The owed records this export writes again or found gone: no longer owed once it is saved.
  std::vector<UUID> settled;
  // Lines of other machines' entries held here until this machine's clock comes within reach of
  // them, written again as they are after the entries: still held here, they set no record's state.
  std::vector<std::string> heldLines;
};

// Changes of the transactions after `madeBefore` (those made in the present run of the mirror) are
// stamped above `stamp`; by default none are lifted.
struct StampFloor {
  std::int64_t madeBefore = std::numeric_limits<std::int64_t>::max();
  std::int64_t stamp = 0;
};

Result<PendingExport> collectExport(ManagedObjectContext& context, const UUID& device,
                                    HybridLogicalClock& clock, const StampFloor& floor = {});

// This store's whole state as far as it came from this store: every record whose current state, or
// deletion, this store wrote itself (as `device`, or as `formerDevice` before it took a new
// identity), each with the stamp it was written with, the device named in it included: written
// again under a new name, a change still orders against every other line as it did. What a journal
// that was emptied, rolled back or lost must hold again; the history not yet exported follows as
// usual.
Result<PendingExport> collectOwnState(ManagedObjectContext& context, const UUID& device,
                                      const std::optional<UUID>& formerDevice);

// What this store's own `journal` holds past where the store has applied it: lines it wrote before its
// data folder was put back from a backup (or that a copy of its disk wrote under its name), whose
// stamps its clock, put back too, has not seen.
struct UnappliedOwnLines {
  // The newest of their stamps within the clock's reach at `now` (a stamp beyond it is not taken, as
  // an import does not take it); 0 when there is none. The changes the store makes in the run that
  // found them come after them (StampFloor), also when its clock had taken a stamp of a machine
  // running ahead.
  std::int64_t newestStamp = 0;
  // Where the journal ends.
  JournalPosition end;
};
Result<UnappliedOwnLines> readUnappliedOwnLines(ManagedObjectContext& context,
                                                const std::filesystem::path& journal,
                                                const HybridLogicalClock& clock, Date now);

// Every record whose current state, or deletion, this store holds while none of `journals` holds it
// any more, each with the stamp it was written with, leaving out those whose state a device of
// `passOver` wrote; and the lines of the other machines' entries this store holds until its clock
// comes within reach of them (MirrorBookkeeping::hold) that none of `journals` holds, as they are.
// What the journals must hold again once one of them lost lines, and only that: what the lost
// journal's device, or another reader, has written again since is not written once more.
Result<PendingExport> collectMissingFromJournals(ManagedObjectContext& context,
                                                 const std::vector<std::filesystem::path>& journals,
                                                 const std::vector<UUID>& passOver);

// Appends the entries and the held lines to `journal` (nothing when there are none), then commits the
// bookkeeping:
// where the journal now ends (and how far the store has applied it), the export token, the clock,
// the records' stamps and the settled debt. Fails with EntryTooLarge, once the bookkeeping is saved, when
// entries were too large to write.
Result<void> commitExport(const PendingExport& pending, ManagedObjectContext& context,
                          const std::filesystem::path& journal, const HybridLogicalClock& clock);

// The two steps of commitExport, for a caller that keeps an export whose bookkeeping failed to save
// (a full disk under the store) and saves it again rather than appending its entries once more.
struct AppendedExport {
  // The end of the journal after the entries; nullopt when none were appended.
  std::optional<JournalPosition> end;
  // How far the store has applied its journal once the entries are in: to their end when it had
  // applied every line before them; else no further than before, since lines it wrote before its
  // data folder was put back from a backup still wait for the import; the journal's start when the
  // journal no longer holds the position it had applied.
  JournalPosition applied;
  // The EntryTooLarge error naming the entries too large to write; nullopt when all were written.
  std::optional<Error> tooLarge;
};
// Reads from the store in `context` how far it has applied `journal`.
Result<AppendedExport> appendExport(const PendingExport& pending, const std::filesystem::path& journal,
                                    ManagedObjectContext& context);
Result<void> commitExportBookkeeping(const PendingExport& pending, const AppendedExport& appended,
                                     ManagedObjectContext& context, const HybridLogicalClock& clock);

// Fails with ClockAhead when the newest stamp of `written`, entries this store has written, lies
// further than HybridLogicalClock::kLargestLead beyond this machine's wall clock (`now`) and beyond
// every stamp it has taken from other machines (those not of `ownDevices`) that lies within
// kLargestLead of `now` either way: its clock ran ahead when it stamped them, and machines whose
// clocks are right hold such entries until their clocks come within reach. Only this machine can
// tell; the others just wait. Said only where such a stamp of another machine shows that the wall
// clock is right now: without one, a wall clock set back looks just the same, and nothing is said.
// Stamps of machines that ran ahead too lie further from `now` and count for nothing either way.
Result<void> checkStampsWithinReach(ManagedObjectContext& context, const std::vector<JournalEntry>& written,
                                    const std::vector<UUID>& ownDevices, Date now);

// What history holds after the export token: whether any of it is this store's own, and the newest
// transaction looked at. When none is, an import may move the token past them all in its own
// transaction.
struct UnexportedHistory {
  bool holdsLocalChanges = false;
  std::optional<HistoryToken> through;
};
Result<UnexportedHistory> unexportedHistory(ManagedObjectContext& context);

}  // namespace platform
