#pragma once
// CVUNetwork is the SDK's small HTTP front: one instance per remote service, made with the host
// whose reachability it watches. It posts gzip-compressed uploads and gets documents, each request in
// a CVUNetworkURLSession of its own that it keeps until the request's completion ran.
//
// POST: the body is the gzip form of the payload (empty for an empty payload), with
// "Content-Length", "Content-Type: application/x-www-form-urlencoded" and "Content-Encoding: gzip"
// replacing caller headers of the same name. GET: the caller's headers only. Requests time out
// after timeoutInterval seconds (60 when it is 0). No answer body may grow past its bound, counted
// after content decoding (kCVUNetworkMaximumResponseBytes; a GET can ask for less): past it the
// transfer is aborted and the completion gets the HTTP layer's ResponseTooLarge error and no response.
//
// Making an instance sweeps away the download files that a process which died mid-request left in
// the SDK's temporary network folder.
//
// The completion runs once, always asynchronously, on the caller's queue (the main queue without
// one), with (response, body, error). When a request cannot start, the call answers nullopt and the
// completion gets the error. Destroying the instance drops the completions of its requests.
//
// Reachability changes arrive on the main queue and set isNetworkConnected (statuses 2 and 3 count
// as connected). The request calls, the flags and the setters may be used from any thread; delegates
// are held weakly.
//
// Log lines of the network layer go to the logger delegate when there is one; otherwise this object
// prints them itself ("<Corvane/Utilities/Network/LEVEL> message: contexts") to standard error and
// the utilities logger, dropping every level but 3, 4 and 6 unless debug mode is on.

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/dispatch/Queue.h"
#include "platform/net/HttpMessage.h"
#include "sdk-utilities/collections/CVUMutableDictionary.h"
#include "sdk-utilities/network/CVUNetworkLogging.h"
#include "sdk-utilities/network/CVUNetworkURLSession.h"
#include "sdk-utilities/reachability/CVUReachabilityChecker.h"

namespace beacon {

inline constexpr std::size_t kCVUNetworkMaximumResponseBytes =
    platform::HttpRequest::kDefaultMaximumResponseBytes;

class CVUNetworkReachabilityDelegate {
 public:
  virtual ~CVUNetworkReachabilityDelegate() = default;
  virtual void reachabilityDidChange() = 0;
};

class CVUNetwork : public CVUReachabilityDelegate,
                   public CVUNetworkLoggerDelegate,
                   public std::enable_shared_from_this<CVUNetwork> {
 public:
  using Completion = std::function<void(const std::optional<platform::HttpResponse>& response,
                                        const std::optional<platform::Bytes>& data,
                                        const std::optional<platform::Error>& error)>;

  // Watches the upload service's host.
  static std::shared_ptr<CVUNetwork> create();
  // Null when the reachability checker cannot start (an empty host included).
  static std::shared_ptr<CVUNetwork> createWithReachabilityHost(
      std::string host, const platform::ReachabilityApi* api = nullptr);
  ~CVUNetwork() override;

  static void handleEventsForBackgroundURLSessionID(const std::string& sessionID,
                                                    std::function<void()> handler);

  std::optional<std::string> postURL(const std::string& url, std::optional<platform::HttpHeaders> headers,
                                     std::optional<platform::Bytes> payload, platform::QueueRef queue,
                                     bool usingBackgroundSession, Completion completion);
  std::optional<std::string> getURL(const std::string& url, std::optional<platform::HttpHeaders> headers,
                                    platform::QueueRef queue, bool usingBackgroundSession,
                                    Completion completion,
                                    std::size_t maximumResponseBytes = kCVUNetworkMaximumResponseBytes);

  // True while a request started here has not had its completion run (GETs count too).
  bool hasUploadInProgress() const { return requests_.count() > 0; }
  bool isNetworkConnected() const { return networkConnected_.load(); }
  bool isDebugModeEnabled() const { return debugModeEnabled_.load(); }
  void setIsDebugModeEnabled(bool enabled) { debugModeEnabled_.store(enabled); }
  double timeoutInterval() const { return timeoutInterval_.load(); }
  void setTimeoutInterval(double seconds) { timeoutInterval_.store(seconds); }
  void setReachabilityDelegate(std::weak_ptr<CVUNetworkReachabilityDelegate> delegate);
  // A null delegate is refused (900002 to the utilities logger); the previous one stays.
  void setLoggerDelegate(const std::shared_ptr<CVUNetworkLoggerDelegate>& delegate);
  // Additional trusted certificates for every request (a test's own TLS server).
  void setExtraTrustedCertificates(std::optional<std::filesystem::path> file);

  // The request the next POST or GET would send, for `url` and `headers`.
  platform::HttpRequest requestFor(const std::string& url,
                                   const std::optional<platform::HttpHeaders>& headers) const;

  void reachabilityStatusChanged(CVUReachabilityChecker& checker, CVUReachabilityStatus status) override;

  void CVUNetwork_logWithLevel(int level, std::int64_t messageCode, std::optional<std::string> message,
                               std::vector<CVUNetworkContext> contexts) override;
  void CVUNetwork_logWithLevel(int level, std::int64_t messageCode, std::optional<std::string> message,
                               CVUNetworkContext context) override;
  void CVUNetwork_logWithLevel(int level, std::int64_t messageCode,
                               std::optional<std::string> message) override;

  // The line this object prints for a message when it has no logger delegate.
  static std::string formattedLine(int level, const std::optional<std::string>& message,
                                   const std::vector<CVUNetworkContext>& contexts);

 private:
  CVUNetwork() = default;
  // Fills in the request's method, headers and body; answers the failure code when it cannot.
  using Prepare = std::function<std::optional<std::int64_t>(platform::HttpRequest&)>;
  using Start = std::function<std::optional<std::string>(CVUNetworkURLSession&, platform::HttpRequest,
                                                         CVUNetworkURLSession::Completion)>;
  std::optional<std::string> startRequest(const std::string& url,
                                          const std::optional<platform::HttpHeaders>& headers,
                                          platform::QueueRef queue, bool background, std::int64_t messageCode,
                                          const char* message, Completion completion, const Prepare& prepare,
                                          const Start& start);
  void handleErrorWithCode(std::int64_t code, const platform::QueueRef& queue, Completion handler);
  std::shared_ptr<CVUNetworkLoggerDelegate> loggerDelegate() const;

  std::unique_ptr<CVUReachabilityChecker> reachability_;
  CVUMutableDictionary<std::string, std::shared_ptr<CVUNetworkURLSession>> requests_;
  std::atomic<bool> networkConnected_{false};
  std::atomic<bool> debugModeEnabled_{false};
  std::atomic<double> timeoutInterval_{60};

  mutable std::mutex mutex_;
  std::weak_ptr<CVUNetworkReachabilityDelegate> reachabilityDelegate_;
  std::weak_ptr<CVUNetworkLoggerDelegate> loggerDelegate_;
  std::optional<std::filesystem::path> extraTrustedCertificates_;
};

}  // namespace beacon
