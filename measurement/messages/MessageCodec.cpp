#include "measurement/messages/MessageCodec.h"

#include <pb_decode.h>
#include <pb_encode.h>

#include <cstdint>
#include <string>

namespace beacon {
namespace {

bool encodeFields(pb_ostream_t* stream, const MessageInfo& message);

bool encodeInteger(pb_ostream_t* stream, std::uint32_t tag, std::int64_t value) {
  return pb_encode_tag(stream, PB_WT_VARINT, tag) &&
         pb_encode_varint(stream, static_cast<std::uint64_t>(value));
}

bool encodeDouble(pb_ostream_t* stream, std::uint32_t tag, double value) {
  return pb_encode_tag(stream, PB_WT_64BIT, tag) && pb_encode_fixed64(stream, &value);
}

bool encodeText(pb_ostream_t* stream, std::uint32_t tag, const std::string& value) {
  return pb_encode_tag(stream, PB_WT_STRING, tag) &&
         pb_encode_string(stream, reinterpret_cast<const pb_byte_t*>(value.data()), value.size());
}

// Writes into a growing byte buffer: each sub-message is written once into its own buffer and then
// copied in behind its length, so the cost grows with size times depth, never with a size pass per
// level.
bool appendToBuffer(pb_ostream_t* stream, const pb_byte_t* data, std::size_t count) {
  auto* buffer = static_cast<platform::Bytes*>(stream->state);
  buffer->insert(buffer->end(), data, data + count);
  return true;
}

std::optional<platform::Bytes> encodeToBuffer(const MessageInfo& message) {
  platform::Bytes buffer;
  pb_ostream_t stream{&appendToBuffer, &buffer, SIZE_MAX, 0, nullptr};
  if (!encodeFields(&stream, message)) return std::nullopt;
  return buffer;
}

bool encodeSubmessage(pb_ostream_t* stream, std::uint32_t tag, const MessageInfo& message) {
  std::optional<platform::Bytes> bytes = encodeToBuffer(message);
  return bytes && pb_encode_tag(stream, PB_WT_STRING, tag) &&
         pb_encode_string(stream, bytes->data(), bytes->size());
}

bool encodeField(pb_ostream_t* stream, const MessageInfo& message, const MessageFieldDescriptor& field) {
  const bool repeated = hasKind(field.kind, MessageFieldKind::Repeated);
  if (isIntegerKind(field.kind)) {
    if (!repeated) return encodeInteger(stream, field.tag, message.integer(field.id));
    for (std::int64_t value : message.integers(field.id)) {
      if (!encodeInteger(stream, field.tag, value)) return false;
    }
    return true;
  }
  if (hasKind(field.kind, MessageFieldKind::Double)) {
    if (!repeated) return encodeDouble(stream, field.tag, message.floating(field.id));
    for (double value : message.floatings(field.id)) {
      if (!encodeDouble(stream, field.tag, value)) return false;
    }
    return true;
  }
  if (isTextKind(field.kind)) {
    if (!repeated) return encodeText(stream, field.tag, *message.text(field.id));
    for (const std::string& value : message.texts(field.id)) {
      if (!encodeText(stream, field.tag, value)) return false;
    }
    return true;
  }
  for (const MessageInfo& element : message.messages(field.id)) {
    if (!encodeSubmessage(stream, field.tag, element)) return false;
  }
  return true;
}

bool encodeFields(pb_ostream_t* stream, const MessageInfo& message) {
  for (std::uint32_t id : message.setFieldIDs()) {
    if (!encodeField(stream, message, *message.descriptor().fieldWithID(id))) return false;
  }
  return true;
}

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
  return encodeToBuffer(message);
}

std::optional<MessageInfo> decodeMessage(const MessageDescriptor& descriptor,
                                         std::span<const std::uint8_t> bytes) {
  pb_istream_t stream = pb_istream_from_buffer(bytes.data(), bytes.size());
  MessageInfo message(descriptor);
  if (!decodeFields(&stream, message, 0)) return std::nullopt;
  return message;
}

}  // namespace beacon
