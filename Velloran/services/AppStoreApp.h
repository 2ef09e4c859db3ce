#pragma once
// One application as the store's lookup describes it, ready to show: the record of the other-apps
// section. A plain value; two records are equal when all six fields are.

#include <cstdint>
#include <optional>
#include <string>

#include "platform/net/Url.h"

namespace velloran {

struct AppStoreApp {
  std::int64_t id = 0;  // the store's track ID; identifies the record
  std::string name;
  std::string subtitle;
  std::string genre;
  std::optional<platform::Url> artworkURL;
  // The store page. Records built from a lookup always have one.
  std::optional<platform::Url> appStoreURL;

  friend bool operator==(const AppStoreApp&, const AppStoreApp&) = default;
};

}  // namespace velloran
