#pragma once
// Keeps one consumer informed of the default app's installation ID: asked for at once, and asked
// for again each time an installation ID changes, for as long as the consumer keeps the returned
// token. Dropping the token (or replacing it with a newer one) ends the observation, so a caller
// that starts twice and keeps one token is told once per change.
//
// This is how the analytics side learns the ID it reports: it hands the ID to the engine's identity,
// and an absent ID (with the error that kept it away) too, so a deleted installation stops being
// reported.
//
// The consumer runs on the promise library's default queue (the main queue) with the ID or with no
// ID and an error of kBCNInstallationsErrorDomain. With no ID to be had it is told so (no ID,
// installations error code 0): when the installations library was never registered
// (BCNInstallations::load()), and at the next change once the default app is gone. Any thread.

#include <functional>
#include <optional>
#include <string>

#include "platform/error/Error.h"
#include "platform/notify/NotificationCenter.h"

namespace beacon {

class BCNInstallationIDLink {
 public:
  using Consumer =
      std::function<void(std::optional<std::string> installationID, std::optional<platform::Error> error)>;

  BCNInstallationIDLink() = delete;

  // The default app must be configured (ProgrammerError as BCNInstallations::installations()).
  [[nodiscard]] static platform::ObserverToken follow(Consumer consumer);
};

}  // namespace beacon
