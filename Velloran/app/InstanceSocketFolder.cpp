#include "Velloran/app/InstanceSocketFolder.h"

#include <optional>
#include <string>

#include "platform/paths/PrivateFolder.h"
#include "platform/process/ProcessInfo.h"

namespace velloran {

SocketFolder instanceSocketFolder() {
  // Only an absolute path: a relative one would move with the working directory.
  const std::optional<std::string> runtime = platform::ProcessInfo::environmentValue("XDG_RUNTIME_DIR");
  if (runtime && std::filesystem::path(*runtime).is_absolute() &&
      platform::privateFolderFailure(*runtime) == 0)
    return {*runtime};
  const std::filesystem::path folder = platform::userTemporaryFolder("velloran");
  return {folder, platform::makePrivateFolder(folder)};
}

}  // namespace velloran
