#include "sdk-core/BCNOptions.h"

#include <functional>

#include "platform/bundle/Bundle.h"
#include "platform/plist/PropertyList.h"
#include "sdk-core/BCNApp.h"
#include "sdk-core/BCNBundleUtil.h"
#include "sdk-core/BCNLogger.h"
#include "sdk-core/CoreError.h"

namespace beacon {
namespace {

// The shared default options, read from the file once per process or after a reset.
struct DefaultOptionsState {
  std::mutex mutex;
  bool dictionaryRead = false;
  std::optional<platform::Dictionary> dictionary;
  std::shared_ptr<BCNOptions> options;
};

DefaultOptionsState& defaultState() {
  static DefaultOptionsState* const state = new DefaultOptionsState;
  return *state;
}

std::optional<platform::Dictionary> readDictionaryFile(const std::string& path) {
  platform::Result<platform::Value> contents = platform::readPropertyListFile(path);
  if (!contents.ok() || !contents->isDictionary()) return std::nullopt;
  return *contents->asDictionary();
}

// Needs the state's mutex held.
const std::optional<platform::Dictionary>& loadDefaultDictionary(DefaultOptionsState& state) {
  if (state.dictionaryRead) return state.dictionary;
  state.dictionaryRead = true;
  const std::optional<std::string> path = BCNOptions::plistFilePathWithName(kBCNServiceInfoFileName);
  if (!path) {
    BCNLoggerLogError(kBCNLoggerCore, "I-COR000012", "Could not locate configuration file: '%@.%@'.",
                      kBCNServiceInfoFileName, kBCNServiceInfoFileType);
    return state.dictionary;
  }
  state.dictionary = readDictionaryFile(*path);
  if (!state.dictionary) {
    BCNLoggerLogError(kBCNLoggerCore, "I-COR000011", "The configuration file is not a dictionary: '%@.%@'.",
                      kBCNServiceInfoFileName, kBCNServiceInfoFileType);
  }
  return state.dictionary;
}

std::size_t hashOf(const std::optional<std::string>& text) {
  return text ? std::hash<std::string>{}(*text) : 0;
}

}  // namespace

std::shared_ptr<BCNOptions> BCNOptions::defaultOptions() {
  DefaultOptionsState& state = defaultState();
  std::lock_guard lock(state.mutex);
  if (!state.options) {
    if (const auto& dictionary = loadDefaultDictionary(state)) {
      state.options = std::make_shared<BCNOptions>(*dictionary);
      state.options->setUsingOptionsFromDefaultPlist(true);
    }
  }
  return state.options;
}

std::optional<platform::Dictionary> BCNOptions::defaultOptionsDictionary() {
  DefaultOptionsState& state = defaultState();
  std::lock_guard lock(state.mutex);
  return loadDefaultDictionary(state);
}

std::optional<std::string> BCNOptions::plistFilePathWithName(std::string_view resourceName) {
  return BCNBundleUtil::optionsDictionaryPathWithResourceName(resourceName, kBCNServiceInfoFileType,
                                                              BCNBundleUtil::relevantBundles());
}

void BCNOptions::resetDefaultOptions() {
  DefaultOptionsState& state = defaultState();
  std::lock_guard lock(state.mutex);
  state.dictionaryRead = false;
  state.dictionary.reset();
  state.options.reset();
}

std::shared_ptr<BCNOptions> BCNOptions::initWithContentsOfFile(const std::optional<std::string>& path) {
  if (!path) {
    BCNLoggerLogError(kBCNLoggerCore, "I-COR000013", "The plist file path is nil.");
    return nullptr;
  }
  std::optional<platform::Dictionary> dictionary = readDictionaryFile(*path);
  if (!dictionary) {
    BCNLoggerLogError(kBCNLoggerCore, "I-COR000014",
                      "The configuration file at %@ does not exist or is not a well-formed plist file.",
                      *path);
    return nullptr;
  }
  return std::make_shared<BCNOptions>(std::move(*dictionary));
}

std::shared_ptr<BCNOptions> BCNOptions::initWithCorvaneAppID(const std::string& corvaneAppID,
                                                             const std::string& CCMSenderID) {
  platform::Dictionary dictionary{{kBCNCorvaneAppIDKey, corvaneAppID}, {kBCNCCMSenderIDKey, CCMSenderID}};
  if (auto identifier = platform::Bundle::main()->bundleIdentifier())
    dictionary[kBCNBundleIDKey] = *identifier;
  return std::make_shared<BCNOptions>(std::move(dictionary));
}

BCNOptions::BCNOptions(platform::Dictionary optionsDictionary)
    : optionsDictionary_(std::move(optionsDictionary)) {}

std::shared_ptr<BCNOptions> BCNOptions::copy() const {
  std::lock_guard lock(mutex_);
  auto duplicate = std::make_shared<BCNOptions>(optionsDictionary_);
  duplicate->deepLinkURLScheme_ = deepLinkURLScheme_;
  duplicate->appGroupID_ = appGroupID_;
  duplicate->editingLocked_ = editingLocked_;
  duplicate->usingOptionsFromDefaultPlist_ = usingOptionsFromDefaultPlist_;
  return duplicate;
}

bool BCNOptions::isEqual(const BCNOptions& other) const {
  if (this == &other) return true;
  return optionsDictionary() == other.optionsDictionary() &&
         deepLinkURLScheme() == other.deepLinkURLScheme() && appGroupID() == other.appGroupID() &&
         analyticsOptionsDictionary() == other.analyticsOptionsDictionary();
}

std::size_t BCNOptions::hash() const {
  std::lock_guard lock(mutex_);
  return platform::Value(optionsDictionary_).hash() ^ hashOf(deepLinkURLScheme_) ^ hashOf(appGroupID_);
}

std::optional<std::string> BCNOptions::deepLinkURLScheme() const {
  std::lock_guard lock(mutex_);
  return deepLinkURLScheme_;
}

void BCNOptions::setDeepLinkURLScheme(std::optional<std::string> scheme) {
  std::lock_guard lock(mutex_);
  checkEditingAllowed();
  deepLinkURLScheme_ = std::move(scheme);
}

std::optional<std::string> BCNOptions::appGroupID() const {
  std::lock_guard lock(mutex_);
  return appGroupID_;
}

void BCNOptions::setAppGroupID(std::optional<std::string> groupID) {
  std::lock_guard lock(mutex_);
  checkEditingAllowed();
  appGroupID_ = std::move(groupID);
}

bool BCNOptions::isEditingLocked() const {
  std::lock_guard lock(mutex_);
  return editingLocked_;
}

void BCNOptions::setEditingLocked(bool locked) {
  std::lock_guard lock(mutex_);
  editingLocked_ = locked;
}

bool BCNOptions::usingOptionsFromDefaultPlist() const {
  std::lock_guard lock(mutex_);
  return usingOptionsFromDefaultPlist_;
}

void BCNOptions::setUsingOptionsFromDefaultPlist(bool fromDefaultPlist) {
  std::lock_guard lock(mutex_);
  usingOptionsFromDefaultPlist_ = fromDefaultPlist;
}

platform::Dictionary BCNOptions::optionsDictionary() const {
  std::lock_guard lock(mutex_);
  return optionsDictionary_;
}

platform::Dictionary BCNOptions::analyticsOptionsDictionary() const {
  {
    std::lock_guard lock(mutex_);
    if (analyticsOptionsDictionary_) return *analyticsOptionsDictionary_;
  }
  platform::Dictionary computed =
      analyticsOptionsDictionaryWithInfoDictionary(platform::Bundle::main()->infoDictionary());
  std::lock_guard lock(mutex_);
  if (!analyticsOptionsDictionary_) analyticsOptionsDictionary_ = std::move(computed);
  return *analyticsOptionsDictionary_;
}

platform::Dictionary BCNOptions::analyticsOptionsDictionaryWithInfoDictionary(
    const platform::Dictionary& info) const {
  std::lock_guard lock(mutex_);
  platform::Dictionary switches;
  for (const char* key : {kBCNIsMeasurementEnabledKey, kBCNAnalyticsCollectionEnabledKey,
                          kBCNAnalyticsCollectionDeactivatedKey}) {
    if (auto found = info.find(key); found != info.end()) {
      switches[key] = found->second;
    } else if (auto own = optionsDictionary_.find(key); own != optionsDictionary_.end()) {
      switches[key] = own->second;
    }
  }
  return switches;
}

bool BCNOptions::isAnalyticsCollectionDeactivated() const {
  const std::optional<platform::Value> deactivated = analyticsSwitch(kBCNAnalyticsCollectionDeactivatedKey);
  return deactivated && deactivated->boolValue();
}

bool BCNOptions::isMeasurementEnabled() const {
  if (isAnalyticsCollectionDeactivated()) return false;
  if (auto enabled = analyticsSwitch(kBCNIsMeasurementEnabledKey)) return enabled->boolValue();
  // Asked without the logging lookup: no default app is an ordinary answer here, not a misuse.
  if (auto app = BCNApp::defaultAppIfConfigured()) return app->isDataCollectionDefaultEnabled();
  return false;
}

bool BCNOptions::isAnalyticsCollectionEnabled() const {
  if (isAnalyticsCollectionDeactivated()) return false;
  if (auto enabled = analyticsSwitch(kBCNAnalyticsCollectionEnabledKey)) return enabled->boolValue();
  return isMeasurementEnabled();
}

bool BCNOptions::isAnalyticsCollectionExplicitlySet() const {
  if (isAnalyticsCollectionDeactivated()) return true;
  for (const char* key : {kBCNAnalyticsCollectionEnabledKey, kBCNIsMeasurementEnabledKey}) {
    if (auto value = analyticsSwitch(key); value && value->isNumber()) return true;
  }
  return false;
}

std::optional<std::string> BCNOptions::stringFor(std::string_view key) const {
  std::lock_guard lock(mutex_);
  auto found = optionsDictionary_.find(key);
  if (found == optionsDictionary_.end() || !found->second.isString()) return std::nullopt;
  return *found->second.asString();
}

void BCNOptions::setString(std::string_view key, std::string value) {
  std::lock_guard lock(mutex_);
  checkEditingAllowed();
  optionsDictionary_[std::string(key)] = std::move(value);
}

void BCNOptions::checkEditingAllowed() const {
  if (editingLocked_) {
    raiseCoreException(
        "Attempted to modify options after it's set on BCNApp. Please modify all properties before "
        "initializing "
        "BCNApp.");
  }
}

std::optional<platform::Value> BCNOptions::analyticsSwitch(std::string_view key) const {
  const platform::Dictionary switches = analyticsOptionsDictionary();
  auto found = switches.find(key);
  if (found == switches.end()) return std::nullopt;
  return found->second;
}

}  // namespace beacon
