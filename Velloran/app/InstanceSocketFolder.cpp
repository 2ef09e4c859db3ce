#include "Velloran/app/InstanceSocketFolder.h"

#include <unistd.h>

#include <optional>
#include <string>

#include "platform/paths/PrivateFolder.h"
#include "platform/process/ProcessInfo.h"

namespace velloran {
namespace {

// The variable's value when it holds an absolute path: a relative one would move with the working
// directory.
std::optional<std::filesystem::path> absolutePathIn(const std::string& variable) {
  const std::optional<std::string> value = platform::ProcessInfo::environmentValue(variable);
  if (!value || !std::filesystem::path(*value).is_absolute()) return std::nullopt;
  return std::filesystem::path(*value);
}

}  // namespace

SocketFolder instanceSocketFolder() {
  const std::optional<std::filesystem::path> runtime = absolutePathIn("XDG_RUNTIME_DIR");
  if (runtime && platform::privateFolderFailure(*runtime) == 0) return {*runtime};
  const std::filesystem::path folder =
      absolutePathIn("TMPDIR").value_or("/tmp") / ("velloran-" + std::to_string(::geteuid()));
  return {folder, platform::makePrivateFolder(folder)};
}

}  // namespace velloran
