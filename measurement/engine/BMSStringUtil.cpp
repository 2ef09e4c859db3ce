#include "measurement/engine/BMSStringUtil.h"

#include <algorithm>
#include <vector>

#include "platform/net/Url.h"
#include "platform/text/Scalars.h"

namespace beacon {
namespace {

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string unescapedOrEmpty(std::string_view text) {
  return BMSStringByUnescapingFromURLArgument(text).value_or(std::string());
}

}  // namespace

std::size_t BMSUTF32Length(std::string_view text) {
  return platform::scalarCount(text);
}

platform::Bytes BMSGetUTF32Bytes(std::string_view text, std::size_t maxBytes) {
  platform::Bytes bytes;
  for (char32_t scalar : platform::toScalars(platform::scalarPrefix(text, maxBytes / 4))) {
    for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<std::uint8_t>(scalar >> shift));
  }
  return bytes;
}

bool BMSIsBitEnabledAtIndex(std::string_view bits, std::int64_t index) {
  return index >= 0 && static_cast<std::uint64_t>(index) < bits.size() &&
         bits[static_cast<std::size_t>(index)] == '1';
}

std::optional<std::string> BMSStringByUnescapingFromURLArgument(std::string_view text) {
  std::string decoded;
  decoded.reserve(text.size());
  for (std::size_t at = 0; at < text.size(); ++at) {
    const char c = text[at];
    if (c == '+') {
      decoded += ' ';
    } else if (c != '%') {
      decoded += c;
    } else {
      if (at + 2 >= text.size()) return std::nullopt;
      const int high = hexDigit(text[at + 1]);
      const int low = hexDigit(text[at + 2]);
      if (high < 0 || low < 0) return std::nullopt;
      decoded += static_cast<char>(high * 16 + low);
      at += 2;
    }
  }
  if (platform::fromScalars(platform::toScalars(decoded)) != decoded) return std::nullopt;
  return decoded;
}

std::string BMSQueryString(const platform::Dictionary& arguments) {
  std::string query;
  for (const auto& [key, value] : arguments) {
    if (!query.empty()) query += '&';
    query +=
        platform::percentEncodeQueryValue(key) + "=" + platform::percentEncodeQueryValue(value.description());
  }
  return query;
}

platform::Dictionary BMSDictionaryWithHttpArgumentsString(std::string_view text) {
  std::vector<std::string_view> parts;
  for (std::size_t start = 0; start <= text.size();) {
    const std::size_t separator = std::min(text.find('&', start), text.size());
    parts.push_back(text.substr(start, separator - start));
    start = separator + 1;
  }
  // Walking from the last part to the first, an earlier occurrence of a key overwrites a later one.
  platform::Dictionary arguments;
  for (auto part = parts.rbegin(); part != parts.rend(); ++part) {
    if (part->empty()) continue;
    const std::size_t equals = part->find('=');
    if (equals == std::string_view::npos) {
      arguments[unescapedOrEmpty(*part)] = std::string();
    } else {
      arguments[unescapedOrEmpty(part->substr(0, equals))] = unescapedOrEmpty(part->substr(equals + 1));
    }
  }
  return arguments;
}

}  // namespace beacon
