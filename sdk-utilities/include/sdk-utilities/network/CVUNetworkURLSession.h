#pragma once
// CVUNetworkURLSession runs exactly one HTTP request of the HTTP client on a URL session of its own:
// a POST upload (from memory, or from a temporary file when background network is enabled) or a GET
// download. It gives each request a fresh session ID, collects the body, refuses the redirects 300,
// 301, 302 and 307 (the redirect is then the answer) and follows the others, and reports the outcome
// once through its completion on the main queue.
//
// What the completion gets: the response and the body, or an error. A POST whose answer arrived
// keeps it even when the connection failed afterwards (the server took the upload); a GET whose body
// was cut short gets the error and no response, so a truncated document is never taken for a whole
// one. An answer of either kind that outgrew the request's maximumResponseBytes (counted after
// content decoding) gets the error ResponseTooLarge of the HTTP layer and no response. A task that
// ended with neither response nor error gets code 5.
//
// Temporary files live in "<Application Support>/CVU/Network/CVUNetworkTemporaryDirectory": upload
// bodies ("CVUUpload_temp_<session ID>"), removed on completion, and download bodies while they
// arrive ("download-XXXXXX"), removed on every outcome; where that folder cannot be used, download
// bodies go to the net layer's folder in the system's temporary folder (UrlSession.h). Files older
// than an hour are removed on every POST and completion; the download files of a process that died
// mid-way, in either folder, by removeAbandonedDownloads.
//
// Class-level state: the map from session ID to the running object (held weakly; an entry is removed
// when its request completes) and the completion handlers handed over for background sessions. Both
// are safe on any thread. The object's own calls are meant for one thread at a time; its URL-session
// events arrive on the main queue.

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/net/UrlSession.h"
#include "sdk-utilities/network/CVUNetworkLogging.h"

namespace beacon {

inline constexpr const char* kCVUNetworkBackgroundUploadPrefix = "com.cvu.network.background-upload";
inline constexpr std::chrono::seconds kCVUNetworkTempFileExpiry{3600};

class CVUNetworkURLSession : public platform::UrlSessionDelegate,
                             public std::enable_shared_from_this<CVUNetworkURLSession> {
 public:
  using Completion = std::function<void(
      const std::optional<platform::HttpResponse>& response, const std::optional<platform::Bytes>& data,
      const std::string& sessionID, const std::optional<platform::Error>& error)>;

  static std::shared_ptr<CVUNetworkURLSession> create(std::weak_ptr<CVUNetworkLoggerDelegate> loggerDelegate);

  // Start the request; answer its session ID, or nullopt after delivering code 2.
  std::optional<std::string> sessionIDFromAsyncPOSTRequest(platform::HttpRequest request,
                                                           Completion completion);
  std::optional<std::string> sessionIDFromAsyncGETRequest(platform::HttpRequest request,
                                                          Completion completion);

  const std::string& sessionID() const { return sessionID_; }
  void setSessionID(std::string sessionID) { sessionID_ = std::move(sessionID); }
  bool isBackgroundNetworkEnabled() const { return backgroundNetworkEnabled_; }
  void setBackgroundNetworkEnabled(bool enabled) { backgroundNetworkEnabled_ = enabled; }
  void setLoggerDelegate(std::weak_ptr<CVUNetworkLoggerDelegate> delegate) {
    loggerDelegate_ = std::move(delegate);
  }
  const std::filesystem::path& networkDirectory() const { return networkDirectory_; }
  // Where a background POST's body is written.
  std::filesystem::path uploadFile() const;

  // Background-session relaunch events: IDs without the background-upload prefix are ignored.
  static void handleEventsForBackgroundURLSessionID(const std::string& sessionID,
                                                    std::function<void()> handler);
  static std::shared_ptr<CVUNetworkURLSession> fetcherWithSessionIdentifier(const std::string& sessionID);
  static void setSessionInFetcherMap(const std::shared_ptr<CVUNetworkURLSession>& session,
                                     const std::string& sessionID);
  static std::shared_ptr<CVUNetworkURLSession> sessionFromFetcherMapForSessionID(
      const std::string& sessionID);
  void addSystemCompletionHandler(std::function<void()> handler, const std::string& sessionID);
  void callSystemCompletionHandler(const std::string& sessionID);

  // Removes the download files that no running request holds from both folders downloads are kept in.
  static void removeAbandonedDownloads();
  // Removes the directory's files whose age differs from now by more than `expiry`.
  void maybeRemoveTempFiles(const std::filesystem::path& directory, std::chrono::seconds expiry);

  // URL-session events (main queue).
  void didReceiveData(platform::UrlSessionTask& task, const platform::Bytes& data) override;
  void didFinishDownloading(platform::UrlSessionTask& task, const std::filesystem::path& location) override;
  void didComplete(platform::UrlSessionTask& task, const std::optional<platform::HttpResponse>& response,
                   const std::optional<platform::Error>& error) override;

 private:
  explicit CVUNetworkURLSession(std::weak_ptr<CVUNetworkLoggerDelegate> loggerDelegate);

  std::optional<std::string> startTask(
      platform::UrlSessionConfiguration configuration,
      std::function<std::shared_ptr<platform::UrlSessionTask>(platform::UrlSession&)> makeTask,
      const platform::HttpRequest& request, Completion completion);
  platform::UrlSessionConfiguration configurationFor(const platform::HttpRequest& request,
                                                     bool background) const;
  bool ensureTemporaryDirectoryExists();
  void removeTempItem(const std::filesystem::path& item);
  void callCompletionHandler(Completion handler, std::optional<platform::HttpResponse> response,
                             std::optional<platform::Bytes> data, std::optional<platform::Error> error);
  void log(int level, std::int64_t code, const std::string& message,
           std::vector<CVUNetworkContext> contexts = {});

  std::string sessionID_;
  std::filesystem::path networkDirectory_;
  bool backgroundNetworkEnabled_ = false;
  std::weak_ptr<CVUNetworkLoggerDelegate> loggerDelegate_;

  std::shared_ptr<platform::UrlSession> session_;
  std::optional<platform::HttpRequest> request_;
  std::mutex mutex_;
  Completion completionHandler_;
  std::optional<platform::Bytes> downloadedData_;
};

}  // namespace beacon
