#include "sdk-core/BCNBundleUtil.h"

#include "sdk-utilities/environment/CVUAppEnvironmentUtil.h"

namespace beacon {

BundleList BCNBundleUtil::relevantBundles() {
  return {platform::Bundle::main()};
}

std::optional<std::string> BCNBundleUtil::optionsDictionaryPathWithResourceName(std::string_view resourceName,
                                                                                std::string_view fileType,
                                                                                const BundleList& bundles) {
  for (const auto& bundle : bundles) {
    if (auto path = bundle->pathForResource(resourceName, fileType)) return path->string();
  }
  return std::nullopt;
}

std::vector<std::string> BCNBundleUtil::relevantURLSchemes() {
  std::vector<std::string> schemes;
  for (const auto& bundle : relevantBundles()) {
    const platform::Value* urlTypes = bundle->objectForInfoDictionaryKey("CFBundleURLTypes");
    if (!urlTypes || !urlTypes->isArray()) continue;
    for (const platform::Value& urlType : *urlTypes->asArray()) {
      const platform::Value* typeSchemes = urlType.find("CFBundleURLSchemes");
      if (!typeSchemes || !typeSchemes->isArray()) continue;
      for (const platform::Value& scheme : *typeSchemes->asArray()) {
        if (scheme.isString()) schemes.push_back(*scheme.asString());
      }
    }
  }
  return schemes;
}

bool BCNBundleUtil::hasBundleIdentifierPrefix(std::string_view bundleIdentifier, const BundleList& bundles) {
  const bool inAppExtension = CVUAppEnvironmentUtil::isAppExtension();
  for (const auto& bundle : bundles) {
    const std::optional<std::string> identifier = bundle->bundleIdentifier();
    if (!identifier) continue;
    if (*identifier == bundleIdentifier) return true;
    if (inAppExtension && bundleIdentifierByRemovingLastPartFrom(*identifier) == bundleIdentifier)
      return true;
  }
  return false;
}

std::string BCNBundleUtil::bundleIdentifierByRemovingLastPartFrom(std::string_view bundleIdentifier) {
  const std::size_t lastDot = bundleIdentifier.rfind('.');
  return lastDot == std::string_view::npos ? std::string() : std::string(bundleIdentifier.substr(0, lastDot));
}

}  // namespace beacon
