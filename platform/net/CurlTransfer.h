#pragma once
// One blocking GET through libcurl, with the request's limits applied. Internal to the net layer:
// CurlHttpClient runs it off the caller's thread. Safe to run on several threads at once (each
// call uses its own transfer handle); libcurl's global set-up must have been done first.

#include <atomic>

#include "platform/error/Result.h"
#include "platform/net/HttpMessage.h"
#include "platform/net/Url.h"

namespace platform::detail {

// Sets up libcurl for the process once; later calls do nothing. Thread-safe.
void initialiseCurlOnce();

// `url` is the request's URL, already checked to be an http(s) URL. The transfer stops with
// Cancelled soon after `cancelled` becomes true.
Result<HttpResponse> performCurlTransfer(const HttpRequest& request, const Url& url,
                                         const std::atomic<bool>& cancelled);

}  // namespace platform::detail
