#pragma once
// Fills a page of metadata (MetadataRange.h) from the stored values under its prefix, met in key
// order, with a context's unsaved values laid over them: a key the unsaved values hold has its value
// there, or none where that is nullopt. Knows nothing of the database: the caller hands over the
// stored values one by one, and finds stored keys for the page's next key. Internal to the
// persistent-store layer; one object serves one read.

#include <functional>
#include <map>
#include <optional>
#include <string>

#include "platform/error/Result.h"
#include "platform/pstore/MetadataRange.h"

namespace platform::detail {

using UnsavedMetadata = std::map<std::string, std::optional<std::string>>;

class MetadataPageFill {
 public:
  // Both are read until finish() returns.
  MetadataPageFill(const MetadataRange& range, const UnsavedMetadata& unsaved);

  // Takes the stored value of `key` (the one laid over it, if any), after the unsaved values of the
  // keys before it. Answers whether the page takes more: once it does not, no more are handed over.
  bool stored(const std::string& key, std::string value);
  // No more stored values are handed over: takes the unsaved values of the keys after the last one,
  // while the page takes more.
  void storedEnd();

  // The first stored key under the prefix after a given key, nullopt when there is none.
  using StoredKeyAfter = std::function<Result<std::optional<std::string>>(const std::string& after)>;
  // The page, with the first key left out (a stored one that the unsaved values do not remove, or an
  // unsaved one) when it stopped with values left.
  Result<MetadataPage> finish(const StoredKeyAfter& storedKeyAfter) &&;

 private:
  bool underPrefix(UnsavedMetadata::const_iterator unsaved) const;
  // Takes the unsaved values of the keys before `key` (of every key left, without); answers whether
  // the page takes more.
  bool unsavedBefore(const std::string* key);
  // Answers whether the page takes more after this value, which it takes when it fits.
  bool take(const std::string& key, std::string value);

  const MetadataRange& range_;
  const UnsavedMetadata& unsaved_;
  // The first unsaved value not yet taken or passed over.
  UnsavedMetadata::const_iterator nextUnsaved_;
  MetadataPage page_;
  std::size_t bytes_ = 0;
  bool full_ = false;
};

}  // namespace platform::detail
