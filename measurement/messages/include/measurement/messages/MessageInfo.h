#pragma once
// The run-time form of one analytics wire message: a table that describes its fields and a slot per
// field, addressed by field ID. The field ID is the field's position in the message declaration; the
// wire tag is written in the table beside it (ID + 1 for every message of ours).
//
// Every field has a kind mask: one scalar kind, plus `Repeated` for lists. Integer kinds (bool, int32,
// uint32, enum, int64, uint64) share one 64-bit slot; double, string/bytes and sub-messages have their
// own. Only the fields that are set occupy memory, so a message costs in proportion to what it holds,
// however many fields its table lists (decoded bodies come from the network).
//
// A MessageInfo is a plain value: copies are deep and independent (sub-messages included); no internal
// synchronisation. Addressing a field ID that the table does not list, or reading a field as a kind it
// is not, is a programmer error (platform::ProgrammerError).

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace beacon {

enum class MessageFieldKind : std::uint32_t {
  Bool = 1u << 0,
  Int32 = 1u << 1,
  UInt32 = 1u << 2,
  Enum = 1u << 3,
  Int64 = 1u << 4,
  UInt64 = 1u << 5,
  Double = 1u << 6,
  String = 1u << 7,
  Bytes = 1u << 8,
  Message = 1u << 9,
  Repeated = 1u << 16,
};

constexpr MessageFieldKind operator|(MessageFieldKind a, MessageFieldKind b) {
  return static_cast<MessageFieldKind>(static_cast<std::uint32_t>(a) | static_cast<std::uint32_t>(b));
}
constexpr bool hasKind(MessageFieldKind mask, MessageFieldKind kind) {
  return (static_cast<std::uint32_t>(mask) & static_cast<std::uint32_t>(kind)) != 0;
}
// Any of the kinds kept in the integer slot.
constexpr bool isIntegerKind(MessageFieldKind mask) {
  return hasKind(mask, MessageFieldKind::Bool | MessageFieldKind::Int32 | MessageFieldKind::UInt32 |
                           MessageFieldKind::Enum | MessageFieldKind::Int64 | MessageFieldKind::UInt64);
}
constexpr bool isTextKind(MessageFieldKind mask) {
  return hasKind(mask, MessageFieldKind::String | MessageFieldKind::Bytes);
}

struct MessageDescriptor;

struct MessageFieldDescriptor {
  std::uint32_t id;
  std::uint32_t tag;
  MessageFieldKind kind;
  const char* name;
  // The element's table, for message fields; null otherwise.
  const MessageDescriptor* message = nullptr;
};

// One message type's table. `fields` is sorted by ID; the encoder writes fields in that order, so
// equal messages always encode to equal bytes (fingerprints and checksums are computed from them).
struct MessageDescriptor {
  const char* name;
  std::span<const MessageFieldDescriptor> fields;

  // Null when the message has no field with that ID.
  const MessageFieldDescriptor* fieldWithID(std::uint32_t id) const;
  const MessageFieldDescriptor* fieldWithTag(std::uint32_t tag) const;
};

class MessageInfo {
 public:
  explicit MessageInfo(const MessageDescriptor& descriptor) : descriptor_(&descriptor) {}

  const MessageDescriptor& descriptor() const { return *descriptor_; }

  // A singular field holds a value; a repeated field holds at least one element.
  bool has(std::uint32_t id) const;
  void clear(std::uint32_t id);

  // Singular fields; an unset field reads as 0, false or the empty string.
  std::int64_t integer(std::uint32_t id) const;
  void setInteger(std::uint32_t id, std::int64_t value);
  double floating(std::uint32_t id) const;
  void setFloating(std::uint32_t id, double value);
  const std::string* text(std::uint32_t id) const;  // null when unset
  void setText(std::uint32_t id, std::string value);

  // Repeated fields; an unset field reads as an empty list. Setting an empty list clears the field.
  std::vector<std::int64_t> integers(std::uint32_t id) const;
  void setIntegers(std::uint32_t id, std::vector<std::int64_t> values);
  std::vector<double> floatings(std::uint32_t id) const;
  void setFloatings(std::uint32_t id, std::vector<double> values);
  std::vector<std::string> texts(std::uint32_t id) const;
  void setTexts(std::uint32_t id, std::vector<std::string> values);
  const std::vector<MessageInfo>& messages(std::uint32_t id) const;
  // Each element's table must be the field's element table.
  void setMessages(std::uint32_t id, std::vector<MessageInfo> values);
  void appendMessage(std::uint32_t id, MessageInfo value);
  // Decoding appends one element at a time to repeated fields.
  void appendInteger(std::uint32_t id, std::int64_t value);
  void appendFloating(std::uint32_t id, double value);
  void appendText(std::uint32_t id, std::string value);

  // Room for `fieldCount` set fields, for a builder that knows how many it sets (a message grows
  // field by field otherwise).
  void reserve(std::size_t fieldCount) { slots_.reserve(fieldCount); }

  // IDs of the fields that hold something, ascending.
  std::vector<std::uint32_t> setFieldIDs() const;
  // Calls `visit(field, value)` for each field that holds something, in ascending ID order, where
  // `value` is what the field holds: std::int64_t, double, std::string, or a std::vector of one of
  // those or of MessageInfo (never empty). The encoder's walk: no lookup per field.
  template <class Visit>
  void forEachSetField(Visit&& visit) const;

  // Same table and the same bytes on the wire, so a message always equals its copy (a NaN included).
  friend bool operator==(const MessageInfo& a, const MessageInfo& b);

 private:
  using Slot = std::variant<std::int64_t, double, std::string, std::vector<std::int64_t>, std::vector<double>,
                            std::vector<std::string>, std::vector<MessageInfo>>;

  const MessageFieldDescriptor& checkedField(std::uint32_t id, bool repeated,
                                             bool (*kindTest)(MessageFieldKind)) const;
  const Slot* slot(std::uint32_t id) const;
  // The field's slot holding a `Value`, made (empty) when the field holds nothing yet.
  template <class Value>
  Value& slotForWriting(std::uint32_t id);

  const MessageDescriptor* descriptor_;
  // Set fields only, sorted by ID.
  std::vector<std::pair<std::uint32_t, Slot>> slots_;
};

template <class Visit>
void MessageInfo::forEachSetField(Visit&& visit) const {
  // Both the slots and the table's fields are sorted by ID, so one pass over each pairs them up.
  auto field = descriptor_->fields.begin();
  for (const auto& [id, held] : slots_) {
    while (field->id < id) ++field;
    std::visit([&](const auto& value) { visit(*field, value); }, held);
  }
}

}  // namespace beacon
