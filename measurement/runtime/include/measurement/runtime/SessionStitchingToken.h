#pragma once
// The session stitching token: a random ID that ties the sessions of one visit together across a
// session restart. Kept by BMSIdentity on its queue; not thread-safe by itself.
//
// A token survives a repeated request for the same session (same number, same expired flag) and a
// session restart (number + 1 after a request that saw the session expired, now not expired); any
// other change of session drops it. Without a user ID a token lives at most a day; with one it has
// no expiry of its own.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/value/Value.h"

namespace beacon {

class SessionStitchingToken {
 public:
  static constexpr double kLifetimeWithoutUserIDSeconds = 86400;

  // The token for this request, drawing a new one through `randomID` when none is in force.
  // `userIDAvailable` is asked at most once, and only when the answer matters: not while a token
  // with an expiry still in force is kept (the common case without a user ID).
  std::string tokenFor(std::int64_t sessionNumber, bool sessionExpired,
                       const std::function<bool()>& userIDAvailable, platform::Date now,
                       const std::function<std::string()>& randomID);
  void reset();

 private:
  std::optional<std::string> token_;
  std::optional<platform::Date> expiry_;
  std::int64_t lastSessionNumber_ = 0;
  bool lastIsSessionExpired_ = false;
};

}  // namespace beacon
