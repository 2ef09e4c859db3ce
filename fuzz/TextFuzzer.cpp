// The text helpers over bytes that may not be UTF-8 (titles, tags, search texts from other
// programs): none crashes, and the conversions agree with each other.

#include "fuzz/FuzzCheck.h"
#include "platform/text/Characters.h"
#include "platform/text/Normalization.h"
#include "platform/text/Scalars.h"
#include "platform/text/Search.h"

using namespace platform;
using velloran::fuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The first half is searched for the second, so both sides of every comparison are fuzzed.
  const std::string_view all = velloran::fuzz::text(data, size);
  const std::string_view first = all.substr(0, size / 2);
  const std::string_view second = all.substr(size / 2);

  const std::u32string scalars = toScalars(all);
  check(scalarCount(all) == scalars.size(), "scalarCount counts what toScalars gives");
  if (isWellFormedUtf8(all)) {
    check(fromScalars(scalars) == all, "well-formed text survives its scalars");
    check(utf16Length(all) >= scalars.size(), "no scalar takes less than one UTF-16 unit");
  }
  check(isWellFormedUtf8(fromScalars(scalars)), "scalars always make well-formed text");
  (void)characterCount(all);
  (void)scalarPrefix(all, size % 7);
  (void)trimmed(all);
  (void)split(all, isWhiteSpace);

  const std::string normalized = normalizedNFC(all);
  check(normalizedNFC(normalized) == normalized, "composing twice changes nothing");
  // Ill-formed bytes are no text: they equal only themselves.
  if (isWellFormedUtf8(all)) {
    check(canonicallyEqual(all, normalized), "text equals its composed form");
    check(canonicalHash(all) == canonicalHash(normalized), "and hashes alike");
  }

  (void)lowercased(all);
  (void)caseInsensitiveContains(first, second);
  (void)localizedCaseInsensitiveContains(first, second);
  check(caseInsensitiveCompare(first, first) == std::weak_ordering::equivalent, "text equals itself");
  (void)localizedCaseInsensitiveCompare(first, second);
  return 0;
}
