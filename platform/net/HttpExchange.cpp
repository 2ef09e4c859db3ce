#include "platform/net/HttpExchange.h"

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <sstream>
#include <string>

#include "platform/net/HttpError.h"
#include "platform/net/HttpWire.h"
#include "platform/net/NetworkThread.h"
#include "platform/net/Url.h"

namespace platform::detail {
namespace {

Error transferError(CURLcode code, const std::string& detail) {
  const std::string text = detail.empty() ? curl_easy_strerror(code) : detail;
  std::int64_t kind = HttpErrorCode::Transport;
  std::string description = text;
  switch (code) {
    case CURLE_OPERATION_TIMEDOUT:
      kind = HttpErrorCode::TimedOut;
      break;
    case CURLE_PEER_FAILED_VERIFICATION:
      kind = HttpErrorCode::ServerUntrusted;
      break;
    default:
      break;
  }
  Error error = makeHttpError(kind, std::move(description));
  error.userInfo.emplace("curlCode", Value(static_cast<std::int64_t>(code)));
  return error;
}

// libcurl takes a 101 nobody asked for as the final head and what follows as its body; the reader
// (rightly) sees no final head in it, and neither should the caller see an answer.
Error noFinalAnswer() {
  return makeHttpError(HttpErrorCode::Transport, "The server switched protocols instead of answering.");
}

std::optional<std::string> fileContents(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class CurlExchange;
// Network thread only. Never destroyed, like the thread that uses it.
std::map<std::uint64_t, std::shared_ptr<CurlExchange>>& liveExchanges() {
  static auto* exchanges = new std::map<std::uint64_t, std::shared_ptr<CurlExchange>>();
  return *exchanges;
}

class CurlExchange : public std::enable_shared_from_this<CurlExchange> {
 public:
  CurlExchange(std::uint64_t identifier, HttpRequest request, ExchangeHandlers handlers)
      : identifier_(identifier),
        request_(std::move(request)),
        handlers_(std::move(handlers)),
        deadline_(std::chrono::steady_clock::now() + request_.timeout) {}

  void startHop() {
    const std::optional<Url> url = Url::parse(request_.url);
    if (!url || !url->isWeb()) {
      return complete(makeHttpError(HttpErrorCode::UnsupportedURL, "Not an http(s) URL: " + request_.url));
    }
    reader_ = ResponseHeadReader(request_.url);
    following_ = false;
    headHandled_ = false;
    stopError_.reset();
    detail_[0] = '\0';
    easy_ = curl_easy_init();
    if (!easy_) return complete(makeHttpError(HttpErrorCode::Transport, "Could not start a transfer."));

    curl_easy_setopt(easy_, CURLOPT_URL, request_.url.c_str());
    curl_easy_setopt(easy_, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy_, CURLOPT_FOLLOWLOCATION, 0L);
    // Any encoding libcurl can undo; size caps apply to the decoded bytes.
    curl_easy_setopt(easy_, CURLOPT_ACCEPT_ENCODING, "");
    // Signals would reach whichever thread happens to run; timeouts work without them.
    curl_easy_setopt(easy_, CURLOPT_NOSIGNAL, 1L);
    const auto remaining =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - std::chrono::steady_clock::now());
    // libcurl reads 0 as "no time-out at all"; the shortest time-out it can be given is 1 ms.
    curl_easy_setopt(easy_, CURLOPT_TIMEOUT_MS, std::max(1L, static_cast<long>(remaining.count())));
    curl_easy_setopt(easy_, CURLOPT_HEADERFUNCTION, &CurlExchange::headerLine);
    curl_easy_setopt(easy_, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(easy_, CURLOPT_WRITEFUNCTION, &CurlExchange::bodyData);
    curl_easy_setopt(easy_, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(easy_, CURLOPT_ERRORBUFFER, detail_);

    for (const std::string& line : requestHeaderLines(request_))
      headerList_ = curl_slist_append(headerList_, line.c_str());
    curl_easy_setopt(easy_, CURLOPT_HTTPHEADER, headerList_);
    if (auto failure = setBody()) return complete(std::move(*failure));
    if (auto failure = setTrust()) return complete(std::move(*failure));

    NetworkThread::shared().add(easy_, [self = shared_from_this()](CURLcode code) { self->hopDone(code); });
  }

  void cancel() {
    if (easy_) NetworkThread::shared().remove(easy_);
    complete(makeHttpError(HttpErrorCode::Cancelled, "The request was cancelled."));
  }

 private:
  std::optional<Error> setBody() {
    const bool customMethod = request_.method != "GET" && request_.method != "POST";
    if (request_.bodyFile) {
      bodyFile_ = std::fopen(request_.bodyFile->c_str(), "rb");
      std::error_code sizeError;
      const auto size = std::filesystem::file_size(*request_.bodyFile, sizeError);
      if (!bodyFile_ || sizeError) {
        return makeHttpError(HttpErrorCode::Transport,
                             "Cannot read the body file " + request_.bodyFile->string());
      }
      curl_easy_setopt(easy_, CURLOPT_POST, 1L);
      curl_easy_setopt(easy_, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(size));
      // libcurl reads with fread from the FILE given as READDATA.
      curl_easy_setopt(easy_, CURLOPT_READDATA, bodyFile_);
    } else if (!request_.body.empty() || request_.method == "POST") {
      curl_easy_setopt(easy_, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request_.body.size()));
      curl_easy_setopt(easy_, CURLOPT_POSTFIELDS, request_.body.data());
    } else if (request_.method == "HEAD") {
      curl_easy_setopt(easy_, CURLOPT_NOBODY, 1L);
      return std::nullopt;
    }
    if (customMethod) curl_easy_setopt(easy_, CURLOPT_CUSTOMREQUEST, request_.method.c_str());
    return std::nullopt;
  }

  // The system's authorities plus the extra ones, handed to libcurl as one bundle in memory.
  std::optional<Error> setTrust() {
    if (!request_.extraTrustedCertificates) return std::nullopt;
    const std::optional<std::string> extra = fileContents(*request_.extraTrustedCertificates);
    if (!extra) {
      return makeHttpError(HttpErrorCode::Transport, "Cannot read the trusted certificates " +
                                                         request_.extraTrustedCertificates->string());
    }
    trustBundle_.clear();
    char* systemBundle = nullptr;
    curl_easy_getinfo(easy_, CURLINFO_CAINFO, &systemBundle);
    if (systemBundle) trustBundle_ = fileContents(systemBundle).value_or("");
    trustBundle_ += "\n" + *extra;
    curl_blob blob{trustBundle_.data(), trustBundle_.size(), CURL_BLOB_NOCOPY};
    curl_easy_setopt(easy_, CURLOPT_CAINFO_BLOB, &blob);
    return std::nullopt;
  }

  static std::size_t headerLine(char* data, std::size_t size, std::size_t count, void* context) {
    auto& self = *static_cast<CurlExchange*>(context);
    self.reader_.feed(std::string_view(data, size * count));
    if (self.reader_.complete() && !self.headHandled_) {
      self.headHandled_ = true;
      const HttpResponse& head = self.reader_.head();
      const bool redirect = isRedirectStatus(head.statusCode) && head.headers.contains("Location");
      if (redirect && (!self.request_.followRedirect || self.request_.followRedirect(head.statusCode))) {
        self.following_ = true;
      } else {
        self.finalHead_ = head;
        if (self.handlers_.onResponse) self.handlers_.onResponse(head);
      }
    }
    return size * count;
  }

  // libcurl hands over the body after content decoding, a piece at a time, so the bound holds on
  // what the body inflates to and a compressed bomb is stopped before it is unpacked any further.
  static std::size_t bodyData(char* data, std::size_t size, std::size_t count, void* context) {
    auto& self = *static_cast<CurlExchange*>(context);
    const std::size_t length = size * count;
    if (self.following_) return length;
    if (!self.finalHead_) {
      self.stopError_ = noFinalAnswer();
      return 0;
    }
    if (length > self.request_.maximumResponseBytes - self.bodyBytes_) {
      self.stopError_ = makeHttpError(
          HttpErrorCode::ResponseTooLarge,
          "The response is larger than " + std::to_string(self.request_.maximumResponseBytes) + " bytes.");
      return 0;  // anything but `length` makes libcurl abort the transfer
    }
    self.bodyBytes_ += length;
    if (!self.handlers_.onBody) return length;
    if (auto failure = self.handlers_.onBody(reinterpret_cast<const std::uint8_t*>(data), length)) {
      self.stopError_ = std::move(failure);
      return 0;
    }
    return length;
  }

  void hopDone(CURLcode code) {
    const std::string detail = detail_;
    releaseHop();
    if (code != CURLE_OK) return complete(stopError_ ? *stopError_ : transferError(code, detail));
    if (!following_) return complete(finalHead_ ? std::nullopt : std::optional<Error>(noFinalAnswer()));
    if (redirectsFollowed_ >= request_.maximumRedirects) {
      return complete(
          makeHttpError(HttpErrorCode::TooManyRedirects,
                        "More than " + std::to_string(request_.maximumRedirects) + " redirects."));
    }
    const HttpResponse& redirect = reader_.head();
    Result<HttpRequest> next =
        redirectedRequest(request_, redirect.statusCode, *redirect.headers.get("Location"));
    if (!next) return complete(next.error());
    request_ = std::move(next).value();
    ++redirectsFollowed_;
    startHop();
  }

  void releaseHop() {
    if (easy_) curl_easy_cleanup(easy_);
    easy_ = nullptr;
    if (headerList_) curl_slist_free_all(headerList_);
    headerList_ = nullptr;
    if (bodyFile_) std::fclose(bodyFile_);
    bodyFile_ = nullptr;
  }

  void complete(std::optional<Error> error) {
    if (completed_) return;
    completed_ = true;
    releaseHop();
    auto self = shared_from_this();
    liveExchanges().erase(identifier_);
    auto onComplete = std::move(handlers_.onComplete);
    handlers_ = {};
    if (onComplete) onComplete(finalHead_, std::move(error));
  }

  std::uint64_t identifier_;
  HttpRequest request_;
  ExchangeHandlers handlers_;
  std::chrono::steady_clock::time_point deadline_;
  int redirectsFollowed_ = 0;
  // Of the final response's body, after content decoding.
  std::size_t bodyBytes_ = 0;

  CURL* easy_ = nullptr;
  curl_slist* headerList_ = nullptr;
  std::FILE* bodyFile_ = nullptr;
  std::string trustBundle_;
  char detail_[CURL_ERROR_SIZE] = {};
  ResponseHeadReader reader_;
  bool headHandled_ = false;
  bool following_ = false;
  std::optional<Error> stopError_;
  std::optional<HttpResponse> finalHead_;
  bool completed_ = false;
};

}  // namespace

std::uint64_t startExchange(HttpRequest request, ExchangeHandlers handlers) {
  static std::atomic<std::uint64_t> nextIdentifier{1};
  const std::uint64_t identifier = nextIdentifier++;
  auto exchange = std::make_shared<CurlExchange>(identifier, std::move(request), std::move(handlers));
  NetworkThread::shared().post([identifier, exchange] {
    liveExchanges().emplace(identifier, exchange);
    exchange->startHop();
  });
  return identifier;
}

void cancelExchange(std::uint64_t identifier) {
  NetworkThread::shared().post([identifier] {
    auto& exchanges = liveExchanges();
    if (auto found = exchanges.find(identifier); found != exchanges.end()) found->second->cancel();
  });
}

}  // namespace platform::detail
