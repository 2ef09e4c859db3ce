// Journal lines written by other machines into a shared folder, read against the application's
// model: decoding never crashes, and an entry that decodes is written and read back unchanged, with
// the digest that decides between lines under one stamp the same for the writer as for its readers.

#include "Velloran/persistence/CoreDataStack.h"
#include "fuzz/FuzzCheck.h"
#include "platform/mirror/JournalEntry.h"

using namespace platform;
using velloran::fuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::shared_ptr<const ManagedObjectModel> model = velloran::CoreDataStack::makeModel();
  Result<JournalEntry> entry = decodeJournalLine(velloran::fuzz::text(data, size), *model);
  if (!entry) return 0;
  Result<JournalEntry> again = decodeJournalLine(encodeJournalLine(*entry), *model);
  check(again.ok(), "a line we wrote reads back");
  check(*again == *entry, "the entry survives its line");
  check(journalEntryDigest(*again) == journalEntryDigest(*entry), "the line's digest survives it too");
  return 0;
}
