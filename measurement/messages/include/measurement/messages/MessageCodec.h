#pragma once
// Encoding and decoding of MessageInfo in the protocol-buffer wire format over nanopb's stream
// functions. Encoding takes a size pass and then writes into a buffer of exactly that size (every
// event's metadata and body is encoded on the worker queue: no per-write callback, no buffer per
// sub-message).
//
// Encoding is deterministic: fields in ascending ID order, repeated scalars one tag per element,
// int32 and enum values sign-extended (a negative time-zone offset takes ten bytes), so equal messages
// give equal bytes.
//
// Decoding accepts what any protocol-buffer writer may send for our tables: fields in any order, the
// last value of a repeated singular field, packed or unpacked repeated scalars, unknown fields
// (skipped). It refuses, as a whole, truncated input, a wire type that does not fit the field's kind,
// groups, and nesting deeper than kMaxMessageDepth. Bodies come from the network, so every length is
// checked against the bytes that are there and memory grows only with the fields actually present.
// Pure functions, safe on any thread.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "measurement/messages/MessageInfo.h"
#include "platform/value/Value.h"

namespace beacon {

// Sub-message levels below the top message that a decoded body may have.
inline constexpr int kMaxMessageDepth = 32;

// Empty only when nanopb refuses a write (callers treat it as a message that cannot be encoded).
std::optional<platform::Bytes> encodeMessage(const MessageInfo& message);

// Empty when the bytes are not a well-formed message of that table.
std::optional<MessageInfo> decodeMessage(const MessageDescriptor& descriptor,
                                         std::span<const std::uint8_t> bytes);

}  // namespace beacon
