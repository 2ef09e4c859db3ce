#pragma once
// The stored form of a HeartbeatsBundle: JSON bytes of the shape
//   {"capacity": 30,
//    "lastAddedHeartbeatDates": [1, <seconds>],
//    "buffer": {"circularQueue": [<heartbeat or null>, ...], "tailIndex": 0}}
// with a heartbeat as {"agent": "...", "date": <seconds>, "version": 0, "timePeriods": [1]}. Dates are
// seconds since 2001-01-01 00:00:00 UTC; the period map alternates period and date because its keys
// are periods, not texts. Object keys may come in any order.
//
// Decoding is strict: every key must be present with its type, and every period must be known; a
// ring whose tail or slot count is damaged is still accepted (the bundle repairs it), but a capacity
// larger than any bundle could sensibly hold is refused, since repairing would allocate that many
// slots. Pure functions, safe from any thread; failures are Errors of kHeartbeatsCodingErrorDomain.

#include <cstdint>
#include <string_view>

#include "platform/error/Result.h"
#include "platform/value/Value.h"
#include "sdk-core/heartbeat/HeartbeatsBundle.h"

namespace beacon {

inline constexpr std::string_view kHeartbeatsCodingErrorDomain = "beacon.heartbeat.coding";

enum class HeartbeatsCodingError : std::int64_t { encodingFailed = 1, decodingFailed = 2 };

// The largest capacity a stored bundle may claim.
inline constexpr std::int64_t kLargestStoredCapacity = 10000;

// Fails for an agent that is not UTF-8 or a date that is not a finite number.
platform::Result<platform::Bytes> encodeHeartbeatsBundle(const HeartbeatsBundle& bundle);
platform::Result<HeartbeatsBundle> decodeHeartbeatsBundle(const platform::Bytes& data);

}  // namespace beacon
