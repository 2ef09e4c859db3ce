#pragma once
// Gzip compression and inflation of byte buffers. Upload bodies, stored upload bundles and the
// heartbeat header value all go through here.
//
// Compression always writes the gzip wrapper, so the result is what the `gzip` tool writes and
// reads. Inflation accepts a gzip- or a zlib-wrapped stream that makes up the whole input: bytes
// after the end of the compressed stream are refused, never silently dropped.
//
// Failures are reported through the optional `error` out-parameter in the zlib error domain below;
// it is touched only on those failures. Empty input is not a failure: both calls answer nullopt and
// leave `error` alone. Pure functions, safe on any thread.

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "platform/error/Error.h"
#include "platform/value/Value.h"
#include "sdk-utilities/vendor/VendorPrefix.h"

namespace beacon {

// The error domain of the calls below.
inline constexpr std::string_view kCVUZlibErrorDomain = "com.corvane.CVUNSDataZlibErrorDomain";
static_assert(kCVUZlibErrorDomain.starts_with(kVendorPrefix));

// Input longer than zlib's 32-bit length field can describe.
inline constexpr std::int64_t kCVUZlibErrorInputTooLarge = 1024;
// zlib refused at set-up or while streaming; "CVUNSDataZlibErrorKey" holds zlib's status.
inline constexpr std::int64_t kCVUZlibErrorInternal = 1025;
// The compressed stream ended before the input did; "CVUNSDataZlibRemainingBytesKey" holds how many
// input bytes were left over.
inline constexpr std::int64_t kCVUZlibErrorDataRemaining = 1026;

inline constexpr const char* kCVUZlibErrorKey = "CVUNSDataZlibErrorKey";
inline constexpr const char* kCVUZlibRemainingBytesKey = "CVUNSDataZlibRemainingBytesKey";

// How hard compression works. Either level writes the same gzip format, which any reader inflates.
enum class CVUGzipLevel {
  // zlib's default balance of size and speed: what goes over the network.
  kDefault,
  // The fastest level: several times quicker on large input, somewhat larger output. For data kept on
  // this device only, where the time counts more than the bytes.
  kFastest,
};

class CVUGzip {
 public:
  CVUGzip() = delete;

  // The gzip form of `data` at `level`. nullopt for empty input (no error) and on failure (1024 for
  // input over 4 294 967 295 bytes, 1025 when zlib fails).
  static std::optional<platform::Bytes> cvu_dataByGzippingData(std::span<const std::uint8_t> data,
                                                               platform::Error* error = nullptr,
                                                               CVUGzipLevel level = CVUGzipLevel::kDefault);

  // The inflated contents of a gzip- or zlib-wrapped stream. nullopt for empty input or input over
  // 4 294 967 295 bytes (no error), and on failure: 1025 for damaged or truncated data (with zlib's
  // message as description when it gave one), 1026 when bytes follow the end of the stream. No
  // partial output is ever returned.
  static std::optional<platform::Bytes> cvu_dataByInflatingGzippedData(std::span<const std::uint8_t> data,
                                                                       platform::Error* error = nullptr);
};

}  // namespace beacon
