#pragma once
// The dynamic value that carries property-list contents, preference values, JSON documents and
// parameter dictionaries: null, bool, 64-bit integer, double, string, bytes, date, array and
// dictionary. Dictionaries have string keys and iterate in key order, so every walk over a
// dictionary is stable.
//
// Numbers compare across kinds the way users of such values expect: 1 == 1.0 == true. The
// comparison is exact (an int64 equals a double only when the double holds that very integer), so
// equality stays transitive; NaN equals NaN so that a value always equals itself. Arrays and
// dictionaries compare deeply. Hashing is consistent with that equality.
//
// A Value is a plain value type: copies are deep and independent; no internal synchronisation.

#include <cstdint>
#include <iosfwd>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace platform {

using Bytes = std::vector<std::uint8_t>;

// An instant as seconds since 2001-01-01 00:00:00 UTC.
struct Date {
  double secondsSinceReferenceDate = 0;

  // Seconds between the Unix epoch and the reference date (a whole number of days).
  static constexpr double kUnixEpochOffset = 978307200.0;
  // The earliest date the system represents.
  static constexpr double kDistantPastSeconds = -63114076800.0;

  static Date fromUnixSeconds(double unixSeconds) { return Date{unixSeconds - kUnixEpochOffset}; }
  static Date distantPast() { return Date{kDistantPastSeconds}; }
  double unixSeconds() const { return secondsSinceReferenceDate + kUnixEpochOffset; }

  friend auto operator<=>(const Date&, const Date&) = default;
};

class Value;
using Array = std::vector<Value>;
using Dictionary = std::map<std::string, Value, std::less<>>;

class Value {
 public:
  enum class Kind { Null, Bool, Integer, Double, String, Bytes, Date, Array, Dictionary };

  Value() = default;  // null
  Value(std::nullptr_t) {}
  Value(bool b) : storage_(b) {}
  Value(int i) : storage_(static_cast<std::int64_t>(i)) {}
  Value(long i) : storage_(static_cast<std::int64_t>(i)) {}
  Value(long long i) : storage_(static_cast<std::int64_t>(i)) {}
  Value(unsigned i) : storage_(static_cast<std::int64_t>(i)) {}
  Value(double d) : storage_(d) {}
  Value(const char* s) : storage_(std::string(s)) {}
  Value(std::string s) : storage_(std::move(s)) {}
  Value(std::string_view s) : storage_(std::string(s)) {}
  Value(platform::Bytes b) : storage_(std::move(b)) {}
  Value(platform::Date d) : storage_(d) {}
  Value(platform::Array a) : storage_(std::move(a)) {}
  Value(platform::Dictionary d) : storage_(std::move(d)) {}

  Kind kind() const { return static_cast<Kind>(storage_.index()); }
  bool isNull() const { return kind() == Kind::Null; }
  bool isBool() const { return kind() == Kind::Bool; }
  bool isInteger() const { return kind() == Kind::Integer; }
  bool isDouble() const { return kind() == Kind::Double; }
  // Bool, integer or double: everything a number object could hold.
  bool isNumber() const;
  bool isString() const { return kind() == Kind::String; }
  bool isBytes() const { return kind() == Kind::Bytes; }
  bool isDate() const { return kind() == Kind::Date; }
  bool isArray() const { return kind() == Kind::Array; }
  bool isDictionary() const { return kind() == Kind::Dictionary; }

  // Typed access; nullptr when the value is of another kind.
  const bool* asBool() const { return std::get_if<bool>(&storage_); }
  const std::int64_t* asInteger() const { return std::get_if<std::int64_t>(&storage_); }
  const double* asDouble() const { return std::get_if<double>(&storage_); }
  const std::string* asString() const { return std::get_if<std::string>(&storage_); }
  const platform::Bytes* asBytes() const { return std::get_if<platform::Bytes>(&storage_); }
  const platform::Date* asDate() const { return std::get_if<platform::Date>(&storage_); }
  const platform::Array* asArray() const { return std::get_if<platform::Array>(&storage_); }
  const platform::Dictionary* asDictionary() const { return std::get_if<platform::Dictionary>(&storage_); }
  platform::Array* asArray() { return std::get_if<platform::Array>(&storage_); }
  platform::Dictionary* asDictionary() { return std::get_if<platform::Dictionary>(&storage_); }

  // Lenient conversions. Numbers convert among themselves; strings are parsed the way a user of
  // string-valued settings expects: boolValue skips leading white space and an optional sign and
  // zeros, then is true for "Y", "y", "T", "t" or a digit 1-9. Other kinds give false / 0 / "".
  bool boolValue() const;
  // Doubles truncate toward zero and saturate at the int64 limits (NaN gives 0). Strings: leading
  // white space, optional sign, then the leading decimal digits ("12abc" is 12); beyond the int64
  // range the result saturates.
  std::int64_t integerValue() const;
  // Strings: leading white space, then the longest decimal number ("2.5e3x" is 2500), read the same
  // whatever the process locale; numerals too large give an infinity, too small a zero.
  double doubleValue() const;
  // Numbers as decimal text (true is "1"; integral doubles without a fraction; other doubles in
  // the shortest form that reads back exactly), strings as they are.
  std::string stringValue() const;

  // Member lookup on a dictionary; nullptr when this is not a dictionary or the key is absent.
  const Value* find(std::string_view key) const;

  // True when the value, deeply, holds only property-list kinds (no null anywhere).
  bool isPropertyListValue() const;

  // A readable rendering for log lines and test failure messages: a string by itself is its own
  // text; inside arrays and dictionaries strings are quoted, bytes show as <hex>, dates as
  // "2001-01-01 00:00:00 +0000", null as null: {"a": [1, "x", null]}.
  std::string description() const;

  friend bool operator==(const Value& a, const Value& b);
  std::size_t hash() const;

 private:
  std::variant<std::monostate, bool, std::int64_t, double, std::string, platform::Bytes, platform::Date,
               platform::Array, platform::Dictionary>
      storage_;
};

// The double truncated toward zero, saturated at the int64 limits; NaN gives 0. Never undefined,
// however large the double (timestamps multiplied into milliseconds, numbers from outside).
std::int64_t saturatingInteger(double d);

// Writes description(); lets test frameworks and log streams show values readably.
std::ostream& operator<<(std::ostream& out, const Value& value);

}  // namespace platform

template <>
struct std::hash<platform::Value> {
  std::size_t operator()(const platform::Value& v) const { return v.hash(); }
};
