#include "platform/mirror/MirrorSettings.h"

#include "platform/paths/ApplicationDirectories.h"
#include "platform/process/ProcessInfo.h"

namespace platform {

MirrorSettings MirrorSettings::configured(std::filesystem::path root) {
  MirrorSettings settings;
  settings.root = std::move(root);
  settings.rootConfigured = true;
  return settings;
}

MirrorSettings MirrorSettings::fromEnvironment() {
  std::optional<std::string> environmentRoot =
      ProcessInfo::environmentValue(std::string(kMirrorRootEnvironmentVariable));
  if (environmentRoot && !environmentRoot->empty()) return resolve(environmentRoot, std::filesystem::path());
  return resolve(environmentRoot, applicationSupportDirectory());
}

MirrorSettings MirrorSettings::resolve(const std::optional<std::string>& environmentRoot,
                                       const Result<std::filesystem::path>& applicationSupport) {
  if (environmentRoot && !environmentRoot->empty()) {
    // A relative root would move with the working folder; pin it now.
    std::error_code ignored;
    std::filesystem::path root = std::filesystem::absolute(*environmentRoot, ignored);
    return configured(root.empty() ? std::filesystem::path(*environmentRoot) : root);
  }
  MirrorSettings settings;
  if (applicationSupport) settings.root = *applicationSupport / std::string(kDefaultMirrorFolderName);
  return settings;
}

}  // namespace platform
