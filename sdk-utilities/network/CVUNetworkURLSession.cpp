#include "sdk-utilities/network/CVUNetworkURLSession.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>

#include "platform/dispatch/Queue.h"
#include "platform/identity/UUID.h"
#include "platform/net/HttpError.h"
#include "platform/paths/ApplicationDirectories.h"
#include "platform/paths/FileIO.h"
#include "sdk-utilities/collections/CVUMutableDictionary.h"
#include "sdk-utilities/logger/CVULogger.h"

namespace beacon {
namespace {

using namespace cvu_network_log_level;

struct FetcherMap {
  std::mutex mutex;
  std::map<std::string, std::weak_ptr<CVUNetworkURLSession>> sessions;
};
FetcherMap& fetcherMap() {
  static FetcherMap* map = new FetcherMap();
  return *map;
}

CVUMutableDictionary<std::string, std::function<void()>>& systemCompletionHandlers() {
  static auto* handlers = new CVUMutableDictionary<std::string, std::function<void()>>();
  return *handlers;
}

// The redirects this layer refuses; their response becomes the answer.
bool followsRedirect(long statusCode) {
  return statusCode != 300 && statusCode != 301 && statusCode != 302 && statusCode != 307;
}

std::filesystem::path defaultNetworkDirectory() {
  auto support = platform::applicationSupportDirectory();
  if (!support) return {};
  return *support / "CVU" / "Network" / "CVUNetworkTemporaryDirectory";
}

}  // namespace

std::shared_ptr<CVUNetworkURLSession> CVUNetworkURLSession::create(
    std::weak_ptr<CVUNetworkLoggerDelegate> loggerDelegate) {
  return std::shared_ptr<CVUNetworkURLSession>(new CVUNetworkURLSession(std::move(loggerDelegate)));
}

CVUNetworkURLSession::CVUNetworkURLSession(std::weak_ptr<CVUNetworkLoggerDelegate> loggerDelegate)
    : sessionID_(std::string(kCVUNetworkBackgroundUploadPrefix) + "-" +
                 platform::UUID::random().uuidString()),
      networkDirectory_(defaultNetworkDirectory()),
      loggerDelegate_(std::move(loggerDelegate)) {}

std::filesystem::path CVUNetworkURLSession::uploadFile() const {
  if (networkDirectory_.empty()) return {};
  return networkDirectory_ / ("CVUUpload_temp_" + sessionID_);
}

platform::UrlSessionConfiguration CVUNetworkURLSession::configurationFor(const platform::HttpRequest& request,
                                                                         bool background) const {
  platform::UrlSessionConfiguration configuration;
  if (background) configuration.identifier = sessionID_;
  configuration.additionalHeaders = request.headers;
  configuration.timeout = request.timeout;
  configuration.extraTrustedCertificates = request.extraTrustedCertificates;
  configuration.followRedirect = followsRedirect;
  configuration.downloadDirectory = networkDirectory_;
  return configuration;
}

std::optional<std::string> CVUNetworkURLSession::sessionIDFromAsyncPOSTRequest(platform::HttpRequest request,
                                                                               Completion completion) {
  maybeRemoveTempFiles(networkDirectory_, kCVUNetworkTempFileExpiry);
  if (backgroundNetworkEnabled_ && ensureTemporaryDirectoryExists()) {
    const auto file = uploadFile();
    auto written = platform::writeFileAtomically(file, request.body);
    if (!written) {
      log(kError, 901000, "Failed to write request data to file", {written.error().debugDescription()});
    } else {
      return startTask(
          configurationFor(request, true),
          [request, file](platform::UrlSession& session) { return session.uploadTask(request, file); },
          request, std::move(completion));
    }
  }
  platform::Bytes body = std::move(request.body);
  request.body.clear();
  return startTask(
      configurationFor(request, false),
      [request, body](platform::UrlSession& session) { return session.uploadTask(request, body); }, request,
      std::move(completion));
}

std::optional<std::string> CVUNetworkURLSession::sessionIDFromAsyncGETRequest(platform::HttpRequest request,
                                                                              Completion completion) {
  return startTask(
      configurationFor(request, backgroundNetworkEnabled_),
      [request](platform::UrlSession& session) { return session.downloadTask(request); }, request,
      std::move(completion));
}

std::optional<std::string> CVUNetworkURLSession::startTask(
    platform::UrlSessionConfiguration configuration,
    std::function<std::shared_ptr<platform::UrlSessionTask>(platform::UrlSession&)> makeTask,
    const platform::HttpRequest& request, Completion completion) {
  auto session =
      platform::UrlSession::create(std::move(configuration), weak_from_this(), platform::mainQueue());
  auto task = session ? makeTask(*session) : nullptr;
  if (!task) {
    callCompletionHandler(
        std::move(completion), std::nullopt, std::nullopt,
        CVUNetworkError(kCVUNetworkErrorCodeSessionNotCreated, "Cannot create network session"));
    return std::nullopt;
  }
  session_ = std::move(session);
  setSessionInFetcherMap(shared_from_this(), sessionID_);
  request_ = request;
  {
    std::lock_guard lock(mutex_);
    completionHandler_ = std::move(completion);
    downloadedData_.reset();
  }
  if (request.url.starts_with("https:"))
    log(kDebug, 901006, "Received SSL challenge for host. Host", {request.url});
  task->resume();
  return sessionID_;
}

void CVUNetworkURLSession::didReceiveData(platform::UrlSessionTask&, const platform::Bytes& data) {
  std::lock_guard lock(mutex_);
  if (!downloadedData_) downloadedData_.emplace();
  downloadedData_->insert(downloadedData_->end(), data.begin(), data.end());
}

void CVUNetworkURLSession::didFinishDownloading(platform::UrlSessionTask&,
                                                const std::filesystem::path& location) {
  if (location.empty()) {
    log(kError, 901001, "Unable to read downloaded data from empty temp path");
    std::lock_guard lock(mutex_);
    downloadedData_.reset();
    return;
  }
  auto contents = platform::readFile(location);
  if (!contents)
    log(kError, 901002, "Cannot read the content of downloaded data", {contents.error().debugDescription()});
  std::lock_guard lock(mutex_);
  downloadedData_ = contents ? std::optional<platform::Bytes>(std::move(*contents)) : std::nullopt;
}

void CVUNetworkURLSession::didComplete(platform::UrlSessionTask& task,
                                       const std::optional<platform::HttpResponse>& response,
                                       const std::optional<platform::Error>& error) {
  Completion handler;
  std::optional<platform::Bytes> data;
  {
    std::lock_guard lock(mutex_);
    handler = std::move(completionHandler_);
    completionHandler_ = nullptr;
    data = std::move(downloadedData_);
    downloadedData_.reset();
  }
  if (error && error->is(platform::kHttpErrorDomain, platform::HttpErrorCode::ServerUntrusted)) {
    log(kDebug, 901007, "Cancelling authentication challenge for host. Host", {task.originalRequest().url});
  }
  std::optional<platform::HttpResponse> delivered = response;
  std::optional<platform::Error> failure;
  const bool isDownload = task.kind() == platform::UrlSessionTask::Kind::Download;
  const bool overBound =
      error && error->is(platform::kHttpErrorDomain, platform::HttpErrorCode::ResponseTooLarge);
  if (response && error && (isDownload || overBound)) {
    // A document cut short must never pass for a whole one, nor an answer stopped at the size bound
    // for a good one.
    delivered.reset();
    data.reset();
    failure = error;
  } else if (!response) {
    failure =
        error ? *error
              : CVUNetworkError(kCVUNetworkErrorCodeEmptyResponse, "Network Error: Empty network response");
  }
  callCompletionHandler(std::move(handler), std::move(delivered), std::move(data), std::move(failure));

  removeTempItem(uploadFile());
  maybeRemoveTempFiles(networkDirectory_, kCVUNetworkTempFileExpiry);
  if (session_) session_->finishTasksAndInvalidate();
  setSessionInFetcherMap(nullptr, sessionID_);
}

void CVUNetworkURLSession::callCompletionHandler(Completion handler,
                                                 std::optional<platform::HttpResponse> response,
                                                 std::optional<platform::Bytes> data,
                                                 std::optional<platform::Error> error) {
  if (error)
    log(kError, 901017, "Encounter network error. Code, error",
        {std::to_string(error->code), error->debugDescription()});
  if (!handler) return;
  platform::mainQueue()->async([handler = std::move(handler), response = std::move(response),
                                data = std::move(data), sessionID = sessionID_,
                                error = std::move(error)] { handler(response, data, sessionID, error); });
}

void CVUNetworkURLSession::removeAbandonedDownloads() {
  // The folder downloads fall back to is swept also when the SDK's own cannot be named.
  platform::UrlSession::removeAbandonedDownloads(defaultNetworkDirectory());
}

void CVUNetworkURLSession::maybeRemoveTempFiles(const std::filesystem::path& directory,
                                                std::chrono::seconds expiry) {
  if (directory.empty()) return;
  std::error_code listError;
  std::filesystem::directory_iterator entries(directory, listError);
  if (listError) {
    if (listError != std::errc::no_such_file_or_directory) {
      log(kDebug, 901012, "Cannot get files from the temporary network folder. Error", {listError.message()});
    }
    return;
  }
  // Files are never rewritten after they are made, so their modification time is their creation time.
  const auto now = std::filesystem::file_time_type::clock::now();
  for (const auto& entry : entries) {
    std::error_code timeError;
    const auto written = entry.last_write_time(timeError);
    if (timeError) continue;
    const auto age = std::chrono::duration_cast<std::chrono::seconds>(now - written);
    if (std::chrono::abs(age) > expiry) removeTempItem(entry.path());
  }
}

void CVUNetworkURLSession::removeTempItem(const std::filesystem::path& item) {
  if (item.empty()) return;
  std::error_code removeError;
  std::filesystem::remove(item, removeError);
  if (removeError && removeError != std::errc::no_such_file_or_directory) {
    log(kError, 901013, "Failed to remove temporary uploading data file. Error", {removeError.message()});
  }
}

bool CVUNetworkURLSession::ensureTemporaryDirectoryExists() {
  if (networkDirectory_.empty()) return false;
  std::error_code accessError;
  if (std::filesystem::is_directory(networkDirectory_, accessError)) return true;
  if (accessError && accessError != std::errc::no_such_file_or_directory) {
    log(kWarning, 901014, "Error while trying to access Network temp folder. Error", {accessError.message()});
  }
  auto created = platform::createDirectories(networkDirectory_);
  if (!created) {
    log(kError, 901015, "Cannot create temporary directory. Error", {created.error().debugDescription()});
    return false;
  }
  return true;
}

void CVUNetworkURLSession::setSessionInFetcherMap(const std::shared_ptr<CVUNetworkURLSession>& session,
                                                  const std::string& sessionID) {
  std::shared_ptr<CVUNetworkURLSession> replaced;
  {
    std::lock_guard lock(fetcherMap().mutex);
    auto& sessions = fetcherMap().sessions;
    if (auto found = sessions.find(sessionID); found != sessions.end()) {
      replaced = found->second.lock();
      sessions.erase(found);
    }
    if (session) sessions.emplace(sessionID, session);
  }
  if (replaced && replaced != session) {
    if (session) replaced->log(kInfo, 901019, "Discarding session: " + replaced->sessionID_);
    if (replaced->session_) replaced->session_->finishTasksAndInvalidate();
  }
}

std::shared_ptr<CVUNetworkURLSession> CVUNetworkURLSession::sessionFromFetcherMapForSessionID(
    const std::string& sessionID) {
  std::lock_guard lock(fetcherMap().mutex);
  auto& sessions = fetcherMap().sessions;
  auto found = sessions.find(sessionID);
  return found == sessions.end() ? nullptr : found->second.lock();
}

std::shared_ptr<CVUNetworkURLSession> CVUNetworkURLSession::fetcherWithSessionIdentifier(
    const std::string& sessionID) {
  if (auto session = sessionFromFetcherMapForSessionID(sessionID)) return session;
  if (!sessionID.starts_with(kCVUNetworkBackgroundUploadPrefix)) return nullptr;
  auto session = create({});
  session->setSessionID(sessionID);
  setSessionInFetcherMap(session, sessionID);
  return session;
}

void CVUNetworkURLSession::handleEventsForBackgroundURLSessionID(const std::string& sessionID,
                                                                 std::function<void()> handler) {
  if (!sessionID.starts_with(kCVUNetworkBackgroundUploadPrefix)) return;
  auto session = fetcherWithSessionIdentifier(sessionID);
  if (!session) {
    CVULoggerLogError("[CVUNetwork]", false, "I-NET900003",
                      "Failed to retrieve background session with ID %@ after app is relaunched.", sessionID);
    return;
  }
  session->addSystemCompletionHandler(std::move(handler), sessionID);
}

void CVUNetworkURLSession::addSystemCompletionHandler(std::function<void()> handler,
                                                      const std::string& sessionID) {
  if (!handler) return log(kError, 901009, "Cannot store nil system completion handler in network");
  if (sessionID.empty()) {
    return log(kError, 901010,
               "Cannot store system completion handler with empty network session identifier");
  }
  if (systemCompletionHandlers()[sessionID]) {
    log(kWarning, 901011, "Got multiple system handlers for a single session ID", {sessionID});
  }
  systemCompletionHandlers().setObject(std::move(handler), sessionID);
}

void CVUNetworkURLSession::callSystemCompletionHandler(const std::string& sessionID) {
  auto handler = systemCompletionHandlers()[sessionID];
  systemCompletionHandlers().removeObjectForKey(sessionID);
  if (handler) platform::mainQueue()->async(std::move(*handler));
}

void CVUNetworkURLSession::log(int level, std::int64_t code, const std::string& message,
                               std::vector<CVUNetworkContext> contexts) {
  if (auto delegate = loggerDelegate_.lock())
    delegate->CVUNetwork_logWithLevel(level, code, message, std::move(contexts));
}

}  // namespace beacon
