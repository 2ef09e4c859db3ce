#include "platform/net/HttpWire.h"

#include <algorithm>
#include <cstdlib>

#include "platform/net/HttpError.h"
#include "platform/net/Url.h"

namespace platform {
namespace {

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() &&
         (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' || text.back() == '\n'))
    text.remove_suffix(1);
  return text;
}

// "scheme://authority" of an absolute URL.
std::string originOf(const std::string& url) {
  const std::size_t authority = url.find("://");
  if (authority == std::string::npos) return {};
  const std::size_t pathStart = url.find_first_of("/?#", authority + 3);
  return url.substr(0, pathStart);
}

// The port a web URL names, its scheme's own when it names none.
std::string portOf(const Url& url) {
  const std::string origin = originOf(url.string());
  std::string_view digits = std::string_view(origin).substr(origin.rfind(':') + 1);
  const bool named = !digits.empty() &&
                     std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
  if (!named) return url.scheme() == "https" ? "443" : "80";
  digits.remove_prefix(std::min(digits.find_first_not_of('0'), digits.size() - 1));
  return std::string(digits);
}

bool sameOrigin(const Url& a, const Url& b) {
  return a.scheme() == b.scheme() && a.host() == b.host() && portOf(a) == portOf(b);
}

std::string resolveLocation(const std::string& base, std::string_view location) {
  if (location.find("://") != std::string_view::npos) return std::string(location);
  if (location.starts_with("//")) return base.substr(0, base.find(':') + 1) + std::string(location);
  const std::string origin = originOf(base);
  if (location.starts_with("/")) return origin + std::string(location);
  std::string path = base.substr(origin.size());
  path = path.substr(0, path.find_first_of("?#"));
  path = path.substr(0, path.rfind('/') + 1);
  if (path.empty()) path = "/";
  return origin + path + std::string(location);
}

}  // namespace

std::vector<std::string> requestHeaderLines(const HttpRequest& request) {
  std::vector<std::string> lines;
  for (const auto& [name, value] : request.headers.fields()) {
    if (sameHeaderName(name, "Content-Length")) continue;
    lines.push_back(name + ": " + value);
  }
  lines.emplace_back("Expect:");
  return lines;
}

bool isRedirectStatus(long statusCode) {
  switch (statusCode) {
    case 300:
    case 301:
    case 302:
    case 303:
    case 307:
    case 308:
      return true;
    default:
      return false;
  }
}

Result<HttpRequest> redirectedRequest(const HttpRequest& from, long statusCode, std::string_view location) {
  const std::string target = resolveLocation(from.url, trimmed(location));
  const std::optional<Url> url = Url::parse(target);
  if (!url || !url->isWeb()) {
    return makeHttpError(HttpErrorCode::UnsupportedURL, "Redirect to a URL that is not allowed: " + target);
  }
  const std::optional<Url> origin = Url::parse(from.url);
  if (origin && origin->scheme() == "https" && url->scheme() != "https") {
    return makeHttpError(HttpErrorCode::UnsupportedURL,
                         "Redirect from https to plain http refused: " + target);
  }
  HttpRequest next = from;
  next.url = target;
  // Credentials meant for one server never go on to another it points at.
  if (!origin || !sameOrigin(*origin, *url)) {
    for (const char* name : {"Authorization", "Proxy-Authorization", "Cookie"}) next.headers.remove(name);
  }
  const bool becomesGet =
      statusCode == 303 || ((statusCode == 301 || statusCode == 302) && from.method == "POST");
  if (becomesGet && from.method != "HEAD") {
    next.method = "GET";
    next.body.clear();
    next.bodyFile.reset();
    next.headers.remove("Content-Type");
    next.headers.remove("Content-Encoding");
  }
  return next;
}

void ResponseHeadReader::feed(std::string_view line) {
  line = trimmed(line);
  // A status line only starts a head; later in the head the same text is a (malformed) field.
  const bool statusLine = awaitingStatusLine_ && line.starts_with("HTTP/");
  awaitingStatusLine_ = false;
  if (statusLine) {
    const std::string url = head_.url;
    head_ = HttpResponse{};
    head_.url = url;
    complete_ = false;
    const std::size_t space = line.find(' ');
    if (space != std::string_view::npos)
      head_.statusCode = std::strtol(std::string(line.substr(space + 1)).c_str(), nullptr, 10);
    return;
  }
  if (line.empty()) {
    complete_ = head_.statusCode >= 200;
    awaitingStatusLine_ = !complete_;
    return;
  }
  const std::size_t colon = line.find(':');
  if (colon == std::string_view::npos) return;
  head_.headers.add(std::string(trimmed(line.substr(0, colon))),
                    std::string(trimmed(line.substr(colon + 1))));
}

}  // namespace platform
