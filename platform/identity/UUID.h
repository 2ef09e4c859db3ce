#pragma once
// A 128-bit universally unique identifier as a plain value: sixteen bytes in their text order.
// New identifiers are random (version 4). The text form is the 36-character hyphenated form in upper
// case, "E621E1F8-C36C-495A-93FC-0C247A3E6E5F"; parsing accepts either case but nothing else (no
// braces, no missing hyphens, no blanks). Ordering and hashing go by the bytes.

#include <array>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/identity/IdentifierSource.h"
#include "platform/identity/RandomSource.h"

namespace platform {

class UUID {
 public:
  using Bytes = std::array<std::uint8_t, 16>;

  // The nil identifier, all zero.
  UUID() = default;
  explicit UUID(const Bytes& bytes) : bytes_(bytes) {}

  // A new random (version 4) identifier, by default from the identifier source in place
  // (IdentifierSource.h). Should the source fail, the bytes come from the standard library's random
  // device instead: an identifier is always produced.
  static UUID random(RandomSource& source = identifierSource());
  static std::optional<UUID> fromString(std::string_view text);

  std::string uuidString() const;
  const Bytes& bytes() const { return bytes_; }
  bool isNil() const { return bytes_ == Bytes{}; }

  friend auto operator<=>(const UUID&, const UUID&) = default;

 private:
  Bytes bytes_{};
};

}  // namespace platform

template <>
struct std::hash<platform::UUID> {
  std::size_t operator()(const platform::UUID& uuid) const noexcept;
};
