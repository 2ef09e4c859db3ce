#pragma once
// The banner the library window shows after a sync failure: its text and whether it reports an
// error. Two banners are equal when their texts are canonically equal and their flags are the same;
// the banner's clearing timer relies on that equality. A plain value.

#include <string>

namespace velloran {

struct SyncBanner {
  std::string message;
  bool isError = false;
};

bool operator==(const SyncBanner& a, const SyncBanner& b);

}  // namespace velloran
