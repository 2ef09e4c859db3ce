#pragma once
// Where this user's files live: the home folder and the per-user data and configuration roots, found
// the way desktop programs on this system agree on: $XDG_DATA_HOME and $XDG_CONFIG_HOME when they hold
// absolute paths, else ".local/share" and ".config" under the home folder. The home folder is $HOME when
// it is absolute, else the account database's entry for this user.
//
// Nothing is created here; see ApplicationDirectories.h for the folders a program owns. A value is
// immutable and may be shared between threads.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "platform/error/Result.h"

namespace platform {

class UserDirectories {
 public:
  // Reads one environment variable; nullopt when it is not set.
  using EnvironmentLookup = std::function<std::optional<std::string>(const std::string& name)>;
  // The account database's home folder for the current user; nullopt when it has none.
  using AccountHomeLookup = std::function<std::optional<std::string>()>;

  // Reads the live process environment and the account database at each call.
  static UserDirectories current();

  UserDirectories(EnvironmentLookup environment, AccountHomeLookup accountHome);

  // A NoHomeDirectory error when no absolute home folder can be found.
  Result<std::filesystem::path> home() const;
  Result<std::filesystem::path> dataHome() const;
  Result<std::filesystem::path> configHome() const;

 private:
  Result<std::filesystem::path> baseDirectory(const std::string& variable,
                                              const std::filesystem::path& underHome) const;

  EnvironmentLookup environment_;
  AccountHomeLookup accountHome_;
};

}  // namespace platform
