#include "platform/text/Search.h"

#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/uchar.h>

#include <map>
#include <memory>
#include <vector>

#include "platform/text/IcuText.h"

namespace platform {
namespace {

using text_detail::nfcNormalizer;
using text_detail::nfdNormalizer;
using text_detail::normalized;

icu::Locale localeNamed(std::string_view locale) {
  return locale.empty() ? icu::Locale::getDefault() : icu::Locale(std::string(locale).c_str());
}

// Turkish and Azeri fold "I" to dotless "ı" and "İ" to "i"; every other language folds "I" to "i".
std::uint32_t foldOptions(const icu::Locale& locale) {
  const std::string_view language = locale.getLanguage();
  return language == "tr" || language == "az" ? U_FOLD_CASE_EXCLUDE_SPECIAL_I : U_FOLD_CASE_DEFAULT;
}

// The caseless form: composed first so that the Turkic capital dotted I is still one character when
// folded, decomposed last so that precomposed and combining spellings agree.
icu::UnicodeString caseless(const icu::UnicodeString& text, std::uint32_t options) {
  icu::UnicodeString folded = normalized(nfcNormalizer(), text);
  folded.foldCase(options);
  return normalized(nfdNormalizer(), folded);
}

// The caseless form of a text together with the offsets (in the caseless form) at which the
// original text's user-perceived characters begin and end.
struct CaselessText {
  icu::UnicodeString text;
  std::vector<bool> isCharacterBoundary;  // indexed by offset, text.length() + 1 entries
};

CaselessText caselessByCharacter(const icu::UnicodeString& original, std::uint32_t options) {
  CaselessText result;
  std::vector<std::int32_t> boundaries{0};
  icu::BreakIterator* breaks = text_detail::characterBreaks();
  if (breaks) {
    breaks->setText(original);
    for (std::int32_t end = breaks->next(); end != icu::BreakIterator::DONE; end = breaks->next()) {
      boundaries.push_back(end);
    }
  } else {
    for (std::int32_t end = 1; end <= original.length(); ++end) boundaries.push_back(end);
  }

  std::vector<std::int32_t> caselessBoundaries{0};
  for (std::size_t i = 1; i < boundaries.size(); ++i) {
    const std::int32_t start = boundaries[i - 1];
    const std::int32_t length = boundaries[i] - start;
    const char16_t single = original.charAt(start);
    // Plain ASCII letters and signs need no ICU round trip, except the Turkic "I".
    if (length == 1 && single < 0x80 && !(single == u'I' && options == U_FOLD_CASE_EXCLUDE_SPECIAL_I)) {
      result.text.append(static_cast<char16_t>(single >= u'A' && single <= u'Z' ? single + 32 : single));
    } else {
      result.text.append(caseless(icu::UnicodeString(original, start, length), options));
    }
    caselessBoundaries.push_back(result.text.length());
  }
  result.isCharacterBoundary.assign(static_cast<std::size_t>(result.text.length()) + 1, false);
  for (std::int32_t offset : caselessBoundaries)
    result.isCharacterBoundary[static_cast<std::size_t>(offset)] = true;
  return result;
}

bool containsCaseless(std::string_view haystack, std::string_view needle, const icu::Locale& locale) {
  if (needle.empty()) return false;
  const std::uint32_t options = foldOptions(locale);
  const icu::UnicodeString wanted = caseless(text_detail::toUnicode(needle), options);
  const CaselessText text = caselessByCharacter(text_detail::toUnicode(haystack), options);
  for (std::int32_t start = text.text.indexOf(wanted); start >= 0;
       start = text.text.indexOf(wanted, start + 1)) {
    const auto end = static_cast<std::size_t>(start + wanted.length());
    if (text.isCharacterBoundary[static_cast<std::size_t>(start)] && text.isCharacterBoundary[end])
      return true;
  }
  return false;
}

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
  icu::UnicodeString text = text_detail::toUnicode(utf8);
  text.toLower(icu::Locale::getRoot());
  return text_detail::toUtf8(text);
}

bool localizedCaseInsensitiveContains(std::string_view haystack, std::string_view needle,
                                      std::string_view locale) {
  return containsCaseless(haystack, needle, localeNamed(locale));
}

bool caseInsensitiveContains(std::string_view haystack, std::string_view needle) {
  return containsCaseless(haystack, needle, icu::Locale::getRoot());
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
