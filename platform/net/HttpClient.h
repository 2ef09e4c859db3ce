#pragma once
// The interface through which this system fetches over HTTP. Callers hold an HttpClient by
// injection, so their tests can give them a fake; the real one is CurlHttpClient.
//
// Contract of every implementation:
//  - send() returns at once; the exchange runs elsewhere and never blocks the caller's thread.
//  - The completion runs exactly once, always asynchronously on `completionQueue` (never inline
//    inside send()), with the response (whatever its status) or an Error of kHttpErrorDomain.
//  - send() may be called from any thread.

#include <functional>
#include <memory>

#include "platform/dispatch/Queue.h"
#include "platform/error/Result.h"
#include "platform/net/HttpMessage.h"

namespace platform {

using HttpCompletion = std::function<void(Result<HttpResponse>)>;

class HttpClient {
 public:
  virtual ~HttpClient() = default;

  virtual void send(HttpRequest request, QueueRef completionQueue, HttpCompletion completion) = 0;

  // The process's client for callers that have none of their own: a CurlHttpClient made on first
  // use that lives as long as the process.
  static std::shared_ptr<HttpClient> shared();
};

}  // namespace platform
