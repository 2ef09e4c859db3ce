#include "platform/paths/PrivateFolder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <string>

#include "platform/process/ProcessInfo.h"

namespace platform {

std::filesystem::path userTemporaryFolder(std::string_view prefix) {
  const std::optional<std::string> named = ProcessInfo::environmentValue("TMPDIR");
  const std::filesystem::path temporary =
      named && std::filesystem::path(*named).is_absolute() ? std::filesystem::path(*named) : "/tmp";
  return temporary / (std::string(prefix) + "-" + std::to_string(::geteuid()));
}

int privateFolderFailure(const std::filesystem::path& folder) {
  struct stat status {};
  if (::lstat(folder.c_str(), &status) != 0) return errno;
  if (!S_ISDIR(status.st_mode)) return ENOTDIR;
  if (status.st_uid != ::geteuid() || (status.st_mode & 077) != 0) return EACCES;
  return 0;
}

int makePrivateFolder(const std::filesystem::path& folder) {
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return errno;
  return privateFolderFailure(folder);
}

}  // namespace platform
