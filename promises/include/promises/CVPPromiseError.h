#pragma once
// The errors the promise operators make themselves. They carry no user info.

#include <cstdint>
#include <string>

#include "platform/error/Error.h"
#include "sdk-utilities/vendor/VendorPrefix.h"

namespace beacon {

// Never destroyed, like every constant the SDK's queues may read: they may still run while the
// process's exit handlers do.
inline const std::string& kCVPPromiseErrorDomain = *new std::string(vendorLabel("CVPPromises.Error"));

// A `timeout` operator's interval ran out before the promise settled.
inline constexpr std::int64_t kCVPPromiseErrorCodeTimedOut = 1;
// A `validate` operator's predicate refused the value.
inline constexpr std::int64_t kCVPPromiseErrorCodeValidationFailure = 2;

inline platform::Error CVPPromiseError(std::int64_t code) {
  return platform::Error(kCVPPromiseErrorDomain, code);
}

}  // namespace beacon
