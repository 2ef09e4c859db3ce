#pragma once
// The observer table behind a NotificationCenter. Internal to the notify layer.
//
// The table's lock guards only the table: lookups hand out a snapshot of matching observers, and
// the caller delivers from the snapshot after the lock is gone.

#include <atomic>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/notify/NotificationCenter.h"

namespace platform::detail {

struct NotificationObserver {
  NotificationObserver(std::string name, ObjectTag sender, QueueRef queue,
                       NotificationCenter::Handler handler)
      : name(std::move(name)), sender(sender), queue(std::move(queue)), handler(std::move(handler)) {}

  // Calls the handler unless the observation has been removed in the meantime.
  void deliver(const Notification& notification) const {
    if (active.load()) handler(notification);
  }

  const std::string name;
  const ObjectTag sender;
  const QueueRef queue;
  const NotificationCenter::Handler handler;
  std::atomic<bool> active{true};
};

class NotificationRegistry {
 public:
  void add(std::shared_ptr<NotificationObserver> observer);
  void remove(const NotificationObserver& observer);
  // The observers of `name` that accept `sender`, in registration order.
  std::vector<std::shared_ptr<NotificationObserver>> matching(const std::string& name,
                                                              ObjectTag sender) const;

 private:
  mutable std::mutex mutex_;
  std::unordered_map<std::string, std::vector<std::shared_ptr<NotificationObserver>>> byName_;
};

}  // namespace platform::detail
