#pragma once
// Facts about the running process and the system it runs on: the launch arguments, environment
// variables, whether the caller is on the process's main thread, the operating-system version and
// the path of the executable. Every function is safe to call from any thread.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The version of the running operating system. On this platform that is the kernel release
// (uname), read as major.minor.patch: "6.1.0-18-amd64" is 6.1.0 and "4.19" is 4.19.0. It changes
// whenever the machine's system is updated, which is what version reports are after.
struct OperatingSystemVersion {
  std::int64_t major = 0;
  std::int64_t minor = 0;
  std::int64_t patch = 0;

  // Reads the leading dot-separated numbers of a kernel release; missing parts are 0 and the first
  // character that is neither a digit nor a separating dot ends the version.
  static OperatingSystemVersion fromKernelRelease(std::string_view release);

  friend bool operator==(const OperatingSystemVersion&, const OperatingSystemVersion&) = default;
};

class ProcessInfo {
 public:
  // The launch arguments exactly as the process received them, program name first: read from the
  // kernel's record of the command line, so nothing a toolkit strips from argv is lost. Empty when
  // that record cannot be read.
  static std::vector<std::string> arguments();
  // Replaces the launch arguments for tests; nullopt returns to the real ones.
  static void setArgumentsForTesting(std::optional<std::vector<std::string>> arguments);

  // The value of the environment variable `name`; nullopt when it is not set (an empty value is
  // set). Callers that only ask "is it set" test has_value().
  static std::optional<std::string> environmentValue(const std::string& name);

  // True on the process's main thread (the one the program started on), false on every other.
  static bool isMainThread();

  static OperatingSystemVersion operatingSystemVersion();

  // The absolute path of the running executable, or nullopt when the system does not tell.
  static std::optional<std::filesystem::path> executablePath();

  // Splits a command-line record (arguments each ended by a zero byte) into the arguments.
  static std::vector<std::string> splitCommandLine(std::string_view record);
};

}  // namespace platform
