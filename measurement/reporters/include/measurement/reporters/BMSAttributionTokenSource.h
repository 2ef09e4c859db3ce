#pragma once
// The platform's ad attribution class, "AAAttribution", as the search-ad reporter sees it: a class
// looked up by name in the class directory whose facet hands out a one-time attribution token. No
// such class is linked into this program; tests register one.

#include <string>

#include "platform/error/Result.h"

namespace beacon {

inline constexpr const char* kBMSAttributionClassName = "AAAttribution";

class BMSAttributionTokenSource {
 public:
  virtual ~BMSAttributionTokenSource() = default;
  // A fresh token, or the platform's reason for having none. Called on the engine's worker queue.
  virtual platform::Result<std::string> attributionToken() = 0;
};

}  // namespace beacon
