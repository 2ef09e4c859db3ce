#include "platform/bundle/BundleLocation.h"

#include "platform/process/ProcessInfo.h"

#ifndef VELLORAN_BUILD_BUNDLE_DIR
#error "VELLORAN_BUILD_BUNDLE_DIR must name the build tree's bundle folder"
#endif

namespace platform {
namespace {

// Keeps the path as given when the working directory cannot be read; drops a trailing separator so
// the folder's own name stays the path's last part.
std::filesystem::path absoluteNormal(const std::filesystem::path& path) {
  std::error_code error;
  std::filesystem::path absolute = std::filesystem::absolute(path, error);
  std::filesystem::path normal = (error ? path : absolute).lexically_normal();
  if (!normal.has_filename() && normal.has_relative_path()) normal = normal.parent_path();
  return normal;
}

}  // namespace

std::filesystem::path locateMainBundle(const MainBundleCandidates& candidates) {
  if (candidates.bundleDirVariable && !candidates.bundleDirVariable->empty()) {
    return absoluteNormal(*candidates.bundleDirVariable);
  }
  if (candidates.executablePath) {
    std::filesystem::path installed =
        (candidates.executablePath->parent_path() / ".." / "share" / "velloran").lexically_normal();
    std::error_code error;
    if (std::filesystem::is_directory(installed, error)) return installed;
  }
  return absoluteNormal(candidates.buildTreeBundle);
}

MainBundleCandidates currentMainBundleCandidates() {
  return MainBundleCandidates{ProcessInfo::environmentValue(kBundleDirVariable),
                              ProcessInfo::executablePath(), VELLORAN_BUILD_BUNDLE_DIR};
}

}  // namespace platform
