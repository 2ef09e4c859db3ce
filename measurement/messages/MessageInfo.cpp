#include "measurement/messages/MessageInfo.h"

#include <algorithm>

#include "measurement/messages/MessageCodec.h"
#include "platform/error/Error.h"

namespace beacon {
namespace {

bool anyIntegerKind(MessageFieldKind kind) {
  return isIntegerKind(kind);
}
bool doubleKind(MessageFieldKind kind) {
  return hasKind(kind, MessageFieldKind::Double);
}
bool textKind(MessageFieldKind kind) {
  return isTextKind(kind);
}
bool messageKind(MessageFieldKind kind) {
  return hasKind(kind, MessageFieldKind::Message);
}

[[noreturn]] void misuse(const MessageDescriptor& descriptor, std::uint32_t id, const char* what) {
  throw platform::ProgrammerError(
      "MessageFieldMisuse", std::string(descriptor.name) + " field " + std::to_string(id) + ": " + what);
}

// The value as the field's width holds it: booleans 0 or 1, 32-bit kinds cut to 32 bits.
std::int64_t fittedToField(const MessageFieldDescriptor& field, std::int64_t value) {
  if (hasKind(field.kind, MessageFieldKind::Bool)) return value != 0;
  if (hasKind(field.kind, MessageFieldKind::Int32 | MessageFieldKind::Enum))
    return static_cast<std::int32_t>(value);
  if (hasKind(field.kind, MessageFieldKind::UInt32)) return static_cast<std::uint32_t>(value);
  return value;
}

}  // namespace

const MessageFieldDescriptor* MessageDescriptor::fieldWithID(std::uint32_t id) const {
  auto found =
      std::lower_bound(fields.begin(), fields.end(), id,
                       [](const MessageFieldDescriptor& field, std::uint32_t key) { return field.id < key; });
  return found != fields.end() && found->id == id ? &*found : nullptr;
}

const MessageFieldDescriptor* MessageDescriptor::fieldWithTag(std::uint32_t tag) const {
  for (const auto& field : fields) {
    if (field.tag == tag) return &field;
  }
  return nullptr;
}

const MessageFieldDescriptor& MessageInfo::checkedField(std::uint32_t id, bool repeated,
                                                        bool (*kindTest)(MessageFieldKind)) const {
  const MessageFieldDescriptor* field = descriptor_->fieldWithID(id);
  if (!field) misuse(*descriptor_, id, "no such field");
  if (hasKind(field->kind, MessageFieldKind::Repeated) != repeated)
    misuse(*descriptor_, id, repeated ? "field is not repeated" : "field is repeated");
  if (!kindTest(field->kind)) misuse(*descriptor_, id, "field is of another kind");
  return *field;
}

const MessageInfo::Slot* MessageInfo::slot(std::uint32_t id) const {
  auto found = std::lower_bound(slots_.begin(), slots_.end(), id,
                                [](const auto& entry, std::uint32_t key) { return entry.first < key; });
  return found != slots_.end() && found->first == id ? &found->second : nullptr;
}

template <class Value>
Value& MessageInfo::slotForWriting(std::uint32_t id) {
  // Messages are mostly built in ascending field order: appending needs no search.
  auto found = slots_.end();
  if (!slots_.empty() && slots_.back().first >= id) {
    found = std::lower_bound(slots_.begin(), slots_.end(), id,
                             [](const auto& entry, std::uint32_t key) { return entry.first < key; });
    if (found->first == id) return std::get<Value>(found->second);
  }
  return std::get<Value>(slots_
                             .emplace(found, std::piecewise_construct, std::forward_as_tuple(id),
                                      std::forward_as_tuple(std::in_place_type<Value>))
                             ->second);
}

bool MessageInfo::has(std::uint32_t id) const {
  if (!descriptor_->fieldWithID(id)) misuse(*descriptor_, id, "no such field");
  return slot(id) != nullptr;
}

void MessageInfo::clear(std::uint32_t id) {
  if (!descriptor_->fieldWithID(id)) misuse(*descriptor_, id, "no such field");
  std::erase_if(slots_, [id](const auto& entry) { return entry.first == id; });
}

std::int64_t MessageInfo::integer(std::uint32_t id) const {
  checkedField(id, false, anyIntegerKind);
  const Slot* held = slot(id);
  return held ? std::get<std::int64_t>(*held) : 0;
}

void MessageInfo::setInteger(std::uint32_t id, std::int64_t value) {
  const auto& field = checkedField(id, false, anyIntegerKind);
  slotForWriting<std::int64_t>(id) = fittedToField(field, value);
}

double MessageInfo::floating(std::uint32_t id) const {
  checkedField(id, false, doubleKind);
  const Slot* held = slot(id);
  return held ? std::get<double>(*held) : 0.0;
}

void MessageInfo::setFloating(std::uint32_t id, double value) {
  checkedField(id, false, doubleKind);
  slotForWriting<double>(id) = value;
}

const std::string* MessageInfo::text(std::uint32_t id) const {
  checkedField(id, false, textKind);
  const Slot* held = slot(id);
  return held ? &std::get<std::string>(*held) : nullptr;
}

void MessageInfo::setText(std::uint32_t id, std::string value) {
  checkedField(id, false, textKind);
  slotForWriting<std::string>(id) = std::move(value);
}

std::vector<std::int64_t> MessageInfo::integers(std::uint32_t id) const {
  checkedField(id, true, anyIntegerKind);
  const Slot* held = slot(id);
  return held ? std::get<std::vector<std::int64_t>>(*held) : std::vector<std::int64_t>{};
}

void MessageInfo::setIntegers(std::uint32_t id, std::vector<std::int64_t> values) {
  clear(id);
  for (std::int64_t value : values) appendInteger(id, value);
}

void MessageInfo::appendInteger(std::uint32_t id, std::int64_t value) {
  const auto& field = checkedField(id, true, anyIntegerKind);
  slotForWriting<std::vector<std::int64_t>>(id).push_back(fittedToField(field, value));
}

std::vector<double> MessageInfo::floatings(std::uint32_t id) const {
  checkedField(id, true, doubleKind);
  const Slot* held = slot(id);
  return held ? std::get<std::vector<double>>(*held) : std::vector<double>{};
}

void MessageInfo::setFloatings(std::uint32_t id, std::vector<double> values) {
  checkedField(id, true, doubleKind);
  clear(id);
  if (!values.empty()) slotForWriting<std::vector<double>>(id) = std::move(values);
}

void MessageInfo::appendFloating(std::uint32_t id, double value) {
  checkedField(id, true, doubleKind);
  slotForWriting<std::vector<double>>(id).push_back(value);
}

std::vector<std::string> MessageInfo::texts(std::uint32_t id) const {
  checkedField(id, true, textKind);
  const Slot* held = slot(id);
  return held ? std::get<std::vector<std::string>>(*held) : std::vector<std::string>{};
}

void MessageInfo::setTexts(std::uint32_t id, std::vector<std::string> values) {
  checkedField(id, true, textKind);
  clear(id);
  if (!values.empty()) slotForWriting<std::vector<std::string>>(id) = std::move(values);
}

void MessageInfo::appendText(std::uint32_t id, std::string value) {
  checkedField(id, true, textKind);
  slotForWriting<std::vector<std::string>>(id).push_back(std::move(value));
}

const std::vector<MessageInfo>& MessageInfo::messages(std::uint32_t id) const {
  static const std::vector<MessageInfo> kNone;
  checkedField(id, true, messageKind);
  const Slot* held = slot(id);
  return held ? std::get<std::vector<MessageInfo>>(*held) : kNone;
}

void MessageInfo::setMessages(std::uint32_t id, std::vector<MessageInfo> values) {
  clear(id);
  for (auto& value : values) appendMessage(id, std::move(value));
}

void MessageInfo::appendMessage(std::uint32_t id, MessageInfo value) {
  const auto& field = checkedField(id, true, messageKind);
  if (&value.descriptor() != field.message) misuse(*descriptor_, id, "element is a message of another type");
  slotForWriting<std::vector<MessageInfo>>(id).push_back(std::move(value));
}

std::vector<std::uint32_t> MessageInfo::setFieldIDs() const {
  std::vector<std::uint32_t> ids;
  ids.reserve(slots_.size());
  for (const auto& entry : slots_) ids.push_back(entry.first);
  return ids;
}

bool operator==(const MessageInfo& a, const MessageInfo& b) {
  return a.descriptor_ == b.descriptor_ && encodeMessage(a) == encodeMessage(b);
}

}  // namespace beacon
