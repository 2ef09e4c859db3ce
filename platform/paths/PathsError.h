#pragma once
// Failures of the paths layer: one error domain, a code per kind of failure. The description names the
// path and the system's reason, so a log line alone tells what went wrong.

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/error/Error.h"

namespace platform {

inline constexpr std::string_view kPathsErrorDomain = "platform.paths";

enum class PathsErrorCode : std::int64_t {
  NoHomeDirectory = 1,     // neither the environment nor the account database names a home
  NoBundleIdentifier = 2,  // per-application folders need the main bundle's identifier
  CreateDirectoryFailed = 3,
  FileNotFound = 4,
  ReadFailed = 5,
  WriteFailed = 6,
  // Something stands at the path that is no file to read whole: a folder, a pipe, a device, or a
  // file larger than the machine's memory.
  NotAFileToRead = 7,
};

// An error of this domain; with a non-zero errno the system's reason is appended to the description
// and the number kept under kErrnoKey.
Error pathsError(PathsErrorCode code, std::string description, int errnoValue = 0);

inline bool isPathsError(const Error& error, PathsErrorCode code) {
  return error.is(kPathsErrorDomain, static_cast<std::int64_t>(code));
}

}  // namespace platform
