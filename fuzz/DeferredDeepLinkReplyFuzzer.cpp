// The deferred deep-link service's reply, read from the network: any body is read without crashing,
// and a reply that is taken always names its link as a URL.

#include "fuzz/FuzzCheck.h"
#include "measurement/runtime/BMSMeasurement.h"
#include "platform/net/Url.h"

using velloran::fuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::optional<platform::Dictionary> info =
      beacon::BMSMeasurement::deepLinkInfoFromResponseData(platform::Bytes(data, data + size));
  if (!info) return 0;
  const auto link = info->find("deeplink");
  check(link != info->end() && link->second.asString() && platform::Url::parse(*link->second.asString()),
        "a reply that is taken names its link as a URL");
  return 0;
}
