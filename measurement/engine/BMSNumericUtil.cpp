#include "measurement/engine/BMSNumericUtil.h"

#include <array>
#include <charconv>
#include <cstring>

#include "measurement/engine/BMSEngineServices.h"

namespace beacon {
namespace {

constexpr std::size_t kMaxSignificantDigits = 38;
constexpr std::int32_t kMinExponent = -128;
constexpr std::int32_t kMaxExponent = 127;

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

// Rounds the digits half-up to the decimal's precision, carrying into a new leading digit.
void roundToPrecision(std::string& digits, std::int32_t& exponent) {
  if (digits.size() <= kMaxSignificantDigits) return;
  const bool roundUp = digits[kMaxSignificantDigits] >= '5';
  exponent += static_cast<std::int32_t>(digits.size() - kMaxSignificantDigits);
  digits.resize(kMaxSignificantDigits);
  if (!roundUp) return;
  std::size_t at = digits.size();
  while (at > 0 && digits[at - 1] == '9') digits[--at] = '0';
  if (at == 0) {
    digits.insert(digits.begin(), '1');
    digits.pop_back();
    ++exponent;
  } else {
    ++digits[at - 1];
  }
}

void stripTrailingZeros(std::string& digits, std::int32_t& exponent) {
  while (!digits.empty() && digits.back() == '0') {
    digits.pop_back();
    ++exponent;
  }
}

}  // namespace

std::int64_t BMSNumericUtil::randomInt64(platform::RandomSource& source) {
  std::array<std::uint8_t, 8> bytes{};
  std::string reason;
  if (!source.fill(bytes, &reason)) {
    BMSLog(5, 26004, "Unable to generate random integer", {reason});
    return 0;
  }
  std::int64_t value = 0;
  std::memcpy(&value, bytes.data(), bytes.size());
  return value;
}

bool BMSIsDecimalNumberString(std::string_view text) {
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) text.remove_prefix(1);
  std::size_t before = 0;
  while (before < text.size() && isDigit(text[before])) ++before;
  if (before == text.size()) return before > 0;
  if (text[before] != '.') return false;
  std::size_t after = before + 1;
  while (after < text.size() && isDigit(text[after])) ++after;
  return after == text.size() && (before > 0 || after > before + 1);
}

std::string BMSDecimalNumber::description() const {
  if (digits_.empty()) return "0";
  std::string text = negative_ ? "-" : "";
  const auto length = static_cast<std::int32_t>(digits_.size());
  if (exponent_ >= 0) return text + digits_ + std::string(static_cast<std::size_t>(exponent_), '0');
  const std::int32_t whole = length + exponent_;
  if (whole > 0)
    return text + digits_.substr(0, static_cast<std::size_t>(whole)) + "." +
           digits_.substr(static_cast<std::size_t>(whole));
  return text + "0." + std::string(static_cast<std::size_t>(-whole), '0') + digits_;
}

double BMSDecimalNumber::doubleValue() const {
  const std::string text = description();
  double value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

std::optional<BMSDecimalNumber> BMSDecimalNumberFromString(std::string_view text) {
  if (!BMSIsDecimalNumberString(text)) {
    BMSLog(2, 26001, "String value does not represent a numeric value. Value", {std::string(text)});
    return std::nullopt;
  }
  BMSDecimalNumber number;
  std::string_view body = text;
  if (body.front() == '+' || body.front() == '-') {
    number.negative_ = body.front() == '-';
    body.remove_prefix(1);
  }
  std::string digits;
  std::int32_t exponent = 0;
  bool afterPoint = false;
  for (char c : body) {
    if (c == '.') {
      afterPoint = true;
      continue;
    }
    if (digits.empty() && c == '0') {
      if (afterPoint) --exponent;
      continue;
    }
    digits.push_back(c);
    if (afterPoint) --exponent;
  }
  stripTrailingZeros(digits, exponent);
  roundToPrecision(digits, exponent);
  stripTrailingZeros(digits, exponent);
  if (digits.empty()) number.negative_ = false;
  if (!digits.empty() && (exponent < kMinExponent || exponent > kMaxExponent)) {
    BMSLog(2, 26002, "Unable to create a NSDecimalNumber from string value. Value", {std::string(text)});
    return std::nullopt;
  }
  number.digits_ = std::move(digits);
  number.exponent_ = exponent;

  // The number must be written in the text as it is: otherwise digits were lost on the way.
  std::string compared(text);
  if (compared.starts_with("+.") || compared.starts_with("-.") || compared.starts_with(".")) {
    std::string replaced;
    for (char c : compared) replaced += c == '.' ? std::string("0.") : std::string(1, c);
    compared = replaced;
  }
  std::string written = number.description();
  if (number.negative_) written.erase(0, 1);
  if (compared.find(written) == std::string::npos) {
    BMSLog(2, 26003, "Unable to create a NSDecimalNumber from string value: loss of precision. Value",
           {compared});
    return std::nullopt;
  }
  return number;
}

}  // namespace beacon
