#pragma once
// Internal: a one-time signal from the thread that runs a queue to a thread blocked in sync.
// Depending on the backend it means "your turn: the queue is yours" or "your block has run";
// `error` carries an exception the block threw on the signalling thread.

#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>

namespace platform::detail {

class SyncHandoff {
 public:
  void signal(std::exception_ptr error = nullptr) {
    {
      std::lock_guard lock(mutex_);
      signalled_ = true;
      error_ = error;
    }
    condition_.notify_one();
  }

  // Blocks until signalled; rethrows the carried exception.
  void wait() {
    std::unique_lock lock(mutex_);
    condition_.wait(lock, [this] { return signalled_; });
    if (error_) std::rethrow_exception(error_);
  }

 private:
  std::mutex mutex_;
  std::condition_variable condition_;
  bool signalled_ = false;
  std::exception_ptr error_;
};

// One entry of a queue's FIFO: an async block, or a sync caller waiting for its turn.
struct WorkItem {
  std::function<void()> block;
  std::shared_ptr<SyncHandoff> handoff;
};

}  // namespace platform::detail
