#pragma once
// Bundle questions of the SDK core: where its configuration file is, which URL schemes the
// application declares, and whether a bundle identifier names this application.
//
// Stateless class methods over bundles that never change once read; safe from any thread.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/bundle/Bundle.h"

namespace beacon {

using BundleList = std::vector<std::shared_ptr<const platform::Bundle>>;

class BCNBundleUtil {
 public:
  BCNBundleUtil() = delete;

  // The bundles searched for the SDK's files, in order: the main bundle, then the bundle holding the
  // SDK itself. The SDK is linked into the program, so that is the main bundle again and the list
  // holds it once.
  static BundleList relevantBundles();

  // The first bundle's path for "<name>.<type>", or nullopt when none has the file.
  static std::optional<std::string> optionsDictionaryPathWithResourceName(std::string_view resourceName,
                                                                          std::string_view fileType,
                                                                          const BundleList& bundles);

  // Every "CFBundleURLSchemes" entry of every "CFBundleURLTypes" dictionary of the relevant
  // bundles' Info.plists, in bundle order.
  static std::vector<std::string> relevantURLSchemes();

  // True when one of the bundles has exactly this identifier; inside an app extension also when a
  // bundle's identifier without its last dot-separated part equals it.
  static bool hasBundleIdentifierPrefix(std::string_view bundleIdentifier, const BundleList& bundles);

  // "a.b.c" without its last part: "a.b".
  static std::string bundleIdentifierByRemovingLastPartFrom(std::string_view bundleIdentifier);
};

}  // namespace beacon
