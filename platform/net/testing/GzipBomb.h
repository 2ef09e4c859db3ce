#pragma once
// A hostile reply body for tests: a small gzip member that inflates to a huge run of zeros.

#include <cstddef>
#include <string>

namespace platform::testing {

// The gzip form of `inflatedBytes` zero bytes (about a thousandth of that in size). Throws
// std::runtime_error when zlib fails.
std::string gzipBomb(std::size_t inflatedBytes);

}  // namespace platform::testing
