#include "sdk-utilities/network/CVUNetwork.h"

#include <cstdio>

#include "sdk-utilities/gzip/CVUGzip.h"
#include "sdk-utilities/logger/CVULogger.h"
#include "sdk-utilities/network/CVUServiceOrigins.h"

namespace beacon {
namespace {

constexpr std::string_view kNetworkService = "[CVUNetwork]";
using namespace cvu_network_log_level;

const char* levelName(int level) {
  switch (level) {
    case kError:
      return "ERROR";
    case kWarning:
      return "WARNING";
    case kInfo:
      return "INFO";
    case kDebug:
      return "DEBUG";
    default:
      return nullptr;
  }
}

platform::QueueRef orMain(platform::QueueRef queue) {
  return queue ? std::move(queue) : platform::mainQueue();
}

}  // namespace

std::shared_ptr<CVUNetwork> CVUNetwork::create() {
  return createWithReachabilityHost(CVUServiceHost(CVUService::Upload));
}

std::shared_ptr<CVUNetwork> CVUNetwork::createWithReachabilityHost(std::string host,
                                                                   const platform::ReachabilityApi* api) {
  std::shared_ptr<CVUNetwork> network(new CVUNetwork());
  network->reachability_ = CVUReachabilityChecker::create(network, std::move(host));
  if (!network->reachability_) return nullptr;
  if (api) network->reachability_->setReachabilityApi(api);
  if (!network->reachability_->start()) return nullptr;
  CVUNetworkURLSession::removeAbandonedDownloads();
  return network;
}

CVUNetwork::~CVUNetwork() {
  if (reachability_) {
    reachability_->setReachabilityDelegate({});
    reachability_->stop();
  }
}

void CVUNetwork::handleEventsForBackgroundURLSessionID(const std::string& sessionID,
                                                       std::function<void()> handler) {
  CVUNetworkURLSession::handleEventsForBackgroundURLSessionID(sessionID, std::move(handler));
}

platform::HttpRequest CVUNetwork::requestFor(const std::string& url,
                                             const std::optional<platform::HttpHeaders>& headers) const {
  platform::HttpRequest request;
  request.url = url;
  const double timeout = timeoutInterval_.load() == 0 ? 60 : timeoutInterval_.load();
  request.timeout = std::chrono::milliseconds(static_cast<long long>(timeout * 1000));
  if (headers) request.headers = *headers;
  std::lock_guard lock(mutex_);
  request.extraTrustedCertificates = extraTrustedCertificates_;
  return request;
}

std::optional<std::string> CVUNetwork::postURL(const std::string& url,
                                               std::optional<platform::HttpHeaders> headers,
                                               std::optional<platform::Bytes> payload,
                                               platform::QueueRef queue, bool usingBackgroundSession,
                                               Completion completion) {
  auto compress = [payload =
                       std::move(payload)](platform::HttpRequest& request) -> std::optional<std::int64_t> {
    platform::Error gzipError;
    const platform::Bytes plain = payload.value_or(platform::Bytes{});
    std::optional<platform::Bytes> compressed = CVUGzip::cvu_dataByGzippingData(plain, &gzipError);
    if (!compressed) {
      if (!plain.empty() || !gzipError.domain.empty()) return kCVUNetworkErrorCodePayloadNotCompressed;
      compressed.emplace();
    }
    request.method = "POST";
    request.headers.set("Content-Length", std::to_string(compressed->size()));
    request.headers.set("Content-Type", "application/x-www-form-urlencoded");
    request.headers.set("Content-Encoding", "gzip");
    request.body = std::move(*compressed);
    return std::nullopt;
  };
  return startRequest(url, headers, std::move(queue), usingBackgroundSession, 900000, "Uploading data. Host",
                      std::move(completion), compress,
                      [](CVUNetworkURLSession& session, platform::HttpRequest request, auto inner) {
                        return session.sessionIDFromAsyncPOSTRequest(std::move(request), std::move(inner));
                      });
}

std::optional<std::string> CVUNetwork::getURL(const std::string& url,
                                              std::optional<platform::HttpHeaders> headers,
                                              platform::QueueRef queue, bool usingBackgroundSession,
                                              Completion completion, std::size_t maximumResponseBytes) {
  auto bound = [maximumResponseBytes](platform::HttpRequest& request) -> std::optional<std::int64_t> {
    request.maximumResponseBytes = maximumResponseBytes;
    return std::nullopt;
  };
  return startRequest(url, headers, std::move(queue), usingBackgroundSession, 900001,
                      "Downloading data. Host", std::move(completion), bound,
                      [](CVUNetworkURLSession& session, platform::HttpRequest request, auto inner) {
                        return session.sessionIDFromAsyncGETRequest(std::move(request), std::move(inner));
                      });
}

std::optional<std::string> CVUNetwork::startRequest(const std::string& url,
                                                    const std::optional<platform::HttpHeaders>& headers,
                                                    platform::QueueRef queue, bool background,
                                                    std::int64_t messageCode, const char* message,
                                                    Completion completion, const Prepare& prepare,
                                                    const Start& start) {
  if (url.empty()) {
    handleErrorWithCode(kCVUNetworkErrorCodeInvalidURL, queue, std::move(completion));
    return std::nullopt;
  }
  platform::HttpRequest request = requestFor(url, headers);
  if (prepare) {
    if (auto failure = prepare(request)) {
      handleErrorWithCode(*failure, queue, std::move(completion));
      return std::nullopt;
    }
  }
  auto session = CVUNetworkURLSession::create(weak_from_this());
  session->setBackgroundNetworkEnabled(background);
  const platform::QueueRef target = orMain(queue);
  auto inner = [weak = weak_from_this(), target, completion](
                   const std::optional<platform::HttpResponse>& response,
                   const std::optional<platform::Bytes>& data, const std::string& sessionID,
                   const std::optional<platform::Error>& error) {
    if (!weak.lock()) return;
    target->async([weak, completion, response, data, sessionID, error] {
      if (auto network = weak.lock(); network && !sessionID.empty())
        network->requests_.removeObjectForKey(sessionID);
      if (completion) completion(response, data, error);
    });
  };
  // Entered before the request starts, so that even the quickest completion finds it to remove.
  const std::string expectedID = session->sessionID();
  requests_.setObject(session, expectedID);
  std::optional<std::string> sessionID = start(*session, std::move(request), std::move(inner));
  if (!sessionID) {
    requests_.removeObjectForKey(expectedID);
    // The URL session has already delivered its own error (code 2) through the completion; the
    // handler hears of a failure once.
    handleErrorWithCode(kCVUNetworkErrorCodeRequestNotCreated, queue, nullptr);
    return std::nullopt;
  }
  CVUNetwork_logWithLevel(kDebug, messageCode, std::string(message), CVUNetworkContext(url));
  return sessionID;
}

void CVUNetwork::handleErrorWithCode(std::int64_t code, const platform::QueueRef& queue, Completion handler) {
  const platform::Error error = CVUNetworkError(code, "Failed to create network request");
  CVUNetwork_logWithLevel(kWarning, 900002, std::string("Failed to create network request. Code, error"),
                          std::vector<CVUNetworkContext>{std::to_string(code), error.debugDescription()});
  if (!handler) return;
  orMain(queue)->async([handler = std::move(handler), error] { handler(std::nullopt, std::nullopt, error); });
}

void CVUNetwork::reachabilityStatusChanged(CVUReachabilityChecker&, CVUReachabilityStatus status) {
  networkConnected_.store(status == CVUReachabilityStatus::Connected ||
                          status == CVUReachabilityStatus::Cellular);
  std::shared_ptr<CVUNetworkReachabilityDelegate> delegate;
  {
    std::lock_guard lock(mutex_);
    delegate = reachabilityDelegate_.lock();
  }
  if (delegate) delegate->reachabilityDidChange();
}

void CVUNetwork::setReachabilityDelegate(std::weak_ptr<CVUNetworkReachabilityDelegate> delegate) {
  std::lock_guard lock(mutex_);
  reachabilityDelegate_ = std::move(delegate);
}

void CVUNetwork::setLoggerDelegate(const std::shared_ptr<CVUNetworkLoggerDelegate>& delegate) {
  if (!delegate) {
    CVULoggerLogError(
        kNetworkService, false, "I-NET900002",
        "Cannot set the network logger delegate: delegate does not conform to the network logger "
        "protocol.");
    return;
  }
  std::lock_guard lock(mutex_);
  loggerDelegate_ = delegate;
}

void CVUNetwork::setExtraTrustedCertificates(std::optional<std::filesystem::path> file) {
  std::lock_guard lock(mutex_);
  extraTrustedCertificates_ = std::move(file);
}

std::shared_ptr<CVUNetworkLoggerDelegate> CVUNetwork::loggerDelegate() const {
  std::lock_guard lock(mutex_);
  return loggerDelegate_.lock();
}

std::string CVUNetwork::formattedLine(int level, const std::optional<std::string>& message,
                                      const std::vector<CVUNetworkContext>& contexts) {
  std::string text = !message ? "(Message was nil)" : message->empty() ? "(Message was empty)" : *message;
  const char* name = levelName(level);
  std::string line = std::string("<Corvane/Utilities/Network/") + (name ? name : "(null)") + "> " + text;
  if (!contexts.empty()) {
    line += ": ";
    for (std::size_t i = 0; i < contexts.size(); ++i) {
      if (i > 0) line += ", ";
      line += contexts[i].value_or("(nil)");
    }
  }
  return line;
}

void CVUNetwork::CVUNetwork_logWithLevel(int level, std::int64_t messageCode,
                                         std::optional<std::string> message,
                                         std::vector<CVUNetworkContext> contexts) {
  if (auto delegate = loggerDelegate()) {
    return delegate->CVUNetwork_logWithLevel(level, messageCode, std::move(message), std::move(contexts));
  }
  if (!debugModeEnabled_.load() && level != kError && level != kWarning && level != kInfo) return;
  const std::string line = formattedLine(level, message, contexts);
  std::fprintf(stderr, "%s\n", line.c_str());
  CVULoggerLogMessage(level, kNetworkService, false, CVUNetworkMessageCode(messageCode), line);
}

void CVUNetwork::CVUNetwork_logWithLevel(int level, std::int64_t messageCode,
                                         std::optional<std::string> message, CVUNetworkContext context) {
  if (auto delegate = loggerDelegate()) {
    return delegate->CVUNetwork_logWithLevel(level, messageCode, std::move(message), std::move(context));
  }
  CVUNetwork_logWithLevel(level, messageCode, std::move(message),
                          std::vector<CVUNetworkContext>{std::move(context)});
}

void CVUNetwork::CVUNetwork_logWithLevel(int level, std::int64_t messageCode,
                                         std::optional<std::string> message) {
  if (auto delegate = loggerDelegate())
    return delegate->CVUNetwork_logWithLevel(level, messageCode, std::move(message));
  CVUNetwork_logWithLevel(level, messageCode, std::move(message), std::vector<CVUNetworkContext>{});
}

}  // namespace beacon
