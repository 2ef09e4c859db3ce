#pragma once
// Case-insensitive matching and ordering of UTF-8 text, the way a user searching and sorting
// expects it:
// - Case is ignored by full Unicode case folding ("STRASSE" matches "Straße"), accents are not
//   ("ubersicht" does not match "Übersicht"), and canonically equivalent spellings match each other
//   (precomposed "ü" and "u" + combining diaeresis).
// - A match never starts or ends inside a user-perceived character: "u" is not found in "ü".
//
// `locale` names an ICU locale ("de_DE", "tr", "root"); when empty, the current locale is used, which
// is ICU's default locale taken from the process environment (LANG and friends). The locale matters
// for ordering and for the Turkic dotted and dotless i. Safe on any thread (collators and break
// iterators are kept per thread).

#include <compare>
#include <string>
#include <string_view>

namespace platform {

// Full Unicode lower-casing, the same in every locale ("ÄRGER" -> "ärger", "ΣΑΣ" -> "σας").
std::string lowercased(std::string_view utf8);

// Whether `needle` occurs in `haystack` ignoring case under the locale's rules, accents respected.
// An empty needle is found nowhere.
bool localizedCaseInsensitiveContains(std::string_view haystack, std::string_view needle,
                                      std::string_view locale = {});
// The same without locale rules: for matching program texts such as symbol names.
bool caseInsensitiveContains(std::string_view haystack, std::string_view needle);

// Ordering that ignores case: a plain ordering by folded text (equal for "Review" and "review"),
// and the locale's collation for lists shown to users ("Äpfel" sorts with "Apfel" in German).
std::weak_ordering caseInsensitiveCompare(std::string_view a, std::string_view b);
std::weak_ordering localizedCaseInsensitiveCompare(std::string_view a, std::string_view b,
                                                   std::string_view locale = {});

}  // namespace platform
