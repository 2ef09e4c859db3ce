#include "platform/paths/UserDirectories.h"

#include <pwd.h>
#include <unistd.h>

#include <vector>

#include "platform/paths/PathsError.h"
#include "platform/process/ProcessInfo.h"

namespace platform {
namespace {

// Relative values are ignored: a relative root would move with the working directory.
std::optional<std::filesystem::path> absolutePath(const std::optional<std::string>& text) {
  if (!text || text->empty()) return std::nullopt;
  std::filesystem::path path(*text);
  if (!path.is_absolute()) return std::nullopt;
  return path;
}

std::optional<std::string> accountDatabaseHome() {
  long suggested = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(suggested > 0 ? static_cast<std::size_t>(suggested) : 16384);
  passwd entry{};
  passwd* found = nullptr;
  while (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == ERANGE) {
    buffer.resize(buffer.size() * 2);
  }
  if (found == nullptr || found->pw_dir == nullptr) return std::nullopt;
  return std::string(found->pw_dir);
}

}  // namespace

UserDirectories UserDirectories::current() {
  return UserDirectories(ProcessInfo::environmentValue, accountDatabaseHome);
}

UserDirectories::UserDirectories(EnvironmentLookup environment, AccountHomeLookup accountHome)
    : environment_(std::move(environment)), accountHome_(std::move(accountHome)) {}

Result<std::filesystem::path> UserDirectories::home() const {
  if (auto fromEnvironment = absolutePath(environment_("HOME"))) return *fromEnvironment;
  if (auto fromAccount = absolutePath(accountHome_())) return *fromAccount;
  return pathsError(PathsErrorCode::NoHomeDirectory,
                    "No home folder found: HOME is not an absolute path and the user account names none");
}

Result<std::filesystem::path> UserDirectories::baseDirectory(const std::string& variable,
                                                             const std::filesystem::path& underHome) const {
  if (auto fromEnvironment = absolutePath(environment_(variable))) return *fromEnvironment;
  auto homeFolder = home();
  if (!homeFolder) return homeFolder.error();
  return *homeFolder / underHome;
}

Result<std::filesystem::path> UserDirectories::dataHome() const {
  return baseDirectory("XDG_DATA_HOME", std::filesystem::path(".local") / "share");
}

Result<std::filesystem::path> UserDirectories::configHome() const {
  return baseDirectory("XDG_CONFIG_HOME", ".config");
}

}  // namespace platform
