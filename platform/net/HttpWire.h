#pragma once
// The pure rules of an HTTP exchange, apart from the transfer library so they are tested without a
// network: which header lines a request sends, how a response head is read from the lines the
// server sent, and where a redirect leads.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/error/Result.h"
#include "platform/net/HttpMessage.h"

namespace platform {

// "Name: value" lines of the request, in its order. "Content-Length" of the caller is left out (the
// transfer states the real one), and "Expect:" is added so that bodies go out without waiting for
// an interim answer.
std::vector<std::string> requestHeaderLines(const HttpRequest& request);

// True for the statuses that redirect: 300, 301, 302, 303, 307 and 308.
bool isRedirectStatus(long statusCode);

// The request that follows `from` after a redirect with `statusCode` to `location` (absolute, or
// relative to from.url). 303, and 301/302 after a POST, continue as a GET without body; other
// redirects keep method and body. A redirect to another origin (scheme, host or port) leaves the
// credentials behind: "Authorization", "Proxy-Authorization" and "Cookie" are dropped. Fails with
// UnsupportedURL for a location that is not http(s), and for one that would leave https for plain http.
Result<HttpRequest> redirectedRequest(const HttpRequest& from, long statusCode, std::string_view location);

// Reads a response head from the header lines as they arrive (status line, fields, blank line).
// Interim (1xx) heads are skipped: the status line after one starts the head afresh. Only the first
// line of a head is read as its status line.
class ResponseHeadReader {
 public:
  // `url` is the URL the head answers; it becomes head().url.
  explicit ResponseHeadReader(std::string url = {}) { head_.url = std::move(url); }

  void feed(std::string_view line);
  // True once the blank line after a final (non-1xx) head has been read.
  bool complete() const { return complete_; }
  const HttpResponse& head() const { return head_; }

 private:
  HttpResponse head_;
  bool complete_ = false;
  bool awaitingStatusLine_ = true;
};

}  // namespace platform
