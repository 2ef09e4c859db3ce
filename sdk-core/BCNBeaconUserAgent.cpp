#include "sdk-core/BCNBeaconUserAgent.h"

#include <algorithm>
#include <vector>

#include "platform/bundle/Bundle.h"
#include "platform/text/Format.h"
#include "platform/text/Search.h"
#include "sdk-utilities/environment/CVUAppEnvironmentUtil.h"

namespace beacon {
namespace {

void addInfoValue(platform::Dictionary& components, const char* component, const char* infoKey) {
  const platform::Value* value = platform::Bundle::main()->objectForInfoDictionaryKey(infoKey);
  if (value && value->isString()) components[component] = *value;
}

// The locale's order ignoring case, with the exact text breaking ties so the order never depends
// on the input order.
bool sortsBefore(const std::string& a, const std::string& b) {
  const std::weak_ordering folded = platform::localizedCaseInsensitiveCompare(a, b);
  if (folded != 0) return folded < 0;
  return a < b;
}

}  // namespace

platform::Dictionary BCNBeaconUserAgent::environmentComponents() {
  platform::Dictionary components{
      {"apple-platform", CVUAppEnvironmentUtil::applePlatform()},
      {"appstore", CVUAppEnvironmentUtil::isFromAppStore() ? "true" : "false"},
      {"deploy", CVUAppEnvironmentUtil::deploymentType()},
      {"device", CVUAppEnvironmentUtil::deviceModel()},
      {"os-version", CVUAppEnvironmentUtil::systemVersion()},
  };
  addInfoValue(components, "apple-sdk", "DTSDKBuild");
  addInfoValue(components, "xcode", "DTXcodeBuild");
  return components;
}

void BCNBeaconUserAgent::setValue(std::optional<std::string> value, const std::string& component) {
  std::lock_guard lock(mutex_);
  if (value) {
    valuesByComponent_[component] = std::move(*value);
  } else {
    valuesByComponent_.erase(component);
  }
  beaconUserAgent_.reset();
}

std::string BCNBeaconUserAgent::beaconUserAgent() {
  std::lock_guard lock(mutex_);
  if (beaconUserAgent_) return *beaconUserAgent_;

  platform::Dictionary components = valuesByComponent_;
  for (const auto& [component, value] : cachedEnvironmentComponents()) components[component] = value;

  std::vector<std::string> entries;
  entries.reserve(components.size());
  for (const auto& [component, value] : components)
    entries.push_back(platform::format("%@/%@", component, value));
  std::sort(entries.begin(), entries.end(), sortsBefore);

  std::string joined;
  for (const std::string& entry : entries) {
    if (!joined.empty()) joined += ' ';
    joined += entry;
  }
  beaconUserAgent_ = joined;
  return joined;
}

void BCNBeaconUserAgent::reset() {
  std::lock_guard lock(mutex_);
  valuesByComponent_ = cachedEnvironmentComponents();
  beaconUserAgent_.reset();
}

const platform::Dictionary& BCNBeaconUserAgent::cachedEnvironmentComponents() {
  if (!environmentComponents_) environmentComponents_ = environmentComponents();
  return *environmentComponents_;
}

}  // namespace beacon
