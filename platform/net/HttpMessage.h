#pragma once
// What the net layer is asked to send and what it hands back.
//
// A request names one http(s) URL, a method, header fields and an optional body (from memory or
// from a file), with the limits that keep a bad server from holding the caller forever or filling
// its memory. The limits have safe defaults; callers rarely change them.

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/net/HttpHeaders.h"
#include "platform/value/Value.h"

namespace platform {

struct HttpRequest {
  static constexpr std::chrono::milliseconds kDefaultTimeout{60'000};
  static constexpr std::size_t kDefaultMaximumResponseBytes = 8u * 1024u * 1024u;
  static constexpr int kDefaultMaximumRedirects = 5;

  // Must be an http or https URL (see Url::isWeb); anything else fails with UnsupportedURL.
  std::string url;
  // "GET", "POST", "DELETE", ... as sent.
  std::string method = "GET";
  // Sent in this order. "Content-Length" is worked out from the body and never taken from here.
  HttpHeaders headers;
  // Sent when not empty, and always for POST (an empty POST says "Content-Length: 0").
  Bytes body;
  // When set, the body is read from this file instead.
  std::optional<std::filesystem::path> bodyFile;

  // For the whole exchange, connecting and every redirect included.
  std::chrono::milliseconds timeout = kDefaultTimeout;
  // The body, after any content decoding, may not grow beyond this: past it the transfer is aborted
  // and the request fails with ResponseTooLarge, whatever path it took (client, data, upload or
  // download task). Callers that know their documents are small set less.
  std::size_t maximumResponseBytes = kDefaultMaximumResponseBytes;
  // Redirects followed before the request fails with TooManyRedirects; 0 follows none.
  int maximumRedirects = kDefaultMaximumRedirects;
  // Asked for each redirect the server answers with (its status code): false ends the exchange with
  // that redirect response as the answer. Empty: every redirect is followed.
  std::function<bool(long statusCode)> followRedirect;

  // A PEM file of certificate authorities trusted besides the system's (a test's own server).
  std::optional<std::filesystem::path> extraTrustedCertificates;
};

// Any status the server answered with, success or not: judging the status is the caller's business.
struct HttpResponse {
  HttpResponse() = default;
  HttpResponse(long statusCode, std::string url, Bytes body = {}, HttpHeaders headers = {})
      : statusCode(statusCode), url(std::move(url)), body(std::move(body)), headers(std::move(headers)) {}

  long statusCode = 0;
  // The URL that finally answered, after redirects.
  std::string url;
  Bytes body;
  HttpHeaders headers;

  std::string_view bodyText() const { return {reinterpret_cast<const char*>(body.data()), body.size()}; }
};

}  // namespace platform
