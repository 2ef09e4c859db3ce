#pragma once
// A bundle is a folder holding an "Info.plist" (the program's identity and switches) and resource
// files beside it. The main bundle is the program's own (see BundleLocation.h for where it is looked
// for); `atPath` opens any other folder, such as a second place a library searches for its files.
//
// A bundle reads its Info.plist once, when it is made, and never changes afterwards, so it may be
// shared freely between threads. A missing or unreadable Info.plist, or one whose top level is not a
// dictionary, gives an empty info dictionary: the program still runs, it just lacks the values.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/value/Value.h"

namespace platform {

class Bundle {
 public:
  // The program's main bundle, located and read on first use; every later call returns the same one.
  static std::shared_ptr<const Bundle> main();
  // The bundle over `folder`; nullptr when `folder` is not an existing folder.
  static std::shared_ptr<const Bundle> atPath(const std::filesystem::path& folder);
  // Forgets the main bundle so the next main() looks again (tests change VELLORAN_BUNDLE_DIR).
  // Bundles already handed out stay valid.
  static void resetMainForTesting();
  // Changes each time the main bundle is forgotten: a holder of something worked out from the main
  // bundle keeps it only while this is what it was when it was worked out.
  static std::uint64_t mainGeneration();

  const std::filesystem::path& path() const { return path_; }
  const Dictionary& infoDictionary() const { return info_; }
  // nullptr when the Info.plist has no such key.
  const Value* objectForInfoDictionaryKey(std::string_view key) const;

  // "CFBundleIdentifier" when it is a non-empty string.
  std::optional<std::string> bundleIdentifier() const;
  // "CFBundleShortVersionString" when it is a string.
  std::optional<std::string> shortVersionString() const;

  // The file "<name>.<type>" in the bundle folder ("<name>" alone when `type` is empty), when it
  // exists as a regular file. A `type` may be given with or without its leading dot. Names that would
  // reach outside the bundle (a "/" or a ".." part) find nothing.
  std::optional<std::filesystem::path> pathForResource(std::string_view name, std::string_view type) const;

  // A bundle with the given values, without reading anything; main() and atPath() use it, and tests
  // of callers build bundles in memory with it.
  Bundle(std::filesystem::path folder, Dictionary info);

 private:
  std::filesystem::path path_;
  Dictionary info_;
};

}  // namespace platform
