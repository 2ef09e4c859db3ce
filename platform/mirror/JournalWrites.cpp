#include "platform/mirror/JournalWrites.h"

#include <optional>

#include "platform/mirror/JournalFile.h"

namespace platform {
namespace {

// The write a line carries when any machine can read it.
std::optional<RecordWrite> readableWrite(std::string_view line, const ManagedObjectModel& model) {
  Result<JournalEntry> entry = decodeJournalLine(line, model);
  if (!entry) return std::nullopt;
  return RecordWrite{entry->record, entry->stamp};
}

// Crosses off `writes` those that `journal` holds.
void crossOffWritesIn(const std::filesystem::path& journal, std::set<RecordWrite>& writes,
                      const ManagedObjectModel& model) {
  for (JournalPosition from; !writes.empty();) {
    Result<JournalRead> read = readJournalLines(journal, from);
    if (!read || read->next == from) return;
    for (const std::string& line : read->lines) {
      if (std::optional<RecordWrite> carried = readableWrite(line, model)) writes.erase(*carried);
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
