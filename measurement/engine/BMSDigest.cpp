#include "measurement/engine/BMSDigest.h"

#include <openssl/evp.h>

#include <cstdio>

#include "platform/text/Scalars.h"

namespace beacon {

platform::Bytes BMSMD5Data(std::span<const std::uint8_t> data) {
  platform::Bytes digest(16);
  unsigned int length = 0;
  EVP_Digest(data.data(), data.size(), digest.data(), &length, EVP_md5(), nullptr);
  digest.resize(length);
  return digest;
}

std::int64_t BMS64LeastSignificantBits(std::span<const std::uint8_t> data) {
  const std::size_t count = data.size() < 8 ? data.size() : 8;
  std::uint64_t value = 0;
  for (std::uint8_t byte : data.last(count)) value = (value << 8) | byte;
  return static_cast<std::int64_t>(value);
}

std::int64_t BMS64LSBMD5(std::span<const std::uint8_t> data) {
  return BMS64LeastSignificantBits(BMSMD5Data(data));
}

std::optional<std::string> BMSMD5String(std::string_view text) {
  if (platform::fromScalars(platform::toScalars(text)) != text) return std::nullopt;
  const platform::Bytes digest =
      BMSMD5Data(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
  std::string hex;
  char pair[3];
  for (std::uint8_t byte : digest) {
    std::snprintf(pair, sizeof pair, "%02x", byte);
    hex += pair;
  }
  return hex;
}

}  // namespace beacon
