#include "platform/value/Value.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <functional>
#include <limits>

namespace platform {
namespace {

// 2^63 as a double: the first double above every int64.
constexpr double kTwoToThe63 = 9223372036854775808.0;

bool isAsciiSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

std::string_view skipLeadingSpace(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && isAsciiSpace(text[i])) ++i;
  return text.substr(i);
}

// The double as an int64 when it holds exactly an integer in int64 range.
std::optional<std::int64_t> exactInteger(double d) {
  if (!(d >= -kTwoToThe63 && d < kTwoToThe63) || std::trunc(d) != d) return std::nullopt;
  return static_cast<std::int64_t>(d);
}

bool sameDouble(double a, double b) {
  return a == b || (std::isnan(a) && std::isnan(b));
}

// Exact comparison of the mathematical values, so that equality stays transitive even where a
// double cannot hold every int64 (2^53 + 1 is not equal to the double 2^53).
bool sameNumber(const Value& a, const Value& b) {
  const double* da = a.asDouble();
  const double* db = b.asDouble();
  if (da && db) return sameDouble(*da, *db);
  if (da || db) {
    std::optional<std::int64_t> whole = exactInteger(da ? *da : *db);
    return whole && *whole == (da ? b : a).integerValue();
  }
  return a.integerValue() == b.integerValue();
}

std::size_t combine(std::size_t seed, std::size_t h) {
  return seed ^ (h + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2));
}

// Integral doubles hash like the integer they equal; -0.0 is integral and hashes like 0.
std::size_t hashNumber(double d) {
  if (std::optional<std::int64_t> whole = exactInteger(d)) return std::hash<std::int64_t>{}(*whole);
  if (std::isnan(d)) return 0x7ff8000000000000ULL;
  return std::hash<double>{}(d);
}

std::string formatDouble(double d) {
  if (std::optional<std::int64_t> whole = exactInteger(d)) return std::to_string(*whole);
  char buffer[64];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, d);
  return ec == std::errc() ? std::string(buffer, end) : std::string();
}

// Leading decimal integer of a string; values beyond int64 saturate.
std::int64_t parseLeadingInteger(std::string_view text) {
  text = skipLeadingSpace(text);
  bool negative = false;
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  // Accumulate as a negative number: its range is one larger.
  constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
  std::int64_t accumulated = 0;
  bool saturated = false;
  for (char c : text) {
    if (!isDigit(c)) break;
    int digit = c - '0';
    if (accumulated < (kMin + digit) / 10) {
      saturated = true;
      break;
    }
    accumulated = accumulated * 10 - digit;
  }
  if (saturated) return negative ? kMin : std::numeric_limits<std::int64_t>::max();
  if (negative) return accumulated;
  return accumulated == kMin ? std::numeric_limits<std::int64_t>::max() : -accumulated;
}

// Whether a decimal numeral that does not fit a double is too large (rather than too small):
// its decimal exponent, counted from the first significant digit, is positive.
bool numeralOverflows(std::string_view numeral) {
  std::int64_t magnitude = 0;
  std::size_t i = 0;
  bool significantSeen = false;
  for (; i < numeral.size() && isDigit(numeral[i]); ++i) {
    if (numeral[i] != '0') significantSeen = true;
    if (significantSeen) ++magnitude;
  }
  if (i < numeral.size() && numeral[i] == '.') {
    for (++i; i < numeral.size() && isDigit(numeral[i]); ++i) {
      if (significantSeen) continue;
      if (numeral[i] != '0')
        significantSeen = true;
      else
        --magnitude;
    }
  }
  if (i < numeral.size() && (numeral[i] == 'e' || numeral[i] == 'E')) {
    std::int64_t exponent = parseLeadingInteger(numeral.substr(i + 1));
    exponent = std::clamp<std::int64_t>(exponent, -1'000'000'000, 1'000'000'000);
    magnitude += exponent;
  }
  return magnitude > 0;
}

// Leading decimal number of a string, independent of the process locale. Out-of-range numerals
// become an infinity or a zero of the right sign.
double parseLeadingDouble(std::string_view text) {
  text = skipLeadingSpace(text);
  bool negative = false;
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  if (text.empty() || text[0] == '+' || text[0] == '-') return 0;
  double parsed = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), parsed);
  if (ec == std::errc::invalid_argument) return 0;
  if (ec == std::errc::result_out_of_range) {
    parsed =
        numeralOverflows(text.substr(0, end - text.data())) ? std::numeric_limits<double>::infinity() : 0.0;
  }
  return negative ? -parsed : parsed;
}

bool parseBool(std::string_view text) {
  text = skipLeadingSpace(text);
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) text.remove_prefix(1);
  while (!text.empty() && text[0] == '0') text.remove_prefix(1);
  if (text.empty()) return false;
  char c = text[0];
  return c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9');
}

}  // namespace

std::int64_t saturatingInteger(double d) {
  if (std::isnan(d)) return 0;
  if (d >= kTwoToThe63) return std::numeric_limits<std::int64_t>::max();
  if (d < -kTwoToThe63) return std::numeric_limits<std::int64_t>::min();
  return static_cast<std::int64_t>(d);
}

bool Value::isNumber() const {
  Kind k = kind();
  return k == Kind::Bool || k == Kind::Integer || k == Kind::Double;
}

bool Value::boolValue() const {
  switch (kind()) {
    case Kind::Bool:
      return *asBool();
    case Kind::Integer:
      return *asInteger() != 0;
    case Kind::Double:
      return *asDouble() != 0;
    case Kind::String:
      return parseBool(*asString());
    default:
      return false;
  }
}

std::int64_t Value::integerValue() const {
  switch (kind()) {
    case Kind::Bool:
      return *asBool() ? 1 : 0;
    case Kind::Integer:
      return *asInteger();
    case Kind::Double:
      return saturatingInteger(*asDouble());
    case Kind::String:
      return parseLeadingInteger(*asString());
    default:
      return 0;
  }
}

double Value::doubleValue() const {
  switch (kind()) {
    case Kind::Bool:
      return *asBool() ? 1 : 0;
    case Kind::Integer:
      return static_cast<double>(*asInteger());
    case Kind::Double:
      return *asDouble();
    case Kind::String:
      return parseLeadingDouble(*asString());
    default:
      return 0;
  }
}

std::string Value::stringValue() const {
  switch (kind()) {
    case Kind::Bool:
      return *asBool() ? "1" : "0";
    case Kind::Integer:
      return std::to_string(*asInteger());
    case Kind::Double:
      return formatDouble(*asDouble());
    case Kind::String:
      return *asString();
    default:
      return {};
  }
}

const Value* Value::find(std::string_view key) const {
  const Dictionary* dictionary = asDictionary();
  if (!dictionary) return nullptr;
  auto found = dictionary->find(key);
  return found == dictionary->end() ? nullptr : &found->second;
}

bool Value::isPropertyListValue() const {
  switch (kind()) {
    case Kind::Null:
      return false;
    case Kind::Array:
      for (const Value& element : *asArray()) {
        if (!element.isPropertyListValue()) return false;
      }
      return true;
    case Kind::Dictionary:
      for (const auto& [key, element] : *asDictionary()) {
        if (!element.isPropertyListValue()) return false;
      }
      return true;
    default:
      return true;
  }
}

bool operator==(const Value& a, const Value& b) {
  if (a.isNumber() && b.isNumber()) return sameNumber(a, b);
  if (a.kind() != b.kind()) return false;
  switch (a.kind()) {
    case Value::Kind::Null:
      return true;
    case Value::Kind::String:
      return *a.asString() == *b.asString();
    case Value::Kind::Bytes:
      return *a.asBytes() == *b.asBytes();
    case Value::Kind::Date:
      return sameDouble(a.asDate()->secondsSinceReferenceDate, b.asDate()->secondsSinceReferenceDate);
    case Value::Kind::Array:
      return *a.asArray() == *b.asArray();
    case Value::Kind::Dictionary:
      return *a.asDictionary() == *b.asDictionary();
    default:
      return false;  // numbers were handled above
  }
}

std::size_t Value::hash() const {
  // Every number hashes through its numeric value so that 1, 1.0 and true collide as they must.
  if (isNumber()) return isDouble() ? hashNumber(*asDouble()) : std::hash<std::int64_t>{}(integerValue());
  std::size_t seed = static_cast<std::size_t>(kind());
  switch (kind()) {
    case Kind::String:
      return combine(seed, std::hash<std::string>{}(*asString()));
    case Kind::Bytes: {
      std::string_view raw(reinterpret_cast<const char*>(asBytes()->data()), asBytes()->size());
      return combine(seed, std::hash<std::string_view>{}(raw));
    }
    case Kind::Date:
      return combine(seed, hashNumber(asDate()->secondsSinceReferenceDate));
    case Kind::Array:
      for (const Value& element : *asArray()) seed = combine(seed, element.hash());
      return seed;
    case Kind::Dictionary:
      for (const auto& [key, element] : *asDictionary()) {
        seed = combine(combine(seed, std::hash<std::string>{}(key)), element.hash());
      }
      return seed;
    default:
      return seed;
  }
}

}  // namespace platform
