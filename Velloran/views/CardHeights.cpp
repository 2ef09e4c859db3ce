#include "Velloran/views/CardHeights.h"

#include <algorithm>
#include <unordered_set>

namespace velloran {
namespace {

bool sameOwner(const std::weak_ptr<const Prompt>& kept, const SharedPrompt& listed) {
  return !kept.owner_before(listed) && !listed.owner_before(kept);
}

// Entries of values gone are cleared when the entries have doubled since the last clearing (and
// number at least this many), so clearing costs a constant share of the remembering.
constexpr std::size_t kFewestEntriesCleared = 64;

}  // namespace

std::optional<int> CardHeights::Heights::at(int width) const {
  for (const auto& [measuredWidth, height] : byWidth) {
    if (measuredWidth == width) return height;
  }
  return std::nullopt;
}

void CardHeights::Heights::add(int width, int height) {
  byWidth = {{{width, height}, byWidth[0]}};
}

bool CardHeights::MeasuredTexts::describe(const Prompt& prompt) const {
  // Compared as stored, without making the card's display texts: equal texts give equal ones.
  return title == prompt.title && latestText == currentText(prompt) && hasTags == !prompt.tags.empty();
}

CardHeights::CardHeights(Measure measure)
    : measure_(std::move(measure)), clearingAt_(kFewestEntriesCleared) {}

CardHeights::ListedValue* CardHeights::listed(const SharedPrompt& prompt) {
  if (const auto found = byValue_.find(prompt.get());
      found != byValue_.end() && sameOwner(found->second.owner, prompt))
    return &found->second;
  const auto measured = byId_.find(prompt->id);
  if (measured == byId_.end() || !measured->second.describe(*prompt)) return nullptr;
  return &remember(prompt, measured->second.heights);
}

std::vector<const CardHeights::ListedValue*> CardHeights::listed(const PromptList& listing) {
  std::vector<const ListedValue*> entries(listing.size(), nullptr);
  std::size_t cursor = 0;
  bool followed = true;
  for (std::size_t index = 0; index < listing.size(); ++index) {
    const SharedPrompt& prompt = listing[index];
    // The reference holds its prompts, so an address found there is the same value.
    while (cursor < reference_.size() && reference_[cursor] != prompt) ++cursor;
    if (cursor < reference_.size()) {
      // Measured since the reference was looked up, perhaps.
      const ListedValue*& kept = referenceEntries_[cursor++];
      if (kept == nullptr) kept = listed(prompt);
      entries[index] = kept;
    } else {
      followed = false;
      entries[index] = listed(prompt);
    }
  }
  if (!followed) {
    reference_ = listing;
    referenceEntries_ = entries;
  }
  return entries;
}

CardHeights::ListedValue& CardHeights::listedOrNew(const SharedPrompt& prompt) {
  if (ListedValue* known = listed(prompt)) return *known;
  return remember(prompt, Heights{});
}

CardHeights::ListedValue& CardHeights::remember(const SharedPrompt& prompt, Heights heights) {
  if (byValue_.size() >= clearingAt_) forgetValuesGone();
  return byValue_.insert_or_assign(prompt.get(), ListedValue{prompt, heights}).first->second;
}

void CardHeights::forgetValuesGone() {
  std::erase_if(byValue_, [](const auto& entry) { return entry.second.owner.expired(); });
  // The texts of a prompt go with its last value: a prompt deleted, or no longer held by any
  // listing, leaves nothing behind. The values left are alive, so their addresses can be read.
  std::unordered_set<platform::UUID> stillHeld;
  for (const auto& [value, entry] : byValue_) stillHeld.insert(value->id);
  std::erase_if(byId_, [&stillHeld](const auto& entry) { return !stillHeld.contains(entry.first); });
  clearingAt_ = std::max(2 * byValue_.size(), kFewestEntriesCleared);
}

std::vector<std::optional<int>> CardHeights::known(const PromptList& listing, int width) {
  const std::vector<const ListedValue*> entries = listed(listing);
  std::vector<std::optional<int>> heights(entries.size());
  for (std::size_t index = 0; index < entries.size(); ++index) {
    if (entries[index] != nullptr) heights[index] = entries[index]->heights.at(width);
  }
  return heights;
}

int CardHeights::heightOf(const SharedPrompt& prompt, int width) {
  ListedValue& value = listedOrNew(prompt);
  if (const std::optional<int> height = value.heights.at(width)) return *height;
  const int height = measure_(*prompt, width);
  value.heights.add(width, height);
  MeasuredTexts& texts = byId_[prompt->id];
  if (!texts.describe(*prompt))
    texts = MeasuredTexts{prompt->title, currentText(*prompt), !prompt->tags.empty(), {}};
  texts.heights = value.heights;
  return height;
}

int CardHeights::estimate(const Prompt& prompt, int width) {
  if (width != estimatesWidth_) {
    estimates_ = {{{-1, -1}, {-1, -1}}};
    estimatesWidth_ = width;
  }
  const bool hasPreview = !currentText(prompt).empty();
  const bool hasTags = !prompt.tags.empty();
  int& estimate = estimates_[hasPreview ? 1 : 0][hasTags ? 1 : 0];
  if (estimate < 0) {
    Prompt sample;
    sample.title = "X";
    if (hasPreview) sample.versions.push_back(PromptVersion{{}, {}, "X", "", 1, {}});
    if (hasTags) sample.tags = {"X"};
    estimate = measure_(sample, width);
  }
  return estimate;
}

}  // namespace velloran
