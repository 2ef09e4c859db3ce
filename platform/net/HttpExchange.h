#pragma once
// One HTTP exchange on the network thread: the request, every redirect it follows, and the final
// response streamed to its handlers. The one engine under CurlHttpClient and UrlSession.
//
// The handlers run on the network thread and must return quickly (hand work to a queue). Redirects
// are followed one hop at a time, as the request's followRedirect and maximumRedirects allow; the
// head and body of a redirect that is followed are never handed out. TLS peers are verified
// against the system's certificate store, plus the request's extra certificates when it names some.
//
// The final body is counted after content decoding: once it would grow past the request's
// maximumResponseBytes the transfer is aborted and the exchange fails with ResponseTooLarge, so no
// reply - however large, however well compressed - costs more memory or disk than the bound.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>

#include "platform/error/Error.h"
#include "platform/net/HttpMessage.h"

namespace platform::detail {

struct ExchangeHandlers {
  // The final response's head (no body yet).
  std::function<void(const HttpResponse& head)> onResponse;
  // A piece of the final response's body; an error stops the exchange, which then fails with it.
  std::function<std::optional<Error>(const std::uint8_t* data, std::size_t length)> onBody;
  // Exactly once, last: the final response's head when one arrived, and the failure when there was
  // one (both can come: a body cut short after the head). Never neither: a transfer that brings no
  // final head fails.
  std::function<void(std::optional<HttpResponse> head, std::optional<Error> error)> onComplete;
};

// Starts an exchange; answers its identifier. Any thread; the exchange starts on the network thread.
std::uint64_t startExchange(HttpRequest request, ExchangeHandlers handlers);
// Ends the exchange with Cancelled unless it has completed already. Any thread.
void cancelExchange(std::uint64_t identifier);

}  // namespace platform::detail
