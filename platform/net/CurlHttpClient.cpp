#include "platform/net/CurlHttpClient.h"

#include "platform/net/HttpError.h"
#include "platform/net/HttpExchange.h"
#include "platform/net/Url.h"

namespace platform {

CurlHttpClient::CurlHttpClient() : running_(std::make_shared<Running>()) {}

CurlHttpClient::~CurlHttpClient() {
  std::lock_guard lock(running_->mutex);
  for (std::uint64_t exchange : running_->exchanges) detail::cancelExchange(exchange);
}

void CurlHttpClient::send(HttpRequest request, QueueRef completionQueue, HttpCompletion completion) {
  auto complete = [completionQueue, completion = std::move(completion)](Result<HttpResponse> result) mutable {
    completionQueue->async([completion = std::move(completion), result = std::move(result)]() mutable {
      completion(std::move(result));
    });
  };

  std::optional<Url> url = Url::parse(request.url);
  if (!url || !url->isWeb()) {
    complete(makeHttpError(HttpErrorCode::UnsupportedURL, "Not an http(s) URL: " + request.url));
    return;
  }

  auto body = std::make_shared<Bytes>();
  detail::ExchangeHandlers handlers;
  // The exchange stops the body at the request's bound.
  handlers.onBody = [body](const std::uint8_t* data, std::size_t length) -> std::optional<Error> {
    body->insert(body->end(), data, data + length);
    return std::nullopt;
  };
  auto identifier = std::make_shared<std::uint64_t>(0);
  handlers.onComplete = [body, identifier, running = std::weak_ptr<Running>(running_), complete](
                            std::optional<HttpResponse> head, std::optional<Error> error) mutable {
    if (auto live = running.lock()) {
      std::lock_guard lock(live->mutex);
      live->exchanges.erase(*identifier);
    }
    if (error) return complete(std::move(*error));
    head->body = std::move(*body);
    complete(std::move(*head));
  };

  // Held while starting, so the completion cannot forget the exchange before it is recorded.
  std::lock_guard lock(running_->mutex);
  *identifier = detail::startExchange(std::move(request), std::move(handlers));
  running_->exchanges.insert(*identifier);
}

}  // namespace platform
