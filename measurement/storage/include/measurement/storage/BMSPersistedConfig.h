#pragma once
// The engine's state that survives restarts, kept in the application's preferences under
// "/corvane/measurement/..." keys (the SDK core writes the collection switch there too). Every setter
// writes at once; clearValues() removes every value it owns except the collection switch.
//
// Threads: any. Values live in the shared preference domain, which serialises every access; a
// read-then-write sequence (midnightOffset's first draw) takes this object's own lock.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "measurement/engine/BMSUserDefaults.h"
#include "platform/value/Value.h"

namespace beacon {

class BMSPersistedConfig {
 public:
  // The collection switch the SDK core writes: 1 enabled, 2 disabled, anything else unset.
  static constexpr std::string_view kMeasurementEnabledStateKey =
      "/corvane/measurement/measurement_enabled_state";

  static std::shared_ptr<BMSPersistedConfig> sharedInstance();
  // `random01` draws uniformly from [0, 1); it places the midnight offset.
  BMSPersistedConfig(std::shared_ptr<BMSUserDefaults> defaults, std::function<double()> random01);

  std::int64_t measurementEnabledState() const;
  void setMeasurementEnabledState(std::int64_t state);

  std::optional<double> loadTimestampValue() const { return number(Key::LoadTimestamp); }
  void setLoadTimestampValue(std::optional<double> value) { setNumber(Key::LoadTimestamp, value); }

  std::optional<std::string> appIDFromCNP() const { return string(Key::AppIDFromCNP); }
  void setAppIDFromCNP(std::optional<std::string> value) { setString(Key::AppIDFromCNP, std::move(value)); }
  std::optional<std::string> appIDFromAdReach() const { return string(Key::AppIDFromAdReach); }
  void setAppIDFromAdReach(std::optional<std::string> value) {
    setString(Key::AppIDFromAdReach, std::move(value));
  }
  std::optional<std::string> appInstanceID() const { return string(Key::AppInstanceID); }
  void setAppInstanceID(std::optional<std::string> value) { setString(Key::AppInstanceID, std::move(value)); }
  std::optional<std::string> hashedResettableDeviceID() const {
    return string(Key::HashedResettableDeviceID);
  }
  void setHashedResettableDeviceID(std::optional<std::string> value) {
    setString(Key::HashedResettableDeviceID, std::move(value));
  }
  std::optional<std::string> diversionKey() const { return string(Key::DiversionKey); }
  void setDiversionKey(std::optional<std::string> value) { setString(Key::DiversionKey, std::move(value)); }
  std::optional<std::string> appVersion() const { return string(Key::AppVersion); }
  void setAppVersion(std::optional<std::string> value) { setString(Key::AppVersion, std::move(value)); }
  std::optional<std::string> osVersion() const { return string(Key::OSVersion); }
  void setOsVersion(std::optional<std::string> value) { setString(Key::OSVersion, std::move(value)); }
  std::optional<std::string> configServerLastModifiedString() const {
    return string(Key::ConfigLastModified);
  }
  void setConfigServerLastModifiedString(std::optional<std::string> value) {
    setString(Key::ConfigLastModified, std::move(value));
  }
  std::optional<std::string> configServerETag() const { return string(Key::ConfigETag); }
  void setConfigServerETag(std::optional<std::string> value) { setString(Key::ConfigETag, std::move(value)); }
  std::optional<std::string> previousBundledConsentSignals() const {
    return string(Key::PreviousConsentSignals);
  }
  void setPreviousBundledConsentSignals(std::optional<std::string> value) {
    setString(Key::PreviousConsentSignals, std::move(value));
  }
  std::optional<std::string> beaconFeatureRollouts() const { return string(Key::FeatureRollouts); }
  void setBeaconFeatureRollouts(std::optional<std::string> value) {
    setString(Key::FeatureRollouts, std::move(value));
  }

  // Seconds since 1970; 0 = never.
  double lastSuccessfulUploadTimestamp() const { return seconds(Key::LastSuccessfulUpload); }
  void setLastSuccessfulUploadTimestamp(double value) { setSeconds(Key::LastSuccessfulUpload, value); }
  double lastFailedUploadTimestamp() const { return seconds(Key::LastFailedUpload); }
  void setLastFailedUploadTimestamp(double value) { setSeconds(Key::LastFailedUpload, value); }
  double lastBackoffTimestamp() const { return seconds(Key::LastBackoff); }
  void setLastBackoffTimestamp(double value) { setSeconds(Key::LastBackoff, value); }
  double lastSessionActivityClockTime() const { return seconds(Key::LastSessionActivity); }
  void setLastSessionActivityClockTime(double value) { setSeconds(Key::LastSessionActivity, value); }
  double lastMonitorDataSampledTimestamp() const { return seconds(Key::LastMonitorSample); }
  void setLastMonitorDataSampledTimestamp(double value) { setSeconds(Key::LastMonitorSample, value); }
  double lastSearchAdLookUpTimestamp() const { return seconds(Key::LastSearchAdLookUp); }
  void setLastSearchAdLookUpTimestamp(double value) { setSeconds(Key::LastSearchAdLookUp, value); }
  // Seconds into the day at which this installation's day counters roll over: drawn once at random
  // in [0, 86400) and kept.
  double midnightOffset();
  void setMidnightOffset(double value) { setSeconds(Key::MidnightOffset, value); }

  std::int64_t sessionNumber() const { return integer(Key::SessionNumber); }
  void setSessionNumber(std::int64_t value) { setInteger(Key::SessionNumber, value); }
  std::int64_t firstOpenTimestampMilliseconds() const { return integer(Key::FirstOpenMilliseconds); }
  void setFirstOpenTimestampMilliseconds(std::int64_t value) {
    setInteger(Key::FirstOpenMilliseconds, value);
  }
  std::int64_t deferredDeepLinkRetryCount() const { return integer(Key::DeferredDeepLinkRetryCount); }
  void setDeferredDeepLinkRetryCount(std::int64_t value) {
    setInteger(Key::DeferredDeepLinkRetryCount, value);
  }
  std::int64_t searchAdRetryCount() const { return integer(Key::SearchAdRetryCount); }
  void setSearchAdRetryCount(std::int64_t value) { setInteger(Key::SearchAdRetryCount, value); }

  // Numbers that may be absent.
  std::optional<platform::Value> previousFirstOpenCount() const {
    return numberValue(Key::PreviousFirstOpenCount);
  }
  void setPreviousFirstOpenCount(std::optional<platform::Value> value) {
    setNumberValue(Key::PreviousFirstOpenCount, std::move(value));
  }
  std::optional<platform::Value> allowPersonalizedAds() const {
    return numberValue(Key::AllowPersonalizedAds);
  }
  void setAllowPersonalizedAds(std::optional<platform::Value> value) {
    setNumberValue(Key::AllowPersonalizedAds, std::move(value));
  }
  std::optional<platform::Value> deferredDeepLinkRetrievalComplete() const {
    return numberValue(Key::DeferredDeepLinkComplete);
  }
  void setDeferredDeepLinkRetrievalComplete(std::optional<platform::Value> value) {
    setNumberValue(Key::DeferredDeepLinkComplete, std::move(value));
  }
  std::optional<platform::Value> searchAdCampaignValue() const { return numberValue(Key::SearchAdCampaign); }
  void setSearchAdCampaignValue(std::optional<platform::Value> value) {
    setNumberValue(Key::SearchAdCampaign, std::move(value));
  }

  bool unmatchedFirstOpenWithoutIDFA() const { return flag(Key::UnmatchedFirstOpen); }
  void setUnmatchedFirstOpenWithoutIDFA(bool value) { setFlag(Key::UnmatchedFirstOpen, value); }
  bool shouldSetLastAdvertisingIDResetUserProperty() const { return flag(Key::SetLastAdIDReset); }
  void setShouldSetLastAdvertisingIDResetUserProperty(bool value) { setFlag(Key::SetLastAdIDReset, value); }

  // String and number values only; an empty dictionary when none is stored.
  platform::Dictionary defaultEventParameters() const;
  void setDefaultEventParameters(const platform::Dictionary& parameters);

  // Removes every value above except the collection switch: that is the user's choice, written by
  // the SDK core, and a data reset must not turn collection back on at the next launch.
  void clearValues();
  void synchronizeToDisk() { defaults_->synchronize(); }

 private:
  enum class Key {
    LoadTimestamp,
    AppIDFromCNP,
    AppIDFromAdReach,
    AppInstanceID,
    HashedResettableDeviceID,
    DiversionKey,
    AppVersion,
    OSVersion,
    ConfigLastModified,
    ConfigETag,
    PreviousConsentSignals,
    FeatureRollouts,
    LastSuccessfulUpload,
    LastFailedUpload,
    LastBackoff,
    LastSessionActivity,
    LastMonitorSample,
    LastSearchAdLookUp,
    MidnightOffset,
    SessionNumber,
    FirstOpenMilliseconds,
    DeferredDeepLinkRetryCount,
    SearchAdRetryCount,
    PreviousFirstOpenCount,
    AllowPersonalizedAds,
    DeferredDeepLinkComplete,
    SearchAdCampaign,
    UnmatchedFirstOpen,
    SetLastAdIDReset,
    DefaultEventParameters,
  };
  static std::string_view keyOf(Key key);

  std::optional<std::string> string(Key key) const;
  void setString(Key key, std::optional<std::string> value);
  std::optional<double> number(Key key) const;
  void setNumber(Key key, std::optional<double> value);
  double seconds(Key key) const { return number(key).value_or(0); }
  void setSeconds(Key key, double value) { setNumber(key, value); }
  std::int64_t integer(Key key) const;
  void setInteger(Key key, std::int64_t value);
  std::optional<platform::Value> numberValue(Key key) const;
  void setNumberValue(Key key, std::optional<platform::Value> value);
  bool flag(Key key) const;
  void setFlag(Key key, bool value);

  const std::shared_ptr<BMSUserDefaults> defaults_;
  const std::function<double()> random01_;
  std::mutex midnightMutex_;
};

}  // namespace beacon
