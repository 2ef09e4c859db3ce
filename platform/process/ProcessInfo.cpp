#include "platform/process/ProcessInfo.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <mutex>

namespace platform {
namespace {

struct ArgumentsState {
  std::mutex mutex;
  std::optional<std::vector<std::string>> real;
  std::optional<std::vector<std::string>> override;
};

ArgumentsState& argumentsState() {
  static auto* state = new ArgumentsState;
  return *state;
}

std::vector<std::string> readCommandLine() {
  std::ifstream file("/proc/self/cmdline", std::ios::binary);
  if (!file) return {};
  const std::string record{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  return ProcessInfo::splitCommandLine(record);
}

// Reads a run of digits as a version part; stops before the first non-digit. Digits beyond what a
// version part could sensibly hold are consumed but ignored, so no text can overflow the number.
std::int64_t takeNumber(std::string_view& text) {
  constexpr int kMaxDigits = 18;
  std::int64_t number = 0;
  for (int digits = 0; !text.empty() && std::isdigit(static_cast<unsigned char>(text.front())); ++digits) {
    if (digits < kMaxDigits) number = number * 10 + (text.front() - '0');
    text.remove_prefix(1);
  }
  return number;
}

bool startsWithDigit(std::string_view text) {
  return !text.empty() && std::isdigit(static_cast<unsigned char>(text.front()));
}

}  // namespace

OperatingSystemVersion OperatingSystemVersion::fromKernelRelease(std::string_view release) {
  OperatingSystemVersion version;
  std::int64_t* parts[] = {&version.major, &version.minor, &version.patch};
  for (std::size_t i = 0; i < std::size(parts) && startsWithDigit(release); ++i) {
    *parts[i] = takeNumber(release);
    if (release.size() < 2 || release.front() != '.') break;
    release.remove_prefix(1);
  }
  return version;
}

std::vector<std::string> ProcessInfo::splitCommandLine(std::string_view record) {
  std::vector<std::string> arguments;
  while (!record.empty()) {
    const std::size_t end = record.find('\0');
    arguments.emplace_back(record.substr(0, end));
    if (end == std::string_view::npos) break;
    record.remove_prefix(end + 1);
  }
  return arguments;
}

std::vector<std::string> ProcessInfo::arguments() {
  ArgumentsState& state = argumentsState();
  std::lock_guard lock(state.mutex);
  if (state.override) return *state.override;
  // The command line never changes; read it once.
  if (!state.real) state.real = readCommandLine();
  return *state.real;
}

void ProcessInfo::setArgumentsForTesting(std::optional<std::vector<std::string>> arguments) {
  ArgumentsState& state = argumentsState();
  std::lock_guard lock(state.mutex);
  state.override = std::move(arguments);
}

std::optional<std::string> ProcessInfo::environmentValue(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

bool ProcessInfo::isMainThread() {
  // The main thread's kernel thread id is the process id.
  return gettid() == getpid();
}

OperatingSystemVersion ProcessInfo::operatingSystemVersion() {
  utsname names{};
  if (uname(&names) != 0) return {};
  return OperatingSystemVersion::fromKernelRelease(names.release);
}

std::optional<std::filesystem::path> ProcessInfo::executablePath() {
  std::error_code error;
  std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error || path.empty()) return std::nullopt;
  return path;
}

}  // namespace platform
