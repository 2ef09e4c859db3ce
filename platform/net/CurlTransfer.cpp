#include "platform/net/CurlTransfer.h"

#include <curl/curl.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <string>

#include "platform/net/HttpError.h"

namespace platform::detail {
namespace {

struct TransferState {
  const std::atomic<bool>* cancelled = nullptr;
  std::size_t maximumBytes = 0;
  Bytes body;
  bool tooLarge = false;
};

std::size_t receiveBody(char* data, std::size_t size, std::size_t count, void* context) {
  auto& state = *static_cast<TransferState*>(context);
  const std::size_t length = size * count;
  if (length > state.maximumBytes - state.body.size()) {
    state.tooLarge = true;
    return 0;  // anything but `length` makes libcurl abort with a write error
  }
  state.body.insert(state.body.end(), data, data + length);
  return length;
}

int checkCancelled(void* context, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  const auto& state = *static_cast<TransferState*>(context);
  return state.cancelled->load() ? 1 : 0;
}

struct EasyHandleDeleter {
  void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};

Error transferError(CURLcode code, const TransferState& state, const char* detail) {
  const std::string text = detail[0] != '\0' ? detail : curl_easy_strerror(code);
  std::int64_t kind = HttpErrorCode::Transport;
  std::string description = text;
  switch (code) {
    case CURLE_OPERATION_TIMEDOUT:
      kind = HttpErrorCode::TimedOut;
      break;
    case CURLE_TOO_MANY_REDIRECTS:
      kind = HttpErrorCode::TooManyRedirects;
      break;
    case CURLE_UNSUPPORTED_PROTOCOL:
      // The starting URL was checked, so only a redirect can lead here.
      kind = HttpErrorCode::UnsupportedURL;
      description = "Redirect to a URL that is not allowed: " + text;
      break;
    case CURLE_FILESIZE_EXCEEDED:
      kind = HttpErrorCode::ResponseTooLarge;
      break;
    case CURLE_WRITE_ERROR:
      if (state.tooLarge) kind = HttpErrorCode::ResponseTooLarge;
      break;
    case CURLE_ABORTED_BY_CALLBACK:
      kind = HttpErrorCode::Cancelled;
      description = "The request was cancelled.";
      break;
    default:
      break;
  }
  if (kind == HttpErrorCode::ResponseTooLarge) {
    description = "The response is larger than " + std::to_string(state.maximumBytes) + " bytes.";
  }
  Error error = makeHttpError(kind, std::move(description));
  error.userInfo.emplace("curlCode", Value(static_cast<std::int64_t>(code)));
  return error;
}

}  // namespace

void initialiseCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

Result<HttpResponse> performCurlTransfer(const HttpRequest& request, const Url& url,
                                         const std::atomic<bool>& cancelled) {
  std::unique_ptr<CURL, EasyHandleDeleter> handle(curl_easy_init());
  if (!handle) return makeHttpError(HttpErrorCode::Transport, "Could not start a transfer.");
  CURL* easy = handle.get();

  TransferState state;
  state.cancelled = &cancelled;
  state.maximumBytes = request.maximumResponseBytes;
  char detail[CURL_ERROR_SIZE] = {};
  const bool startedSecure = url.scheme() == "https";

  curl_easy_setopt(easy, CURLOPT_URL, url.string().c_str());
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
  // A negative limit would mean "no limit" to libcurl.
  curl_easy_setopt(easy, CURLOPT_MAXREDIRS, static_cast<long>(std::max(0, request.maximumRedirects)));
  curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, startedSecure ? "https" : "http,https");
  // libcurl reads 0 as "no time-out at all"; the shortest time-out it can be given is 1 ms.
  curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, std::max(1L, static_cast<long>(request.timeout.count())));
  curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(request.maximumResponseBytes));
  // Any encoding libcurl can undo; the size cap applies to the decoded bytes.
  curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");
  // Signals would reach whichever thread happens to run; timeouts work without them.
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, receiveBody);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, &state);
  curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, checkCancelled);
  curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &state);
  curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, detail);

  if (cancelled.load()) return transferError(CURLE_ABORTED_BY_CALLBACK, state, "");
  const CURLcode code = curl_easy_perform(easy);
  if (code != CURLE_OK) return transferError(code, state, detail);

  HttpResponse response;
  curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &response.statusCode);
  char* effectiveUrl = nullptr;
  curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &effectiveUrl);
  response.url = effectiveUrl ? effectiveUrl : url.string();
  response.body = std::move(state.body);
  return response;
}

}  // namespace platform::detail
