#include "platform/net/CurlHttpClient.h"

#include "platform/net/CurlTransfer.h"
#include "platform/net/HttpError.h"
#include "platform/net/Url.h"

namespace platform {

CurlHttpClient::CurlHttpClient() : cancelled_(std::make_shared<std::atomic<bool>>(false)) {
  detail::initialiseCurlOnce();
}

CurlHttpClient::~CurlHttpClient() {
  cancelled_->store(true);
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
  globalQueue(QualityOfService::Utility)
      ->async([request = std::move(request), url = std::move(*url), cancelled = cancelled_,
               complete = std::move(complete)]() mutable {
        complete(detail::performCurlTransfer(request, url, *cancelled));
      });
}

}  // namespace platform
