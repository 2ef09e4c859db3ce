#include "measurement/runtime/SessionStitchingToken.h"

namespace beacon {

std::string SessionStitchingToken::tokenFor(std::int64_t sessionNumber, bool sessionExpired,
                                            const std::function<bool()>& userIDAvailable, platform::Date now,
                                            const std::function<std::string()>& randomID) {
  const bool sameSession = sessionNumber == lastSessionNumber_ && sessionExpired == lastIsSessionExpired_;
  const bool restartedSession =
      sessionNumber == lastSessionNumber_ + 1 && lastIsSessionExpired_ && !sessionExpired;
  if (!sameSession && !restartedSession) reset();
  lastSessionNumber_ = sessionNumber;
  lastIsSessionExpired_ = sessionExpired;

  // A token made while a user ID was known has no expiry; once the user ID is gone it may not
  // outlive the day a token without one gets, so it goes at once.
  std::optional<bool> hasUserID;
  const auto userIDKnown = [&] {
    if (!hasUserID) hasUserID = userIDAvailable();
    return *hasUserID;
  };
  if (token_ && (!expiry_ || *expiry_ <= now) && !userIDKnown()) reset();

  if (!token_) {
    token_ = randomID();
    if (!userIDKnown())
      expiry_ = platform::Date{now.secondsSinceReferenceDate + kLifetimeWithoutUserIDSeconds};
  }
  return *token_;
}

void SessionStitchingToken::reset() {
  token_.reset();
  expiry_.reset();
}

}  // namespace beacon
