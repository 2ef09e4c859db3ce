#pragma once
// The tag suggestions of a library: every distinct tag among the given ones, for the tag inputs.
//  - Tags are taken in the given order (the library's: prompt by prompt, each prompt's tags in their
//    stored order), trimmed of white space and line breaks; tags left empty are dropped.
//  - Tags that differ only in letter case are one tag: the first form met wins ("Review" met before
//    "review" leaves "Review"). Lower-casing is full Unicode and the same in every locale.
//  - The result is sorted by a locale's case-insensitive collation: the current locale's unless
//    `locale` names another (an ICU locale name such as "de_DE").
// A pure function, safe on any thread.

#include <string>
#include <string_view>
#include <vector>

namespace velloran {

std::vector<std::string> tagSuggestions(const std::vector<std::string>& tags, std::string_view locale = {});

}  // namespace velloran
