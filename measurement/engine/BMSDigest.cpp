#include "measurement/engine/BMSDigest.h"

#include <openssl/evp.h>

#include <cstdio>

#include "platform/text/Scalars.h"

namespace beacon {
namespace {

platform::Bytes digestOf(std::span<const std::uint8_t> data, const EVP_MD* kind) {
  platform::Bytes digest(EVP_MAX_MD_SIZE);
  unsigned int length = 0;
  EVP_Digest(data.data(), data.size(), digest.data(), &length, kind, nullptr);
  digest.resize(length);
  return digest;
}

std::span<const std::uint8_t> bytesOf(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

}  // namespace

platform::Bytes BMSMD5Data(std::span<const std::uint8_t> data) {
  return digestOf(data, EVP_md5());
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
  return BMSLowerHexString(BMSMD5Data(bytesOf(text)));
}

std::string BMSSHA256String(std::string_view text) {
  return BMSLowerHexString(digestOf(bytesOf(text), EVP_sha256()));
}

std::string BMSLowerHexString(std::span<const std::uint8_t> data) {
  std::string hex;
  char pair[3];
  for (std::uint8_t byte : data) {
    std::snprintf(pair, sizeof pair, "%02x", byte);
    hex += pair;
  }
  return hex;
}

}  // namespace beacon
