#include "platform/text/CaselessSearch.h"

#include <unicode/locid.h>
#include <unicode/uchar.h>

#include <algorithm>

#include "platform/error/Error.h"
#include "platform/text/IcuText.h"

namespace platform {
namespace {

using text_detail::caseless;

std::uint32_t foldOptions(CaseFolding folding) {
  return folding == CaseFolding::turkic ? U_FOLD_CASE_EXCLUDE_SPECIAL_I : U_FOLD_CASE_DEFAULT;
}

// How a single ASCII character folds; a negative answer means it leaves ASCII (the Turkic "I", which
// folds to the dotless "ı").
int foldedAscii(char character, CaseFolding folding) {
  if (character == 'I' && folding == CaseFolding::turkic) return -1;
  return character >= 'A' && character <= 'Z' ? character + 32 : character;
}

// In ASCII text every character is one user-perceived character, except a line break written as
// carriage return plus line feed, which is one.
bool isAsciiCharacterBoundary(std::string_view text, std::size_t offset) {
  return offset == 0 || offset == text.size() || !(text[offset - 1] == '\r' && text[offset] == '\n');
}

}  // namespace

CaselessUnits::CaselessUnits(std::u16string_view folded) {
  for (char16_t unit : folded) bits_ |= std::uint64_t{1} << (unit % 64);
}

CaseFolding caseFoldingFor(std::string_view locale) {
  const icu::Locale named =
      locale.empty() ? icu::Locale::getDefault() : icu::Locale(std::string(locale).c_str());
  const std::string_view language = named.getLanguage();
  // Turkish and Azeri fold "I" to dotless "ı" and "İ" to "i"; every other language folds "I" to "i".
  return language == "tr" || language == "az" ? CaseFolding::turkic : CaseFolding::standard;
}

CaselessText::CaselessText(std::string_view utf8, CaseFolding folding) : folding_(folding) {
  if (text_detail::isAscii(utf8)) {
    for (char character : utf8) {
      const int folded = foldedAscii(character, folding);
      folded_.push_back(folded >= 0 ? static_cast<char16_t>(folded) : u'\u0131');
    }
    if (utf8.find("\r\n") != std::string_view::npos) {
      isCharacterBoundary_.resize(utf8.size() + 1);
      for (std::size_t offset = 0; offset <= utf8.size(); ++offset)
        isCharacterBoundary_[offset] = isAsciiCharacterBoundary(utf8, offset);
    }
    units_ = CaselessUnits(folded_);
    return;
  }

  const icu::UnicodeString original = text_detail::toUnicode(utf8);
  std::vector<std::int32_t> boundaries{0};
  if (icu::BreakIterator* breaks = text_detail::characterBreaks()) {
    breaks->setText(original);
    for (std::int32_t end = breaks->next(); end != icu::BreakIterator::DONE; end = breaks->next()) {
      boundaries.push_back(end);
    }
  } else {
    for (std::int32_t end = 1; end <= original.length(); ++end) boundaries.push_back(end);
  }

  const std::uint32_t options = foldOptions(folding);
  std::vector<std::size_t> foldedBoundaries{0};
  for (std::size_t i = 1; i < boundaries.size(); ++i) {
    const std::int32_t start = boundaries[i - 1];
    const std::int32_t length = boundaries[i] - start;
    const char16_t single = original.charAt(start);
    // Plain ASCII letters and signs need no ICU round trip, except the Turkic "I".
    if (length == 1 && single < 0x80 && foldedAscii(static_cast<char>(single), folding) >= 0) {
      folded_.push_back(static_cast<char16_t>(foldedAscii(static_cast<char>(single), folding)));
    } else {
      const icu::UnicodeString character = caseless(icu::UnicodeString(original, start, length), options);
      folded_.append(character.getBuffer(), static_cast<std::size_t>(character.length()));
    }
    foldedBoundaries.push_back(folded_.size());
  }
  isCharacterBoundary_.assign(folded_.size() + 1, false);
  for (std::size_t offset : foldedBoundaries) isCharacterBoundary_[offset] = true;
  units_ = CaselessUnits(folded_);
}

CaselessSearch::CaselessSearch(std::string_view needle, CaseFolding folding) : folding_(folding) {
  const icu::UnicodeString folded = caseless(text_detail::toUnicode(needle), foldOptions(folding));
  folded_.assign(folded.getBuffer(), static_cast<std::size_t>(folded.length()));
  foldedIsAscii_ = std::all_of(folded_.begin(), folded_.end(), [](char16_t unit) { return unit < 0x80; });
  needed_ = CaselessUnits(folded_);
}

bool CaselessSearch::isFoundIn(std::string_view haystack) const {
  if (folded_.empty()) return false;
  if (text_detail::isAscii(haystack)) {
    // Folded ASCII stays ASCII but for the Turkic "I"; a search text that left ASCII can only meet
    // that one, which the full path handles.
    if (foldedIsAscii_) return isFoundInAscii(haystack);
    if (folding_ == CaseFolding::standard) return false;
  }
  return isFoundIn(CaselessText(haystack, folding_));
}

bool CaselessSearch::isFoundInAscii(std::string_view haystack) const {
  const std::size_t length = folded_.size();
  if (length > haystack.size()) return false;
  for (std::size_t start = 0; start + length <= haystack.size(); ++start) {
    std::size_t matched = 0;
    while (matched < length && foldedAscii(haystack[start + matched], folding_) == folded_[matched])
      ++matched;
    if (matched == length && isAsciiCharacterBoundary(haystack, start) &&
        isAsciiCharacterBoundary(haystack, start + length))
      return true;
  }
  return false;
}

bool CaselessSearch::isFoundIn(const CaselessText& haystack) const {
  if (haystack.folding_ != folding_) {
    throw ProgrammerError("CaseFoldingMismatch", "the text was folded by other rules than the search");
  }
  if (folded_.empty() || !mayBeFoundIn(haystack.units_)) return false;
  const std::u16string_view text = haystack.folded_;
  for (std::size_t start = text.find(folded_); start != std::u16string_view::npos;
       start = text.find(folded_, start + 1)) {
    if (haystack.isCharacterBoundary(start) && haystack.isCharacterBoundary(start + folded_.size()))
      return true;
  }
  return false;
}

}  // namespace platform
