// The downloaded measurement configuration, read from the network: parsing any document never
// crashes, and whatever a document says, every setting read from it stays inside its bounds (a
// value outside them reads as the default).

#include "fuzz/FuzzCheck.h"
#include "measurement/storage/BMSRemoteConfig.h"

using beacon::BMSRemoteConfig;
using velloran::fuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const platform::Bytes document(data, data + size);
  const std::shared_ptr<BMSRemoteConfig> config = BMSRemoteConfig::defaultInstance();
  if (!config->updateMeasurementConfig(document)) return 0;

  const auto within = [](double value, double low, double high) { return value >= low && value <= high; };
  check(within(config->uploadingInterval(), 15, 86400), "upload interval within its bounds");
  check(within(config->uploadingRealTimeInterval(), 10, 15), "real-time interval within its bounds");
  check(within(config->uploadingRetryCount(), 1, 24), "retry count within its bounds");
  check(within(config->uploadingRetryInterval(), 60, 86400), "retry interval within its bounds");
  check(within(config->uploadingBackoffInterval(), 3600, 604800), "back-off within its bounds");
  check(within(config->uploadMaxSizeLimitBytes(), 0, 10485760), "batch size within its bounds");
  check(within(config->networkTimeout(), 30, 3600), "network time-out within its bounds");
  check(within(config->maxPublicEventParams(), 25, 100), "parameter count within its bounds");
  check(within(config->maxPublicEventParameterValueLength(), 100, 500), "value length within its bounds");
  check(within(config->maxItemScopedCustomParameters(), 10, 35), "item parameters within their bounds");
  check(within(config->attributionCacheTTLInterval(), 86400, 2592000), "attribution TTL within its bounds");
  for (const std::string& name : {std::string("purchase"), std::string("_e"), std::string()}) {
    (void)config->isEventBlocklisted(name);
    (void)config->samplingRateForEvent(name);
  }
  (void)config->uploadURL();
  (void)config->remoteConfigURLWithPlatform("macos", 1, 1);
  (void)config->consentDefaults();
  (void)config->regionalDefaults();
  return 0;
}
