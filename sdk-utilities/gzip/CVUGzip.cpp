#include "sdk-utilities/gzip/CVUGzip.h"

#include <zlib.h>

#include <algorithm>
#include <limits>

namespace beacon {
namespace {

using platform::Bytes;

// zlib keeps lengths in 32 bits.
constexpr std::uint64_t kLargestInput = std::numeric_limits<uInt>::max();
constexpr std::size_t kChunkSize = 1024;
// 15 window bits plus 16: write the gzip wrapper.
constexpr int kGzipWindowBits = 15 + 16;
// 15 window bits plus 32: read a gzip or a zlib wrapper, whichever the stream has.
constexpr int kAutoDetectWindowBits = 15 + 32;
constexpr int kMemoryLevel = 8;
// Inflating usually grows data about fourfold, so that much room is reserved up front, but never
// more than this: how far a stream expands is up to whoever made it, and a large input must not
// make us claim memory before its contents have proved themselves. Beyond this the buffer grows
// as the output arrives.
constexpr std::size_t kLargestInitialInflateReserve = std::size_t{1} << 20;

void report(platform::Error* error, std::int64_t code, platform::Dictionary userInfo = {},
            std::string description = {}) {
  if (error == nullptr) return;
  *error =
      platform::Error(std::string(kCVUZlibErrorDomain), code, std::move(description), std::move(userInfo));
}

void reportZlibStatus(platform::Error* error, int status, const char* message = nullptr) {
  report(error, kCVUZlibErrorInternal, {{kCVUZlibErrorKey, platform::Value(status)}}, message ? message : "");
}

z_stream streamOver(std::span<const std::uint8_t> data) {
  z_stream stream{};
  // zlib's interface is not const-correct; it only ever reads its input.
  stream.next_in = const_cast<Bytef*>(data.data());
  stream.avail_in = static_cast<uInt>(data.size());
  return stream;
}

// Lets `step` write into a fresh chunk at the end of `output` and keeps what it produced.
template <class Step>
int runOnFreshChunk(z_stream& stream, Bytes& output, Step step) {
  const std::size_t before = output.size();
  output.resize(before + kChunkSize);
  stream.next_out = output.data() + before;
  stream.avail_out = kChunkSize;
  const int status = step(stream);
  output.resize(before + kChunkSize - stream.avail_out);
  return status;
}

}  // namespace

std::optional<Bytes> CVUGzip::cvu_dataByGzippingData(std::span<const std::uint8_t> data,
                                                     platform::Error* error, CVUGzipLevel level) {
  if (data.empty()) return std::nullopt;
  if (data.size() > kLargestInput) {
    report(error, kCVUZlibErrorInputTooLarge);
    return std::nullopt;
  }

  z_stream stream = streamOver(data);
  const int zlibLevel = level == CVUGzipLevel::kFastest ? Z_BEST_SPEED : Z_DEFAULT_COMPRESSION;
  int status =
      deflateInit2(&stream, zlibLevel, Z_DEFLATED, kGzipWindowBits, kMemoryLevel, Z_DEFAULT_STRATEGY);
  if (status != Z_OK) {
    reportZlibStatus(error, status);
    return std::nullopt;
  }

  Bytes output;
  output.reserve(data.size() / 4);
  do {
    status = runOnFreshChunk(stream, output, [](z_stream& s) { return deflate(&s, Z_FINISH); });
    if (status != Z_OK && status != Z_STREAM_END) {
      deflateEnd(&stream);
      reportZlibStatus(error, status);
      return std::nullopt;
    }
  } while (status != Z_STREAM_END);
  deflateEnd(&stream);
  return output;
}

std::optional<Bytes> CVUGzip::cvu_dataByInflatingGzippedData(std::span<const std::uint8_t> data,
                                                             platform::Error* error) {
  if (data.empty() || data.size() > kLargestInput) return std::nullopt;

  z_stream stream = streamOver(data);
  int status = inflateInit2(&stream, kAutoDetectWindowBits);
  if (status != Z_OK) {
    reportZlibStatus(error, status, stream.msg);
    return std::nullopt;
  }

  Bytes output;
  output.reserve(std::min(data.size() * 4, kLargestInitialInflateReserve));
  do {
    // A fresh chunk each turn means inflate can always make progress while input is left; once the
    // input runs out before the stream's end (truncated data) it answers with a buffer error.
    status = runOnFreshChunk(stream, output, [](z_stream& s) { return inflate(&s, Z_NO_FLUSH); });
    if (status != Z_OK && status != Z_STREAM_END) {
      reportZlibStatus(error, status, stream.msg);
      inflateEnd(&stream);
      return std::nullopt;
    }
  } while (status != Z_STREAM_END);

  const uInt remaining = stream.avail_in;
  inflateEnd(&stream);
  if (remaining > 0) {
    report(error, kCVUZlibErrorDataRemaining, {{kCVUZlibRemainingBytesKey, platform::Value(remaining)}});
    return std::nullopt;
  }
  return output;
}

}  // namespace beacon
