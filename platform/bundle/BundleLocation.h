#pragma once
// Where the program's main bundle folder is. In order:
//   1. $VELLORAN_BUNDLE_DIR when set and not empty (tests and relocated installs point it anywhere);
//   2. "../share/velloran" beside the executable's folder, when that folder exists (installed layout);
//   3. the bundle folder of the build tree this program was built in (running from a build).
// Split from Bundle so the order can be checked without touching the real environment.

#include <filesystem>
#include <optional>
#include <string>

namespace platform {

struct MainBundleCandidates {
  std::optional<std::string> bundleDirVariable;         // value of VELLORAN_BUNDLE_DIR, if set
  std::optional<std::filesystem::path> executablePath;  // the running executable, if known
  std::filesystem::path buildTreeBundle;                // the build tree's bundle folder
};

inline constexpr const char* kBundleDirVariable = "VELLORAN_BUNDLE_DIR";

// Picks the folder by the order above. The result is absolute; it need not exist (the last choice is
// taken even when missing, which yields an empty info dictionary rather than no bundle at all).
std::filesystem::path locateMainBundle(const MainBundleCandidates& candidates);

// The candidates of this process: its environment, executable and build tree.
MainBundleCandidates currentMainBundleCandidates();

}  // namespace platform
