#pragma once
// A keyring daemon of our own for the Secret Service tests: a private D-Bus session bus
// (dbus-run-session) with gnome-keyring-daemon started and unlocked inside it, its files under a
// temporary folder. Nothing of the user's own session or keyring is touched. Stopping closes the
// session's standard input, which ends the session; the bus and the daemon go with it.

#include <sys/types.h>

#include <filesystem>
#include <memory>
#include <string>

#include "platform/error/Result.h"

namespace platform::testing {

class PrivateKeyringSession {
 public:
  // The running session, or an error saying why it could not start (tools missing, no answer).
  static Result<std::unique_ptr<PrivateKeyringSession>> start(const std::filesystem::path& folder);
  ~PrivateKeyringSession();

  // The private bus's address, for DBUS_SESSION_BUS_ADDRESS.
  const std::string& busAddress() const { return busAddress_; }

 private:
  PrivateKeyringSession(pid_t pid, int input, std::string busAddress)
      : pid_(pid), input_(input), busAddress_(std::move(busAddress)) {}

  pid_t pid_;
  pid_t daemonPid_ = -1;
  int input_;
  std::string busAddress_;
};

}  // namespace platform::testing
