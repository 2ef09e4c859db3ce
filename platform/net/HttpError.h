#pragma once
// The failures of an HTTP exchange that produced no response. They travel as platform::Error in
// kHttpErrorDomain; the description says what went wrong in words for logs, and for transport
// failures userInfo["curlCode"] holds the transfer library's own code.

#include <cstdint>
#include <string_view>

#include "platform/error/Error.h"

namespace platform {

inline constexpr std::string_view kHttpErrorDomain = "platform.net";

struct HttpErrorCode {
  enum : std::int64_t {
    UnsupportedURL = 1,    // not an http(s) URL, or a redirect to another kind of URL
    TimedOut = 2,          // the request's time-out passed
    TooManyRedirects = 3,  // more redirects than the request allows
    ResponseTooLarge = 4,  // the body exceeded the request's size cap
    Cancelled = 5,         // the client was shut down while the request ran
    Transport = 6,         // could not resolve, connect, speak TLS, or the connection broke
    ServerUntrusted = 7,   // the server's TLS certificate is not trusted
  };
};

Error makeHttpError(std::int64_t code, std::string description);

}  // namespace platform
