#include "platform/paths/ApplicationDirectories.h"

#include <string>

#include "platform/bundle/Bundle.h"
#include "platform/paths/FileIO.h"
#include "platform/paths/PathsError.h"

namespace platform {
namespace {

Result<std::filesystem::path> ownedFolderName(const Result<std::filesystem::path>& root,
                                              std::string_view bundleIdentifier) {
  // The identifier becomes one folder name; anything that would climb out of the root is refused.
  if (!isPlainFileName(bundleIdentifier)) {
    return pathsError(PathsErrorCode::NoBundleIdentifier,
                      "The bundle identifier \"" + std::string(bundleIdentifier) + "\" cannot name a folder");
  }
  if (!root) return root.error();
  return *root / std::string(bundleIdentifier);
}

Result<std::filesystem::path> ownedFolder(const Result<std::filesystem::path>& root,
                                          std::string_view bundleIdentifier) {
  Result<std::filesystem::path> folder = ownedFolderName(root, bundleIdentifier);
  if (!folder) return folder;
  if (auto created = createDirectories(*folder); !created) return created.error();
  return folder;
}

Result<std::string> mainBundleIdentifier() {
  if (auto identifier = Bundle::main()->bundleIdentifier()) return *identifier;
  return pathsError(PathsErrorCode::NoBundleIdentifier,
                    "The main bundle at " + Bundle::main()->path().string() + " has no bundle identifier");
}

}  // namespace

Result<std::filesystem::path> applicationSupportDirectory(const UserDirectories& user,
                                                          std::string_view bundleIdentifier) {
  return ownedFolder(user.dataHome(), bundleIdentifier);
}

Result<std::filesystem::path> applicationConfigDirectory(const UserDirectories& user,
                                                         std::string_view bundleIdentifier) {
  return ownedFolder(user.configHome(), bundleIdentifier);
}

Result<std::filesystem::path> applicationSupportDirectory() {
  auto identifier = mainBundleIdentifier();
  if (!identifier) return identifier.error();
  return applicationSupportDirectory(UserDirectories::current(), *identifier);
}

Result<std::filesystem::path> applicationSupportDirectoryName() {
  auto identifier = mainBundleIdentifier();
  if (!identifier) return identifier.error();
  return ownedFolderName(UserDirectories::current().dataHome(), *identifier);
}

Result<std::filesystem::path> applicationConfigDirectory() {
  auto identifier = mainBundleIdentifier();
  if (!identifier) return identifier.error();
  return applicationConfigDirectory(UserDirectories::current(), *identifier);
}

}  // namespace platform
