#include "platform/net/Url.h"

#include <algorithm>
#include <cctype>

namespace platform {
namespace {

bool isAlpha(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool isDigit(char c) {
  return c >= '0' && c <= '9';
}
bool isHexDigit(char c) {
  return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
bool isUnreserved(char c) {
  return isAlpha(c) || isDigit(c) || c == '-' || c == '.' || c == '_' || c == '~';
}
bool isSubDelimiter(char c) {
  return std::string_view("!$&'()*+,;=").find(c) != std::string_view::npos;
}

std::string lowerCased(std::string_view text) {
  std::string result(text);
  std::transform(result.begin(), result.end(), result.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return result;
}

// True when every character of `part` is either a valid escape or accepted by `allowed`.
template <class Allowed>
bool consistsOf(std::string_view part, Allowed allowed) {
  for (std::size_t i = 0; i < part.size(); ++i) {
    const char c = part[i];
    if (c == '%') {
      if (i + 2 >= part.size() || !isHexDigit(part[i + 1]) || !isHexDigit(part[i + 2])) return false;
      i += 2;
    } else if (!allowed(c)) {
      return false;
    }
  }
  return true;
}

bool isPathCharacter(char c) {
  return isUnreserved(c) || isSubDelimiter(c) || c == ':' || c == '@' || c == '/';
}
bool isQueryCharacter(char c) {
  return isPathCharacter(c) || c == '?';
}

bool isValidScheme(std::string_view scheme) {
  if (scheme.empty() || !isAlpha(scheme.front())) return false;
  return std::all_of(scheme.begin(), scheme.end(),
                     [](char c) { return isAlpha(c) || isDigit(c) || c == '+' || c == '-' || c == '.'; });
}

// host: a bracketed IP literal or a registered name; port: digits only (may be empty).
bool isValidHostAndPort(std::string_view hostPort, std::string_view& host) {
  std::string_view port;
  if (!hostPort.empty() && hostPort.front() == '[') {
    const std::size_t close = hostPort.find(']');
    if (close == std::string_view::npos) return false;
    host = hostPort.substr(0, close + 1);
    const std::string_view literal = host.substr(1, host.size() - 2);
    if (literal.empty() || !std::all_of(literal.begin(), literal.end(),
                                        [](char c) { return isHexDigit(c) || c == ':' || c == '.'; })) {
      return false;
    }
    const std::string_view rest = hostPort.substr(close + 1);
    if (!rest.empty()) {
      if (rest.front() != ':') return false;
      port = rest.substr(1);
    }
  } else {
    const std::size_t colon = hostPort.find(':');
    host = hostPort.substr(0, colon);
    if (colon != std::string_view::npos) port = hostPort.substr(colon + 1);
    if (!consistsOf(host, [](char c) { return isUnreserved(c) || isSubDelimiter(c); })) return false;
  }
  return std::all_of(port.begin(), port.end(), isDigit);
}

}  // namespace

Url::Url(std::string text, std::string scheme, std::string host)
    : text_(std::move(text)), scheme_(std::move(scheme)), host_(std::move(host)) {}

std::optional<Url> Url::parse(std::string_view text) {
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos || !isValidScheme(text.substr(0, colon))) return std::nullopt;
  std::string_view rest = text.substr(colon + 1);

  std::string_view fragment;
  if (const std::size_t hash = rest.find('#'); hash != std::string_view::npos) {
    fragment = rest.substr(hash + 1);
    rest = rest.substr(0, hash);
  }
  std::string_view query;
  if (const std::size_t question = rest.find('?'); question != std::string_view::npos) {
    query = rest.substr(question + 1);
    rest = rest.substr(0, question);
  }

  std::string_view host;
  std::string_view path = rest;
  if (rest.substr(0, 2) == "//") {
    const std::string_view afterSlashes = rest.substr(2);
    const std::size_t pathStart = std::min(afterSlashes.find('/'), afterSlashes.size());
    std::string_view authority = afterSlashes.substr(0, pathStart);
    path = afterSlashes.substr(pathStart);
    if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) {
      const std::string_view userInfo = authority.substr(0, at);
      if (!consistsOf(userInfo, [](char c) { return isUnreserved(c) || isSubDelimiter(c) || c == ':'; })) {
        return std::nullopt;
      }
      authority = authority.substr(at + 1);
    }
    if (!isValidHostAndPort(authority, host)) return std::nullopt;
  }

  if (!consistsOf(path, isPathCharacter) || !consistsOf(query, isQueryCharacter) ||
      !consistsOf(fragment, isQueryCharacter)) {
    return std::nullopt;
  }
  return Url(std::string(text), lowerCased(text.substr(0, colon)), lowerCased(host));
}

bool Url::isWeb() const {
  return (scheme_ == "http" || scheme_ == "https") && !host_.empty();
}

std::string percentEncodeQueryValue(std::string_view value) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  encoded.reserve(value.size());
  for (const char c : value) {
    if (isUnreserved(c) || c == ',') {
      encoded += c;
    } else {
      const auto byte = static_cast<unsigned char>(c);
      encoded += '%';
      encoded += kHex[byte >> 4];
      encoded += kHex[byte & 0x0F];
    }
  }
  return encoded;
}

}  // namespace platform
