#include "platform/net/HttpClient.h"

#include "platform/net/CurlHttpClient.h"

namespace platform {

std::shared_ptr<HttpClient> HttpClient::shared() {
  // Never destroyed: SDK queues may still use it while the process's exit handlers run.
  static const std::shared_ptr<HttpClient>& client =
      *new std::shared_ptr<HttpClient>(std::make_shared<CurlHttpClient>());
  return client;
}

}  // namespace platform
