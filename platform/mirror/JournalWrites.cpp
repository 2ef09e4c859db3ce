#include "platform/mirror/JournalWrites.h"

#include <optional>
#include <string_view>

#include "platform/mirror/DecimalText.h"
#include "platform/mirror/JournalFile.h"

namespace platform {
namespace {

constexpr std::string_view kClockHead = "{\"clock\":";
constexpr std::string_view kDeviceHead = ",\"device\":\"";
constexpr std::string_view kRecordTail = "\"record\":\"";
constexpr std::string_view kLineEnd = "\"}";
constexpr std::size_t kUUIDLength = 36;

// The write a line names where this version puts it, the line's members being in name order:
// {"clock":<clock>,"device":"<device>", ... "record":"<record>"}. Nothing for a line laid out
// otherwise.
std::optional<RecordWrite> writeAtTheEnds(std::string_view line) {
  if (!line.starts_with(kClockHead)) return std::nullopt;
  const std::size_t clockEnd = line.find(',', kClockHead.size());
  if (clockEnd == std::string_view::npos) return std::nullopt;
  const std::optional<std::int64_t> clock = mirror_detail::decimalNumber<std::int64_t>(
      line.substr(kClockHead.size(), clockEnd - kClockHead.size()));
  const std::string_view afterClock = line.substr(clockEnd);
  const std::size_t tail = kRecordTail.size() + kUUIDLength + kLineEnd.size();
  if (!clock || !afterClock.starts_with(kDeviceHead) ||
      afterClock.size() < kDeviceHead.size() + kUUIDLength || line.size() < tail ||
      !line.ends_with(kLineEnd) || line.substr(line.size() - tail, kRecordTail.size()) != kRecordTail) {
    return std::nullopt;
  }
  const std::optional<UUID> device = UUID::fromString(afterClock.substr(kDeviceHead.size(), kUUIDLength));
  const std::optional<UUID> record =
      UUID::fromString(line.substr(line.size() - kLineEnd.size() - kUUIDLength, kUUIDLength));
  if (!device || !record) return std::nullopt;
  return RecordWrite{*record, RecordStamp{*clock, *device}};
}

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
      std::optional<RecordWrite> named = writeAtTheEnds(line);
      if (named && !writes.count(*named)) continue;
      // Only a line that reads as the write it names holds it.
      std::optional<RecordWrite> carried = readableWrite(line, model);
      if (carried && (!named || *carried == *named)) writes.erase(*carried);
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
