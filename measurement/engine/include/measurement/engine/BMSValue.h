#pragma once
// The one scalar type of the measurement engine: every event parameter and user-property value is a
// BMSValue holding a double, a signed 64-bit integer, a string or an array (the array kind exists only
// for the ecommerce "items" parameter; its elements are item dictionaries).
//
// Callers hand parameters in as BMSObjects: a plain value (string, number, array, dictionary, null ...)
// or an already typed BMSValue. A string value is always well-formed UTF-8: ill-formed bytes handed in
// become U+FFFD (one per maximal ill-formed subsequence). BMSValue is immutable; copies share the payload, so
// values are passed freely between the engine's queues. Kinds are kept apart: int64 1 and double 1.0 are
// different values.

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/value/Value.h"

namespace beacon {

class BMSValue;
struct BMSValueItems;

class BMSValue {
 public:
  enum Kind : std::int64_t { kDouble = 0, kInt64 = 1, kString = 2, kArray = 3 };

  static BMSValue initWithDouble(double value);
  static BMSValue initWithInt64(std::int64_t value);
  static BMSValue initWithStringValue(std::string value);
  static BMSValue initWithItems(BMSValueItems items);
  // Checked forms for objects of unknown kind: a null object logs 35002 (35004), an object of another
  // kind 35003 (35005); both give nothing.
  static std::optional<BMSValue> initWithString(const platform::Value& object);
  static std::optional<BMSValue> initWithArray(const platform::Value& object);

  Kind valueType() const { return kind_; }
  bool isDouble() const { return kind_ == kDouble; }
  bool isInt64() const { return kind_ == kInt64; }
  bool isString() const { return kind_ == kString; }
  bool isArray() const { return kind_ == kArray; }

  // The payload of the own kind; 0, or nothing, for every other kind (an int64 is not converted).
  double doubleValue() const;
  std::int64_t int64Value() const;
  const std::string* stringValue() const;
  const BMSValueItems* arrayValue() const;

  // The payload's own text: numbers in decimal, the string itself, arrays element by element.
  std::string description() const;
  std::size_t hash() const;

  friend bool operator==(const BMSValue& a, const BMSValue& b);

 private:
  using Payload = std::variant<double, std::int64_t, std::shared_ptr<const std::string>,
                               std::shared_ptr<const BMSValueItems>>;
  BMSValue(Kind kind, Payload payload) : kind_(kind), payload_(std::move(payload)) {}

  Kind kind_;
  Payload payload_;
};

// An object as callers hand it in: a plain value, or a typed value.
using BMSObject = std::variant<platform::Value, BMSValue>;
// A parameter dictionary as callers hand it in; iterates in name order.
using BMSParameters = std::map<std::string, BMSObject, std::less<>>;
// Parameters that are all typed: an event's own dictionary.
using BMSEventParameters = std::map<std::string, BMSValue, std::less<>>;
// One element of an items array: a plain value as given, or an item dictionary.
using BMSItem = std::variant<platform::Value, BMSParameters>;

struct BMSValueItems {
  std::vector<BMSItem> elements;
  friend bool operator==(const BMSValueItems&, const BMSValueItems&) = default;
};

// Writes description(); lets test frameworks and log streams show values readably.
std::ostream& operator<<(std::ostream& out, const BMSValue& value);

// +valueFromObject:allowArray: — a BMSValue is returned as it is; a string, a number (floating kinds
// as double, integers and booleans as int64) or, when allowed, an array become values. Nothing for
// null (logs 35000) and for anything else (logs 35001 with the object).
std::optional<BMSValue> BMSValueFromObject(const BMSObject& object, bool allowArray = false);

// The item dictionary an element holds: its own dictionary, or a plain dictionary's members.
std::optional<BMSParameters> BMSItemDictionary(const BMSItem& item);

BMSParameters BMSParametersFromDictionary(const platform::Dictionary& dictionary);
BMSParameters BMSParametersFromEventParameters(const BMSEventParameters& parameters);

// The value as a plain value: numbers, the string, or items as an array of dictionaries (arrays inside
// items and untyped item members are left out).
platform::Value BMSPlainValue(const BMSValue& value);
platform::Dictionary BMSPlainParameters(const BMSEventParameters& parameters);

// A short type name for log contexts and error values: "String", "Number", "Array", "Dictionary",
// "Null", "Data", "Date" for plain values, "BMSValue" for typed ones.
std::string BMSTypeName(const BMSObject& object);
// The object's own text, for log contexts.
std::string BMSDescription(const BMSObject& object);

}  // namespace beacon

template <>
struct std::hash<beacon::BMSValue> {
  std::size_t operator()(const beacon::BMSValue& value) const { return value.hash(); }
};
