#pragma once
// URL sessions: a session runs tasks (one HTTP exchange each) and reports their events to one
// delegate on one queue.
//
// A session has a configuration (identifier, header fields added to every request that lacks them,
// time-out, extra trusted certificates, the redirect decision) and makes three kinds of task: data
// tasks (the body arrives in pieces through didReceiveData), upload tasks (a body from memory or
// from a file, the answer as for data tasks) and download tasks (the body is written to a temporary
// file handed to didFinishDownloading, removed again once that call returns; a task that fails
// removes its file too). Every body is bounded by its request's maximumResponseBytes, counted after
// content decoding: past it the task fails with ResponseTooLarge. Every task ends with
// exactly one didComplete: the final response's head when one arrived, and the failure when there
// was one (a body cut short after the head gives both).
//
// Delegate calls run on the delegate queue, in the order of each task's events. The session holds
// its delegate weakly. The exchanges run on the net layer's network thread.
//
// Ending a session: finishTasksAndInvalidate() takes no new tasks and lets the running ones finish
// (their delegate calls still come). invalidateAndCancel() - also what destroying the session does
// - cancels the running tasks, and no delegate call starts after it returned.
//
// Sessions and tasks may be used from any thread.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/dispatch/Queue.h"
#include "platform/error/Error.h"
#include "platform/net/HttpMessage.h"

namespace platform {

struct UrlSessionConfiguration {
  // Empty for an ordinary session; a background upload session carries its session ID here.
  std::string identifier;
  // Added to each request that has no field of the same name.
  HttpHeaders additionalHeaders;
  // When set, every request's time-out.
  std::optional<std::chrono::milliseconds> timeout;
  // A PEM file of certificate authorities trusted besides the system's.
  std::optional<std::filesystem::path> extraTrustedCertificates;
  // Asked for each redirect (its status code), on the network thread: true follows it, false makes
  // the redirect response the task's answer. Empty: every redirect is followed.
  std::function<bool(long statusCode)> followRedirect;
  // Where download tasks keep a body while it arrives ("download-XXXXXX", made when missing); when
  // empty or unusable, a folder of this user's alone in the system's temporary folder
  // ("velloran-downloads-<user ID>").
  std::filesystem::path downloadDirectory;
};

class UrlSessionTask;

class UrlSessionDelegate {
 public:
  virtual ~UrlSessionDelegate() = default;
  // Data and upload tasks: the next piece of the body.
  virtual void didReceiveData(UrlSessionTask& task, const Bytes& data);
  // Download tasks: the whole body, in a file that is removed when this returns.
  virtual void didFinishDownloading(UrlSessionTask& task, const std::filesystem::path& location);
  // Every task, last.
  virtual void didComplete(UrlSessionTask& task, const std::optional<HttpResponse>& response,
                           const std::optional<Error>& error) = 0;
};

namespace detail {
struct UrlSessionCore;
class DownloadFile;
}  // namespace detail

class UrlSessionTask : public std::enable_shared_from_this<UrlSessionTask> {
 public:
  enum class Kind { Data, Upload, Download };

  UrlSessionTask(std::shared_ptr<detail::UrlSessionCore> core, Kind kind, HttpRequest request);
  UrlSessionTask(const UrlSessionTask&) = delete;
  UrlSessionTask& operator=(const UrlSessionTask&) = delete;

  std::uint64_t taskIdentifier() const { return identifier_; }
  Kind kind() const { return kind_; }
  // The request as the session sends it (configuration applied).
  const HttpRequest& originalRequest() const { return request_; }
  // The final response's head, once it arrived.
  std::optional<HttpResponse> response() const;

  // Starts the task; later calls do nothing. A task of an invalidated session completes with Cancelled.
  void resume();
  // Ends a running task with Cancelled.
  void cancel();

 private:
  void finish(std::optional<HttpResponse> head, std::optional<Error> error,
              std::shared_ptr<detail::DownloadFile> download = nullptr);

  std::shared_ptr<detail::UrlSessionCore> core_;
  const Kind kind_;
  const HttpRequest request_;
  const std::uint64_t identifier_;

  mutable std::mutex mutex_;
  bool resumed_ = false;
  std::optional<std::uint64_t> exchange_;
  std::optional<HttpResponse> response_;
};

class UrlSession : public std::enable_shared_from_this<UrlSession> {
 public:
  static std::shared_ptr<UrlSession> create(UrlSessionConfiguration configuration,
                                            std::weak_ptr<UrlSessionDelegate> delegate,
                                            QueueRef delegateQueue);
  ~UrlSession();
  UrlSession(const UrlSession&) = delete;
  UrlSession& operator=(const UrlSession&) = delete;

  const UrlSessionConfiguration& configuration() const;

  // New tasks, not yet resumed; nullptr once the session is invalidated.
  std::shared_ptr<UrlSessionTask> dataTask(HttpRequest request);
  std::shared_ptr<UrlSessionTask> uploadTask(HttpRequest request, Bytes body);
  std::shared_ptr<UrlSessionTask> uploadTask(HttpRequest request, std::filesystem::path bodyFile);
  std::shared_ptr<UrlSessionTask> downloadTask(HttpRequest request);

  void finishTasksAndInvalidate();
  void invalidateAndCancel();

  // Removes the download files a process that died mid-download left in `downloadDirectory` (none
  // when empty) and in the folder in the system's temporary folder that downloads fall back to;
  // files of tasks still running, in this process or another, stay.
  static void removeAbandonedDownloads(const std::filesystem::path& downloadDirectory);

 private:
  explicit UrlSession(std::shared_ptr<detail::UrlSessionCore> core) : core_(std::move(core)) {}
  std::shared_ptr<UrlSessionTask> makeTask(UrlSessionTask::Kind kind, HttpRequest request);

  std::shared_ptr<detail::UrlSessionCore> core_;
};

}  // namespace platform
