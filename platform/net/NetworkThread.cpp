#include "platform/net/NetworkThread.h"

#include <thread>

namespace platform::detail {
namespace {
thread_local bool onNetworkThread = false;
}

NetworkThread& NetworkThread::shared() {
  // Never destroyed: exchanges may still run while the process exits.
  static NetworkThread* thread = new NetworkThread();
  return *thread;
}

NetworkThread::NetworkThread() {
  curl_global_init(CURL_GLOBAL_DEFAULT);
  multi_ = curl_multi_init();
  std::thread([this] { run(); }).detach();
}

bool NetworkThread::isCurrent() const {
  return onNetworkThread;
}

void NetworkThread::post(std::function<void()> work) {
  {
    std::lock_guard lock(mutex_);
    posted_.push_back(std::move(work));
  }
  curl_multi_wakeup(multi_);
}

void NetworkThread::add(CURL* easy, std::function<void(CURLcode)> done) {
  running_.emplace(easy, std::move(done));
  curl_multi_add_handle(multi_, easy);
}

void NetworkThread::remove(CURL* easy) {
  if (running_.erase(easy) > 0) curl_multi_remove_handle(multi_, easy);
}

void NetworkThread::run() {
  onNetworkThread = true;
  for (;;) {
    std::vector<std::function<void()>> work;
    {
      std::lock_guard lock(mutex_);
      work.swap(posted_);
    }
    for (auto& item : work) item();

    int stillRunning = 0;
    curl_multi_perform(multi_, &stillRunning);
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(multi_, &queued)) {
      if (message->msg != CURLMSG_DONE) continue;
      CURL* easy = message->easy_handle;
      const CURLcode result = message->data.result;
      auto found = running_.find(easy);
      if (found == running_.end()) continue;
      auto done = std::move(found->second);
      running_.erase(found);
      curl_multi_remove_handle(multi_, easy);
      done(result);
    }
    curl_multi_poll(multi_, nullptr, 0, 1000, nullptr);
  }
}

}  // namespace platform::detail
