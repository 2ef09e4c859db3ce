#include "sdk-utilities/userdefaults/CVUUserDefaults.h"

#include "platform/bundle/Bundle.h"
#include "platform/prefs/PreferencesError.h"
#include "platform/text/Format.h"
#include "sdk-utilities/logger/CVULogger.h"

namespace beacon {
namespace {

constexpr std::string_view kUtilitiesService = "<CorvaneUtilities>";
constexpr std::string_view kUserDefaultsService = "[CorvaneUtilities/UserDefaults]";

std::string messageCode(long number) {
  return platform::format("I-CVU%06ld", number);
}

std::optional<std::string> nonEmpty(std::optional<std::string> name) {
  if (name && name->empty()) return std::nullopt;
  return name;
}

}  // namespace

std::shared_ptr<CVUUserDefaults> CVUUserDefaults::standardUserDefaults() {
  // Never destroyed: SDK queues may still use it while the process's exit handlers run.
  static const std::shared_ptr<CVUUserDefaults>& standard =
      *new std::shared_ptr<CVUUserDefaults>(std::make_shared<CVUUserDefaults>());
  return standard;
}

CVUUserDefaults::CVUUserDefaults(std::optional<std::string> suiteName)
    : suiteName_(nonEmpty(std::move(suiteName))) {
  // A name that cannot name a domain is refused now rather than at the first read or write.
  if (suiteName_) platform::PreferencesDomain::named(*suiteName_);
}

std::shared_ptr<platform::PreferencesDomain> CVUUserDefaults::domain() const {
  // Both are read before a lookup, so a table dropped or a bundle forgotten during one is never taken
  // for the one looked up in.
  const std::uint64_t tableGeneration = platform::PreferencesDomain::tableGeneration();
  const std::uint64_t bundleGeneration = suiteName_ ? 0 : platform::Bundle::mainGeneration();
  std::lock_guard lock(lookedUpMutex_);
  if (!lookedUp_.domain || lookedUp_.tableGeneration != tableGeneration ||
      lookedUp_.mainBundleGeneration != bundleGeneration) {
    lookedUp_ = {suiteName_ ? platform::PreferencesDomain::named(*suiteName_)
                            : platform::PreferencesDomain::application(),
                 tableGeneration, bundleGeneration};
  }
  return lookedUp_.domain;
}

std::optional<platform::Value> CVUUserDefaults::objectForKey(std::string_view key) const {
  if (key.empty()) {
    CVULoggerLogWarning(kUtilitiesService, false, messageCode(1),
                        "Cannot get object for invalid user default key.");
    return std::nullopt;
  }
  return domain()->objectForKey(key);
}

void CVUUserDefaults::setObject(std::optional<platform::Value> value, std::string_view key) {
  if (key.empty()) {
    CVULoggerLogWarning(kUtilitiesService, false, messageCode(2),
                        "Cannot set object for invalid user default key.");
    return;
  }
  const std::shared_ptr<platform::PreferencesDomain> target = domain();
  if (!value) {
    target->removeObject(key);
  } else if (platform::Result<void> set = target->setObject(key, *value);
             !set.ok() &&
             platform::isPreferencesError(set.error(), platform::PreferencesErrorCode::InvalidValue)) {
    CVULoggerLogWarning(kUtilitiesService, false, messageCode(3),
                        "Cannot set invalid object to user defaults. Must be a string, number, array, "
                        "dictionary, date, or data. Value: %@",
                        *value);
    return;
  }
  synchronize();
}

void CVUUserDefaults::removeObjectForKey(std::string_view key) {
  setObject(std::nullopt, key);
}

std::int64_t CVUUserDefaults::integerForKey(std::string_view key) const {
  const std::optional<platform::Value> value = objectForKey(key);
  return value ? value->integerValue() : 0;
}

float CVUUserDefaults::floatForKey(std::string_view key) const {
  return static_cast<float>(doubleForKey(key));
}

double CVUUserDefaults::doubleForKey(std::string_view key) const {
  const std::optional<platform::Value> value = objectForKey(key);
  return value ? value->doubleValue() : 0;
}

bool CVUUserDefaults::boolForKey(std::string_view key) const {
  const std::optional<platform::Value> value = objectForKey(key);
  return value && value->boolValue();
}

std::optional<platform::Value> CVUUserDefaults::stringForKey(std::string_view key) const {
  return objectForKey(key);
}

std::optional<platform::Value> CVUUserDefaults::arrayForKey(std::string_view key) const {
  return objectForKey(key);
}

std::optional<platform::Value> CVUUserDefaults::dictionaryForKey(std::string_view key) const {
  return objectForKey(key);
}

void CVUUserDefaults::setInteger(std::int64_t value, std::string_view key) {
  setObject(platform::Value(value), key);
}

void CVUUserDefaults::setFloat(float value, std::string_view key) {
  setObject(platform::Value(static_cast<double>(value)), key);
}

void CVUUserDefaults::setDouble(double value, std::string_view key) {
  setObject(platform::Value(value), key);
}

void CVUUserDefaults::setBool(bool value, std::string_view key) {
  setObject(platform::Value(value), key);
}

void CVUUserDefaults::synchronize() {
  if (!domain()->synchronize()) {
    CVULoggerLogError(kUserDefaultsService, false, messageCode(4),
                      "Cannot synchronize user defaults to disk");
  }
}

}  // namespace beacon
