#include "analytics-connector/BCNConnectorUtils.h"

#include <regex>
#include <set>
#include <vector>

namespace beacon {
namespace {

using NameSet = std::set<std::string, std::less<>>;

// The tables below are never destroyed: the connector's queue may still use them while the process's
// exit handlers run.

const NameSet& allowedListenerOrigins() {
  static const NameSet& origins = *new NameSet{"biam", "crash", "bcr"};
  return origins;
}

const NameSet& blocklistedOrigins() {
  static const NameSet& origins = *new NameSet{"auto", "app", "am"};
  return origins;
}

const NameSet& blocklistedEventNames() {
  static const NameSet& names = *new NameSet{"_e", "_f", "_iap", "_s", "_au"};
  return names;
}

const NameSet& blocklistedParameters() {
  static const NameSet& names = *new NameSet{"_r", "_dbg"};
  return names;
}

const NameSet& blocklistedUserProperties() {
  static const NameSet& names = *new NameSet{"_fot", "_ln", "_id", "_fi", "_lte", "_sid", "_sno"};
  return names;
}

// Lifetime values per currency and the campaign-content slots.
const std::vector<std::regex>& blocklistedUserPropertyPatterns() {
  static const std::vector<std::regex>& patterns =
      *new std::vector<std::regex>{std::regex("^_ltv_[A-Z]{3}$"), std::regex("^_cc[1-5]{1}$")};
  return patterns;
}

const NameSet& hiddenEventNames() {
  static const NameSet& names = *new NameSet{
      "_xa",   "_xu", "_aq",      "_aa",        "_ai",           "_ac",          "campaign_details",
      "_iapx", "_ug", "_exp_set", "_exp_clear", "_exp_activate", "_exp_timeout", "_exp_expire"};
  return names;
}

constexpr const char* kAppOrigin = "app";
constexpr const char* kLanguageProperty = "_ln";
constexpr const char* kFirstOpenTimeProperty = "_fot";

}  // namespace

bool BCNConnectorUtils::isOriginAllowed(const std::string& origin) {
  return !blocklistedOrigins().contains(origin);
}

bool BCNConnectorUtils::isAppOrigin(const std::string& origin) {
  return origin == kAppOrigin || origin.starts_with(std::string(kAppOrigin) + "+");
}

bool BCNConnectorUtils::isListenerOriginAllowed(const std::string& origin) {
  return allowedListenerOrigins().contains(origin);
}

bool BCNConnectorUtils::isEventNameAllowedForListeners(const std::string& name) {
  return !hiddenEventNames().contains(name);
}

bool BCNConnectorUtils::shouldLogEventWithName(const std::string& name,
                                               const platform::Dictionary& parameters) {
  if (name.empty() || blocklistedEventNames().contains(name)) return false;
  for (const std::string& reserved : blocklistedParameters()) {
    if (parameters.contains(reserved)) return false;
  }
  return true;
}

bool BCNConnectorUtils::isUserPropertyAllowed(const std::string& name, const std::string& origin) {
  if (name.empty()) return false;
  if (name == kLanguageProperty) return origin == "bcm" || origin == "biam";
  if (blocklistedUserProperties().contains(name)) return false;
  for (const std::regex& pattern : blocklistedUserPropertyPatterns()) {
    if (std::regex_search(name, pattern)) return false;
  }
  return true;
}

bool BCNConnectorUtils::isUserPropertyAllowedForQuery(const std::string& name) {
  return !name.empty() && (name == kFirstOpenTimeProperty || !name.starts_with("_"));
}

}  // namespace beacon
