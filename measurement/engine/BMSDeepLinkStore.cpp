#include "measurement/engine/BMSDeepLinkStore.h"

#include "platform/time/StampAge.h"

namespace beacon {

void BMSStoreDeepLink(BMSUserDefaults& preferences, std::string_view url, const platform::Clock& clock) {
  preferences.setObject(platform::Value(url), kBMSStoredDeepLinkKey);
  preferences.setObject(platform::Value(clock.now().unixSeconds()), kBMSStoredDeepLinkTimestampKey);
}

void BMSClearStoredDeepLink(BMSUserDefaults& preferences) {
  preferences.removeObjectForKey(kBMSStoredDeepLinkKey);
  preferences.removeObjectForKey(kBMSStoredDeepLinkTimestampKey);
}

bool BMSIsStoredDeepLinkExpired(const BMSUserDefaults& preferences, double ttlSeconds,
                                const platform::Clock& clock) {
  const std::optional<platform::Value> stored = preferences.objectForKey(kBMSStoredDeepLinkTimestampKey);
  if (!stored || !stored->isNumber()) return false;
  return platform::secondsFromStampEitherWay(stored->doubleValue(), clock.now().unixSeconds()) > ttlSeconds;
}

bool BMSClearExpiredStoredDeepLink(double attributionCacheTTLSeconds, const platform::Clock& clock) {
  const std::shared_ptr<BMSUserDefaults> preferences = BMSUserDefaults::sharedUserDefaults();
  if (!BMSIsStoredDeepLinkExpired(*preferences, attributionCacheTTLSeconds, clock)) return false;
  BMSClearStoredDeepLink(*preferences);
  return true;
}

}  // namespace beacon
