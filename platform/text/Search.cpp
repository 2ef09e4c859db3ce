#include "platform/text/Search.h"

#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/uchar.h>

#include <algorithm>
#include <map>
#include <memory>
#include <vector>

#include "platform/text/CaselessSearch.h"
#include "platform/text/IcuText.h"

namespace platform {
namespace {

using text_detail::caseless;
using text_detail::localeNamed;

std::weak_ordering ordering(int comparison) {
  if (comparison < 0) return std::weak_ordering::less;
  if (comparison > 0) return std::weak_ordering::greater;
  return std::weak_ordering::equivalent;
}

// A secondary-strength collator: accents count, case does not. Opening one loads tailoring data,
// so each thread keeps one per locale it has used.
const icu::Collator* caseInsensitiveCollator(const icu::Locale& locale) {
  thread_local std::map<std::string, std::unique_ptr<icu::Collator>> collators;
  auto [entry, inserted] = collators.try_emplace(locale.getName());
  if (inserted) {
    UErrorCode status = U_ZERO_ERROR;
    // A process without a user locale runs in the C/POSIX one, whose collation orders by code
    // point with upper case first; sort like the neutral root locale there instead.
    const bool posix = std::string_view(locale.getName()) == "en_US_POSIX";
    std::unique_ptr<icu::Collator> collator(
        icu::Collator::createInstance(posix ? icu::Locale::getRoot() : locale, status));
    if (U_SUCCESS(status)) {
      collator->setStrength(icu::Collator::SECONDARY);
      collator->setAttribute(UCOL_NORMALIZATION_MODE, UCOL_ON, status);
    }
    if (U_SUCCESS(status)) entry->second = std::move(collator);
  }
  return entry->second.get();
}

}  // namespace

std::string lowercased(std::string_view utf8) {
  // ASCII lower-cases to ASCII, A-Z alone changing, in every locale this function speaks for: no
  // round trip through ICU for it (the SDK lower-cases the language tag of every event).
  const auto isAscii = [](char c) { return static_cast<unsigned char>(c) < 0x80; };
  if (std::all_of(utf8.begin(), utf8.end(), isAscii)) {
    std::string lower(utf8);
    for (char& c : lower) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return lower;
  }
  icu::UnicodeString text = text_detail::toUnicode(utf8);
  text.toLower(icu::Locale::getRoot());
  return text_detail::toUtf8(text);
}

bool localizedCaseInsensitiveContains(std::string_view haystack, std::string_view needle,
                                      std::string_view locale) {
  return CaselessSearch(needle, caseFoldingFor(locale)).isFoundIn(haystack);
}

bool caseInsensitiveContains(std::string_view haystack, std::string_view needle) {
  return CaselessSearch(needle, CaseFolding::standard).isFoundIn(haystack);
}

std::weak_ordering caseInsensitiveCompare(std::string_view a, std::string_view b) {
  const icu::UnicodeString left = caseless(text_detail::toUnicode(a), U_FOLD_CASE_DEFAULT);
  const icu::UnicodeString right = caseless(text_detail::toUnicode(b), U_FOLD_CASE_DEFAULT);
  return ordering(left.compare(right));
}

std::weak_ordering localizedCaseInsensitiveCompare(std::string_view a, std::string_view b,
                                                   std::string_view locale) {
  const icu::Collator* collator = caseInsensitiveCollator(localeNamed(locale));
  if (!collator) return caseInsensitiveCompare(a, b);
  UErrorCode status = U_ZERO_ERROR;
  const UCollationResult result =
      collator->compareUTF8(icu::StringPiece(a.data(), static_cast<std::int32_t>(a.size())),
                            icu::StringPiece(b.data(), static_cast<std::int32_t>(b.size())), status);
  return U_SUCCESS(status) ? ordering(result) : caseInsensitiveCompare(a, b);
}

}  // namespace platform
