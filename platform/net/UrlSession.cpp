#include "platform/net/UrlSession.h"

#include <atomic>
#include <mutex>
#include <set>

#include "platform/net/DownloadFile.h"
#include "platform/net/HttpError.h"
#include "platform/net/HttpExchange.h"

namespace platform {

void UrlSessionDelegate::didReceiveData(UrlSessionTask&, const Bytes&) {}
void UrlSessionDelegate::didFinishDownloading(UrlSessionTask&, const std::filesystem::path&) {}

namespace detail {

struct UrlSessionCore {
  UrlSessionConfiguration configuration;
  std::weak_ptr<UrlSessionDelegate> delegate;
  QueueRef queue;

  std::mutex mutex;
  bool acceptingTasks = true;
  // Set by invalidateAndCancel: delegate calls not yet started are dropped.
  std::atomic<bool> silenced{false};
  std::set<std::shared_ptr<UrlSessionTask>> running;

  // Runs `call` with the delegate on the delegate queue, unless the session was silenced by then.
  void deliver(std::function<void(UrlSessionDelegate&)> call) {
    queue->async([this, keep = shared(), call = std::move(call)] {
      if (silenced.load()) return;
      if (auto target = delegate.lock()) call(*target);
    });
  }
  std::shared_ptr<UrlSessionCore> shared();
  std::weak_ptr<UrlSessionCore> self;
};

std::shared_ptr<UrlSessionCore> UrlSessionCore::shared() {
  return self.lock();
}

}  // namespace detail

namespace {
std::uint64_t nextTaskIdentifier() {
  static std::atomic<std::uint64_t> next{1};
  return next++;
}

// In the session's folder; in the fallback folder when it names none or it cannot be used (a download
// still works where the folder's owner lost it).
std::shared_ptr<detail::DownloadFile> makeDownloadFile(const UrlSessionConfiguration& configuration) {
  if (!configuration.downloadDirectory.empty()) {
    if (auto file = detail::DownloadFile::make(configuration.downloadDirectory)) return file;
  }
  std::optional<std::filesystem::path> fallback = detail::fallbackDownloadFolder(true);
  return fallback ? detail::DownloadFile::make(*fallback) : nullptr;
}
}  // namespace

UrlSessionTask::UrlSessionTask(std::shared_ptr<detail::UrlSessionCore> core, Kind kind, HttpRequest request)
    : core_(std::move(core)), kind_(kind), request_(std::move(request)), identifier_(nextTaskIdentifier()) {}

std::optional<HttpResponse> UrlSessionTask::response() const {
  std::lock_guard lock(mutex_);
  return response_;
}

void UrlSessionTask::resume() {
  std::unique_lock lock(mutex_);
  if (resumed_) return;
  resumed_ = true;
  {
    std::lock_guard sessionLock(core_->mutex);
    if (core_->silenced.load()) {
      lock.unlock();
      return finish(std::nullopt, makeHttpError(HttpErrorCode::Cancelled, "The session was invalidated."));
    }
    core_->running.insert(shared_from_this());
  }

  std::shared_ptr<detail::DownloadFile> download;
  if (kind_ == Kind::Download) {
    download = makeDownloadFile(core_->configuration);
    if (!download) {
      lock.unlock();
      return finish(std::nullopt,
                    makeHttpError(HttpErrorCode::Transport, "Cannot make a file for the download."));
    }
  }

  std::weak_ptr<UrlSessionTask> weak = weak_from_this();
  detail::ExchangeHandlers handlers;
  handlers.onResponse = [weak](const HttpResponse& head) {
    if (auto task = weak.lock()) {
      std::lock_guard taskLock(task->mutex_);
      task->response_ = head;
    }
  };
  handlers.onBody = [weak, download](const std::uint8_t* data, std::size_t length) -> std::optional<Error> {
    if (download) {
      if (!download->write(data, length))
        return makeHttpError(HttpErrorCode::Transport, "Cannot write the downloaded data.");
      return std::nullopt;
    }
    if (auto task = weak.lock()) {
      task->core_->deliver([task, piece = Bytes(data, data + length)](UrlSessionDelegate& delegate) {
        delegate.didReceiveData(*task, piece);
      });
    }
    return std::nullopt;
  };
  // The download file goes with the last holder: the delegate call, or this handler when the task
  // or its session is gone.
  handlers.onComplete = [weak, download](std::optional<HttpResponse> head,
                                         std::optional<Error> error) mutable {
    if (download && !error && !download->flush())
      error = makeHttpError(HttpErrorCode::Transport, "Cannot write the downloaded data.");
    if (auto task = weak.lock()) task->finish(std::move(head), std::move(error), std::move(download));
  };
  exchange_ = detail::startExchange(request_, std::move(handlers));
}

void UrlSessionTask::cancel() {
  std::lock_guard lock(mutex_);
  if (exchange_) detail::cancelExchange(*exchange_);
}

void UrlSessionTask::finish(std::optional<HttpResponse> head, std::optional<Error> error,
                            std::shared_ptr<detail::DownloadFile> download) {
  auto self = shared_from_this();
  core_->deliver([self, download = std::move(download), head = std::move(head),
                  error = std::move(error)](UrlSessionDelegate& delegate) {
    if (download && !error) delegate.didFinishDownloading(*self, download->path());
    delegate.didComplete(*self, head, error);
  });
  std::lock_guard sessionLock(core_->mutex);
  core_->running.erase(self);
}

std::shared_ptr<UrlSession> UrlSession::create(UrlSessionConfiguration configuration,
                                               std::weak_ptr<UrlSessionDelegate> delegate,
                                               QueueRef delegateQueue) {
  auto core = std::make_shared<detail::UrlSessionCore>();
  core->configuration = std::move(configuration);
  core->delegate = std::move(delegate);
  core->queue = std::move(delegateQueue);
  core->self = core;
  return std::shared_ptr<UrlSession>(new UrlSession(std::move(core)));
}

UrlSession::~UrlSession() {
  invalidateAndCancel();
}

const UrlSessionConfiguration& UrlSession::configuration() const {
  return core_->configuration;
}

std::shared_ptr<UrlSessionTask> UrlSession::makeTask(UrlSessionTask::Kind kind, HttpRequest request) {
  const UrlSessionConfiguration& configuration = core_->configuration;
  for (const auto& [name, value] : configuration.additionalHeaders.fields()) {
    if (!request.headers.contains(name)) request.headers.add(name, value);
  }
  if (configuration.timeout) request.timeout = *configuration.timeout;
  if (configuration.extraTrustedCertificates)
    request.extraTrustedCertificates = configuration.extraTrustedCertificates;
  if (configuration.followRedirect) request.followRedirect = configuration.followRedirect;
  std::lock_guard lock(core_->mutex);
  if (!core_->acceptingTasks) return nullptr;
  return std::make_shared<UrlSessionTask>(core_, kind, std::move(request));
}

std::shared_ptr<UrlSessionTask> UrlSession::dataTask(HttpRequest request) {
  return makeTask(UrlSessionTask::Kind::Data, std::move(request));
}

std::shared_ptr<UrlSessionTask> UrlSession::uploadTask(HttpRequest request, Bytes body) {
  request.body = std::move(body);
  request.bodyFile.reset();
  return makeTask(UrlSessionTask::Kind::Upload, std::move(request));
}

std::shared_ptr<UrlSessionTask> UrlSession::uploadTask(HttpRequest request, std::filesystem::path bodyFile) {
  request.body.clear();
  request.bodyFile = std::move(bodyFile);
  return makeTask(UrlSessionTask::Kind::Upload, std::move(request));
}

std::shared_ptr<UrlSessionTask> UrlSession::downloadTask(HttpRequest request) {
  return makeTask(UrlSessionTask::Kind::Download, std::move(request));
}

void UrlSession::removeAbandonedDownloads(const std::filesystem::path& downloadDirectory) {
  if (!downloadDirectory.empty()) detail::removeAbandonedDownloadFiles(downloadDirectory);
  if (std::optional<std::filesystem::path> fallback = detail::fallbackDownloadFolder(false))
    detail::removeAbandonedDownloadFiles(*fallback);
}

void UrlSession::finishTasksAndInvalidate() {
  std::lock_guard lock(core_->mutex);
  core_->acceptingTasks = false;
}

void UrlSession::invalidateAndCancel() {
  std::set<std::shared_ptr<UrlSessionTask>> running;
  {
    std::lock_guard lock(core_->mutex);
    core_->acceptingTasks = false;
    core_->silenced = true;
    running.swap(core_->running);
  }
  for (const auto& task : running) task->cancel();
}

}  // namespace platform
