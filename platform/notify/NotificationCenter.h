#pragma once
// A notification centre: components announce events by name, and observers that asked for that
// name (and, optionally, for one sender only) get told.
//
// Senders are identified by an opaque tag, usually the address of the sending object or of a static
// object standing for a class; the centre never dereferences it. An observer registered with a
// null sender filter hears the name from every sender; a post with a null sender reaches only such
// observers.
//
// Delivery
//  - Without a queue the observer runs synchronously on the posting thread, inside post(). Posts
//    from several threads may therefore run one observer concurrently.
//  - With a queue the observer runs later on that queue (one async block per post and observer),
//    so observers of one queue hear the posts in the order they were made.
//  - Observers of one name are called in the order they registered.
//  - No lock of the centre is held while an observer runs: observers may post, add observers and
//    remove any observer, themselves included.
//
// Removal is by token: destroying (or calling remove() on) the ObserverToken ends the observation.
// Once removal has returned, the observer is not called again on the removing thread or after
// anything that happens-after the removal, even for posts made earlier whose queued delivery is
// still waiting. A call that another thread had already started may still be running: an observer
// that touches its owner should hold it weakly, as every block that might outlive its owner does.
// A token may outlive its centre.
//
// Thread-safe: any thread may add, remove and post.

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/dispatch/Queue.h"
#include "platform/value/Value.h"

namespace platform {

// Identity of a sender: an address compared, never followed.
using ObjectTag = const void*;

struct Notification {
  std::string name;
  ObjectTag object = nullptr;
  // Absent when the poster gave none (which is not the same as an empty dictionary).
  std::optional<Dictionary> userInfo;
};

namespace detail {
struct NotificationObserver;
class NotificationRegistry;
}  // namespace detail

class ObserverToken {
 public:
  // A token that observes nothing.
  ObserverToken() = default;
  ObserverToken(ObserverToken&& other) noexcept = default;
  // Ends this token's observation, then takes over the other's.
  ObserverToken& operator=(ObserverToken&& other) noexcept;
  ~ObserverToken();

  // Ends the observation; later calls do nothing.
  void remove();
  // True until the observation has been removed.
  bool isActive() const;

 private:
  friend class NotificationCenter;
  ObserverToken(std::weak_ptr<detail::NotificationRegistry> registry,
                std::shared_ptr<detail::NotificationObserver> observer);

  std::weak_ptr<detail::NotificationRegistry> registry_;
  std::shared_ptr<detail::NotificationObserver> observer_;
};

class NotificationCenter {
 public:
  using Handler = std::function<void(const Notification&)>;

  // A separate centre, for tests and for components that want their own.
  NotificationCenter();
  NotificationCenter(const NotificationCenter&) = delete;
  NotificationCenter& operator=(const NotificationCenter&) = delete;

  // The process's default centre; it lives as long as the process.
  static NotificationCenter& defaultCenter();

  // Observes `name` from `sender` (null: from every sender), delivered on `queue` (null: on the
  // posting thread). The observation lasts as long as the returned token.
  [[nodiscard]] ObserverToken addObserver(std::string name, ObjectTag sender, QueueRef queue,
                                          Handler handler);

  void post(std::string name, ObjectTag sender = nullptr, std::optional<Dictionary> userInfo = std::nullopt);

 private:
  std::shared_ptr<detail::NotificationRegistry> registry_;
};

}  // namespace platform
