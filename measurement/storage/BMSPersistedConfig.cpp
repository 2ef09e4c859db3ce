#include "measurement/storage/BMSPersistedConfig.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <random>

namespace beacon {
namespace {

constexpr std::array<std::string_view, 30> kKeys = {
    "/corvane/measurement/load_timestamp",
    "/corvane/measurement/cnp_app_id",
    "/corvane/measurement/adreach_app_id",
    "/corvane/measurement/app_instance_id",
    "/corvane/measurement/hashed_resettable_device_id",
    "/corvane/measurement/diversion_key",
    "/corvane/measurement/app_version",
    "/corvane/measurement/os_version",
    "/corvane/measurement/config_last_modified",
    "/corvane/measurement/config_etag",
    "/corvane/measurement/previous_bundled_consent_signals",
    "/corvane/measurement/feature_rollouts",
    "/corvane/measurement/last_successful_upload",
    "/corvane/measurement/last_failed_upload",
    "/corvane/measurement/last_backoff",
    "/corvane/measurement/last_session_activity",
    "/corvane/measurement/last_monitor_data_sampled_timestamp",
    "/corvane/measurement/search_ad_last_attempt_timestamp",
    "/corvane/measurement/midnight_offset",
    "/corvane/measurement/session_number",
    "/corvane/measurement/first_open_timestamp_ms",
    "/corvane/measurement/deferred_deep_link_retry_count",
    "/corvane/measurement/search_ad_number_of_retries",
    "/corvane/measurement/previous_first_open_count",
    "/corvane/measurement/allow_personalized_ads",
    "/corvane/measurement/deferred_deep_link_complete",
    "/corvane/measurement/is_search_ad_campaign",
    "/corvane/measurement/unmatched_first_open_without_ad_id",
    "/corvane/measurement/set_last_ad_id_reset_property",
    "/corvane/measurement/default_event_parameters",
};

constexpr double kSecondsPerDay = 86400;

}  // namespace

std::shared_ptr<BMSPersistedConfig> BMSPersistedConfig::sharedInstance() {
  // Never destroyed: SDK queues may still use it while the process's exit handlers run.
  static const std::shared_ptr<BMSPersistedConfig>& shared = *new std::shared_ptr<BMSPersistedConfig>(
      std::make_shared<BMSPersistedConfig>(BMSUserDefaults::sharedUserDefaults(),
                                           [generator = std::mt19937_64(std::random_device()())]() mutable {
                                             return std::uniform_real_distribution<double>(0, 1)(generator);
                                           }));
  return shared;
}

BMSPersistedConfig::BMSPersistedConfig(std::shared_ptr<BMSUserDefaults> defaults,
                                       std::function<double()> random01)
    : defaults_(std::move(defaults)), random01_(std::move(random01)) {}

std::string_view BMSPersistedConfig::keyOf(Key key) {
  return kKeys[static_cast<std::size_t>(key)];
}

std::int64_t BMSPersistedConfig::measurementEnabledState() const {
  return defaults_->integerForKey(kMeasurementEnabledStateKey);
}

void BMSPersistedConfig::setMeasurementEnabledState(std::int64_t state) {
  defaults_->setInteger(state, kMeasurementEnabledStateKey);
}

std::optional<std::string> BMSPersistedConfig::string(Key key) const {
  std::optional<platform::Value> value = defaults_->objectForKey(keyOf(key));
  if (!value || !value->isString()) return std::nullopt;
  return *value->asString();
}

void BMSPersistedConfig::setString(Key key, std::optional<std::string> value) {
  defaults_->setObject(value ? std::optional<platform::Value>(std::move(*value)) : std::nullopt, keyOf(key));
}

std::optional<double> BMSPersistedConfig::number(Key key) const {
  std::optional<platform::Value> value = defaults_->objectForKey(keyOf(key));
  if (!value || !value->isNumber()) return std::nullopt;
  return value->doubleValue();
}

void BMSPersistedConfig::setNumber(Key key, std::optional<double> value) {
  defaults_->setObject(value ? std::optional<platform::Value>(*value) : std::nullopt, keyOf(key));
}

std::int64_t BMSPersistedConfig::integer(Key key) const {
  return defaults_->integerForKey(keyOf(key));
}

void BMSPersistedConfig::setInteger(Key key, std::int64_t value) {
  defaults_->setInteger(value, keyOf(key));
}

std::optional<platform::Value> BMSPersistedConfig::numberValue(Key key) const {
  std::optional<platform::Value> value = defaults_->objectForKey(keyOf(key));
  if (!value || !value->isNumber()) return std::nullopt;
  return value;
}

void BMSPersistedConfig::setNumberValue(Key key, std::optional<platform::Value> value) {
  if (value && !value->isNumber()) return;
  defaults_->setObject(std::move(value), keyOf(key));
}

bool BMSPersistedConfig::flag(Key key) const {
  return defaults_->boolForKey(keyOf(key));
}

void BMSPersistedConfig::setFlag(Key key, bool value) {
  defaults_->setBool(value, keyOf(key));
}

double BMSPersistedConfig::midnightOffset() {
  std::lock_guard lock(midnightMutex_);
  if (std::optional<double> stored = number(Key::MidnightOffset);
      stored && *stored >= 0 && *stored < kSecondsPerDay) {
    return *stored;
  }
  const double drawn = std::min(random01_() * kSecondsPerDay, std::nextafter(kSecondsPerDay, 0.0));
  setNumber(Key::MidnightOffset, drawn);
  return drawn;
}

platform::Dictionary BMSPersistedConfig::defaultEventParameters() const {
  std::optional<platform::Value> value = defaults_->objectForKey(keyOf(Key::DefaultEventParameters));
  platform::Dictionary parameters;
  if (!value || !value->isDictionary()) return parameters;
  for (const auto& [name, parameter] : *value->asDictionary()) {
    if (parameter.isString() || parameter.isNumber()) parameters.emplace(name, parameter);
  }
  return parameters;
}

void BMSPersistedConfig::setDefaultEventParameters(const platform::Dictionary& parameters) {
  defaults_->setObject(parameters.empty() ? std::nullopt : std::optional<platform::Value>(parameters),
                       keyOf(Key::DefaultEventParameters));
}

void BMSPersistedConfig::clearValues() {
  for (std::string_view key : kKeys) defaults_->removeObjectForKey(key);
}

}  // namespace beacon
