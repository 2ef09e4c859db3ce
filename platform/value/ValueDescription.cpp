#include "platform/value/Value.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <ostream>

namespace platform {
namespace {

std::string quoted(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
          out += escaped;
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

std::string describeDate(const Date& date) {
  double unix = date.unixSeconds();
  if (!std::isfinite(unix)) return "<date " + Value(date.secondsSinceReferenceDate).stringValue() + ">";
  double whole = std::floor(unix);
  std::time_t seconds = static_cast<std::time_t>(whole);
  std::tm parts{};
  if (!gmtime_r(&seconds, &parts))
    return "<date " + Value(date.secondsSinceReferenceDate).stringValue() + ">";
  // Years are proleptic Gregorian and always four digits, so old dates still sort as text.
  char text[64];
  std::snprintf(text, sizeof text, "%04lld-%02d-%02d %02d:%02d:%02d", parts.tm_year + 1900LL,
                parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec);
  std::string out = text;
  int millis = static_cast<int>(std::lround((unix - whole) * 1000));
  if (millis > 0 && millis < 1000) {
    char fraction[8];
    std::snprintf(fraction, sizeof fraction, ".%03d", millis);
    out += fraction;
  }
  return out + " +0000";
}

void describeInto(const Value& value, bool nested, std::string& out) {
  switch (value.kind()) {
    case Value::Kind::Null:
      out += "null";
      return;
    case Value::Kind::Bool:
      out += *value.asBool() ? "true" : "false";
      return;
    case Value::Kind::Integer:
    case Value::Kind::Double:
      out += value.stringValue();
      return;
    case Value::Kind::String:
      out += nested ? quoted(*value.asString()) : *value.asString();
      return;
    case Value::Kind::Bytes: {
      static constexpr char kHex[] = "0123456789abcdef";
      out += '<';
      for (std::uint8_t byte : *value.asBytes()) {
        out += kHex[byte >> 4];
        out += kHex[byte & 0xf];
      }
      out += '>';
      return;
    }
    case Value::Kind::Date:
      out += describeDate(*value.asDate());
      return;
    case Value::Kind::Array: {
      out += '[';
      const char* separator = "";
      for (const Value& element : *value.asArray()) {
        out += separator;
        describeInto(element, true, out);
        separator = ", ";
      }
      out += ']';
      return;
    }
    case Value::Kind::Dictionary: {
      out += '{';
      const char* separator = "";
      for (const auto& [key, element] : *value.asDictionary()) {
        out += separator;
        out += quoted(key);
        out += ": ";
        describeInto(element, true, out);
        separator = ", ";
      }
      out += '}';
      return;
    }
  }
}

}  // namespace

std::string Value::description() const {
  std::string out;
  describeInto(*this, false, out);
  return out;
}

std::ostream& operator<<(std::ostream& out, const Value& value) {
  return out << value.description();
}

}  // namespace platform
