#pragma once
// The process's one network thread: it runs every HTTP transfer of the process through a single
// libcurl multi handle, so any number of exchanges wait on the network without holding a thread
// each. Internal to the net layer.
//
// Everything that touches a transfer handle runs on this thread: other threads hand work over with
// post(), which wakes the thread at once. The thread is made on first use and lives as long as the
// process.

#include <curl/curl.h>

#include <functional>
#include <map>
#include <mutex>
#include <vector>

namespace platform::detail {

class NetworkThread {
 public:
  static NetworkThread& shared();

  // Runs `work` on the network thread soon. Any thread; never runs it inline.
  void post(std::function<void()> work);

  // Network thread only. Starts `easy`; `done` runs once on this thread when the transfer ends with
  // libcurl's result, unless the transfer is removed first.
  void add(CURL* easy, std::function<void(CURLcode)> done);
  // Network thread only. Stops `easy` at once; its `done` never runs.
  void remove(CURL* easy);

  bool isCurrent() const;

 private:
  NetworkThread();
  void run();

  CURLM* multi_;
  std::mutex mutex_;
  std::vector<std::function<void()>> posted_;
  std::map<CURL*, std::function<void(CURLcode)>> running_;
};

}  // namespace platform::detail
