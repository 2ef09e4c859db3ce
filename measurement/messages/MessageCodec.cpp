#include "measurement/messages/MessageCodec.h"

#include <pb_decode.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace beacon {
namespace {

// Writes the wire form straight into a growing byte buffer. A sub-message is written in place
// behind a one-byte length, which is widened afterwards in the rare case the body is 128 bytes or
// longer: the cost grows with size times depth, never with a size pass per level.
constexpr std::size_t kFirstBufferBytes = 512;

class WireWriter {
 public:
  explicit WireWriter(platform::Bytes& out) : out_(out) {}

  void writeFields(const MessageInfo& message) {
    message.forEachSetField(
        [this](const MessageFieldDescriptor& field, const auto& value) { writeField(field.tag, value); });
  }

 private:
  static constexpr std::size_t kMaxVarintBytes = 10;

  void writeKey(std::uint32_t tag, pb_wire_type_t wireType) {
    writeVarint((static_cast<std::uint64_t>(tag) << 3) | wireType);
  }

  void writeVarint(std::uint64_t value) {
    std::uint8_t bytes[kMaxVarintBytes];
    out_.insert(out_.end(), bytes, bytes + varintBytes(value, bytes));
  }

  static std::size_t varintBytes(std::uint64_t value, std::uint8_t* bytes) {
    std::size_t count = 0;
    for (; value >= 0x80; value >>= 7) bytes[count++] = static_cast<std::uint8_t>(value | 0x80);
    bytes[count++] = static_cast<std::uint8_t>(value);
    return count;
  }

  // Integer kinds are held as the field's width keeps them, so a negative int32 is sign-extended.
  void writeField(std::uint32_t tag, std::int64_t value) {
    writeKey(tag, PB_WT_VARINT);
    writeVarint(static_cast<std::uint64_t>(value));
  }

  void writeField(std::uint32_t tag, double value) {
    writeKey(tag, PB_WT_64BIT);
    std::uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    for (int shift = 0; shift < 64; shift += 8) out_.push_back(static_cast<std::uint8_t>(bits >> shift));
  }

  void writeField(std::uint32_t tag, const std::string& value) {
    writeKey(tag, PB_WT_STRING);
    writeVarint(value.size());
    out_.insert(out_.end(), value.begin(), value.end());
  }

  void writeField(std::uint32_t tag, const MessageInfo& message) {
    writeKey(tag, PB_WT_STRING);
    const std::size_t lengthAt = out_.size();
    out_.push_back(0);
    writeFields(message);
    std::uint8_t length[kMaxVarintBytes];
    const std::size_t lengthBytes = varintBytes(out_.size() - lengthAt - 1, length);
    out_[lengthAt] = length[0];
    out_.insert(out_.begin() + static_cast<std::ptrdiff_t>(lengthAt + 1), length + 1, length + lengthBytes);
  }

  // Repeated fields: one key per element.
  template <class Element>
  void writeField(std::uint32_t tag, const std::vector<Element>& values) {
    for (const Element& value : values) writeField(tag, value);
  }

  platform::Bytes& out_;
};

bool decodeFields(pb_istream_t* stream, MessageInfo& message, int depth);

// Reads every element of a packed list: the wire form other writers use for repeated numbers.
template <class ReadOne>
bool decodePacked(pb_istream_t* stream, ReadOne&& readOne) {
  pb_istream_t substream;
  if (!pb_make_string_substream(stream, &substream)) return false;
  bool ok = true;
  while (ok && substream.bytes_left > 0) ok = readOne(&substream);
  return pb_close_string_substream(stream, &substream) && ok;
}

// A number field: one value of its own wire type, or, for a list, a packed run of them. `readOne`
// reads one value from the stream it is given and stores it.
template <class ReadOne>
bool decodeNumberField(pb_istream_t* stream, pb_wire_type_t wireType, pb_wire_type_t ownWireType,
                       const MessageFieldDescriptor& field, ReadOne&& readOne) {
  if (wireType == ownWireType) return readOne(stream);
  return hasKind(field.kind, MessageFieldKind::Repeated) && wireType == PB_WT_STRING &&
         decodePacked(stream, readOne);
}

bool decodeIntegerField(pb_istream_t* stream, pb_wire_type_t wireType, MessageInfo& message,
                        const MessageFieldDescriptor& field) {
  return decodeNumberField(stream, wireType, PB_WT_VARINT, field, [&](pb_istream_t* from) {
    std::uint64_t raw = 0;
    if (!pb_decode_varint(from, &raw)) return false;
    const auto value = static_cast<std::int64_t>(raw);
    hasKind(field.kind, MessageFieldKind::Repeated) ? message.appendInteger(field.id, value)
                                                    : message.setInteger(field.id, value);
    return true;
  });
}

bool decodeDoubleField(pb_istream_t* stream, pb_wire_type_t wireType, MessageInfo& message,
                       const MessageFieldDescriptor& field) {
  return decodeNumberField(stream, wireType, PB_WT_64BIT, field, [&](pb_istream_t* from) {
    double value = 0;
    if (!pb_decode_fixed64(from, &value)) return false;
    hasKind(field.kind, MessageFieldKind::Repeated) ? message.appendFloating(field.id, value)
                                                    : message.setFloating(field.id, value);
    return true;
  });
}

bool decodeTextField(pb_istream_t* stream, pb_wire_type_t wireType, MessageInfo& message,
                     const MessageFieldDescriptor& field) {
  if (wireType != PB_WT_STRING) return false;
  pb_istream_t substream;
  if (!pb_make_string_substream(stream, &substream)) return false;
  std::string value(substream.bytes_left, '\0');
  const bool read = pb_read(&substream, reinterpret_cast<pb_byte_t*>(value.data()), value.size());
  if (!pb_close_string_substream(stream, &substream) || !read) return false;
  hasKind(field.kind, MessageFieldKind::Repeated) ? message.appendText(field.id, std::move(value))
                                                  : message.setText(field.id, std::move(value));
  return true;
}

bool decodeMessageField(pb_istream_t* stream, pb_wire_type_t wireType, MessageInfo& message,
                        const MessageFieldDescriptor& field, int depth) {
  if (wireType != PB_WT_STRING || depth >= kMaxMessageDepth) return false;
  pb_istream_t substream;
  if (!pb_make_string_substream(stream, &substream)) return false;
  MessageInfo element(*field.message);
  const bool decoded = decodeFields(&substream, element, depth + 1);
  if (!pb_close_string_substream(stream, &substream) || !decoded) return false;
  message.appendMessage(field.id, std::move(element));
  return true;
}

bool decodeFields(pb_istream_t* stream, MessageInfo& message, int depth) {
  while (stream->bytes_left > 0) {
    pb_wire_type_t wireType;
    std::uint32_t tag = 0;
    bool eof = false;
    if (!pb_decode_tag(stream, &wireType, &tag, &eof)) return false;
    const MessageFieldDescriptor* field = message.descriptor().fieldWithTag(tag);
    bool ok;
    if (!field) {
      ok = pb_skip_field(stream, wireType);
    } else if (isIntegerKind(field->kind)) {
      ok = decodeIntegerField(stream, wireType, message, *field);
    } else if (hasKind(field->kind, MessageFieldKind::Double)) {
      ok = decodeDoubleField(stream, wireType, message, *field);
    } else if (isTextKind(field->kind)) {
      ok = decodeTextField(stream, wireType, message, *field);
    } else {
      ok = decodeMessageField(stream, wireType, message, *field, depth);
    }
    if (!ok) return false;
  }
  return true;
}

}  // namespace

std::optional<platform::Bytes> encodeMessage(const MessageInfo& message) {
  platform::Bytes bytes;
  // Room for an event's or a metadata message's bytes, so the buffer rarely grows.
  bytes.reserve(kFirstBufferBytes);
  WireWriter(bytes).writeFields(message);
  return bytes;
}

std::optional<MessageInfo> decodeMessage(const MessageDescriptor& descriptor,
                                         std::span<const std::uint8_t> bytes) {
  pb_istream_t stream = pb_istream_from_buffer(bytes.data(), bytes.size());
  MessageInfo message(descriptor);
  if (!decodeFields(&stream, message, 0)) return std::nullopt;
  return message;
}

}  // namespace beacon
