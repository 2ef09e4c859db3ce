#include "platform/pstore/detail/AttributeCoding.h"

#include <algorithm>
#include <limits>

#include "platform/error/Error.h"

namespace platform::detail {
namespace {

[[noreturn]] void refuseType(const AttributeDescription& attribute) {
  throw ProgrammerError("AttributeTypeMismatch",
                        "the value given for \"" + attribute.name + "\" is not of the attribute's type");
}

template <class T>
T& expect(const AttributeDescription& attribute, AttributeValue& value) {
  if (T* typed = std::get_if<T>(&value)) return *typed;
  refuseType(attribute);
}

}  // namespace

SqlValue encodeAttribute(const AttributeDescription& attribute, AttributeValue value) {
  switch (attribute.type) {
    case AttributeType::UUID: {
      const UUID& uuid = expect<UUID>(attribute, value);
      return Bytes(uuid.bytes().begin(), uuid.bytes().end());
    }
    case AttributeType::String:
      return std::move(expect<std::string>(attribute, value));
    case AttributeType::Binary:
      return std::move(expect<Bytes>(attribute, value));
    case AttributeType::Boolean:
      return std::int64_t{expect<bool>(attribute, value) ? 1 : 0};
    case AttributeType::Date:
      return expect<Date>(attribute, value).secondsSinceReferenceDate;
    case AttributeType::Integer32:
      return expect<std::int64_t>(attribute, value);
  }
  refuseType(attribute);
}

AttributeRead decodeAttribute(AttributeType type, SqlValue stored) {
  if (isNull(stored)) return AttributeRead::missing();
  switch (type) {
    case AttributeType::UUID:
      if (const auto* bytes = std::get_if<Bytes>(&stored); bytes && bytes->size() == 16) {
        UUID::Bytes raw;
        std::copy(bytes->begin(), bytes->end(), raw.begin());
        return AttributeRead::present(UUID(raw));
      }
      break;
    case AttributeType::String:
      if (auto* text = std::get_if<std::string>(&stored)) return AttributeRead::present(std::move(*text));
      break;
    case AttributeType::Binary:
      if (auto* bytes = std::get_if<Bytes>(&stored)) return AttributeRead::present(std::move(*bytes));
      break;
    case AttributeType::Boolean:
      if (const auto* integer = std::get_if<std::int64_t>(&stored))
        return AttributeRead::present(*integer != 0);
      break;
    case AttributeType::Date:
      if (const auto* real = std::get_if<double>(&stored)) return AttributeRead::present(Date{*real});
      if (const auto* integer = std::get_if<std::int64_t>(&stored)) {
        return AttributeRead::present(Date{static_cast<double>(*integer)});
      }
      break;
    case AttributeType::Integer32:
      if (const auto* integer = std::get_if<std::int64_t>(&stored);
          integer && *integer >= std::numeric_limits<std::int32_t>::min() &&
          *integer <= std::numeric_limits<std::int32_t>::max()) {
        return AttributeRead::present(*integer);
      }
      break;
  }
  return AttributeRead::otherKind();
}

}  // namespace platform::detail
