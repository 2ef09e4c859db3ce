#pragma once
// What a flush of stored heartbeats yields: for each user-agent text, the days on which a heartbeat
// was logged under it. Its only outward form is the text of an HTTP request header: the payload as
// compact JSON, gzipped, in URL-safe Base64 without "=" fill.
//
// Plain value types without locking; safe to copy between threads.

#include <concepts>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/value/Value.h"

namespace beacon {

// Something that can be written as the value of an HTTP request header.
template <class T>
concept HTTPHeaderRepresentable = requires(const T& object) {
  { object.headerValue() } -> std::convertible_to<std::string>;
};

struct HeartbeatsPayload {
  static constexpr std::int64_t kVersion = 2;

  struct UserAgentPayload {
    std::string agent;
    // UTC days; written in the header as "yyyy-MM-dd".
    std::vector<platform::Date> dates;

    friend bool operator==(const UserAgentPayload&, const UserAgentPayload&) = default;
  };

  std::vector<UserAgentPayload> userAgentPayloads;
  std::int64_t version = kVersion;

  // The payload without entries, version 2.
  static const HeartbeatsPayload& emptyPayload();

  bool isEmpty() const { return userAgentPayloads.empty(); }

  // Never fails: a payload that cannot be written as JSON (an agent that is not UTF-8, a date outside
  // the years 1 to 9999) gives the empty payload's value, and a compression failure leaves the JSON
  // uncompressed; either way the result holds only letters, digits, "-" and "_".
  std::string headerValue() const;

  friend bool operator==(const HeartbeatsPayload&, const HeartbeatsPayload&) = default;
};

// Something that turns its contents into a HeartbeatsPayload.
template <class T>
concept HeartbeatsPayloadConvertible = requires(const T& object) {
  { object.makePayload() } -> std::same_as<HeartbeatsPayload>;
};

namespace detail {

// gzip of the given bytes, or nullopt when compression failed.
using HeaderCompressor = std::function<std::optional<platform::Bytes>(const platform::Bytes&)>;

// headerValue with the compression step handed in, so the uncompressed fallback can be exercised.
std::string headerValue(const HeartbeatsPayload& payload, const HeaderCompressor& compress);

}  // namespace detail

}  // namespace beacon
