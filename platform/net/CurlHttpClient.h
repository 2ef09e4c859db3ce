#pragma once
// The HttpClient over libcurl.
//
// Each request runs as one blocking transfer on a utility-quality global dispatch queue (the
// dispatch pool grows a thread for blocked work, so waiting on the network starves nobody) and
// then completes on the caller's queue. TLS peers are verified with the system's certificate store.
// Only http and https are spoken; redirects are followed up to the request's limit and only to
// http(s) URLs, and a request that started on https never follows a redirect to plain http, so a
// secure exchange cannot be downgraded on the way. The system's proxy variables apply.
//
// Destroying the client cancels the exchanges it still runs: each completes with Cancelled (libcurl
// looks at least about once a second). Thread-safe.

#include <atomic>
#include <memory>

#include "platform/net/HttpClient.h"

namespace platform {

class CurlHttpClient final : public HttpClient {
 public:
  CurlHttpClient();
  ~CurlHttpClient() override;
  CurlHttpClient(const CurlHttpClient&) = delete;
  CurlHttpClient& operator=(const CurlHttpClient&) = delete;

  void send(HttpRequest request, QueueRef completionQueue, HttpCompletion completion) override;

 private:
  // Shared with the running transfers, which outlive the client when it is destroyed mid-way.
  std::shared_ptr<std::atomic<bool>> cancelled_;
};

}  // namespace platform
