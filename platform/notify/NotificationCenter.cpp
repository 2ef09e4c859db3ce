#include "platform/notify/NotificationCenter.h"

#include "platform/notify/NotificationRegistry.h"

namespace platform {

ObserverToken::ObserverToken(std::weak_ptr<detail::NotificationRegistry> registry,
                             std::shared_ptr<detail::NotificationObserver> observer)
    : registry_(std::move(registry)), observer_(std::move(observer)) {}

ObserverToken& ObserverToken::operator=(ObserverToken&& other) noexcept {
  if (this != &other) {
    remove();
    registry_ = std::move(other.registry_);
    observer_ = std::move(other.observer_);
  }
  return *this;
}

ObserverToken::~ObserverToken() {
  remove();
}

void ObserverToken::remove() {
  if (!observer_) return;
  // Deliveries already handed out (snapshots, queued blocks) check this flag before calling.
  observer_->active.store(false);
  if (auto registry = registry_.lock()) registry->remove(*observer_);
  observer_.reset();
  registry_.reset();
}

bool ObserverToken::isActive() const {
  return observer_ != nullptr;
}

NotificationCenter::NotificationCenter() : registry_(std::make_shared<detail::NotificationRegistry>()) {}

NotificationCenter& NotificationCenter::defaultCenter() {
  // Never destroyed: observers may be removed and notifications posted while static objects are
  // being torn down at exit.
  static auto* center = new NotificationCenter;
  return *center;
}

ObserverToken NotificationCenter::addObserver(std::string name, ObjectTag sender, QueueRef queue,
                                              Handler handler) {
  auto observer = std::make_shared<detail::NotificationObserver>(std::move(name), sender, std::move(queue),
                                                                 std::move(handler));
  registry_->add(observer);
  return ObserverToken(registry_, std::move(observer));
}

void NotificationCenter::post(std::string name, ObjectTag sender, std::optional<Dictionary> userInfo) {
  const auto observers = registry_->matching(name, sender);
  if (observers.empty()) return;
  auto notification =
      std::make_shared<const Notification>(Notification{std::move(name), sender, std::move(userInfo)});
  for (const auto& observer : observers) {
    if (observer->queue) {
      observer->queue->async([observer, notification] { observer->deliver(*notification); });
    } else {
      observer->deliver(*notification);
    }
  }
}

}  // namespace platform
