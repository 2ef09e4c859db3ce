#pragma once
// The folders this application owns, one per kind, named after the main bundle's identifier so that
// every program keeps its own:
//   Application Support  $XDG_DATA_HOME/<bundle id>    (default ~/.local/share/<bundle id>)
//   configuration        $XDG_CONFIG_HOME/<bundle id>  (default ~/.config/<bundle id>)
// Each call creates the folder with any missing parents and returns it. Callers get an Error instead
// of an empty answer when the folder cannot be named or made, so they can report it and carry on.
// Safe to call from any thread; the environment is read at every call.

#include <filesystem>
#include <string_view>

#include "platform/error/Result.h"
#include "platform/paths/UserDirectories.h"

namespace platform {

// For the current user and the main bundle's identifier; NoBundleIdentifier when it has none.
Result<std::filesystem::path> applicationSupportDirectory();
Result<std::filesystem::path> applicationConfigDirectory();
// The Application Support folder named the same way but not made, for what must be settled before
// anything is made in it (or it is made at all).
Result<std::filesystem::path> applicationSupportDirectoryName();

// For explicit user folders and identifier. An identifier that is empty, "." or "..", or holds a "/",
// cannot name a folder and gives NoBundleIdentifier.
Result<std::filesystem::path> applicationSupportDirectory(const UserDirectories& user,
                                                          std::string_view bundleIdentifier);
Result<std::filesystem::path> applicationConfigDirectory(const UserDirectories& user,
                                                         std::string_view bundleIdentifier);

}  // namespace platform
