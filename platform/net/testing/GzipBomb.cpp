#include "platform/net/testing/GzipBomb.h"

#include <zlib.h>

#include <algorithm>
#include <stdexcept>
#include <vector>

namespace platform::testing {

std::string gzipBomb(std::size_t inflatedBytes) {
  z_stream stream{};
  // 15 + 16: a gzip wrapper around the deflate stream.
  if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY) != Z_OK)
    throw std::runtime_error("gzipBomb: deflateInit2 failed");
  std::vector<Bytef> zeros(1u << 20, 0);
  std::vector<Bytef> out(1u << 16);
  std::string compressed;
  std::size_t left = inflatedBytes;
  int status = Z_OK;
  do {
    const std::size_t piece = std::min(left, zeros.size());
    stream.next_in = zeros.data();
    stream.avail_in = static_cast<uInt>(piece);
    left -= piece;
    const int flush = left == 0 ? Z_FINISH : Z_NO_FLUSH;
    do {
      stream.next_out = out.data();
      stream.avail_out = static_cast<uInt>(out.size());
      status = deflate(&stream, flush);
      compressed.append(reinterpret_cast<const char*>(out.data()), out.size() - stream.avail_out);
    } while (stream.avail_out == 0);
  } while (left > 0);
  deflateEnd(&stream);
  if (status != Z_STREAM_END) throw std::runtime_error("gzipBomb: deflate did not finish");
  return compressed;
}

}  // namespace platform::testing
