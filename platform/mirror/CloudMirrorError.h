#pragma once
// The failures of the cloud mirror, in one error domain. The codes are the ones the application tells
// apart when it words a sync failure for the user:
//  - NetworkUnavailable: the mirror folder is there but marked as not to be used now (an "OFFLINE"
//    file in it), as when the network is away;
//  - NetworkFailure: reading or writing the mirror folder failed;
//  - NotAuthenticated: there is no account to mirror to: no mirror folder could be named, or the
//    one configured is missing or cannot be read;
//  - UnreadableEntry: another machine's journal held lines that could not be read, or not yet
//    (stamped far beyond this machine's clock); the first were skipped, the others are held until
//    the clock comes within reach of them, everything else was applied;
//  - EntryTooLarge: records of this store's own were too large for a journal line any machine
//    reads; they were not written, everything else was;
//  - ClockAhead: changes of this store's own were stamped while this machine's clock ran far
//    ahead; they were written, and machines whose clocks are right take them only once their
//    clocks come within reach of the stamps.
// Failures of the local store keep the persistent-store layer's domains.

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/error/Error.h"

namespace platform {

inline constexpr std::string_view kCloudMirrorErrorDomain = "CloudMirrorErrorDomain";

enum class CloudMirrorErrorCode : std::int64_t {
  NetworkUnavailable = 3,
  NetworkFailure = 4,
  NotAuthenticated = 9,
  UnreadableEntry = 100,
  EntryTooLarge = 101,
  ClockAhead = 102,
};

// With a non-zero errno the system's reason is appended to the description.
Error cloudMirrorError(CloudMirrorErrorCode code, std::string description, int errnoValue = 0);

inline bool isCloudMirrorError(const Error& error, CloudMirrorErrorCode code) {
  return error.is(kCloudMirrorErrorDomain, static_cast<std::int64_t>(code));
}

}  // namespace platform
