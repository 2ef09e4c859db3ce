#pragma once
// Typed access to a message's fields by field ID. An unset field reads as 0, false or empty. Using a
// field ID the message's table does not list, or an accessor of another kind than the field's, is a
// programmer error (platform::ProgrammerError).

#include <cstdint>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "measurement/messages/NANOMessage.h"

namespace beacon {

// Singular fields: set, or a repeated field with at least one element.
inline bool NANOHasField(const NANOMessageBase& message, std::uint32_t id) {
  return message.messageInfo().has(id);
}
inline void NANOClearField(NANOMessageBase& message, std::uint32_t id) {
  message.messageInfo().clear(id);
}

inline bool NANOGetBool(const NANOMessageBase& message, std::uint32_t id) {
  return message.messageInfo().integer(id) != 0;
}
inline void NANOSetBool(NANOMessageBase& message, std::uint32_t id, bool value) {
  message.messageInfo().setInteger(id, value);
}
// int32, uint32 or enum fields; the value is cut to the field's 32 bits.
inline std::int32_t NANOGetInt32(const NANOMessageBase& message, std::uint32_t id) {
  return static_cast<std::int32_t>(message.messageInfo().integer(id));
}
inline void NANOSetInt32(NANOMessageBase& message, std::uint32_t id, std::int64_t value) {
  message.messageInfo().setInteger(id, value);
}
inline std::int64_t NANOGetInt64(const NANOMessageBase& message, std::uint32_t id) {
  return message.messageInfo().integer(id);
}
inline void NANOSetInt64(NANOMessageBase& message, std::uint32_t id, std::int64_t value) {
  message.messageInfo().setInteger(id, value);
}
inline double NANOGetDouble(const NANOMessageBase& message, std::uint32_t id) {
  return message.messageInfo().floating(id);
}
inline void NANOSetDouble(NANOMessageBase& message, std::uint32_t id, double value) {
  message.messageInfo().setFloating(id, value);
}
// Empty when unset.
inline std::optional<std::string> NANOGetString(const NANOMessageBase& message, std::uint32_t id) {
  const std::string* text = message.messageInfo().text(id);
  return text ? std::optional<std::string>(*text) : std::nullopt;
}
// An empty optional clears the field.
inline void NANOSetString(NANOMessageBase& message, std::uint32_t id, std::optional<std::string> value) {
  if (value) {
    message.messageInfo().setText(id, std::move(*value));
  } else {
    message.messageInfo().clear(id);
  }
}

// Copies of a repeated field's elements: NANOGetArray<std::int64_t>, <double>, <std::string> or a
// message class (deep copies).
template <class Element>
std::vector<Element> NANOGetArray(const NANOMessageBase& message, std::uint32_t id) {
  const MessageInfo& info = message.messageInfo();
  if constexpr (std::is_same_v<Element, std::string>) {
    return info.texts(id);
  } else if constexpr (std::is_base_of_v<NANOMessageBase, Element>) {
    std::vector<Element> copies;
    for (const MessageInfo& element : info.messages(id)) copies.push_back(Element(element));
    return copies;
  } else if constexpr (std::is_floating_point_v<Element>) {
    std::vector<Element> values;
    for (double value : info.floatings(id)) values.push_back(static_cast<Element>(value));
    return values;
  } else {
    static_assert(std::is_integral_v<Element>, "numbers, strings or messages");
    std::vector<Element> values;
    for (std::int64_t value : info.integers(id)) values.push_back(static_cast<Element>(value));
    return values;
  }
}

// Clears the repeated field and stores each element: numbers by the field's kind (an integer field
// takes a floating value truncated toward zero, a double field takes integers as doubles), strings,
// or copies of messages.
template <class Element>
void NANOSetArray(NANOMessageBase& message, std::uint32_t id, const std::vector<Element>& values) {
  MessageInfo& info = message.messageInfo();
  info.clear(id);
  const MessageFieldDescriptor* field = info.descriptor().fieldWithID(id);
  for (const Element& value : values) {
    if constexpr (std::is_same_v<Element, std::string>) {
      info.appendText(id, value);
    } else if constexpr (std::is_base_of_v<NANOMessageBase, Element>) {
      info.appendMessage(id, value.messageInfo());
    } else if (hasKind(field->kind, MessageFieldKind::Double)) {
      info.appendFloating(id, static_cast<double>(value));
    } else if constexpr (std::is_floating_point_v<Element>) {
      info.appendInteger(id, platform::saturatingInteger(value));
    } else {
      info.appendInteger(id, static_cast<std::int64_t>(value));
    }
  }
}

// The same for messages handed over: they are moved in rather than copied.
template <class Element>
requires std::is_base_of_v<NANOMessageBase, Element>
void NANOSetArray(NANOMessageBase& message, std::uint32_t id, std::vector<Element>&& values) {
  MessageInfo& info = message.messageInfo();
  info.clear(id);
  for (Element& value : values) info.appendMessage(id, std::move(value.messageInfo()));
}

}  // namespace beacon
