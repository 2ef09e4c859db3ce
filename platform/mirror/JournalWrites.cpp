#include "platform/mirror/JournalWrites.h"

#include <iterator>
#include <optional>

#include "platform/mirror/JournalFile.h"

namespace platform {
namespace {

// The write a line carries when any machine can read it.
std::optional<RecordWrite> readableWrite(std::string_view line, const ManagedObjectModel& model) {
  Result<JournalEntry> entry = decodeJournalLine(line, model);
  if (!entry) return std::nullopt;
  return RecordWrite{entry->record, entry->stamp, journalEntryDigest(*entry)};
}

// Crosses off `writes` those that `journal` holds.
void crossOffWritesIn(const std::filesystem::path& journal, std::set<RecordWrite>& writes,
                      const ManagedObjectModel& model) {
  for (JournalPosition from; !writes.empty();) {
    Result<JournalRead> read = readJournalLines(journal, from);
    if (!read || read->next == from) return;
    for (const std::string& line : read->lines) {
      std::optional<RecordWrite> carried = readableWrite(line, model);
      if (!carried) continue;
      // The wanted writes of the record and stamp: the one of any line first, then by digest.
      auto wanted = writes.lower_bound(RecordWrite{carried->record, carried->stamp});
      while (wanted != writes.end() && wanted->record == carried->record && wanted->stamp == carried->stamp) {
        wanted = !wanted->lineDigest || wanted->lineDigest == carried->lineDigest ? writes.erase(wanted)
                                                                                  : std::next(wanted);
      }
    }
    from = read->next;
  }
}

}  // namespace

std::set<RecordWrite> writesNoJournalHolds(const std::vector<std::filesystem::path>& journals,
                                           std::set<RecordWrite> writes, const ManagedObjectModel& model) {
  for (const std::filesystem::path& journal : journals) crossOffWritesIn(journal, writes, model);
  return writes;
}

}  // namespace platform
