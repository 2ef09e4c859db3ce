#include "measurement/messages/MessageCodec.h"

#include <pb_decode.h>
#include <pb_encode.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace beacon {
namespace {

// Encodes over nanopb in two passes: a size pass measures every sub-message once (kept in the order
// the encode pass meets them), then the encode pass writes into a buffer of exactly the measured
// size, each sub-message's length known before its body. Nothing is encoded twice and no
// sub-message gets a buffer of its own.
class SizedEncoder {
 public:
  // The size of `message`'s fields on the wire; false when nanopb refuses a write.
  bool measure(const MessageInfo& message, std::size_t& size) {
    const std::size_t slot = subMessageSizes_.size();
    subMessageSizes_.push_back(0);
    pb_ostream_t sizing = PB_OSTREAM_SIZING;
    if (!writeFields(&sizing, message, Pass::Size)) return false;
    size = subMessageSizes_[slot] = sizing.bytes_written;
    return true;
  }

  // Encodes `message` (measured first) into `stream`.
  bool encode(pb_ostream_t* stream, const MessageInfo& message) {
    next_ = 1;  // the first size is the whole message's
    return writeFields(stream, message, Pass::Encode);
  }

 private:
  enum class Pass { Size, Encode };

  bool writeFields(pb_ostream_t* stream, const MessageInfo& message, Pass pass) {
    bool ok = true;
    message.forEachSetField([&](const MessageFieldDescriptor& field, const auto& value) {
      ok = ok && writeField(stream, field.tag, value, pass);
    });
    return ok;
  }

  // Integer kinds are held as the field's width keeps them, so a negative int32 is sign-extended.
  static bool writeField(pb_ostream_t* stream, std::uint32_t tag, std::int64_t value, Pass) {
    return pb_encode_tag(stream, PB_WT_VARINT, tag) &&
           pb_encode_varint(stream, static_cast<std::uint64_t>(value));
  }

  static bool writeField(pb_ostream_t* stream, std::uint32_t tag, double value, Pass) {
    return pb_encode_tag(stream, PB_WT_64BIT, tag) && pb_encode_fixed64(stream, &value);
  }

  static bool writeField(pb_ostream_t* stream, std::uint32_t tag, const std::string& value, Pass) {
    return pb_encode_tag(stream, PB_WT_STRING, tag) &&
           pb_encode_string(stream, reinterpret_cast<const pb_byte_t*>(value.data()), value.size());
  }

  bool writeField(pb_ostream_t* stream, std::uint32_t tag, const MessageInfo& message, Pass pass) {
    if (!pb_encode_tag(stream, PB_WT_STRING, tag)) return false;
    if (pass == Pass::Size) {
      std::size_t size = 0;
      // A sizing stream only counts, so the measured body is added without being written.
      return measure(message, size) && pb_encode_varint(stream, size) && pb_write(stream, nullptr, size);
    }
    return pb_encode_varint(stream, subMessageSizes_.at(next_++)) && writeFields(stream, message, pass);
  }

  // Repeated fields: one key per element.
  template <class Element>
  bool writeField(pb_ostream_t* stream, std::uint32_t tag, const std::vector<Element>& values, Pass pass) {
    for (const Element& value : values) {
      if (!writeField(stream, tag, value, pass)) return false;
    }
    return true;
  }

  std::vector<std::size_t> subMessageSizes_;  // in the order both passes visit the sub-messages
  std::size_t next_ = 0;
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
  SizedEncoder encoder;
  std::size_t size = 0;
  if (!encoder.measure(message, size)) return std::nullopt;
  platform::Bytes bytes(size);
  pb_ostream_t stream = pb_ostream_from_buffer(bytes.data(), bytes.size());
  if (!encoder.encode(&stream, message) || stream.bytes_written != size) return std::nullopt;
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
