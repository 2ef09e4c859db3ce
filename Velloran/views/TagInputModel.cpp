#include "Velloran/views/TagInputModel.h"

#include <algorithm>
#include <unordered_set>

#include "platform/text/Characters.h"
#include "platform/text/Normalization.h"
#include "platform/text/Scalars.h"
#include "platform/text/Search.h"

namespace velloran {
namespace {

// What two spellings of one tag share: the lower-case form, composed canonically, so a precomposed
// and a combining accent compare equal, as everywhere else in the app.
std::string tagKey(std::string_view tag) {
  return platform::normalizedNFC(platform::lowercased(tag));
}

bool containsKey(const std::vector<std::string>& tags, const std::string& key) {
  return std::any_of(tags.begin(), tags.end(), [&](const std::string& tag) { return tagKey(tag) == key; });
}

bool endsWithSeparator(std::string_view text) {
  const std::u32string scalars = platform::toScalars(text);
  return !scalars.empty() && isTagSeparator(scalars.back());
}

void sortForDisplay(std::vector<std::string>& entries) {
  std::stable_sort(entries.begin(), entries.end(), [](const std::string& a, const std::string& b) {
    return platform::localizedCaseInsensitiveCompare(a, b) < 0;
  });
}

}  // namespace

bool isTagSeparator(char32_t scalar) {
  return scalar == U',' || platform::isWhiteSpace(scalar);
}

std::vector<std::string> tagParts(std::string_view text) {
  return platform::split(text, isTagSeparator);
}

std::vector<std::string> nonEmptyTagParts(std::string_view text) {
  std::vector<std::string> parts = tagParts(text);
  std::erase_if(parts, [](const std::string& part) { return part.empty(); });
  return parts;
}

TagInputModel::TagInputModel(Binding tags, std::vector<std::string> suggestions,
                             int minimumCharactersForSuggestions, int maxSuggestionCount)
    : tags_(std::move(tags)),
      suggestions_(std::move(suggestions)),
      minimumCharacters_(minimumCharactersForSuggestions),
      // A negative limit would make the cut below meaningless; it simply means none.
      maxSuggestions_(std::max(0, maxSuggestionCount)) {}

void TagInputModel::changed() {
  if (onChange_) onChange_();
}

void TagInputModel::setSuggestions(std::vector<std::string> suggestions) {
  suggestions_ = std::move(suggestions);
  changed();
}

void TagInputModel::setInputText(std::string text) {
  if (text == inputText_) return;
  inputText_ = std::move(text);
  highlighted_.reset();
  changed();
  // A copy: the handler may replace the text while it works.
  const std::string current = inputText_;
  handleInputChange(current);
}

void TagInputModel::setFocused(bool focused) {
  if (focused == focused_) return;
  focused_ = focused;
  highlighted_.reset();
  changed();
}

std::string TagInputModel::currentFragment() const {
  const std::vector<std::string> parts = tagParts(inputText_);
  return parts.empty() ? std::string() : platform::trimmed(parts.back());
}

std::vector<std::string> TagInputModel::filteredSuggestions() const {
  if (!focused_) return {};
  const std::string fragment = platform::trimmed(currentFragment());
  if (platform::characterCount(fragment) < static_cast<std::size_t>(std::max(0, minimumCharacters_)))
    return {};
  const std::string query = tagKey(fragment);

  std::unordered_set<std::string> chosen;
  for (const std::string& tag : tags_.get()) chosen.insert(tagKey(tag));

  std::vector<std::string> prefixMatches;
  std::vector<std::string> containsMatches;
  std::unordered_set<std::string> pooled;
  for (const std::string& suggestion : suggestions_) {
    const std::string candidate = platform::trimmed(suggestion);
    if (candidate.empty()) continue;
    const std::string lower = tagKey(candidate);
    if (!pooled.insert(lower).second) continue;  // the first spelling of a tag wins
    if (chosen.count(lower) > 0 || lower == query) continue;
    if (lower.starts_with(query)) {
      prefixMatches.push_back(candidate);
    } else if (lower.find(query) != std::string::npos) {
      containsMatches.push_back(candidate);
    }
  }
  sortForDisplay(prefixMatches);
  sortForDisplay(containsMatches);
  prefixMatches.insert(prefixMatches.end(), containsMatches.begin(), containsMatches.end());
  if (prefixMatches.size() > static_cast<std::size_t>(maxSuggestions_)) prefixMatches.resize(maxSuggestions_);
  return prefixMatches;
}

void TagInputModel::addTag(std::string_view tag) {
  const std::string trimmed = platform::trimmed(tag);
  if (trimmed.empty()) return;
  std::vector<std::string> tags = tags_.get();
  if (containsKey(tags, tagKey(trimmed))) return;
  tags.push_back(trimmed);
  tags_.set(std::move(tags));
  changed();
}

void TagInputModel::commitTags(const std::vector<std::string>& parts, bool includingLast) {
  if (parts.empty()) return;
  const std::size_t committed = includingLast ? parts.size() : parts.size() - 1;
  for (std::size_t index = 0; index < committed; ++index) addTag(parts[index]);
  setInputText(includingLast ? std::string() : parts.back());
}

void TagInputModel::handleInputChange(const std::string& text) {
  const std::vector<std::string> parts = nonEmptyTagParts(text);
  const bool separatorAtEnd = endsWithSeparator(text);
  if (!separatorAtEnd && parts.size() < 2) return;
  commitTags(parts, separatorAtEnd);
}

void TagInputModel::commitInput() {
  if (takeHighlightedSuggestion()) return;
  commitTags(nonEmptyTagParts(inputText_), true);
}

void TagInputModel::removeTag(std::string_view label) {
  std::vector<std::string> tags = tags_.get();
  const std::size_t before = tags.size();
  std::erase_if(tags,
                [&](const std::string& tag) { return platform::caseInsensitiveCompare(tag, label) == 0; });
  if (tags.size() == before) return;
  tags_.set(std::move(tags));
  changed();
}

void TagInputModel::editTag(std::string_view label) {
  const std::string text(label);  // the label may live in the list that removeTag rewrites
  removeTag(text);
  setInputText(text);
  setFocused(true);
}

void TagInputModel::selectSuggestion(std::string_view suggestion) {
  const std::string chosen(suggestion);
  addTag(chosen);
  setInputText(std::string());
  setFocused(true);
}

std::optional<std::string> TagInputModel::highlightedSuggestion() const {
  if (!highlighted_) return std::nullopt;
  const std::vector<std::string> offered = filteredSuggestions();
  if (std::find(offered.begin(), offered.end(), *highlighted_) == offered.end()) return std::nullopt;
  return highlighted_;
}

void TagInputModel::moveHighlight(int step) {
  const std::vector<std::string> offered = filteredSuggestions();
  if (offered.empty() || step == 0) return;
  const std::optional<std::string> current = highlightedSuggestion();
  const auto at = current ? std::find(offered.begin(), offered.end(), *current) : offered.end();
  const long index = current ? static_cast<long>(at - offered.begin()) : -1;
  const long last = static_cast<long>(offered.size()) - 1;
  const long target = std::min(index + step, last);
  std::optional<std::string> next;
  if (target >= 0) next = offered[static_cast<std::size_t>(target)];
  if (next == highlighted_) return;
  highlighted_ = std::move(next);
  changed();
}

void TagInputModel::clearHighlight() {
  if (!highlighted_) return;
  highlighted_.reset();
  changed();
}

bool TagInputModel::takeHighlightedSuggestion() {
  const std::optional<std::string> chosen = highlightedSuggestion();
  if (!chosen) return false;
  selectSuggestion(*chosen);
  return true;
}

}  // namespace velloran
