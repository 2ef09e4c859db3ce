#include "platform/reach/Reachability.h"

#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace platform {
namespace {

constexpr std::chrono::seconds kRecheckInterval{5};

// One watched host. The monitor thread and the queued callbacks share it; `generation` changes on
// every unschedule, so a callback queued before then is dropped, and unschedule waits for one that
// already runs (`delivering` names the threads running one), so none outlasts it.
struct Watch {
  std::string host;
  std::mutex mutex;
  std::condition_variable wake;
  ReachabilityCallback callback = nullptr;
  void* info = nullptr;
  QueueRef queue;
  std::uint64_t generation = 0;
  bool monitoring = false;
  std::thread monitor;
  std::vector<std::thread::id> delivering;
  std::condition_variable delivered;
};

struct Handle {
  std::shared_ptr<Watch> watch;
};

void deliver(const std::shared_ptr<Watch>& watch, Handle* handle, std::uint64_t generation,
             std::uint32_t flags) {
  QueueRef queue;
  {
    std::lock_guard lock(watch->mutex);
    if (!watch->monitoring || watch->generation != generation) return;
    queue = watch->queue;
  }
  queue->async([watch, handle, generation, flags] {
    ReachabilityCallback callback;
    void* info;
    {
      std::lock_guard lock(watch->mutex);
      if (!watch->monitoring || watch->generation != generation || !watch->callback) return;
      callback = watch->callback;
      info = watch->info;
      watch->delivering.push_back(std::this_thread::get_id());
    }
    callback(handle, flags, info);
    {
      std::lock_guard lock(watch->mutex);
      watch->delivering.erase(
          std::find(watch->delivering.begin(), watch->delivering.end(), std::this_thread::get_id()));
    }
    watch->delivered.notify_all();
  });
}

void monitor(std::shared_ptr<Watch> watch, Handle* handle, std::uint64_t generation) {
  std::optional<std::uint32_t> reported;
  for (;;) {
    const std::uint32_t flags = currentReachabilityFlags(watch->host.c_str());
    if (flags != reported) {
      deliver(watch, handle, generation, flags);
      reported = flags;
    }
    std::unique_lock lock(watch->mutex);
    if (watch->wake.wait_for(lock, kRecheckInterval, [&] { return watch->generation != generation; })) return;
  }
}

ReachabilityHandle create(const char* host) {
  if (!host || !*host) return nullptr;
  auto* handle = new Handle{std::make_shared<Watch>()};
  handle->watch->host = host;
  return handle;
}

bool setCallback(ReachabilityHandle opaque, ReachabilityCallback callback, void* info) {
  auto& watch = *static_cast<Handle*>(opaque)->watch;
  std::lock_guard lock(watch.mutex);
  watch.callback = callback;
  watch.info = info;
  return true;
}

bool unschedule(ReachabilityHandle opaque, const QueueRef&) {
  auto* handle = static_cast<Handle*>(opaque);
  Watch& watch = *handle->watch;
  std::thread finished;
  {
    std::unique_lock lock(watch.mutex);
    if (!watch.monitoring) return false;
    watch.monitoring = false;
    ++watch.generation;
    finished = std::move(watch.monitor);
    watch.wake.notify_all();
    // A callback running on another thread may still use what its info points to, which the caller
    // is free to destroy once this returns. One running on this thread is the caller itself.
    watch.delivered.wait(lock, [&] {
      return std::all_of(watch.delivering.begin(), watch.delivering.end(),
                         [](std::thread::id id) { return id == std::this_thread::get_id(); });
    });
  }
  // The monitor may be in a name lookup; it ends on its own and touches only the shared watch.
  finished.detach();
  return true;
}

bool schedule(ReachabilityHandle opaque, const QueueRef& queue) {
  auto* handle = static_cast<Handle*>(opaque);
  if (!queue) return false;
  std::lock_guard lock(handle->watch->mutex);
  if (handle->watch->monitoring) return false;
  handle->watch->monitoring = true;
  handle->watch->queue = queue;
  handle->watch->monitor = std::thread(monitor, handle->watch, handle, handle->watch->generation);
  return true;
}

void release(ReachabilityHandle opaque) {
  auto* handle = static_cast<Handle*>(opaque);
  unschedule(handle, nullptr);
  delete handle;
}

}  // namespace

std::uint32_t currentReachabilityFlags(const char* host) {
  addrinfo hints{};
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* addresses = nullptr;
  if (::getaddrinfo(host, "443", &hints, &addresses) != 0) return 0;
  std::uint32_t flags = 0;
  for (addrinfo* address = addresses; address && !flags; address = address->ai_next) {
    const int probe = ::socket(address->ai_family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (probe < 0) continue;
    // A UDP connect only picks a route; nothing is sent.
    if (::connect(probe, address->ai_addr, address->ai_addrlen) == 0) flags = kReachabilityFlagReachable;
    ::close(probe);
  }
  ::freeaddrinfo(addresses);
  return flags;
}

const ReachabilityApi& defaultReachabilityApi() {
  static const ReachabilityApi api{create, setCallback, schedule, unschedule, release};
  return api;
}

}  // namespace platform
