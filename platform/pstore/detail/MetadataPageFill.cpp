#include "platform/pstore/detail/MetadataPageFill.h"

namespace platform::detail {

MetadataPageFill::MetadataPageFill(const MetadataRange& range, const UnsavedMetadata& unsaved)
    : range_(range), unsaved_(unsaved), nextUnsaved_(unsaved.lower_bound(range.prefix)) {}

bool MetadataPageFill::underPrefix(UnsavedMetadata::const_iterator unsaved) const {
  return unsaved != unsaved_.end() && unsaved->first.starts_with(range_.prefix);
}

bool MetadataPageFill::stored(const std::string& key, std::string value) {
  if (!unsavedBefore(&key)) return false;
  if (underPrefix(nextUnsaved_) && nextUnsaved_->first == key) {
    const std::optional<std::string>& laidOver = (nextUnsaved_++)->second;
    return laidOver ? take(key, *laidOver) : true;
  }
  return take(key, std::move(value));
}

void MetadataPageFill::storedEnd() {
  if (!full_) unsavedBefore(nullptr);
}

bool MetadataPageFill::unsavedBefore(const std::string* key) {
  for (; underPrefix(nextUnsaved_) && (!key || nextUnsaved_->first < *key); ++nextUnsaved_) {
    if (nextUnsaved_->second && !take(nextUnsaved_->first, *nextUnsaved_->second)) return false;
  }
  return true;
}

bool MetadataPageFill::take(const std::string& key, std::string value) {
  if (!page_.values.empty() && bytes_ + value.size() > range_.byteLimit) {
    full_ = true;
    return false;
  }
  bytes_ += value.size();
  page_.values.emplace_back(key, std::move(value));
  full_ = page_.values.size() >= range_.limit;
  return !full_;
}

Result<MetadataPage> MetadataPageFill::finish(const StoredKeyAfter& storedKeyAfter) && {
  if (!full_) return std::move(page_);
  const std::string last = page_.values.back().first;
  std::optional<std::string> next;
  for (auto unsaved = unsaved_.upper_bound(last); underPrefix(unsaved); ++unsaved) {
    if (unsaved->second) {
      next = unsaved->first;
      break;
    }
  }
  // A stored key before that one is next unless the unsaved values remove it (a key they give a value
  // to comes no earlier than `next`).
  for (std::string after = last;;) {
    Result<std::optional<std::string>> stored = storedKeyAfter(after);
    if (!stored) return stored.error();
    if (!*stored || (next && **stored >= *next)) break;
    if (!unsaved_.count(**stored)) {
      next = std::move(**stored);
      break;
    }
    after = std::move(**stored);
  }
  page_.nextKey = std::move(next);
  return std::move(page_);
}

}  // namespace platform::detail
