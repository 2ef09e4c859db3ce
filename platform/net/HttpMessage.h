#pragma once
// What an HttpClient is asked to fetch and what it hands back.
//
// A request is a GET of one http(s) URL with the limits that keep a bad server from holding the
// caller forever or filling its memory. The limits have safe defaults; callers rarely change them.
// Sending a body (POST) is a later addition: it will come as further fields of HttpRequest with
// defaults that keep today's requests as they are.

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

#include "platform/value/Value.h"

namespace platform {

struct HttpRequest {
  static constexpr std::chrono::milliseconds kDefaultTimeout{60'000};
  static constexpr std::size_t kDefaultMaximumResponseBytes = 8u * 1024u * 1024u;
  static constexpr int kDefaultMaximumRedirects = 5;

  // Must be an http or https URL (see Url::isWeb); anything else fails with UnsupportedURL.
  std::string url;
  // For the whole exchange, connecting and every redirect included.
  std::chrono::milliseconds timeout = kDefaultTimeout;
  // The body, after any content decoding, may not grow beyond this.
  std::size_t maximumResponseBytes = kDefaultMaximumResponseBytes;
  // Redirects followed before the request fails with TooManyRedirects; 0 follows none.
  int maximumRedirects = kDefaultMaximumRedirects;
};

// Any status the server answered with, success or not: judging the status is the caller's business.
struct HttpResponse {
  long statusCode = 0;
  // The URL that finally answered, after redirects.
  std::string url;
  Bytes body;

  std::string_view bodyText() const { return {reinterpret_cast<const char*>(body.data()), body.size()}; }
};

}  // namespace platform
