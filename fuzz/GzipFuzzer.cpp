// Gzip from outside (stored upload bundles, header values): inflating never crashes and gives all or
// nothing; whatever is compressed inflates back to itself.

#include "fuzz/FuzzCheck.h"
#include "sdk-utilities/gzip/CVUGzip.h"

using beacon::CVUGzip;
using velloran::fuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> input(data, size);
  platform::Error error;
  (void)CVUGzip::cvu_dataByInflatingGzippedData(input, &error);

  std::optional<platform::Bytes> compressed = CVUGzip::cvu_dataByGzippingData(input);
  check(compressed.has_value() == (size > 0), "every non-empty input compresses");
  if (!compressed) return 0;
  std::optional<platform::Bytes> inflated = CVUGzip::cvu_dataByInflatingGzippedData(*compressed);
  check(inflated && std::equal(inflated->begin(), inflated->end(), data, data + size) &&
            inflated->size() == size,
        "what was compressed inflates back to itself");
  return 0;
}
