#pragma once
// CVUReachabilityChecker watches whether one host can be reached and tells one delegate whenever the
// coarse status changes. The HTTP client owns one per instance and turns the status into its
// connected flag.
//
// The checker goes through a replaceable reachability table (platform/reach); tests give it their
// own. It is scheduled on the main queue, so flag changes and delegate calls arrive there. start,
// stop and setReachabilityApi are meant for one thread at a time, which need not be the main
// thread: stopping or destroying the checker waits for a callback running on the main queue to
// return, and none arrives afterwards, not even one already queued. The status and the delegate may
// be read and set from any thread.
//
// Log lines go to the utilities logger under "[CVUReachability]" with codes "I-REA9020xx".

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "platform/reach/Reachability.h"

namespace beacon {

enum class CVUReachabilityStatus : std::int32_t {
  Unknown = 0,       // not yet determined, and after stop
  Disconnected = 1,  // not reachable
  Connected = 2,     // reachable
  Cellular = 3,      // reachable over a cellular link; never produced here, read as reachable
};

// "Unknown", "Disconnected" or "Connected" (cellular counts as connected).
const char* CVUReachabilityStatusName(CVUReachabilityStatus status);

class CVUReachabilityChecker;

class CVUReachabilityDelegate {
 public:
  virtual ~CVUReachabilityDelegate() = default;
  virtual void reachabilityStatusChanged(CVUReachabilityChecker& checker, CVUReachabilityStatus status) = 0;
};

class CVUReachabilityChecker {
 public:
  // Null (after logging 902001) for an empty host. The delegate is held weakly.
  static std::unique_ptr<CVUReachabilityChecker> create(std::weak_ptr<CVUReachabilityDelegate> delegate,
                                                        std::string host);
  ~CVUReachabilityChecker();
  CVUReachabilityChecker(const CVUReachabilityChecker&) = delete;
  CVUReachabilityChecker& operator=(const CVUReachabilityChecker&) = delete;

  // Starts watching (answers true, logging 902003, also when already running); false (902002) when
  // the table refused to set up the watch.
  bool start();
  // Back to Unknown; ends the watch.
  void stop();

  // Replaces the table only while stopped; otherwise logs 902000 and changes nothing.
  void setReachabilityApi(const platform::ReachabilityApi* api);
  const platform::ReachabilityApi* reachabilityApi() const { return api_; }

  void setReachabilityDelegate(std::weak_ptr<CVUReachabilityDelegate> delegate);

  CVUReachabilityStatus statusForFlags(std::uint32_t flags) const;
  // What the table's callback does: a new status is logged (902004), stored and told to the delegate.
  void reachabilityFlagsChanged(std::uint32_t flags);

  CVUReachabilityStatus reachabilityStatus() const { return status_.load(); }
  bool isActive() const { return handle_ != nullptr; }
  const std::string& host() const { return host_; }

 private:
  CVUReachabilityChecker(std::weak_ptr<CVUReachabilityDelegate> delegate, std::string host);

  std::atomic<CVUReachabilityStatus> status_{CVUReachabilityStatus::Unknown};
  const platform::ReachabilityApi* api_;
  platform::ReachabilityHandle handle_ = nullptr;
  std::string host_;
  mutable std::mutex mutex_;
  std::weak_ptr<CVUReachabilityDelegate> delegate_;
};

}  // namespace beacon
