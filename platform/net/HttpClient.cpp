#include "platform/net/HttpClient.h"

#include "platform/net/CurlHttpClient.h"

namespace platform {

std::shared_ptr<HttpClient> HttpClient::shared() {
  static const std::shared_ptr<HttpClient> client = std::make_shared<CurlHttpClient>();
  return client;
}

}  // namespace platform
