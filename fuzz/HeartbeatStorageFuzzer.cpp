// The stored heartbeats of an app ID, read from a file anyone may have damaged: decoding never
// crashes, a decoded bundle can still be logged to, and it encodes and decodes back the same.

#include "fuzz/FuzzCheck.h"
#include "sdk-core/heartbeat/HeartbeatsBundleCoding.h"

using namespace beacon;
using velloran::fuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  platform::Result<HeartbeatsBundle> bundle = decodeHeartbeatsBundle(platform::Bytes(data, data + size));
  if (!bundle) return 0;
  platform::Result<platform::Bytes> encoded = encodeHeartbeatsBundle(*bundle);
  if (!encoded) return 0;  // an agent that is not UTF-8, say: refused, never written wrong
  platform::Result<HeartbeatsBundle> again = decodeHeartbeatsBundle(*encoded);
  check(again.ok(), "an encoded bundle decodes");
  check(*encodeHeartbeatsBundle(*again) == *encoded, "and encodes to the same bytes");
  bundle->append(Heartbeat{"fuzz/1", platform::Date{0}, 0, {TimePeriod::daily}});
  (void)bundle->makePayload();
  return 0;
}
