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

// Which folded code units some texts hold, coarsely enough to keep in one word: a search text that
// needs a unit the set lacks occurs in none of those texts, which is known without reading them.
class CaselessUnits {
 public:
  CaselessUnits() = default;

  CaselessUnits& operator|=(CaselessUnits other) {
    bits_ |= other.bits_;
    return *this;
  }

 private:
  friend class CaselessText;
  friend class CaselessSearch;

  explicit CaselessUnits(std::u16string_view folded);

  std::uint64_t bits_ = 0;  // bit (unit % 64) for each unit
};

// A text folded once, to be searched many times.
class CaselessText {
 public:
  CaselessText(std::string_view utf8, CaseFolding folding);

  CaseFolding folding() const { return folding_; }
  CaselessUnits units() const { return units_; }

 private:
  friend class CaselessSearch;

  bool isCharacterBoundary(std::size_t offset) const {
    return isCharacterBoundary_.empty() || isCharacterBoundary_[offset];
  }

  std::u16string folded_;
  // Indexed by offset into folded_ (one entry more than its length): whether a user-perceived
  // character of the original text begins or ends there. Empty when every offset is one, as in
  // most plain ASCII texts (all but those with a CR LF line break): nothing to read for them.
  std::vector<bool> isCharacterBoundary_;
  CaselessUnits units_;
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
  // False when the search text cannot occur in any text holding only `units`; true when it may.
  bool mayBeFoundIn(CaselessUnits units) const { return (needed_.bits_ & ~units.bits_) == 0; }

 private:
  bool isFoundInAscii(std::string_view haystack) const;

  std::u16string folded_;
  bool foldedIsAscii_ = false;
  CaselessUnits needed_;
  CaseFolding folding_;
};

}  // namespace platform
