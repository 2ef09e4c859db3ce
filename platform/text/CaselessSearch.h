#pragma once
// Case-insensitive containment for searching many texts with one search text, or one text with
// many search texts: each side is folded once and kept, instead of once per comparison. The answers
// are exactly those of localizedCaseInsensitiveContains (Search.h): full case folding, accents and
// canonical equivalence as there, and a match never starts or ends inside a user-perceived
// character.
//
// Folding depends on the locale only through the Turkic dotted and dotless i; CaseFolding names the
// two rule sets. A CaselessText and a CaselessSearch meet only when folded by the same rules.
//
// Plain values: immutable once made, safe to share between threads.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

enum class CaseFolding : std::uint8_t { standard, turkic };

// The rules of the named ICU locale ("tr", "de_DE"); of the current locale when empty.
CaseFolding caseFoldingFor(std::string_view locale = {});

// A text folded once, to be searched many times.
class CaselessText {
 public:
  CaselessText(std::string_view utf8, CaseFolding folding);

  CaseFolding folding() const { return folding_; }

 private:
  friend class CaselessSearch;

  std::u16string folded_;
  // Indexed by offset into folded_ (one entry more than its length): whether a user-perceived
  // character of the original text begins or ends there.
  std::vector<bool> isCharacterBoundary_;
  // The folded code units present, each as bit (unit % 64): a search text with a unit missing here
  // is not found without looking through the text.
  std::uint64_t unitsPresent_ = 0;
  CaseFolding folding_;
};

// A search text folded once, to be looked for in many texts. An empty search text is found nowhere.
class CaselessSearch {
 public:
  CaselessSearch(std::string_view needle, CaseFolding folding);

  CaseFolding folding() const { return folding_; }

  // Whether the search text occurs in `haystack`. Plain ASCII texts are answered without folding
  // them into a CaselessText.
  bool isFoundIn(std::string_view haystack) const;
  // The same for a text folded already; `haystack` must have been folded by this search's rules
  // (ProgrammerError otherwise).
  bool isFoundIn(const CaselessText& haystack) const;

 private:
  bool isFoundInAscii(std::string_view haystack) const;

  std::u16string folded_;
  bool foldedIsAscii_ = false;
  std::uint64_t unitsNeeded_ = 0;  // as CaselessText's unitsPresent_
  CaseFolding folding_;
};

}  // namespace platform
