#include "platform/mirror/JournalMembers.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "platform/mirror/JournalFile.h"
#include "platform/mirror/RecordOwners.h"

namespace platform {
namespace {

// Whether `save` links its record to one of `owners`.
bool linksToOwner(const JournalEntry& save, const std::set<UUID>& owners, const ManagedObjectModel& model) {
  for (const RelationshipDescription* relationship : ownerRelationships(model, *model.entity(save.entity))) {
    auto target = save.fields.references.find(relationship->name);
    if (target != save.fields.references.end() && target->second && owners.count(*target->second))
      return true;
  }
  return false;
}

}  // namespace

JournalMembers findMembersInJournals(const std::vector<std::filesystem::path>& journals,
                                     const std::set<UUID>& owners, std::int64_t newest,
                                     const ManagedObjectModel& model) {
  std::vector<std::string> ownerNames;
  for (const UUID& owner : owners) ownerNames.push_back(owner.uuidString());
  const auto worthDecoding = [&](std::string_view line) {
    return line.find("\"alone\"") != std::string_view::npos ||
           std::any_of(ownerNames.begin(), ownerNames.end(),
                       [&](const std::string& name) { return line.find(name) != std::string_view::npos; });
  };
  JournalMembers members;
  for (const std::filesystem::path& journal : journals) {
    for (JournalPosition from;;) {
      Result<JournalRead> read = readJournalLines(journal, from);
      if (!read || read->next == from) break;
      for (const std::string& line : read->lines) {
        if (!worthDecoding(line)) continue;
        Result<JournalEntry> entry = decodeJournalLine(line, model);
        if (!entry || entry->stamp.clock > newest) continue;
        if (entry->operation == JournalEntry::Operation::Delete) {
          if (!entry->alone) continue;
          auto [kept, added] = members.deletedAlone.try_emplace(entry->record, entry->stamp);
          if (!added) kept->second = std::max(kept->second, entry->stamp);
        } else if (linksToOwner(*entry, owners, model)) {
          auto kept = members.saves.find(entry->record);
          if (kept == members.saves.end()) {
            members.saves.emplace(entry->record, std::move(*entry));
          } else if (std::pair(kept->second.stamp, journalEntryDigest(kept->second)) <
                     std::pair(entry->stamp, journalEntryDigest(*entry))) {
            // Under one stamp the larger digest wins, as it does when the lines are applied.
            kept->second = std::move(*entry);
          }
        }
      }
      from = read->next;
    }
  }
  return members;
}

}  // namespace platform
