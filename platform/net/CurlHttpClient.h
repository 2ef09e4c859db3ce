#pragma once
// The HttpClient over the process's network thread (libcurl).
//
// Each request runs as one exchange on the network thread and then completes on the caller's queue
// with the whole body. TLS peers are verified with the system's certificate store (plus the
// request's extra certificates). Only http and https are spoken; redirects are followed up to the
// request's limit and only to http(s) URLs, and a request that started on https never follows a
// redirect to plain http, so a secure exchange cannot be downgraded on the way. A failure after the
// response head arrived (a body cut short) is a failure, never a truncated response.
//
// Destroying the client cancels the exchanges it still runs: each completes with Cancelled.
// Thread-safe.

#include <cstdint>
#include <memory>
#include <mutex>
#include <set>

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
  // The exchanges still running; shared with them, as they outlive the client when it goes mid-way.
  struct Running {
    std::mutex mutex;
    std::set<std::uint64_t> exchanges;
  };
  std::shared_ptr<Running> running_;
};

}  // namespace platform
