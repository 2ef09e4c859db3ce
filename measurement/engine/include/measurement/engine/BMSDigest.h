#pragma once
// MD5 and SHA-256 digests and the 64-bit fingerprint made from them. The fingerprint keys stored raw-event
// metadata and checks uploads, so its byte order is fixed: the last eight bytes, big-endian. Pure
// functions, safe on any thread.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/value/Value.h"

namespace beacon {

// The 16-byte MD5 digest.
platform::Bytes BMSMD5Data(std::span<const std::uint8_t> data);

// The last eight bytes (all of them when fewer) read as one big-endian number; 0 for no bytes.
std::int64_t BMS64LeastSignificantBits(std::span<const std::uint8_t> data);

// The low 64 bits of the MD5 digest taken as a big-endian 128-bit number.
std::int64_t BMS64LSBMD5(std::span<const std::uint8_t> data);

// The MD5 of the text as 32 lower-case hexadecimal digits; nothing when the text is not well-formed
// UTF-8.
std::optional<std::string> BMSMD5String(std::string_view text);

// The bytes as lower-case hexadecimal digits, two per byte.
std::string BMSLowerHexString(std::span<const std::uint8_t> data);

// The SHA-256 of the bytes of the text as 64 lower-case hexadecimal digits.
std::string BMSSHA256String(std::string_view text);

}  // namespace beacon
