#include "platform/identity/UUID.h"

#include <random>
#include <span>

namespace platform {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";
// Offsets of the hyphens in the text form 8-4-4-4-12.
constexpr bool isHyphenOffset(std::size_t offset) {
  return offset == 8 || offset == 13 || offset == 18 || offset == 23;
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void fillFromRandomDevice(std::span<std::uint8_t> out) {
  std::random_device device;
  for (std::uint8_t& byte : out) byte = static_cast<std::uint8_t>(device());
}

}  // namespace

UUID UUID::random(RandomSource& source) {
  Bytes bytes;
  if (!source.fill(bytes)) fillFromRandomDevice(bytes);
  bytes[6] = static_cast<std::uint8_t>((bytes[6] & 0x0F) | 0x40);  // version 4
  bytes[8] = static_cast<std::uint8_t>((bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
  return UUID(bytes);
}

std::optional<UUID> UUID::fromString(std::string_view text) {
  if (text.size() != 36) return std::nullopt;
  Bytes bytes{};
  std::size_t nibble = 0;
  for (std::size_t offset = 0; offset < text.size(); ++offset) {
    if (isHyphenOffset(offset)) {
      if (text[offset] != '-') return std::nullopt;
      continue;
    }
    const int value = hexValue(text[offset]);
    if (value < 0) return std::nullopt;
    bytes[nibble / 2] = static_cast<std::uint8_t>(bytes[nibble / 2] | (nibble % 2 ? value : value << 4));
    ++nibble;
  }
  return UUID(bytes);
}

std::string UUID::uuidString() const {
  std::string text;
  text.reserve(36);
  for (std::size_t i = 0; i < bytes_.size(); ++i) {
    if (isHyphenOffset(text.size())) text += '-';
    text += kHexDigits[bytes_[i] >> 4];
    text += kHexDigits[bytes_[i] & 0x0F];
  }
  return text;
}

}  // namespace platform

std::size_t std::hash<platform::UUID>::operator()(const platform::UUID& uuid) const noexcept {
  // The bytes are uniformly random in practice; folding the two halves is a good hash.
  std::uint64_t high = 0;
  std::uint64_t low = 0;
  for (std::size_t i = 0; i < 8; ++i) {
    high = (high << 8) | uuid.bytes()[i];
    low = (low << 8) | uuid.bytes()[i + 8];
  }
  return static_cast<std::size_t>(high ^ (low * 0x9E3779B97F4A7C15ULL));
}
