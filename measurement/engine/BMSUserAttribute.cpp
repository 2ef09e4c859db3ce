#include "measurement/engine/BMSUserAttribute.h"

#include <bit>
#include <cstdint>

#include "measurement/engine/BMSDataTypeValidator.h"
#include "measurement/engine/BMSEventFunctions.h"
#include "measurement/messages/NANOAccessors.h"

namespace beacon {

std::optional<BMSUserAttribute> BMSUserAttribute::initWithOrigin(const std::string& origin,
                                                                 const std::string& name,
                                                                 const BMSValue& value,
                                                                 double lastSetTimestamp) {
  if (!BMSDataTypeValidator::isValidInternalUserAttributeName(platform::Value(name)) ||
      !BMSDataTypeValidator::isValidInternalUserAttributeValue(value, name))
    return std::nullopt;
  return BMSUserAttribute(origin, name, value, lastSetTimestamp);
}

bool BMSUserAttribute::isPublic() const {
  return BMSIsPublicNameText(name_);
}

bool BMSUserAttribute::isIdenticalTo(const BMSUserAttribute& other) const {
  const auto bits = [](double value) { return std::bit_cast<std::uint64_t>(value); };
  if (origin_ != other.origin_ || name_ != other.name_ ||
      bits(lastSetTimestamp_) != bits(other.lastSetTimestamp_) ||
      value_.valueType() != other.value_.valueType())
    return false;
  return value_.isDouble() ? bits(value_.doubleValue()) == bits(other.value_.doubleValue())
                           : value_ == other.value_;
}

BMSPBUserAttribute BMSUserAttribute::protoUserAttribute() const {
  BMSPBUserAttribute proto;
  // In field order, so each field is appended (the bytes do not depend on the order).
  proto.messageInfo().reserve(3);
  NANOSetInt64(proto, UserAttributeField::kSetTimestampMillis,
               platform::saturatingInteger(lastSetTimestamp_ * 1000.0));
  NANOSetString(proto, UserAttributeField::kName, name_);
  switch (value_.valueType()) {
    case BMSValue::kDouble:
      NANOSetDouble(proto, UserAttributeField::kDoubleValue, value_.doubleValue());
      break;
    case BMSValue::kInt64:
      NANOSetInt64(proto, UserAttributeField::kIntValue, value_.int64Value());
      break;
    case BMSValue::kString:
      NANOSetString(proto, UserAttributeField::kStringValue, *value_.stringValue());
      break;
    case BMSValue::kArray:
      break;
  }
  return proto;
}

}  // namespace beacon
